#pragma once

#include "core/history/historyfigures.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <optional>

// The history read back over a period, from the samples and the hourly rows
// alike, so that a period reaching past the last 14 days is seamless. An
// hourly row counts in the step its hour starts in.
class HistoryReadings
{
public:
    struct Last
    {
        qint64 time = 0;
        History::State state = History::NoContact;
    };

    struct ServerSummary
    {
        QString name;
        bool stored = false;
        std::optional<Last> last; // the latest sample ever, empty if none
        History::Figures figures; // in the period
    };

    struct Step
    {
        qint64 start = 0; // UTC seconds
        History::Figures figures;
    };

    // An invalid database (no file yet) is an empty history.
    explicit HistoryReadings(const QSqlDatabase &database);

    // One row per server: the `stored` ones in their order, then the others
    // with history, by name. Returns false if the file cannot be read.
    bool summary(const QStringList &stored, qint64 from, qint64 to, QList<ServerSummary> *rows);
    // The steps of `step` seconds from `from` on, the last one ending at or
    // after `to`; a step without samples has empty figures.
    bool steps(const QString &server, qint64 from, qint64 to, qint64 step, QList<Step> *steps);
    // Whether the history holds the server's name.
    bool knows(const QString &server, bool *known);

    QString problem() const { return lastProblem; }

private:
    using Key = QPair<qint64, qint64>; // server id, step number
    bool names(QHash<QString, qint64> *ids);
    bool collect(qint64 server, qint64 from, qint64 to, qint64 step, QHash<Key, History::Figures> *figures);
    bool latest(qint64 server, std::optional<Last> *last);

    QSqlDatabase db;
    QString lastProblem;
};
