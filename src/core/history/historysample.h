#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// What the history keeps of one server at one moment, and the clock that
// dates it.
namespace History {

// The state as stored: the three codes of a status reply, any other code,
// and a status query that brought no usable answer. No sample at all for a
// stretch of time is "no data", which has no code.
enum State { Off = 0, Running = 1, Starting = 2, Unknown = 3, NoContact = 4 };
constexpr int StateCount = 5;

// The stored state of a status reply's "online" code.
State stateOfOnline(int online);
// The window's word for it: "Выключен", ..., "Нет связи".
QString stateName(State state);
// The window's colour for it, as "rgb(r, g, b)".
QString stateColour(State state);

// UTC seconds since 1970; injected so that tests and benchmarks set the time.
using Clock = std::function<qint64()>;
Clock systemClock();

struct StatusSample
{
    QString server;
    qint64 time = 0; // UTC seconds
    State state = NoContact;
    int players = -1; // -1: not known (no contact)
    int limit = -1;
    QString map;
};

// Percentages, as the resources reply gives them.
struct ResourceSample
{
    QString server;
    qint64 time = 0;
    int cpu = 0;
    int memory = 0;
    int playerSlots = 0;
    int disk = 0;
};

} // namespace History
