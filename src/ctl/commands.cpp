#include "commands.h"

#include "core/api/apiquery.h"
#include "core/api/serverstate.h"
#include "core/api/statusreply.h"
#include "core/settings/settingslocation.h"
#include "ctl/console.h"
#include "ctl/exitcode.h"
#include "ctl/historycommand.h"
#include "ctl/replytext.h"
#include "ctl/secretinput.h"
#include "ctl/serverstore.h"
#include "ctl/serviceclient.h"
#include "ctl/watchcommand.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

int fail(int exitCode, const QString &message)
{
    Console::printError(message);
    return exitCode;
}

void warnAboutPrivacy(const QString &problem)
{
    if (!problem.isEmpty())
        Console::printError(QStringLiteral("файл настроек может быть доступен другим пользователям: %1").arg(problem));
}

int list(const ServerStore &store, bool json)
{
    const QList<ServerStore::Server> servers = store.servers();
    if (json) {
        QJsonArray array;
        for (const ServerStore::Server &server : servers)
            array.append(QJsonObject {{QStringLiteral("name"), server.name}, {QStringLiteral("key"), server.keyRead}});
        Console::printBytes(QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n');
        return ExitDone;
    }
    QString lines;
    for (const ServerStore::Server &server : servers)
        lines += server.name + (server.keyRead ? QString() : QStringLiteral("\t(ключ API не читается)")) + '\n';
    Console::print(lines);
    return ExitDone;
}

int add(ServerStore &store, const QString &name, bool json)
{
    const QString apiKey = readSecretLine(QStringLiteral("Ключ API сервера «%1»: ").arg(name));
    if (apiKey.isEmpty())
        return fail(ExitUsage, QStringLiteral("ключ API не получен: его ждут первой строкой стандартного ввода"));
    bool replaced = false;
    QString privacyProblem;
    const QString failure = store.add(name, apiKey, &replaced, &privacyProblem);
    if (!failure.isEmpty())
        return fail(ExitStore, failure);
    warnAboutPrivacy(privacyProblem);
    if (!json)
        Console::print(replaced ? QStringLiteral("Ключ сервера «%1» заменён.\n").arg(name)
                                : QStringLiteral("Сервер «%1» добавлен.\n").arg(name));
    return ExitDone;
}

int remove(ServerStore &store, const QString &name, bool json)
{
    bool found = false;
    QString privacyProblem;
    const QString failure = store.remove(name, &found, &privacyProblem);
    if (!failure.isEmpty())
        return fail(ExitStore, failure);
    warnAboutPrivacy(privacyProblem);
    if (!found)
        return fail(ExitStore, QStringLiteral("нет сервера «%1»").arg(name));
    if (!json)
        Console::print(QStringLiteral("Сервер «%1» удалён.\n").arg(name));
    return ExitDone;
}

// The query a command sends: its kind and at most one parameter.
struct Query
{
    QString kind;
    QString parameter;
    QString value;
};

Query queryFor(const CtlRequest &request)
{
    const QString &command = request.command;
    if (command == QLatin1String("resources"))
        return {ApiQuery::resources, {}, {}};
    if (command == QLatin1String("maps"))
        return {ApiQuery::maps, {}, {}};
    if (command == QLatin1String("map"))
        return {ApiQuery::changeMap, ApiQuery::mapParameter, request.arguments.at(1)};
    if (command == QLatin1String("console"))
        return {ApiQuery::console, ApiQuery::commandParameter, request.arguments.mid(1).join(QLatin1Char(' '))};
    // status, start, stop and restart are named as their queries.
    return {command, {}, {}};
}

int query(const ServerStore &store, const CtlRequest &request)
{
    const QString &name = request.arguments.constFirst();
    QString apiKey;
    switch (store.key(name, &apiKey)) {
    case ServerStore::Lookup::NoSuchServer:
        return fail(ExitStore, QStringLiteral("нет сервера «%1»").arg(name));
    case ServerStore::Lookup::KeyUnreadable:
        return fail(ExitStore,
                    QStringLiteral("ключ API сервера «%1» не читается на этом компьютере; добавьте его заново: "
                                   "valmora-ctl add \"%1\"")
                        .arg(name));
    case ServerStore::Lookup::Found:
        break;
    }
    const QStringList problems = store.endpointProblems();
    for (const QString &problem : problems)
        Console::printError(problem);

    const Query wanted = queryFor(request);
    const ServiceClient client(store.endpoint(), request.timeoutMsec);
    const ServiceClient::Reply reply = client.get(ApiQuery::path(apiKey, wanted.kind, wanted.parameter, wanted.value));
    if (!reply.failure.isEmpty())
        return fail(ExitService, reply.failure);

    if (request.json)
        Console::printBytes(reply.body);
    else if (wanted.kind == ApiQuery::status)
        Console::print(ReplyText::status(reply.object));
    else if (wanted.kind == ApiQuery::resources)
        Console::print(ReplyText::resources(reply.object));
    else if (wanted.kind == ApiQuery::maps)
        Console::print(ReplyText::maps(reply.object));
    else
        Console::print(ReplyText::answer(reply.object));

    if (wanted.kind != ApiQuery::status)
        return ExitDone;
    return StatusReply::read(reply.object).online == ServerState::Running ? ExitDone : ExitNotRunning;
}

} // namespace

int runCommand(const CtlRequest &request)
{
    if (!request.settingsFile.isEmpty())
        SettingsLocation::setFilePath(request.settingsFile);
    ServerStore store(SettingsLocation::filePath());
    const QString unreadable = store.read();
    if (!unreadable.isEmpty())
        return fail(ExitStore, unreadable);

    if (request.command == QLatin1String("list"))
        return list(store, request.json);
    if (request.command == QLatin1String("add"))
        return add(store, request.arguments.constFirst(), request.json);
    if (request.command == QLatin1String("remove"))
        return remove(store, request.arguments.constFirst(), request.json);
    if (request.command == QLatin1String("watch"))
        return runWatch(request, store);
    if (request.command == QLatin1String("history"))
        return runHistory(request, store);
    return query(store, request);
}
