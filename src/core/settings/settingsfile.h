#pragma once

#include <QMap>
#include <QSettings>
#include <QString>

#include <functional>

// setting.ini as several programs share it: the window (one copy per file)
// and the command-line tool. Every writer changes only the keys it means to
// change, under one lock file beside setting.ini, and keeps the file
// readable by its owner alone.
namespace SettingsFile {

inline const QString mainGroup = QStringLiteral("Main");
inline const QString serversGroup = QStringLiteral("Servers");

// A server name becomes a key of the INI file as it stands: an empty one is
// dropped by the settings class and a slash or backslash makes a subgroup,
// so such names could not be read back.
bool isStorableName(const QString &name);

// Server name -> stored record, for the keys directly in the current group
// (the servers group); subgroups are not servers and are left out.
QMap<QString, QString> records(const QSettings &group);

// The lock file every writer of `path` takes.
QString lockPath(const QString &path);

struct Outcome
{
    QString failure; // Russian, empty when the file was written
    QString privacyProblem; // the file may be readable by others; it was written all the same

    bool written() const { return failure.isEmpty(); }
};

// Opens the file under the lock and hands it to `change`, with `current`
// true when it holds what the file held (false when the file was missing or
// unreadable), then writes it back atomically. Keys that `change` does not
// touch keep what the file holds.
Outcome update(const QString &path, const std::function<void(QSettings &settings, bool current)> &change);

} // namespace SettingsFile
