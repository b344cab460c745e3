#include "hostingapi.h"

#include "serverconsole.h"
#include "simulatedserver.h"

#include <QJsonArray>

namespace {

const QString Token = QStringLiteral("token");
const QString Query = QStringLiteral("query");
const QString Map = QStringLiteral("map");
const QString Cmd = QStringLiteral("cmd");

ApiReply badRequest(const QString &message, const QString &kind = QString())
{
    return ApiReply {400, HostingApi::errorBody(QStringLiteral("bad_request"), message), kind, {}};
}

QJsonObject okBody(const QString &message)
{
    return QJsonObject {{QStringLiteral("result"), QStringLiteral("ok")}, {QStringLiteral("message"), message}};
}

QJsonObject outcomeBody(SimulatedServer::Outcome outcome, const QString &doneMessage)
{
    switch (outcome) {
    case SimulatedServer::Outcome::Done:
        return okBody(doneMessage);
    case SimulatedServer::Outcome::AlreadyStarted:
        return HostingApi::errorBody(QStringLiteral("already_started"),
                                     QStringLiteral("The server is already started"));
    case SimulatedServer::Outcome::AlreadyOff:
        return HostingApi::errorBody(QStringLiteral("already_off"), QStringLiteral("The server is already off"));
    case SimulatedServer::Outcome::NotRunning:
        return HostingApi::errorBody(QStringLiteral("not_running"), QStringLiteral("The server is not running"));
    case SimulatedServer::Outcome::UnknownMap:
        return HostingApi::errorBody(QStringLiteral("unknown_map"), QStringLiteral("No such map on this server"));
    }
    return {};
}

QJsonObject statusBody(const SimulatedServer &server)
{
    const GameServerProfile &profile = server.profile();
    QJsonArray players;
    for (const Player &player : server.roster().players()) {
        players.append(QJsonObject {{QStringLiteral("name"), player.name},
                                    {QStringLiteral("score"), player.score},
                                    {QStringLiteral("time"), playTimeText(player, server.nowMs())}});
    }
    const QJsonObject about {{QStringLiteral("name"), profile.name},
                             {QStringLiteral("map"), server.currentMap()},
                             {QStringLiteral("players"), QString::number(server.roster().count())},
                             {QStringLiteral("playersmax"), QString::number(profile.playerSlots)},
                             {QStringLiteral("password"), profile.password}};
    const QJsonObject address {{QStringLiteral("ip"), profile.address}, {QStringLiteral("c_port"), profile.port}};
    return QJsonObject {
        {QStringLiteral("online"), int(server.power())},
        {QStringLiteral("data"),
         QJsonObject {{QStringLiteral("s"), about}, {QStringLiteral("b"), address}, {QStringLiteral("p"), players}}}};
}

QString megabytes(int mb)
{
    return QStringLiteral("%1 MB").arg(mb);
}

QJsonObject resourcesBody(const SimulatedServer &server)
{
    const ResourceFigures figures = server.resources();
    return QJsonObject {{QStringLiteral("cpu_proc"), figures.cpuPercent},
                        {QStringLiteral("mem_proc"), figures.memoryPercent()},
                        {QStringLiteral("players_proc"), figures.playersPercent()},
                        {QStringLiteral("disk_proc"), figures.diskPercent()},
                        {QStringLiteral("mem_used"), megabytes(figures.memoryUsedMb)},
                        {QStringLiteral("mem_quota"), megabytes(figures.memoryQuotaMb)},
                        {QStringLiteral("players"), QString::number(figures.players)},
                        {QStringLiteral("players_max"), QString::number(figures.playerSlots)},
                        {QStringLiteral("disk_used"), megabytes(figures.diskUsedMb)},
                        {QStringLiteral("disk_quota"), megabytes(figures.diskQuotaMb)}};
}

QJsonObject consoleBody(const SimulatedServer &server, const QString &command)
{
    const ConsoleAnswer answer = runConsoleCommand(server, command);
    if (!answer.ok)
        return HostingApi::errorBody(answer.error, answer.text);
    return QJsonObject {{QStringLiteral("result"), QStringLiteral("ok")},
                        {QStringLiteral("command"), command.trimmed()},
                        {QStringLiteral("output"), answer.text}};
}

} // namespace

HostingApi::HostingApi(const QList<GameServerProfile> &profiles, const Options &options, Clock clock)
    : m_clock(std::move(clock))
{
    const qint64 now = m_clock();
    quint32 seed = options.seed;
    for (const GameServerProfile &profile : profiles) {
        m_servers.push_back(std::make_unique<SimulatedServer>(profile, seed, options.startDelayMs, now));
        seed += 0x9E3779B9u; // keep the servers' dice apart
    }
}

HostingApi::~HostingApi() = default;

const QStringList &HostingApi::queryKinds()
{
    static const QStringList kinds {QStringLiteral("status"),      QStringLiteral("start"),
                                    QStringLiteral("stop"),        QStringLiteral("restart"),
                                    QStringLiteral("getmaps"),     QStringLiteral("getresources"),
                                    QStringLiteral("changelevel"), QStringLiteral("consolecmd")};
    return kinds;
}

QJsonObject HostingApi::errorBody(const QString &error, const QString &message)
{
    return QJsonObject {{QStringLiteral("result"), QStringLiteral("error")},
                        {QStringLiteral("error"), error},
                        {QStringLiteral("message"), message}};
}

ApiReply HostingApi::handle(const QueryParameters &parameters)
{
    if (!parameters.contains(Token))
        return badRequest(QStringLiteral("Missing parameter: token"));
    if (!parameters.contains(Query))
        return badRequest(QStringLiteral("Missing parameter: query"));

    const QString kind = parameters.value(Query);
    if (kind == QLatin1String("changelevel") && !parameters.contains(Map))
        return badRequest(QStringLiteral("Missing parameter: map"), kind);
    if (kind == QLatin1String("consolecmd") && !parameters.contains(Cmd))
        return badRequest(QStringLiteral("Missing parameter: cmd"), kind);

    ApiReply reply;
    reply.queryKind = kind;

    SimulatedServer *server = serverForKey(parameters.value(Token));
    if (!server) {
        reply.body = errorBody(QStringLiteral("unknown_token"), QStringLiteral("Unknown API key"));
        return reply;
    }
    reply.serverName = server->profile().name;
    server->advanceTo(m_clock());

    if (kind == QLatin1String("status")) {
        reply.body = statusBody(*server);
    } else if (kind == QLatin1String("start")) {
        reply.body = outcomeBody(server->start(), QStringLiteral("The server is starting"));
    } else if (kind == QLatin1String("stop")) {
        reply.body = outcomeBody(server->stop(), QStringLiteral("The server has been stopped"));
    } else if (kind == QLatin1String("restart")) {
        reply.body = outcomeBody(server->restart(), QStringLiteral("The server is restarting"));
    } else if (kind == QLatin1String("getmaps")) {
        reply.body = QJsonObject {{QStringLiteral("maps"), QJsonArray::fromStringList(server->profile().maps)}};
    } else if (kind == QLatin1String("getresources")) {
        reply.body = resourcesBody(*server);
    } else if (kind == QLatin1String("changelevel")) {
        const QString map = parameters.value(Map);
        reply.body = outcomeBody(server->changeMap(map), QStringLiteral("Map changed to ") + map);
    } else if (kind == QLatin1String("consolecmd")) {
        reply.body = consoleBody(*server, parameters.value(Cmd));
    } else {
        reply.body = errorBody(QStringLiteral("unknown_query"), QStringLiteral("Unknown query"));
    }
    return reply;
}

SimulatedServer *HostingApi::serverForKey(const QString &apiKey)
{
    for (const auto &server : m_servers) {
        if (server->profile().apiKey == apiKey)
            return server.get();
    }
    return nullptr;
}
