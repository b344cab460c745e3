#include "cuttablerelay.h"

#include <QTcpSocket>

CuttableRelay::CuttableRelay(quint16 targetPort, QObject *parent)
    : QObject(parent)
    , targetPort(targetPort)
{
    connect(&server, &QTcpServer::newConnection, this, &CuttableRelay::accept);
}

bool CuttableRelay::listen()
{
    if (!server.listen(QHostAddress::LocalHost, ownPort))
        return false;
    ownPort = server.serverPort();
    return true;
}

void CuttableRelay::cut()
{
    server.close();
    // The pairs are children of the server: everything open is dropped.
    const QList<QTcpSocket *> open = server.findChildren<QTcpSocket *>();
    for (QTcpSocket *socket : open)
        socket->abort();
}

bool CuttableRelay::join()
{
    return listen();
}

void CuttableRelay::accept()
{
    while (QTcpSocket *client = server.nextPendingConnection()) {
        auto *target = new QTcpSocket(&server);
        const auto pass = [](QTcpSocket *from, QTcpSocket *to) {
            connect(from, &QTcpSocket::readyRead, to, [from, to] { to->write(from->readAll()); });
            connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
            connect(from, &QTcpSocket::disconnected, from, &QObject::deleteLater);
        };
        // Counted before it is passed on.
        connect(client, &QTcpSocket::readyRead, this, [this, client] { passed += client->bytesAvailable(); });
        pass(client, target);
        pass(target, client);
        connect(target, &QTcpSocket::errorOccurred, client, [client] { client->abort(); });
        target->connectToHost(QHostAddress::LocalHost, targetPort);
    }
}
