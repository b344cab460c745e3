#pragma once

#include "core/api/apiendpoint.h"
#include "core/api/queuedhttp.h"
#include "core/api/servicereply.h"

#include <QObject>

// A client of the hosting API for a long run: every query goes out on the
// same HTTPS client, one after another, so that one TLS connection, kept
// alive, carries them all, as it does in the window. It trusts the system's
// authorities and the endpoint's own certificates, with every check on.
class ServiceConnection : public QObject
{
    Q_OBJECT

public:
    // `timeoutMsec` bounds each query from its start to its end.
    ServiceConnection(const ApiEndpoint &endpoint, int timeoutMsec, QObject *parent = nullptr);

    // Queues a GET of `path`; replied() tells how it ended.
    int get(const QByteArray &path);

signals:
    void replied(int id, const ServiceReply &reply);

private:
    QueuedHttp http;
    QString service;
    int timeoutMsec;
};
