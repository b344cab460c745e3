#pragma once

#include <QString>

// Windows: the access list that keeps a file to its user, as 0600 does on
// Unix systems.
namespace WindowsFileAccess {

// The security descriptor, in SDDL, for a file of the account `userSid`
// alone: full access for that account, and for the system and the
// administrators as every file of a user profile has it; protected, so that
// nothing is inherited from the folder.
QString userOnlySddl(const QString &userSid);

// Gives the file at `path` that access list for this process's account.
// Returns what went wrong, empty on success.
QString restrictToCurrentUser(const QString &path);

} // namespace WindowsFileAccess
