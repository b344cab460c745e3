#pragma once

#include "core/api/apiendpoint.h"
#include "core/api/queuedhttp.h"
#include "core/api/servicereply.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QSslConfiguration>

// valmora-ctl's client of the hosting API. Queries are sent exactly as the
// window sends them, one after another on the same HTTPS client, so that
// one TLS connection, kept alive, carries them all; every certificate check
// stays on. Each reply is judged as ServiceReply::read() judges it.
class ServiceClient : public QObject
{
    Q_OBJECT

public:
    // `timeoutMsec` bounds each query from its start to its end.
    ServiceClient(const ApiEndpoint &endpoint, int timeoutMsec, QObject *parent = nullptr);

    // For a long run (watch): queues a GET of `path`, trusting the system's
    // authorities and the endpoint's own; replied() tells how it ended.
    int get(const QByteArray &path);

    // For a command run once: sends a GET of `path` and waits for its end.
    // A private service's own certificates are tried alone first, to spare
    // reading all of the system's.
    ServiceReply getNow(const QByteArray &path);

signals:
    void replied(int id, const ServiceReply &reply);

private:
    // One GET under `tls`, waited for.
    HttpExchange exchange(const QSslConfiguration &tls, const QByteArray &path);
    ServiceReply read(const HttpExchange &exchange) const;

    ApiEndpoint endpoint;
    int timeoutMsec;
    QueuedHttp http;
    QSet<int> queued; // the GETs of get() not finished yet
    bool trustingAll = false; // the TLS settings of get() are queued
};
