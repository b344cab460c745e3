#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <functional>

class QSslServer;
class QSslSocket;

// What the test server answers to one request.
struct TlsTestReply
{
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // sent besides the length and keep-alive
    bool silent = false; // never answer, and read nothing more on that connection
};

// A reply of `status` carrying `body`.
inline TlsTestReply replyWith(const QByteArray &body, int status = 200)
{
    TlsTestReply result;
    result.status = status;
    result.body = body;
    return result;
}

// The query kind ("status", "getresources", ...) of a request target that
// the window or valmora-ctl sent to the service.
inline QString queryKindOf(const QByteArray &target)
{
    const QByteArray query = target.mid(target.indexOf("&query=") + 7);
    return QString::fromLatin1(query.split('&').constFirst());
}

// A small HTTP/1.1 responder over TLS on a loopback address, for tests.
// It keeps connections alive, records every request line it reads and
// counts connections and completed handshakes.
class TlsTestServer : public QObject
{
    Q_OBJECT

public:
    // Gets the request target ("/path?query") exactly as received.
    using Handler = std::function<TlsTestReply(const QByteArray &target)>;

    explicit TlsTestServer(QObject *parent = nullptr);
    ~TlsTestServer() override;

    // Loads a PEM certificate and its private key and listens on a free port.
    bool start(const QString &certificatePath, const QString &keyPath,
               const QHostAddress &address = QHostAddress::LocalHost);
    quint16 port() const;

    // By default every request is answered with status 200 and its own target as body.
    void setHandler(Handler handler);

    QList<QByteArray> requestLines() const; // e.g. "GET /x?y=1 HTTP/1.1"
    QList<QByteArray> targets() const;
    QList<QByteArray> bodies() const; // of every request, in order; empty for a GET
    QList<QByteArray> contentTypes() const; // the Content-Type header of every request
    int connectionCount() const; // TCP connections accepted
    int handshakeCount() const; // TLS handshakes completed

signals:
    void requestReceived(const QByteArray &target);

private:
    void acceptConnections();
    void serve(QSslSocket *socket);

    QSslServer *m_server;
    Handler m_handler;
    QHash<QSslSocket *, QByteArray> m_buffers;
    QList<QSslSocket *> m_silenced;
    QList<QByteArray> m_requestLines;
    QList<QByteArray> m_bodies;
    QList<QByteArray> m_contentTypes;
    int m_connections = 0;
    int m_handshakes = 0;
};
