#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QUrl>

class QNetworkReply;

// Posts each alert's JSON body to the webhook, beside the rounds, with
// every certificate check on: the system's authorities and those of
// `cacert` are trusted. A post that fails is one line on standard error
// (an HTTP error with its status code) and is tried once more after 30 s.
// Redirects are not followed, so the body and the address's secret go
// nowhere else. Only the scheme, host and port of the address are shown.
class WebhookSender : public QObject
{
    Q_OBJECT

public:
    WebhookSender(const QUrl &url, const QList<QSslCertificate> &extraAuthorities, int timeoutMsec,
                  QObject *parent = nullptr);

    void post(const QByteArray &body);

private:
    void send(const QByteArray &body, bool lastTry);
    void finished(QNetworkReply *reply, const QByteArray &body, bool lastTry);
    QString describeFailure(const QNetworkReply *reply) const;

    QUrl url;
    int timeoutMsec;
    QSslConfiguration tls;
    QNetworkAccessManager manager;
};
