#include "watchrounds.h"

#include "core/api/apiquery.h"
#include "core/api/replyreader.h"
#include "core/api/serverstate.h"
#include "core/api/statusreply.h"
#include "ctl/serviceclient.h"

#include <QSet>

namespace {

ServerReading readingOf(const ServiceReply &reply)
{
    ServerReading reading;
    if (!reply.usable()) {
        reading.state = ServerState::unreachableName();
        return reading;
    }
    const StatusReply status = StatusReply::read(reply.object);
    reading.reached = true;
    reading.state = status.state();
    reading.players = ReplyReader::integer(status.players);
    reading.playersMax = ReplyReader::integer(status.playersMax);
    reading.map = status.map;
    return reading;
}

} // namespace

WatchRounds::WatchRounds(WatchedServers &servers, ServiceClient &client, int intervalMsec, QObject *parent)
    : QObject(parent)
    , servers(servers)
    , client(client)
{
    next.setInterval(intervalMsec);
    next.setSingleShot(true);
    connect(&next, &QTimer::timeout, this, [this] {
        if (roundRunning)
            roundDue = true;
        else
            beginRound();
    });
    connect(&client, &ServiceClient::replied, this, &WatchRounds::onReplied);
}

void WatchRounds::start()
{
    beginRound();
}

void WatchRounds::beginRound()
{
    next.start();
    roundRunning = true;
    roundDue = false;

    const QList<WatchedServers::Server> previous = round;
    round = servers.forRound();
    // A server gone from the file starts afresh should it come back.
    QSet<QString> names;
    for (const WatchedServers::Server &server : qAsConst(round))
        names.insert(server.name);
    for (const WatchedServers::Server &server : previous) {
        if (!names.contains(server.name))
            tracker.forget(server.name);
    }

    position = 0;
    askedAgain = false;
    askCurrent();
}

void WatchRounds::askCurrent()
{
    if (position >= round.size()) {
        endRound();
        return;
    }
    pending = client.get(ApiQuery::path(round.at(position).apiKey, ApiQuery::status));
}

void WatchRounds::onReplied(int id, const ServiceReply &reply)
{
    if (id != pending)
        return;
    pending = 0;
    const QString &name = round.at(position).name;
    emit answered(name, round.at(position).apiKey, reply);
    // A server's first query that fails is asked once more at once, so that
    // its first state, too, is "Нет связи" only after two failures in a row.
    if (!reply.usable() && !askedAgain && !tracker.hasReported(name)) {
        tracker.take(name, readingOf(reply));
        askedAgain = true;
        askCurrent();
        return;
    }
    const std::optional<StateChange> change = tracker.take(name, readingOf(reply));
    if (change) {
        StateChange report = *change;
        report.time = QDateTime::currentDateTime();
        if (!report.now.reached)
            emit unreachable(name, reply.failure);
        emit reported(report);
    }
    ++position;
    askedAgain = false;
    askCurrent();
}

void WatchRounds::endRound()
{
    roundRunning = false;
    if (roundDue)
        beginRound();
}
