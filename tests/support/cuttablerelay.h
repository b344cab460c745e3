#pragma once

#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// Passes TCP connections from a loopback port of its own on to another
// port, until it is cut: then it drops the connections it carries and stops
// listening, so that new ones are refused, as by a service that cannot be
// reached. Joined again, it listens on the same port. It counts the bytes
// clients sent through it, by which a test sees a round of queries go by.
class CuttableRelay : public QObject
{
    Q_OBJECT

public:
    explicit CuttableRelay(quint16 targetPort, QObject *parent = nullptr);

    bool listen(); // on 127.0.0.1, a free port
    quint16 port() const { return ownPort; }

    void cut();
    bool join();

    qint64 bytesPassed() const { return passed; }

private:
    void accept();

    quint16 targetPort;
    quint16 ownPort = 0;
    QTcpServer server;
    qint64 passed = 0;
};
