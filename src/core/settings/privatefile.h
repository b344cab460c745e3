#pragma once

#include <QString>

// The settings file holds the enciphered API keys, and the key they are
// enciphered under can be learnt by anyone on the machine; only the file's
// permissions keep them from other users. On Unix systems it is therefore
// kept readable and writable by its owner alone.
namespace PrivateFile {

// Readies `path` for a save that replaces it atomically (the replacement
// takes over the permissions of the file it replaces): a missing folder is
// created owner-only, a missing file is created empty and owner-only, and an
// existing file that others may use is narrowed to owner-only. Returns what
// went wrong, empty on success. Where Unix permissions do not apply (on
// Windows) it only creates a missing folder.
QString prepare(const QString &path);

} // namespace PrivateFile
