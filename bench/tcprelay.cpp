#include "tcprelay.h"

#include <QTcpServer>
#include <QTcpSocket>

TcpRelay::TcpRelay(quint16 targetPort, QObject *parent)
    : QObject(parent)
    , m_targetPort(targetPort)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TcpRelay::accept);
}

bool TcpRelay::listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 TcpRelay::port() const
{
    return m_server->serverPort();
}

void TcpRelay::accept()
{
    while (QTcpSocket *client = m_server->nextPendingConnection()) {
        ++m_connections;
        auto *target = new QTcpSocket(client);
        join(client, target);
        target->connectToHost(QHostAddress::LocalHost, m_targetPort);
    }
}

void TcpRelay::join(QTcpSocket *client, QTcpSocket *target)
{
    // What the client sends before the far side is connected stays in the
    // client socket's buffer until then.
    auto pass = [](QTcpSocket *from, QTcpSocket *to) {
        if (to->state() == QAbstractSocket::ConnectedState)
            to->write(from->readAll());
    };
    connect(client, &QTcpSocket::readyRead, target, [=] { pass(client, target); });
    connect(target, &QTcpSocket::readyRead, client, [=] { pass(target, client); });
    connect(target, &QTcpSocket::connected, client, [=] { pass(client, target); });

    // Either side closing closes the other, once what is buffered is out.
    connect(client, &QTcpSocket::disconnected, target, [=] { target->disconnectFromHost(); });
    connect(target, &QTcpSocket::disconnected, client, [=] {
        pass(target, client);
        client->disconnectFromHost();
    });
    connect(target, &QTcpSocket::errorOccurred, client, [=] { client->disconnectFromHost(); });
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
}
