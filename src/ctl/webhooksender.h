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
// `cacert` are trusted. A post that fails is said in one line (an HTTP
// error with its status code) and is tried once more after a while.
// Redirects are not followed, so the body and the address's secret go
// nowhere else. Only the scheme, host and port of the address are shown.
class WebhookSender : public QObject
{
    Q_OBJECT

public:
    static constexpr int usualRetryMsec = 30000;

    // `timeoutMsec` bounds each post; a failed one is tried again after `retryMsec`.
    WebhookSender(const QUrl &url, const QList<QSslCertificate> &extraAuthorities, int timeoutMsec,
                  int retryMsec = usualRetryMsec, QObject *parent = nullptr);

    void post(const QByteArray &body);

signals:
    // The receiver took a post (an HTTP status of 2xx).
    void delivered();
    // A post failed, in one Russian line for standard error: the address
    // (scheme, host and port), what went wrong, and whether it is tried again.
    void failed(const QString &line);

private:
    void send(const QByteArray &body, bool lastTry);
    void finished(QNetworkReply *reply, const QByteArray &body, bool lastTry);
    QString describeFailure(const QNetworkReply *reply) const;

    QUrl url;
    int timeoutMsec;
    int retryMsec;
    QSslConfiguration tls;
    QNetworkAccessManager manager;
};
