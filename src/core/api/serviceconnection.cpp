#include "serviceconnection.h"

ServiceConnection::ServiceConnection(const ApiEndpoint &endpoint, int timeoutMsec, QObject *parent)
    : QObject(parent)
    , service(QStringLiteral("%1:%2").arg(endpoint.host).arg(endpoint.port))
    , timeoutMsec(timeoutMsec)
{
    http.setTransferTimeout(timeoutMsec);
    http.setSslConfiguration(endpoint.sslConfiguration());
    // The set-up operations end with requestFinished() too; only GETs follow them.
    const int lastSetUp = http.setHost(endpoint.host, QueuedHttp::ConnectionModeHttps, endpoint.port);
    connect(&http, &QueuedHttp::requestFinished, this, [this, lastSetUp](int id, bool failed) {
        if (id <= lastSetUp)
            return;
        emit replied(id, ServiceReply::read(HttpExchange::take(http, failed), service, this->timeoutMsec));
    });
}

int ServiceConnection::get(const QByteArray &path)
{
    return http.get(path);
}
