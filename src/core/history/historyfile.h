#pragma once

#include <QString>
#include <QtGlobal>

// The history's file, history.sqlite beside the settings file in use, and
// what is done to the file itself: keeping it to its user, as setting.ini
// is kept, and putting a damaged one aside.
namespace HistoryFile {

// history.sqlite in the folder of the settings file at `settingsPath`.
QString besideSettings(const QString &settingsPath);

// Creates the folder if missing and narrows the database and its -wal and
// -shm files, those that exist, to their user (0600; on Windows the
// access list of setting.ini). Returns what went wrong, empty on success.
QString keepPrivate(const QString &path);

// Renames the damaged database, with its -wal and -shm files, to
// PATH.damaged-<UTC time>; nothing is deleted. Returns the new name of the
// database, empty if it could not be renamed.
QString putAside(const QString &path, qint64 utcSeconds);

} // namespace HistoryFile
