#pragma once

#include "ctl/historycommandline.h"
#include "ctl/watchcommandline.h"

#include <QString>
#include <QStringList>

// What valmora-ctl was asked to do.
struct CtlRequest
{
    QString command; // "list", "status", ...
    QStringList arguments; // the command's own, the server's name first
    QString settingsFile; // made absolute; empty: the usual place
    bool json = false;
    int timeoutMsec = 30000;
    WatchRequest watch; // for the command watch
    HistoryRequest history; // for the command history
};

// valmora-ctl's command line: [--settings FILE] [--json] [--timeout SECONDS]
// COMMAND [ARGUMENTS], --help and --version. The options stand before the
// command; everything after it belongs to the command, so that a console
// command may hold words that start with a dash (watch reads its own
// options there). Every mistake is found
// here, before anything is read or sent.
class CtlCommandLine
{
public:
    enum class Outcome { Run, Help, Version, Mistake };

    // The arguments as the program got them, its own name first.
    explicit CtlCommandLine(const QStringList &arguments);

    Outcome outcome() const { return result; }
    const CtlRequest &request() const { return wanted; }
    // One line in Russian; empty unless the outcome is Mistake.
    QString mistake() const { return problem; }
    // Needs the application object, for the settings file it names.
    QString helpText() const;

private:
    void check(const QStringList &positional);

    Outcome result = Outcome::Run;
    CtlRequest wanted;
    QString problem;
};
