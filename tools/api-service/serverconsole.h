#pragma once

#include <QString>

class SimulatedServer;

struct ConsoleAnswer
{
    bool ok = false;
    QString error; // short machine-readable code when !ok
    QString text; // the console's output, or what went wrong
};

// Runs one console command on a running server. Known commands:
// "status", "users", "maps" and "say <text>"; the command word is not
// case-sensitive.
ConsoleAnswer runConsoleCommand(const SimulatedServer &server, const QString &command);
