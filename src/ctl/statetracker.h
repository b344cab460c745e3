#pragma once

#include "ctl/statechange.h"

#include <QHash>
#include <QString>

#include <optional>

// The state last reported for each server, and when a reading makes a new
// report: a server's first usable reading, or a state that differs from
// the one reported last. A failed query counts as "Нет связи" only when the
// one before it failed too, so one lost answer reports nothing.
class StateTracker
{
public:
    // The report this reading makes, if any; its time is left to the caller.
    std::optional<StateChange> take(const QString &server, const ServerReading &reading);

    // Whether a state was reported for the server yet.
    bool hasReported(const QString &server) const;
    // The server is watched no more; if it comes back, it starts afresh.
    void forget(const QString &server);

private:
    struct Entry
    {
        QString reported;
        int failuresInRow = 0;
    };

    QHash<QString, Entry> entries;
};
