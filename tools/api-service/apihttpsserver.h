#pragma once

#include "apirequestrouter.h"

#include <QAbstractHttpServer>

#include <functional>

class QDateTime;
class QSslCertificate;
class QSslKey;

// Thin HTTPS front of the web API: hands each request to ApiRequestRouter, writes
// the JSON reply and logs one line per request. The log names the query kind
// and the server, never the API key or the request target.
class ApiHttpsServer : public QAbstractHttpServer
{
    Q_OBJECT

public:
    explicit ApiHttpsServer(HostingApi &api, QObject *parent = nullptr);

    // Serves HTTPS on 127.0.0.1 only. Port 0 picks a free one. Returns the
    // port listened on, or 0 on failure.
    quint16 listenOnLoopback(const QSslCertificate &certificate, const QSslKey &key, quint16 port);

    // Where log lines go; standard error unless set.
    void setLogSink(std::function<void(const QString &)> sink);

    static QString logLine(const QDateTime &time, const ApiReply &reply);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    ApiRequestRouter m_router;
    std::function<void(const QString &)> m_logSink;
};
