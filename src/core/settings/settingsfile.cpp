#include "settingsfile.h"

#include "core/settings/privatefile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLockFile>

namespace {

// Saves take milliseconds; a lock held longer belongs to a program that hangs.
constexpr int lockWaitMsec = 5000;

QString describe(QSettings::Status status)
{
    switch (status) {
    case QSettings::AccessError:
        return QCoreApplication::translate("SettingsFile", "файл недоступен для записи");
    case QSettings::FormatError:
        return QCoreApplication::translate("SettingsFile", "ошибка формата файла");
    case QSettings::NoError:
        break;
    }
    return QString();
}

} // namespace

bool SettingsFile::isStorableName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

QMap<QString, QString> SettingsFile::records(const QSettings &group)
{
    QMap<QString, QString> found;
    const QStringList names = group.childKeys();
    for (const QString &name : names)
        found.insert(name, group.value(name).toString());
    return found;
}

QString SettingsFile::lockPath(const QString &path)
{
    // Not "<file>.lock": QSettings takes that one itself for every sync.
    return path + QStringLiteral(".edit.lock");
}

SettingsFile::Outcome SettingsFile::update(const QString &path,
                                           const std::function<void(QSettings &settings, bool current)> &change)
{
    Outcome outcome;
    const bool existed = QFileInfo::exists(path);
    outcome.privacyProblem = PrivateFile::prepare(path);

    QLockFile lock(lockPath(path));
    if (!lock.tryLock(lockWaitMsec) && lock.error() != QLockFile::PermissionError) {
        // A folder this user cannot write holds no lock file of anyone's;
        // the save goes ahead and reports whether the file could be written.
        outcome.failure = QCoreApplication::translate("SettingsFile", "файл занят другой программой");
        return outcome;
    }

    QSettings settings(path, QSettings::IniFormat);
    change(settings, existed && settings.status() == QSettings::NoError);
    settings.sync();
    outcome.failure = describe(settings.status());
    PrivateFile::restrictExisting(path);
    return outcome;
}
