#include "allserverspoller.h"

#include "core/api/apiquery.h"
#include "core/api/queuedhttp.h"
#include "core/api/servicereply.h"
#include "history/historyaccess.h"
#include "history/replysamples.h"

#include <QTimer>

AllServersPoller::AllServersPoller(HistoryAccess *access, ServerList servers, Selected selected,
                                   const ApiEndpoint &endpoint, int intervalMsec, QObject *parent)
    : QObject(parent)
    , access(access)
    , servers(std::move(servers))
    , selected(std::move(selected))
    , endpoint(endpoint)
    , timer(new QTimer(this))
{
    timer->setInterval(intervalMsec);
    connect(timer, &QTimer::timeout, this, &AllServersPoller::poll);
}

void AllServersPoller::setActive(bool on)
{
    if (on == timer->isActive())
        return;
    if (!on) {
        timer->stop();
        return;
    }
    timer->start();
    poll();
}

bool AllServersPoller::isActive() const
{
    return timer->isActive();
}

void AllServersPoller::poll()
{
    // A round still waiting for a silent service is not doubled.
    if (!pending.isEmpty())
        return;
    if (!http) {
        http = new QueuedHttp(this);
        // The same trust as the window's own queries; the window has told
        // already of a cacert file without certificates.
        endpoint.parsePendingCaCertificates();
        connect(http, &QueuedHttp::requestFinished, this, &AllServersPoller::finished);
        http->setSslConfiguration(endpoint.sslConfiguration());
        http->setHost(endpoint.host, QueuedHttp::ConnectionModeHttps, endpoint.port);
    }
    const QString skipped = selected();
    const QMap<QString, QString> all = servers();
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        if (it.key() != skipped)
            pending.insert(http->get(ApiQuery::path(it.value(), ApiQuery::status)), it.key());
    }
}

void AllServersPoller::finished(int id, bool error)
{
    if (!pending.contains(id))
        return;
    const QString server = pending.take(id);
    access->record(ReplySamples::status(server, access->now(), HttpExchange::take(*http, error)));
}
