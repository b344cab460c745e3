#pragma once

#include "ctl/statechange.h"

#include <QList>
#include <QObject>
#include <QQueue>
#include <QString>

class QProcess;

// Runs the --exec command for each alert through the system's shell
// (/bin/sh -c on Unix, cmd /c on Windows). The alert reaches it only in
// environment variables, never in the command's text, so that nothing a
// server's name or a reply holds can become part of a command. Commands run
// beside the rounds, a few at a time (the rest wait their turn); one still
// running after a while is ended, with whatever it started. A failure is
// said in one line.
// The command's own errors go to standard error, and so does its output
// on Unix (on Windows that is dropped), so that standard output keeps only
// the watch's lines.
class AlertCommand : public QObject
{
    Q_OBJECT

public:
    static constexpr int usualLongestRunMsec = 60000;

    // A command still running after `longestRunMsec` is ended.
    explicit AlertCommand(const QString &command, int longestRunMsec = usualLongestRunMsec, QObject *parent = nullptr);
    // Ends the commands still running.
    ~AlertCommand() override;

    void run(const StateChange &alert);

signals:
    // A command failed, in one Russian line for standard error: the server
    // it ran for and how it ended.
    void failed(const QString &line);

private:
    void startNext();
    void finished(QProcess *process, const QString &server, const QString &failure);
    QProcess *makeProcess(const StateChange &alert);

    QString command;
    int longestRunMsec;
    QQueue<StateChange> waiting;
    QList<QProcess *> running;
};
