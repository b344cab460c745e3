#pragma once

#include <QString>
#include <QStringList>

struct CtlRequest;
class ServerStore;

// The commands on the stored servers alone: list, add and remove. Each
// returns the exit status (see exitcode.h).
namespace StoreCommands {

int list(const CtlRequest &request, ServerStore &store);
// The API key comes from the first line of standard input.
int add(const CtlRequest &request, ServerStore &store);
int remove(const CtlRequest &request, ServerStore &store);

// Whether the name add is given can be stored: the mistake in Russian, or
// an empty text.
QString checkName(const QStringList &arguments, CtlRequest *request);

} // namespace StoreCommands
