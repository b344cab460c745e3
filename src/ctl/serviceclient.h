#pragma once

#include "core/api/apiendpoint.h"
#include "core/api/servicereply.h"

#include <QByteArray>
#include <QSslConfiguration>

// One query to the hosting API at a time, sent exactly as the window sends
// it (the same HTTPS client), trusting the certificates the window trusts,
// with a time-out for the whole query.
class ServiceClient
{
public:
    using Reply = ServiceReply;

    ServiceClient(const ApiEndpoint &endpoint, int timeoutMsec);

    // Sends a GET of `path` and waits for its end; the reply is judged as
    // ServiceReply::read() judges it.
    Reply get(const QByteArray &path) const;

private:
    // One GET under the given TLS settings.
    HttpExchange send(const QByteArray &path, const QSslConfiguration &tls) const;
    Reply read(const HttpExchange &exchange) const;

    ApiEndpoint endpoint;
    int timeoutMsec;
};
