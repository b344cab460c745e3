#pragma once

#include <QDateTime>
#include <QString>

// What one status query told of a server.
struct ServerReading
{
    bool reached = false; // false: no usable reply, and nothing else is known
    QString state; // the window's word for it, or "Нет связи"
    int players = 0;
    int playersMax = 0;
    QString map;
};

// A state reported for a server: its first one (the line at the start, or
// when a server appears in the file) or, when `from` is set, an alert.
struct StateChange
{
    QDateTime time; // local time, when the reply came
    QString server;
    QString from; // the state reported last; empty for the first report
    ServerReading now;

    bool isAlert() const { return !from.isEmpty(); }
};
