#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// One running copy of the program per settings file. The first start with
// a file answers on a local socket named after the file; a later start with
// the same file asks that copy to bring its window forward and ends. Two
// users, or two settings files, never meet: on Unix systems the socket and
// its lock lie in a folder of the user's alone (see RunningCopyFolder), and
// on Windows, where any account may make a pipe of any name, only an answer
// from a process of the same account counts.
class RunningCopy : public QObject
{
    Q_OBJECT

public:
    enum Outcome {
        HandedOver, // a running copy answered: this one ends
        Serving, // this is the running copy now
        Alone, // the socket could not be set up: run without it
    };

    explicit RunningCopy(const QString &settingsPath, QObject *parent = nullptr);

    Outcome start();

    // The local socket of the copy that uses this settings file; on Unix
    // systems empty when no folder of the user's alone can be had, and the
    // program then runs alone.
    static QString socketName(const QString &settingsPath);

signals:
    // A later start asked for the window.
    void showRequested();

private:
    bool askRunningCopy();
    void answer(QLocalSocket *socket);

    QString name;
    QLocalServer *server = nullptr;
};
