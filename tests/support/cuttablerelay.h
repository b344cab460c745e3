#pragma once

#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// Passes TCP connections from a loopback port of its own on to another
// port, until it is cut: then it drops the connections it carries and
// closes every new one at once, as a service that cannot be reached. The
// port stays the same, so a client finds the service again once the relay
// is joined up again. It counts the connections it passed and refused.
class CuttableRelay : public QObject
{
    Q_OBJECT

public:
    explicit CuttableRelay(quint16 targetPort, QObject *parent = nullptr);

    bool listen(); // on 127.0.0.1, a free port
    quint16 port() const { return server.serverPort(); }

    void cut();
    void join();

    int passed() const { return passedCount; }
    int refused() const { return refusedCount; }

private:
    void accept();

    quint16 targetPort;
    QTcpServer server;
    bool isCut = false;
    int passedCount = 0;
    int refusedCount = 0;
};
