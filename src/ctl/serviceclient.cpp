#include "serviceclient.h"

#include "core/api/queuedhttp.h"
#include "core/api/replyreader.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QSslConfiguration>
#include <QSslSocket>

ServiceClient::ServiceClient(const ApiEndpoint &endpoint, int timeoutMsec)
    : endpoint(endpoint)
    , timeoutMsec(timeoutMsec)
{ }

ServiceClient::Reply ServiceClient::get(const QByteArray &path) const
{
    if (endpoint.caCertificates.isEmpty())
        return read(send(path, {}));

    // The window trusts a private service's certificates on top of the
    // system's. Reading all of the system's takes a tenth of a second and
    // megabytes, and a private service seldom needs them, so its own are
    // tried alone first: whatever they accept, the whole set accepts too.
    // Only a refused handshake, before which no request goes out, is tried
    // again with the whole set.
    const Exchange own = send(path, endpoint.caCertificates);
    if (own.error != QNetworkReply::SslHandshakeFailedError)
        return read(own);
    return read(send(path, QSslConfiguration::systemCaCertificates() + endpoint.caCertificates));
}

ServiceClient::Exchange ServiceClient::send(const QByteArray &path, const QList<QSslCertificate> &authorities) const
{
    QueuedHttp http;
    http.setTransferTimeout(timeoutMsec);
    // Every certificate check stays on.
    QSslSocket tlsSettings;
    if (!authorities.isEmpty()) {
        QSslConfiguration tls = tlsSettings.sslConfiguration();
        tls.setCaCertificates(authorities);
        tlsSettings.setSslConfiguration(tls);
    }
    http.setSocket(&tlsSettings);
    http.setHost(endpoint.host, QueuedHttp::ConnectionModeHttps, endpoint.port);
    const int id = http.get(path);

    Exchange exchange;
    QEventLoop loop;
    QObject::connect(&http, &QueuedHttp::requestFinished, &loop, [&](int finished, bool failed) {
        if (finished != id)
            return;
        exchange.failed = failed;
        exchange.error = http.error();
        exchange.errorString = http.errorString();
        exchange.statusCode = http.statusCode();
        exchange.body = http.readAll();
        loop.quit();
    });
    loop.exec();
    return exchange;
}

ServiceClient::Reply ServiceClient::read(const Exchange &exchange) const
{
    Reply reply;
    const QString service = QStringLiteral("%1:%2").arg(endpoint.host).arg(endpoint.port);
    if (exchange.error == QNetworkReply::TimeoutError) {
        reply.failure = QStringLiteral("служба %1 не ответила за %2 с").arg(service).arg(timeoutMsec / 1000.0);
    } else if (exchange.error == QNetworkReply::SslHandshakeFailedError) {
        reply.failure
            = QStringLiteral("служба %1 не прошла проверку сертификата: %2").arg(service, exchange.errorString);
    } else if (exchange.failed) {
        reply.failure = QStringLiteral("не удалось связаться со службой %1: %2").arg(service, exchange.errorString);
    } else if (exchange.statusCode >= 400) {
        reply.failure = QStringLiteral("служба ответила с кодом HTTP %1").arg(exchange.statusCode);
    }
    if (!reply.failure.isEmpty())
        return reply;

    reply.body = exchange.body;
    if (!QJsonDocument::fromJson(reply.body).isObject()) {
        reply.failure = QStringLiteral("служба ответила не объектом JSON");
        return reply;
    }
    ReplyReader::parse(reply.body, &reply.object);
    if (ReplyReader::text(reply.object.value(QStringLiteral("result"))) == QLatin1String("error")) {
        const QString message = ReplyReader::text(reply.object.value(QStringLiteral("message")));
        const QString error = ReplyReader::text(reply.object.value(QStringLiteral("error")));
        reply.failure = QStringLiteral("служба отказала: %1 (%2)").arg(message, error);
    }
    return reply;
}
