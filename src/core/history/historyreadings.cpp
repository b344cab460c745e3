#include "historyreadings.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <functional>

using History::Figures;

namespace {

int orMinusOne(const QVariant &value)
{
    return value.isNull() ? -1 : value.toInt();
}

// The server's condition, with the step number first in the columns.
QString restricted(const char *sql, qint64 server)
{
    QString text = QLatin1String(sql);
    // Both forms let SQLite seek by the key (server, time) rather than read every row.
    return text.arg(server < 0 ? QStringLiteral(" AND server IN (SELECT id FROM server)")
                               : QStringLiteral(" AND server = %1").arg(server));
}

} // namespace

HistoryReadings::HistoryReadings(const QSqlDatabase &database)
    : db(database)
{ }

bool HistoryReadings::names(QHash<QString, qint64> *ids)
{
    if (!db.isValid() || !db.isOpen())
        return true;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT id, name FROM server"))) {
        lastProblem = query.lastError().text();
        return false;
    }
    while (query.next())
        ids->insert(query.value(1).toString(), query.value(0).toLongLong());
    return true;
}

bool HistoryReadings::collect(qint64 server, qint64 from, qint64 to, qint64 step, QHash<Key, Figures> *figures)
{
    QSqlQuery query(db);
    const QString status
        = restricted("SELECT server, (time - ?) / ?, SUM(state = 0), SUM(state = 1), SUM(state = 2), SUM(state = 3),"
                     " SUM(state = 4), COALESCE(SUM(players), 0), COUNT(players), MAX(players), MAX(player_limit)"
                     " FROM status WHERE time >= ? AND time < ?%1 GROUP BY 1, 2",
                     server);
    const QString resources = restricted("SELECT server, (time - ?) / ?, COUNT(*), SUM(cpu), MAX(cpu), SUM(memory),"
                                         " MAX(memory), SUM(slots), MAX(slots), SUM(disk), MAX(disk)"
                                         " FROM resources WHERE time >= ? AND time < ?%1 GROUP BY 1, 2",
                                         server);
    const QString hourly = restricted(
        "SELECT server, (hour - ?) / ?, SUM(off), SUM(running), SUM(starting), SUM(unknown), SUM(no_contact),"
        " SUM(players_sum), SUM(players_count), MAX(players_max), MAX(player_limit), SUM(resources_count),"
        " SUM(cpu_sum), MAX(cpu_max), SUM(memory_sum), MAX(memory_max), SUM(slots_sum), MAX(slots_max),"
        " SUM(disk_sum), MAX(disk_max) FROM hourly WHERE hour >= ? AND hour < ?%1 GROUP BY 1, 2",
        server);

    // One step for the whole period (the summary) groups by server alone,
    // which follows the key's order and needs no sorting.
    const bool single = step >= to - from;
    const auto run = [&](QString sql, const std::function<void(Figures &)> &read) {
        if (single) {
            sql.replace(QStringLiteral("(time - ?) / ?"), QStringLiteral("0"))
                .replace(QStringLiteral("(hour - ?) / ?"), QStringLiteral("0"))
                .replace(QStringLiteral("GROUP BY 1, 2"), QStringLiteral("GROUP BY 1"));
        }
        if (!query.prepare(sql)) {
            lastProblem = query.lastError().text();
            return false;
        }
        const QList<qint64> values = single ? QList<qint64> {from, to} : QList<qint64> {from, step, from, to};
        for (const qint64 value : values)
            query.addBindValue(value);
        if (!query.exec()) {
            lastProblem = query.lastError().text();
            return false;
        }
        while (query.next()) {
            Figures row;
            read(row);
            (*figures)[Key(query.value(0).toLongLong(), query.value(1).toLongLong())].add(row);
        }
        return true;
    };
    const auto states = [&](Figures &row, int first) {
        for (int i = 0; i < History::StateCount; ++i)
            row.states.at(i) = query.value(first + i).toLongLong();
        row.playersSum = query.value(first + 5).toLongLong();
        row.playersCount = query.value(first + 6).toLongLong();
        row.playersMax = orMinusOne(query.value(first + 7));
        row.limit = orMinusOne(query.value(first + 8));
    };
    const auto load = [&](Figures &row, int first) {
        row.resourceCount = query.value(first).toLongLong();
        for (int i = 0; i < History::ResourceCount; ++i) {
            row.resourceSum.at(i) = query.value(first + 1 + 2 * i).toLongLong();
            row.resourceMax.at(i) = orMinusOne(query.value(first + 2 + 2 * i));
        }
    };
    return run(status, [&](Figures &row) { states(row, 2); }) && run(resources, [&](Figures &row) { load(row, 2); })
        && run(hourly, [&](Figures &row) {
               states(row, 2);
               load(row, 11);
           });
}

bool HistoryReadings::latest(qint64 server, std::optional<Last> *last)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT time, state FROM status WHERE server = %1"
                                   " ORDER BY time DESC, seq DESC LIMIT 1")
                        .arg(server))) {
        lastProblem = query.lastError().text();
        return false;
    }
    if (query.next()) {
        *last = Last {query.value(0).toLongLong(), History::State(query.value(1).toInt())};
        return true;
    }
    // Only hourly rows left: their hour, and the state most of it was in.
    if (!query.exec(QStringLiteral("SELECT hour, off, running, starting, unknown, no_contact FROM hourly"
                                   " WHERE server = %1 AND off + running + starting + unknown + no_contact > 0"
                                   " ORDER BY hour DESC LIMIT 1")
                        .arg(server))) {
        lastProblem = query.lastError().text();
        return false;
    }
    if (query.next()) {
        int most = 0;
        for (int i = 1; i < History::StateCount; ++i) {
            if (query.value(1 + i).toLongLong() > query.value(1 + most).toLongLong())
                most = i;
        }
        *last = Last {query.value(0).toLongLong(), History::State(most)};
    }
    return true;
}

bool HistoryReadings::summary(const QStringList &stored, qint64 from, qint64 to, QList<ServerSummary> *rows)
{
    QHash<QString, qint64> ids;
    if (!names(&ids))
        return false;
    QHash<Key, Figures> figures;
    if (!ids.isEmpty() && !collect(-1, from, to, std::max<qint64>(1, to - from), &figures))
        return false;

    QStringList others;
    for (auto it = ids.cbegin(); it != ids.cend(); ++it) {
        if (!stored.contains(it.key()))
            others.append(it.key());
    }
    std::sort(others.begin(), others.end());
    const auto add = [&](const QString &name, bool isStored) {
        ServerSummary row;
        row.name = name;
        row.stored = isStored;
        const auto id = ids.constFind(name);
        if (id != ids.cend()) {
            row.figures = figures.value(Key(id.value(), 0));
            if (!latest(id.value(), &row.last))
                return false;
        }
        rows->append(row);
        return true;
    };
    return std::all_of(stored.cbegin(), stored.cend(), [&](const QString &name) { return add(name, true); })
        && std::all_of(others.cbegin(), others.cend(), [&](const QString &name) { return add(name, false); });
}

bool HistoryReadings::steps(const QString &server, qint64 from, qint64 to, qint64 step, QList<Step> *steps)
{
    QHash<QString, qint64> ids;
    if (!names(&ids))
        return false;
    QHash<Key, Figures> figures;
    const auto id = ids.constFind(server);
    if (id != ids.cend() && !collect(id.value(), from, to, step, &figures))
        return false;
    const qint64 count = (to - from + step - 1) / step;
    for (qint64 i = 0; i < count; ++i)
        steps->append(Step {from + i * step, id == ids.cend() ? Figures() : figures.value(Key(id.value(), i))});
    return true;
}

bool HistoryReadings::knows(const QString &server, bool *known)
{
    QHash<QString, qint64> ids;
    if (!names(&ids))
        return false;
    *known = ids.contains(server);
    return true;
}
