#include "serviceclient.h"

#include "queuedhttp.h"
#include "replyreader.h"

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
    QueuedHttp http;
    http.setTransferTimeout(timeoutMsec);
    // As the window does: a private service's certificates are trusted on
    // top of the system's, and every certificate check stays on.
    QSslSocket tlsSettings;
    if (!endpoint.caCertificates.isEmpty()) {
        QSslConfiguration tls = tlsSettings.sslConfiguration();
        tls.setCaCertificates(QSslConfiguration::systemCaCertificates() + endpoint.caCertificates);
        tlsSettings.setSslConfiguration(tls);
    }
    http.setSocket(&tlsSettings);
    http.setHost(endpoint.host, QueuedHttp::ConnectionModeHttps, endpoint.port);
    const int id = http.get(path);

    Reply reply;
    QEventLoop loop;
    QObject::connect(&http, &QueuedHttp::requestFinished, &loop, [&](int finished, bool error) {
        if (finished != id)
            return;
        if (error)
            reply.failure = describeFailure(http);
        else if (http.statusCode() >= 400)
            reply.failure = QStringLiteral("служба ответила с кодом HTTP %1").arg(http.statusCode());
        reply.body = http.readAll();
        loop.quit();
    });
    loop.exec();
    if (!reply.failure.isEmpty())
        return reply;

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

QString ServiceClient::describeFailure(const QueuedHttp &http) const
{
    const QString service = QStringLiteral("%1:%2").arg(endpoint.host).arg(endpoint.port);
    switch (http.error()) {
    case QNetworkReply::TimeoutError:
        return QStringLiteral("служба %1 не ответила за %2 с").arg(service).arg(timeoutMsec / 1000.0);
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("служба %1 не прошла проверку сертификата: %2").arg(service, http.errorString());
    default:
        return QStringLiteral("не удалось связаться со службой %1: %2").arg(service, http.errorString());
    }
}
