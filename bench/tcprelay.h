#pragma once

#include <QHostAddress>
#include <QObject>

class QTcpServer;
class QTcpSocket;

// Passes TCP connections from a loopback port of its own on to another port
// unchanged, and counts them. A client that reuses its connection shows up
// once, however many requests it sends; every new connection, and so every
// new TLS handshake, shows up again.
class TcpRelay : public QObject
{
    Q_OBJECT

public:
    explicit TcpRelay(quint16 targetPort, QObject *parent = nullptr);

    bool listen(); // on 127.0.0.1, a free port
    quint16 port() const;
    int connectionCount() const { return m_connections; }

private:
    void accept();
    void join(QTcpSocket *client, QTcpSocket *target);

    quint16 m_targetPort;
    QTcpServer *m_server;
    int m_connections = 0;
};
