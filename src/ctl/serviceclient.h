#pragma once

#include "apiendpoint.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

class QueuedHttp;

// One query to the hosting API at a time, sent exactly as the window sends
// it (the same HTTPS client), with the certificates the window trusts and a
// time-out for the whole query.
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
    QString describeFailure(const QueuedHttp &http) const;

    ApiEndpoint endpoint;
    int timeoutMsec;
};
