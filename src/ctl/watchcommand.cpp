#include "watchcommand.h"

#include "core/history/historyfile.h"
#include "core/program/terminationsignals.h"
#include "core/settings/settingslocation.h"
#include "ctl/alertcommand.h"
#include "ctl/alerttext.h"
#include "ctl/console.h"
#include "ctl/exitcode.h"
#include "ctl/serverstore.h"
#include "ctl/serviceclient.h"
#include "ctl/watchedservers.h"
#include "ctl/watchhistory.h"
#include "ctl/watchrounds.h"
#include "ctl/webhooksender.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <memory>

int runWatch(const CtlRequest &request, ServerStore &store)
{
    const WatchRequest &watch = request.watch;
    WatchedServers servers(store, watch.servers, Console::printError);
    if (!servers.problem().isEmpty()) {
        Console::printError(servers.problem());
        return ExitStore;
    }
    const QStringList problems = store.endpointProblems();
    for (const QString &problem : problems)
        Console::printError(problem);

    // Set up first, so that a signal that comes during the first round ends it too.
    QEventLoop loop;
    TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &TerminationSignals::received, &loop, [&loop] { loop.exit(ExitDone); });

    ServiceClient client(store.endpoint(), request.timeoutMsec);
    std::unique_ptr<AlertCommand> command;
    if (!watch.command.isEmpty()) {
        command = std::make_unique<AlertCommand>(watch.command);
        QObject::connect(command.get(), &AlertCommand::failed, &loop, Console::printError);
    }
    std::unique_ptr<WebhookSender> webhook;
    if (!watch.webhook.isEmpty()) {
        webhook = std::make_unique<WebhookSender>(watch.webhook, store.endpoint().caCertificates, request.timeoutMsec);
        QObject::connect(webhook.get(), &WebhookSender::failed, &loop, Console::printError);
    }

    WatchRounds rounds(servers, client, watch.intervalMsec);
    std::unique_ptr<WatchHistory> history;
    if (watch.history)
        history
            = std::make_unique<WatchHistory>(HistoryFile::besideSettings(SettingsLocation::filePath()), rounds, client);
    QObject::connect(&rounds, &WatchRounds::reported, &loop, [&](const StateChange &change) {
        if (request.json)
            Console::printBytes(AlertText::jsonLine(change));
        else
            Console::print(AlertText::line(change));
        if (!change.isAlert())
            return;
        if (command)
            command->run(change);
        if (webhook)
            webhook->post(AlertText::webhookBody(change));
    });
    QObject::connect(&rounds, &WatchRounds::unreachable, &loop, [](const QString &server, const QString &failure) {
        Console::printError(QStringLiteral("сервер «%1»: %2").arg(server, failure));
    });
    rounds.start();
    return loop.exec();
}
