#include "commandtable.h"

#include "core/api/apiquery.h"
#include "ctl/ctlcommandline.h"
#include "ctl/historycommand.h"
#include "ctl/historycommandline.h"
#include "ctl/querycommand.h"
#include "ctl/serverstore.h"
#include "ctl/storecommands.h"
#include "ctl/watchcommand.h"
#include "ctl/watchcommandline.h"

namespace {

// A query that needs nothing but the server's name.
template<const QString &kind> int ask(const CtlRequest &request, ServerStore &store)
{
    return runQuery(request, store, {kind, {}, {}});
}

int changeMap(const CtlRequest &request, ServerStore &store)
{
    return runQuery(request, store, {ApiQuery::changeMap, ApiQuery::mapParameter, request.arguments.at(1)});
}

int console(const CtlRequest &request, ServerStore &store)
{
    return runQuery(request, store,
                    {ApiQuery::console, ApiQuery::commandParameter, request.arguments.mid(1).join(QLatin1Char(' '))});
}

QString checkWatch(const QStringList &arguments, CtlRequest *request)
{
    return readWatchArguments(arguments, &request->watch);
}

QString checkHistory(const QStringList &arguments, CtlRequest *request)
{
    return readHistoryArguments(arguments, request->json, &request->history);
}

int history(const CtlRequest &request, ServerStore &store)
{
    return runHistory(request, store);
}

const CtlCommand commands[] = {
    {"list", "", 0, 0, "the stored servers, in the window's order", nullptr, StoreCommands::list},
    {"status", "SERVER", 1, 1, "state, name, address, map and players", nullptr, ask<ApiQuery::status>},
    {"resources", "SERVER", 1, 1, "CPU, memory, players and disk in use", nullptr, ask<ApiQuery::resources>},
    {"maps", "SERVER", 1, 1, "the server's maps, one a line", nullptr, ask<ApiQuery::maps>},
    {"start", "SERVER", 1, 1, "start the server", nullptr, ask<ApiQuery::start>},
    {"stop", "SERVER", 1, 1, "stop the server", nullptr, ask<ApiQuery::stop>},
    {"restart", "SERVER", 1, 1, "restart the server", nullptr, ask<ApiQuery::restart>},
    {"map", "SERVER MAP", 2, 2, "switch the server to another map", nullptr, changeMap},
    {"console", "SERVER WORD...", 2, -1, "send the words as one console command", nullptr, console},
    {"add", "SERVER", 1, 1, "store a server; its API key from standard input", StoreCommands::checkName,
     StoreCommands::add},
    {"remove", "SERVER", 1, 1, "remove a stored server", nullptr, StoreCommands::remove},
    {"watch", "[SERVER...]", 0, -1, "alert when a server stops, starts or goes silent", checkWatch, runWatch},
    {"history", "[SERVER]", 0, -1, "what watch recorded: states, players, resources", checkHistory, history},
};

} // namespace

QList<const CtlCommand *> CommandTable::all()
{
    QList<const CtlCommand *> found;
    for (const CtlCommand &command : commands)
        found.append(&command);
    return found;
}

const CtlCommand *CommandTable::find(const QString &name)
{
    for (const CtlCommand &command : commands) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}
