#include "querycommand.h"

#include "core/api/apiquery.h"
#include "core/api/serverstate.h"
#include "core/api/statusreply.h"
#include "ctl/console.h"
#include "ctl/ctlcommandline.h"
#include "ctl/exitcode.h"
#include "ctl/replytext.h"
#include "ctl/serverstore.h"
#include "ctl/serviceclient.h"

int runQuery(const CtlRequest &request, ServerStore &store, const ServiceQuery &query)
{
    QString apiKey;
    const QString missing = store.key(request.arguments.constFirst(), &apiKey);
    if (!missing.isEmpty())
        return Console::fail(ExitStore, missing);
    const QStringList problems = store.endpointProblems();
    for (const QString &problem : problems)
        Console::printError(problem);

    ServiceClient client(store.endpoint(), request.timeoutMsec);
    const ServiceReply reply = client.getNow(ApiQuery::path(apiKey, query.kind, query.parameter, query.value));
    if (!reply.failure.isEmpty())
        return Console::fail(ExitService, reply.failure);

    if (request.json)
        Console::printBytes(reply.body);
    else if (query.kind == ApiQuery::status)
        Console::print(ReplyText::status(reply.object));
    else if (query.kind == ApiQuery::resources)
        Console::print(ReplyText::resources(reply.object));
    else if (query.kind == ApiQuery::maps)
        Console::print(ReplyText::maps(reply.object));
    else
        Console::print(ReplyText::answer(reply.object));

    if (query.kind != ApiQuery::status)
        return ExitDone;
    return StatusReply::read(reply.object).online == ServerState::Running ? ExitDone : ExitNotRunning;
}
