#pragma once

#include <QString>

// The settings file holds the enciphered API keys, and the key they are
// enciphered under can be learnt by anyone on the machine; only the file's
// permissions keep them from other users. It is therefore kept readable and
// writable by its owner alone: mode 0600 on Unix systems, an access list of
// the user, the system and the administrators on Windows.
namespace PrivateFile {

// Readies `path` for a save that replaces it atomically (the replacement
// takes over the permissions of the file it replaces): a missing folder is
// created owner-only, a missing file is created empty and owner-only, and an
// existing file that others may use is narrowed to owner-only. Returns what
// went wrong, empty on success. Where Unix permissions do not apply (on
// Windows) it only creates a missing folder.
QString prepare(const QString &path);

// On Windows, gives an existing file the access list of its user alone; to
// be called at start and after every save, since a save replaces the file
// with a new one that takes the folder's inherited access. A file that
// cannot be restricted (on a share or FAT, say) stays as it is, with one
// warning per run. Does nothing on Unix systems, where the mode survives
// saves and prepare() narrows an older file.
void restrictExisting(const QString &path);

} // namespace PrivateFile
