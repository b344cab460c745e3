#include "servicereply.h"

#include "core/api/queuedhttp.h"
#include "core/api/replyreader.h"

#include <QJsonDocument>

HttpExchange HttpExchange::take(const QueuedHttp &http, bool failed)
{
    HttpExchange exchange;
    exchange.failed = failed;
    exchange.error = http.error();
    exchange.errorString = http.errorString();
    exchange.statusCode = http.statusCode();
    exchange.body = http.readAll();
    return exchange;
}

ServiceReply ServiceReply::read(const HttpExchange &exchange, const QString &service, int timeoutMsec)
{
    ServiceReply reply;
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
