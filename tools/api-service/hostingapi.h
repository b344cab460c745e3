#pragma once

#include "gameserverprofile.h"
#include "querystring.h"

#include <QJsonObject>

#include <functional>
#include <memory>
#include <vector>

class SimulatedServer;

struct ApiReply
{
    int httpStatus = 200;
    QJsonObject body;
    QString queryKind; // as asked for, empty when the request named none
    QString serverName; // the server the key belongs to, empty for an unknown key
};

// The hosting web API behind "/api.php": looks the server up by its API key
// and answers one query about it. Knows nothing of HTTP beyond the status
// code it suggests.
//
// Replies: a request that lacks "token" or "query", or "map" for
// "changelevel", or "cmd" for "consolecmd", gets HTTP 400 with error
// "bad_request". Everything else gets HTTP 200 with a JSON object; failures
// carry {"result":"error","error":CODE,"message":TEXT} with CODE one of
// unknown_token, unknown_query, already_started, already_off, not_running,
// unknown_map, empty_command, unknown_command, bad_arguments.
class HostingApi
{
public:
    using Clock = std::function<qint64()>; // milliseconds, never going back

    struct Options
    {
        qint64 startDelayMs = 3000;
        quint32 seed = 0;
    };

    HostingApi(const QList<GameServerProfile> &profiles, const Options &options, Clock clock);
    ~HostingApi();

    ApiReply handle(const QueryParameters &parameters);

    static const QStringList &queryKinds();

    static QJsonObject errorBody(const QString &error, const QString &message);

private:
    SimulatedServer *serverForKey(const QString &apiKey);

    std::vector<std::unique_ptr<SimulatedServer>> m_servers;
    Clock m_clock;
};
