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
// running after 60 s is ended, with whatever it started. A failure is one
// line on standard error.
// The command's own errors go to standard error, and so does its output
// on Unix (on Windows that is dropped), so that standard output keeps only
// the watch's lines.
class AlertCommand : public QObject
{
    Q_OBJECT

public:
    explicit AlertCommand(const QString &command, QObject *parent = nullptr);
    // Ends the commands still running.
    ~AlertCommand() override;

    void run(const StateChange &alert);

private:
    void startNext();
    void finished(QProcess *process, const QString &server, const QString &failure);
    QProcess *makeProcess(const StateChange &alert);

    QString command;
    QQueue<StateChange> waiting;
    QList<QProcess *> running;
};
