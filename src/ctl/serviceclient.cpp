#include "serviceclient.h"

#include "core/api/queuedhttp.h"

#include <QEventLoop>

ServiceClient::ServiceClient(const ApiEndpoint &endpoint, int timeoutMsec)
    : endpoint(endpoint)
    , timeoutMsec(timeoutMsec)
{ }

ServiceClient::Reply ServiceClient::get(const QByteArray &path) const
{
    if (endpoint.caCertificates.isEmpty())
        return read(send(path, endpoint.sslConfiguration()));

    // The window trusts a private service's certificates on top of the
    // system's. Reading all of the system's takes a tenth of a second and
    // megabytes, and a private service seldom needs them, so its own are
    // tried alone first: whatever they accept, the whole set accepts too.
    // Only a refused handshake, before which no request goes out, is tried
    // again with the whole set.
    const HttpExchange own = send(path, endpoint.sslConfigurationTrustingOwnOnly());
    if (own.error != QNetworkReply::SslHandshakeFailedError)
        return read(own);
    return read(send(path, endpoint.sslConfiguration()));
}

HttpExchange ServiceClient::send(const QByteArray &path, const QSslConfiguration &tls) const
{
    QueuedHttp http;
    http.setTransferTimeout(timeoutMsec);
    http.setSslConfiguration(tls);
    http.setHost(endpoint.host, QueuedHttp::ConnectionModeHttps, endpoint.port);
    const int id = http.get(path);

    HttpExchange exchange;
    QEventLoop loop;
    QObject::connect(&http, &QueuedHttp::requestFinished, &loop, [&](int finished, bool failed) {
        if (finished != id)
            return;
        exchange = HttpExchange::take(http, failed);
        loop.quit();
    });
    loop.exec();
    return exchange;
}

ServiceClient::Reply ServiceClient::read(const HttpExchange &exchange) const
{
    return ServiceReply::read(exchange, QStringLiteral("%1:%2").arg(endpoint.host).arg(endpoint.port), timeoutMsec);
}
