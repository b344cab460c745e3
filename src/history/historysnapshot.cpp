#include "historysnapshot.h"

#include "core/history/historysteps.h"
#include "core/history/historystore.h"

#include <QDateTime>
#include <QDir>

namespace {

QString unreadable(const QString &path)
{
    return QStringLiteral("Историю не удалось прочитать: файл %1 повреждён или занят")
        .arg(QDir::toNativeSeparators(path));
}

} // namespace

HistorySnapshot HistorySnapshot::read(const QString &path, const QStringList &stored, const QString &server, qint64 now,
                                      qint64 periodSeconds)
{
    HistorySnapshot snapshot;
    // Readings end before their `to`; this second's samples belong in.
    now += 1;
    snapshot.to = now;
    snapshot.server = server;
    snapshot.step = HistorySteps::defaultStep(periodSeconds);
    const int offset = QDateTime::fromSecsSinceEpoch(now).offsetFromUtc();
    snapshot.from = HistorySteps::alignedStart(now - periodSeconds, snapshot.step, offset);

    HistoryStore store(path);
    const HistoryStore::Outcome outcome = store.openForReading();
    if (outcome != HistoryStore::Outcome::Ready && outcome != HistoryStore::Outcome::Missing) {
        snapshot.problem = unreadable(path);
        for (const QString &name : stored) {
            Row row;
            row.summary.name = name;
            row.summary.stored = true;
            snapshot.rows.append(row);
        }
        return snapshot;
    }
    // No file yet is an empty history.
    HistoryReadings readings(outcome == HistoryStore::Outcome::Ready ? store.database() : QSqlDatabase());
    QList<HistoryReadings::ServerSummary> summaries;
    bool ok = readings.summary(stored, now - periodSeconds, now, &summaries);
    const qint64 sparkStep = std::max<qint64>(1, periodSeconds / sparklineSteps);
    for (const HistoryReadings::ServerSummary &summary : qAsConst(summaries)) {
        Row row {summary, {}};
        QList<HistoryReadings::Step> steps;
        if (summary.figures.hasData())
            ok = ok && readings.steps(summary.name, now - periodSeconds, now, sparkStep, &steps);
        for (const HistoryReadings::Step &s : qAsConst(steps))
            row.players.append(s.figures.playersAverage().value_or(-1));
        snapshot.rows.append(row);
    }
    if (!server.isEmpty())
        ok = ok && readings.steps(server, snapshot.from, now, snapshot.step, &snapshot.steps);
    if (!ok)
        snapshot.problem = unreadable(path);
    return snapshot;
}
