#pragma once

#include "core/api/apiendpoint.h"

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QString>
#include <QVariantMap>

// One query to the hosting API at a time, sent exactly as the window sends
// it (the same HTTPS client), trusting the certificates the window trusts,
// with a time-out for the whole query.
class ServiceClient
{
public:
    struct Reply
    {
        QByteArray body; // as received
        QVariantMap object; // the body read as a JSON object
        QString failure; // in Russian; empty when the reply is usable
    };

    ServiceClient(const ApiEndpoint &endpoint, int timeoutMsec);

    // Sends a GET of `path` and waits for its end. A reply is usable when it
    // came with an HTTP status below 400 and is a JSON object that reports
    // no error.
    Reply get(const QByteArray &path) const;

private:
    struct Exchange
    {
        bool failed = false;
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        QString errorString;
        int statusCode = 0;
        QByteArray body;
    };

    // One GET; an empty list of authorities means Qt's default, the system's.
    Exchange send(const QByteArray &path, const QList<QSslCertificate> &authorities) const;
    Reply read(const Exchange &exchange) const;

    ApiEndpoint endpoint;
    int timeoutMsec;
};
