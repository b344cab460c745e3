#pragma once

#include <QString>
#include <QStringList>

struct CtlRequest;
class ServerStore;

// One of valmora-ctl's commands: how it is called, its line in --help and
// what carries it out.
struct CtlCommand
{
    const char *name;
    const char *arguments; // as --help shows them, and a mistake names them
    int fewest;
    int most; // -1: any number
    const char *what; // its line in --help
    // Reads the arguments further, into the request where they say more
    // than their words. Returns the mistake in Russian, or an empty text.
    // Null when the number of arguments is all there is to check.
    QString (*check)(const QStringList &arguments, CtlRequest *request);
    // Carries out the request on the settings file, read already, and
    // returns the exit status (see exitcode.h).
    int (*run)(const CtlRequest &request, ServerStore &store);
};

// Every command, in the order --help lists them. A new command is one more
// row in commandtable.cpp.
namespace CommandTable {

QList<const CtlCommand *> all();
// Null when there is no such command.
const CtlCommand *find(const QString &name);

} // namespace CommandTable
