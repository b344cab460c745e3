#pragma once

#include <QString>

// The choice "Записывать все серверы", kept in the history file itself
// rather than in setting.ini. Both block on the file: call them off the
// GUI thread.
namespace RecordAllOption {

// Off when the file does not exist or cannot be read.
bool load(const QString &historyPath);
// Returns false if it could not be kept.
bool save(const QString &historyPath, bool on);

} // namespace RecordAllOption
