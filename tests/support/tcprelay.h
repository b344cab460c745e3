#pragma once

#include <QHostAddress>
#include <QObject>

class QTcpServer;
class QTcpSocket;

// Passes TCP connections from a loopback port of its own on to another port
// unchanged, and counts them and the bytes clients send through them. A
// client that reuses its connection shows up once, however many requests it
// sends; every new connection, and so every new TLS handshake, shows up
// again. Cut, it drops the connections it carries and stops listening, so
// that new ones are refused, as by a service that cannot be reached; joined
// again, it listens on the same port.
class TcpRelay : public QObject
{
    Q_OBJECT

public:
    explicit TcpRelay(quint16 targetPort, QObject *parent = nullptr);

    bool listen(); // on 127.0.0.1, a free port the first time
    quint16 port() const { return m_port; }
    int connectionCount() const { return m_connections; }
    qint64 bytesPassed() const { return m_bytesPassed; }

    void cut();
    bool join();

private:
    void accept();
    void join(QTcpSocket *client, QTcpSocket *target);

    quint16 m_targetPort;
    quint16 m_port = 0;
    QTcpServer *m_server;
    int m_connections = 0;
    qint64 m_bytesPassed = 0;
};
