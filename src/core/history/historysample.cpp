#include "historysample.h"

#include "core/api/serverstate.h"

#include <QDateTime>

namespace History {

State stateOfOnline(int online)
{
    switch (online) {
    case ServerState::Off:
        return Off;
    case ServerState::Running:
        return Running;
    case ServerState::Starting:
        return Starting;
    default:
        return Unknown;
    }
}

QString stateName(State state)
{
    switch (state) {
    case Off:
        return ServerState::name(ServerState::Off);
    case Running:
        return ServerState::name(ServerState::Running);
    case Starting:
        return ServerState::name(ServerState::Starting);
    case Unknown:
        return ServerState::name(-1);
    case NoContact:
        break;
    }
    return ServerState::unreachableName();
}

QString stateColour(State state)
{
    switch (state) {
    case Running:
        return QStringLiteral("rgb(0, 85, 0)");
    case Starting:
        return QStringLiteral("rgb(255, 170, 0)");
    case NoContact:
        // Grey: nothing is known of the server, unlike the red of a stop.
        return QStringLiteral("rgb(128, 128, 128)");
    case Off:
    case Unknown:
        break;
    }
    return QStringLiteral("rgb(170, 0, 0)");
}

Clock systemClock()
{
    return [] { return QDateTime::currentSecsSinceEpoch(); };
}

} // namespace History
