#include "webhooksender.h"

#include "core/api/apiendpoint.h"
#include "ctl/webhookaddress.h"

#include <QMetaEnum>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

WebhookSender::WebhookSender(const QUrl &url, const QList<QSslCertificate> &extraAuthorities, int timeoutMsec,
                             int retryMsec, QObject *parent)
    : QObject(parent)
    , url(url)
    , timeoutMsec(timeoutMsec)
    , retryMsec(retryMsec)
    , tls(ApiEndpoint::trustingSystemAnd(extraAuthorities))
{
    manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

void WebhookSender::post(const QByteArray &body)
{
    send(body, false);
}

void WebhookSender::send(const QByteArray &body, bool lastTry)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(timeoutMsec);
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0)
        request.setSslConfiguration(tls);
    QNetworkReply *reply = manager.post(request, body);
    connect(reply, &QNetworkReply::finished, this, [this, reply, body, lastTry] { finished(reply, body, lastTry); });
}

void WebhookSender::finished(QNetworkReply *reply, const QByteArray &body, bool lastTry)
{
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
        emit delivered();
        return;
    }
    emit failed(QStringLiteral("веб-хук %1 %2; %3")
                    .arg(WebhookAddress::shown(url), describeFailure(reply),
                         lastTry ? QStringLiteral("оповещение не доставлено")
                                 : QStringLiteral("повтор через %1 с").arg(retryMsec / 1000.0)));
    if (!lastTry)
        QTimer::singleShot(retryMsec, this, [this, body] { send(body, true); });
}

// Qt's own error texts name the whole address, secret and all, so they are
// not shown.
QString WebhookSender::describeFailure(const QNetworkReply *reply) const
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        return QStringLiteral("ответил кодом HTTP %1").arg(status.toInt());
    switch (reply->error()) {
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError:
        return QStringLiteral("не ответил за %1 с").arg(timeoutMsec / 1000.0);
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("не прошёл проверку сертификата");
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("отказал в соединении");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("не найден (имя хоста не разрешается)");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("закрыл соединение, не ответив");
    default:
        return QStringLiteral("недоступен (ошибка сети %1)")
            .arg(QString::fromLatin1(QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(reply->error())));
    }
}
