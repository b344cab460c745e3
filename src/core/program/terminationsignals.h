#pragma once

#include <QObject>

class QSocketNotifier;

// Turns a request to end the program into a Qt signal delivered by the
// event loop: SIGINT and SIGTERM on Unix; Ctrl+C, Ctrl+Break and a closed
// console window on Windows. The handlers only pass the request on;
// everything else happens on the owner's thread. Create at most one.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    bool isWatching() const { return watching; }

signals:
    // The signal's number on Unix, the console event's on Windows.
    void received(int signalNumber);

private:
    bool watching = false;
#ifndef Q_OS_WIN
    void readPending();

    QSocketNotifier *notifier = nullptr;
#endif
};
