// The history's figures: the size of a simulated year of 10 servers sampled
// every minute, folded as the recorders fold it; the readings of 30 days
// of it in process and through valmora-ctl history; and the time that
// recording one sample takes on the calling thread, also while another
// program holds the database's write lock. Prints one line per figure.
//
// valmora-bench-history [VALMORA_CTL]

#include "core/history/historychart.h"
#include "core/history/historyreadings.h"
#include "core/history/historyrecorder.h"
#include "core/history/historysteps.h"
#include "core/history/historystore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

constexpr int servers = 10;
constexpr qint64 day = 86400;

QString name(int server)
{
    return QStringLiteral("Сервер номер %1").arg(server);
}

// A year ending now, one simulated hour per transaction, folded each hour.
void simulateYear(const QString &file, qint64 end)
{
    HistoryStore store(file);
    if (store.openForWriting() != HistoryStore::Outcome::Ready)
        qFatal("cannot open %s", qPrintable(store.problem()));
    QElapsedTimer timer;
    timer.start();
    for (qint64 hour = end - 365 * day; hour < end; hour += 3600) {
        QList<History::StatusSample> statuses;
        QList<History::ResourceSample> resources;
        for (qint64 t = hour; t < hour + 3600; t += 60) {
            for (int s = 0; s < servers; ++s) {
                const int players = int((t / 60 + qint64(s) * 7) % 33);
                const History::State state = (t / 3600 + s) % 97 == 0 ? History::Off : History::Running;
                statuses.append(
                    {name(s), t, state, state == History::Off ? 0 : players, 32, QStringLiteral("de_dust2")});
                resources.append({name(s), t, int(t / 60 % 100), 40 + s, players * 3, 55});
            }
        }
        if ((hour - (end - 365 * day)) % (60 * day) == 0)
            std::printf("  day %lld, %.0f s\n", qlonglong((hour - (end - 365 * day)) / day),
                        double(timer.elapsed()) / 1000);
        if (store.write(statuses, resources) != HistoryStore::Outcome::Ready
            || store.foldIfDue(hour + 3600) != HistoryStore::Outcome::Ready)
            qFatal("cannot write %s", qPrintable(store.problem()));
    }
    QSqlQuery(store.database()).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    std::printf("simulated year written in %.1f s\n", double(timer.elapsed()) / 1000);
}

template<typename Work> double millisecondsOf(Work work, int repeats = 5)
{
    QList<double> times;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.append(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

void readThirtyDays(const QString &file, qint64 end)
{
    HistoryStore store(file);
    store.openForReading();
    HistoryReadings readings(store.database());
    QStringList names;
    for (int s = 0; s < servers; ++s)
        names << name(s);
    const qint64 from = end - 30 * day;
    const double summary = millisecondsOf([&] {
        QList<HistoryReadings::ServerSummary> rows;
        readings.summary(names, from, end, &rows);
    });
    const qint64 step = HistorySteps::defaultStep(30 * day);
    QList<HistoryReadings::Step> steps;
    const double oneServer = millisecondsOf([&] {
        steps.clear();
        readings.steps(name(3), from, end, step, &steps);
    });
    const double chart = millisecondsOf([&] { HistoryChart::layout(name(3), steps, step, QSizeF(1000, 560)); });
    std::printf("in process, 30 days: summary %.1f ms, one server's %lld steps %.1f ms, chart geometry %.2f ms\n",
                summary, qlonglong(steps.size()), oneServer, chart);
}

void runCtl(const QString &ctl, const QString &folder)
{
    const QString settings = folder + QStringLiteral("/setting.ini");
    const QList<QPair<const char *, QStringList>> runs {
        {"summary", {QStringLiteral("history"), QStringLiteral("--since"), QStringLiteral("30d")}},
        {"one server", {QStringLiteral("history"), QStringLiteral("--since"), QStringLiteral("30d"), name(3)}},
        {"one server --svg",
         {QStringLiteral("history"), QStringLiteral("--since"), QStringLiteral("30d"), QStringLiteral("--svg"),
          folder + QStringLiteral("/plot.svg"), name(3)}},
        {"one server, 10 min steps --json",
         {QStringLiteral("--json"), QStringLiteral("history"), QStringLiteral("--since"), QStringLiteral("30d"),
          QStringLiteral("--step"), QStringLiteral("10m"), name(3)}},
    };
    for (const auto &run : runs) {
        const QStringList &arguments = run.second;
        int exitCode = 0;
        const double ms = millisecondsOf([&] {
            QProcess process;
            process.start(ctl, QStringList {QStringLiteral("--settings"), settings} + arguments);
            process.waitForFinished(120000);
            exitCode = process.exitCode();
        });
        std::printf("valmora-ctl history, 30 days, %s: %.0f ms (exit %d)\n", run.first, ms, exitCode);
    }
}

void recordingCost(const QString &file)
{
    const auto measure = [&](const char *what, bool lockHeld) {
        HistoryRecorder recorder(file);
        recorder.record(
            History::StatusSample {name(0), QDateTime::currentSecsSinceEpoch(), History::Running, 1, 2, {}});
        recorder.flush();
        std::thread holder;
        if (lockHeld) {
            holder = std::thread([&] {
                HistoryStore other(file);
                other.openForWriting();
                QSqlQuery query(other.database());
                query.exec(QStringLiteral("BEGIN IMMEDIATE"));
                std::this_thread::sleep_for(std::chrono::seconds(2));
                query.exec(QStringLiteral("COMMIT"));
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        QList<double> times;
        for (int i = 0; i < 2000; ++i) {
            QElapsedTimer timer;
            timer.start();
            recorder.record(History::StatusSample {
                name(i % servers), QDateTime::currentSecsSinceEpoch(), History::Running, i % 30, 32, {}});
            times.append(double(timer.nsecsElapsed()) / 1000);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        QElapsedTimer flushing;
        flushing.start();
        recorder.flush();
        if (holder.joinable())
            holder.join();
        std::sort(times.begin(), times.end());
        std::printf("record() on the calling thread, %s: median %.1f us, worst %.1f us (2000 samples; queue written "
                    "%.0f ms after the last)\n",
                    what, times.at(times.size() / 2), times.constLast(), double(flushing.elapsed()));
    };
    measure("database free", false);
    measure("another program holding the write lock for 2 s", true);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("history.sqlite"));
    const qint64 end = QDateTime::currentSecsSinceEpoch();
    simulateYear(file, end);
    std::printf("size after a year of %d servers every minute, folded: %.2f MB (%lld bytes)\n", servers,
                double(QFileInfo(file).size()) / 1e6, qlonglong(QFileInfo(file).size()));
    readThirtyDays(file, end);
    if (argc > 1)
        runCtl(QString::fromLocal8Bit(argv[1]), folder.path());
    recordingCost(folder.filePath(QStringLiteral("recording.sqlite")));
    return 0;
}
