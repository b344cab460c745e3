#pragma once

#include <QString>

// Windows: the account a process runs as, by its security identifier (SID)
// in text form, "S-1-5-21-...".
namespace WindowsUser {

// Whether both texts name one and the same account. Each may be a SID or
// one of the short names SDDL has for well-known ones ("SY" for the
// system); anything else names nobody, so an empty text never matches.
bool sameAccount(const QString &sid, const QString &otherSid);

// This process's account; empty when it cannot be read.
QString current();

// The account of the process `processId`; empty when it cannot be read,
// as for most processes of other accounts.
QString ofProcess(quint32 processId);

// The account of the process that serves the other end of a connected
// pipe: on Windows QLocalSocket::socketDescriptor() is the pipe's handle.
// Empty when it cannot be read.
QString ofPipeServer(qintptr pipe);

} // namespace WindowsUser
