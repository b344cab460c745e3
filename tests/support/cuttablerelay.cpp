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
    return server.listen(QHostAddress::LocalHost, 0);
}

void CuttableRelay::cut()
{
    isCut = true;
    // The pairs are children of the server: everything open is dropped.
    const QList<QTcpSocket *> open = server.findChildren<QTcpSocket *>();
    for (QTcpSocket *socket : open)
        socket->abort();
}

void CuttableRelay::join()
{
    isCut = false;
}

void CuttableRelay::accept()
{
    while (QTcpSocket *client = server.nextPendingConnection()) {
        if (isCut) {
            ++refusedCount;
            client->abort();
            client->deleteLater();
            continue;
        }
        ++passedCount;
        auto *target = new QTcpSocket(&server);
        const auto pass = [](QTcpSocket *from, QTcpSocket *to) {
            connect(from, &QTcpSocket::readyRead, to, [from, to] { to->write(from->readAll()); });
            connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
            connect(from, &QTcpSocket::disconnected, from, &QObject::deleteLater);
        };
        pass(client, target);
        pass(target, client);
        connect(target, &QTcpSocket::errorOccurred, client, [client] { client->abort(); });
        target->connectToHost(QHostAddress::LocalHost, targetPort);
    }
}
