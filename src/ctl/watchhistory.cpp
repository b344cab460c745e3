#include "watchhistory.h"

#include "core/api/apiquery.h"
#include "core/api/replyreader.h"
#include "core/api/statusreply.h"
#include "ctl/console.h"
#include "ctl/serviceclient.h"
#include "ctl/watchrounds.h"

#include <QDateTime>

namespace {

constexpr qint64 resourcesEveryMsec = 60000;

} // namespace

WatchHistory::WatchHistory(const QString &path, WatchRounds &rounds, ServiceClient &client, QObject *parent)
    : QObject(parent)
    , client(client)
    , recorder(path, History::systemClock(), [](const QString &warning) { Console::printError(warning); })
{
    connect(&rounds, &WatchRounds::answered, this, &WatchHistory::onAnswered);
    connect(&client, &ServiceClient::replied, this, &WatchHistory::onReplied);
}

void WatchHistory::onAnswered(const QString &server, const QString &apiKey, const ServiceReply &reply)
{
    History::StatusSample sample;
    sample.server = server;
    sample.time = QDateTime::currentSecsSinceEpoch();
    if (reply.usable()) {
        const StatusReply status = StatusReply::read(reply.object);
        sample.state = History::stateOfOnline(status.online);
        sample.players = ReplyReader::integer(status.players);
        sample.limit = ReplyReader::integer(status.playersMax);
        sample.map = status.map;
    }
    recorder.record(sample);

    QElapsedTimer &asked = resourcesAsked[server];
    if (asked.isValid() && asked.elapsed() < resourcesEveryMsec)
        return;
    asked.start();
    pending.insert(client.get(ApiQuery::path(apiKey, ApiQuery::resources)), server);
}

void WatchHistory::onReplied(int id, const ServiceReply &reply)
{
    if (!pending.contains(id))
        return;
    const QString server = pending.take(id);
    if (!reply.usable())
        return;
    using ReplyReader::integer;
    const QVariantMap &figures = reply.object;
    recorder.record(History::ResourceSample {
        server, QDateTime::currentSecsSinceEpoch(), integer(figures.value(QStringLiteral("cpu_proc"))),
        integer(figures.value(QStringLiteral("mem_proc"))), integer(figures.value(QStringLiteral("players_proc"))),
        integer(figures.value(QStringLiteral("disk_proc")))});
}
