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
    if (!m_server->listen(QHostAddress::LocalHost, m_port))
        return false;
    m_port = m_server->serverPort();
    return true;
}

void TcpRelay::cut()
{
    m_server->close();
    // The clients are children of the server, their far sides theirs.
    const QList<QTcpSocket *> open = m_server->findChildren<QTcpSocket *>();
    for (QTcpSocket *socket : open)
        socket->abort();
}

bool TcpRelay::join()
{
    return listen();
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
    auto pass = [](QTcpSocket *from, QTcpSocket *to) -> qint64 {
        if (to->state() != QAbstractSocket::ConnectedState)
            return 0;
        const QByteArray bytes = from->readAll();
        to->write(bytes);
        return bytes.size();
    };
    const auto forward = [this, client, target, pass] { m_bytesPassed += pass(client, target); };
    connect(client, &QTcpSocket::readyRead, target, forward);
    connect(target, &QTcpSocket::connected, client, forward);
    connect(target, &QTcpSocket::readyRead, client, [=] { pass(target, client); });

    // Either side closing closes the other, once what is buffered is out.
    connect(client, &QTcpSocket::disconnected, target, [=] { target->disconnectFromHost(); });
    connect(target, &QTcpSocket::disconnected, client, [=] {
        pass(target, client);
        client->disconnectFromHost();
    });
    connect(target, &QTcpSocket::errorOccurred, client, [=] { client->disconnectFromHost(); });
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
}
