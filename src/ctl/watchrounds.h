#pragma once

#include "ctl/statechange.h"
#include "ctl/statetracker.h"
#include "ctl/watchedservers.h"

#include <QObject>
#include <QTimer>

class ServiceClient;
struct ServiceReply;

// The rounds of a watch: every interval, one status query per server, one
// after another on the one connection. A round that runs longer than the
// interval is followed by the next at once. Between rounds only a timer is
// left waiting.
class WatchRounds : public QObject
{
    Q_OBJECT

public:
    WatchRounds(WatchedServers &servers, ServiceClient &client, int intervalMsec, QObject *parent = nullptr);

    // Starts the first round now.
    void start();

signals:
    // A server's first state, and every alert.
    void reported(const StateChange &change);
    // Why a server's state became "Нет связи", in Russian.
    void unreachable(const QString &server, const QString &failure);
    // Every answer to a status query, usable or not, as it comes.
    void answered(const QString &server, const QString &apiKey, const ServiceReply &reply);

private:
    void beginRound();
    void askCurrent();
    void onReplied(int id, const ServiceReply &reply);
    void endRound();

    WatchedServers &servers;
    ServiceClient &client;
    StateTracker tracker;
    QTimer next;
    bool roundRunning = false;
    bool roundDue = false;

    QList<WatchedServers::Server> round;
    qsizetype position = 0;
    bool askedAgain = false;
    int pending = 0; // the id of the query in flight
};
