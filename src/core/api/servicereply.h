#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QString>
#include <QVariantMap>

class QueuedHttp;

// How one GET to the hosting API ended, taken from the client while its
// requestFinished() is handled.
struct HttpExchange
{
    bool failed = false; // a transport failure: no reply came
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorString;
    int statusCode = 0;
    QByteArray body;

    static HttpExchange take(const QueuedHttp &http, bool failed);
};

// Whether a reply of the hosting API was answered at all: valmora-ctl's
// commands and watch judge their replies here, and so does the window's
// history when it tells an answer from "Нет связи" (the window shows its
// replies leniently, in its own way). It is usable when it came with an
// HTTP status below 400 and is a JSON object that reports no error;
// otherwise `failure` says in Russian what went wrong.
struct ServiceReply
{
    QByteArray body; // as received
    QVariantMap object; // the body read as a JSON object
    QString failure; // empty when the reply is usable

    bool usable() const { return failure.isEmpty(); }

    // `service` names the host ("host:port") in the failure's text, and
    // `timeoutMsec` is the time-out a TimeoutError stands for.
    static ServiceReply read(const HttpExchange &exchange, const QString &service, int timeoutMsec);
};
