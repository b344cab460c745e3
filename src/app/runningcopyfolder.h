#pragma once

#include <QString>

// Unix systems: the folder of the running copy's socket and election lock.
// Nobody but this user may create, replace or remove a file in it, so no
// other account can answer in the running copy's place or hold its lock.
namespace RunningCopyFolder {

// The longest path a local socket may have: the size of sun_path less its
// terminating zero.
constexpr int maxSocketPathBytes = 107;

// The first of these folders that is this user's alone and where a socket
// named `socketFile` fits:
// 1. $XDG_RUNTIME_DIR;
// 2. "valmora-panel-<uid>" in the temporary folder, made owner-only when
//    missing;
// 3. "valmora-panel" in the user's cache folder, made owner-only when
//    missing.
// "This user's alone" means a real folder, not a link, owned by this user,
// that neither the group nor others may write to. Empty when none is.
QString find(const QString &socketFile);

} // namespace RunningCopyFolder
