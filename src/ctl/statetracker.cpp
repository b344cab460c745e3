#include "statetracker.h"

#include "core/api/serverstate.h"

namespace {

constexpr int failuresForUnreachable = 2;

} // namespace

std::optional<StateChange> StateTracker::take(const QString &server, const ServerReading &reading)
{
    Entry &entry = entries[server];
    if (reading.reached)
        entry.failuresInRow = 0;
    else if (++entry.failuresInRow < failuresForUnreachable)
        return std::nullopt;
    if (entry.reported == reading.state)
        return std::nullopt;

    StateChange change;
    change.server = server;
    change.from = entry.reported;
    change.now = reading;
    entry.reported = reading.state;
    return change;
}

bool StateTracker::hasReported(const QString &server) const
{
    const auto entry = entries.constFind(server);
    return entry != entries.cend() && !entry->reported.isEmpty();
}

void StateTracker::forget(const QString &server)
{
    entries.remove(server);
}
