#include "serviceclient.h"

#include <QEventLoop>

ServiceClient::ServiceClient(const ApiEndpoint &endpoint, int timeoutMsec, QObject *parent)
    : QObject(parent)
    , endpoint(endpoint)
    , timeoutMsec(timeoutMsec)
{
    http.setTransferTimeout(timeoutMsec);
    http.setHost(endpoint.host, QueuedHttp::ConnectionModeHttps, endpoint.port);
    // The other operations, and the GETs of getNow(), end with requestFinished() too.
    connect(&http, &QueuedHttp::requestFinished, this, [this](int id, bool failed) {
        if (queued.remove(id))
            emit replied(id, read(HttpExchange::take(http, failed)));
    });
}

int ServiceClient::get(const QByteArray &path)
{
    if (!trustingAll) {
        http.setSslConfiguration(endpoint.sslConfiguration());
        trustingAll = true;
    }
    const int id = http.get(path);
    queued.insert(id);
    return id;
}

ServiceReply ServiceClient::getNow(const QByteArray &path)
{
    // Reading all of the system's authorities takes a tenth of a second and
    // megabytes, and a private service seldom needs them: whatever its own
    // certificates accept, the whole set accepts too. Only a refused
    // handshake, before which no request goes out, is tried again with the
    // whole set.
    trustingAll = false;
    if (!endpoint.caCertificates.isEmpty()) {
        const HttpExchange own = exchange(endpoint.sslConfigurationTrustingOwnOnly(), path);
        if (own.error != QNetworkReply::SslHandshakeFailedError)
            return read(own);
    }
    return read(exchange(endpoint.sslConfiguration(), path));
}

HttpExchange ServiceClient::exchange(const QSslConfiguration &tls, const QByteArray &path)
{
    http.setSslConfiguration(tls);
    const int id = http.get(path);
    HttpExchange exchange;
    QEventLoop loop;
    connect(&http, &QueuedHttp::requestFinished, &loop, [&](int done, bool failed) {
        if (done != id)
            return;
        exchange = HttpExchange::take(http, failed);
        loop.quit();
    });
    loop.exec();
    return exchange;
}

ServiceReply ServiceClient::read(const HttpExchange &exchange) const
{
    return ServiceReply::read(exchange, QStringLiteral("%1:%2").arg(endpoint.host).arg(endpoint.port), timeoutMsec);
}
