// The history store on a real SQLite file: folding into hours and reading
// across samples and hourly rows, with an injected clock; no data against
// "Нет связи" against "Выключен"; two writers at once; a damaged file put
// aside; a file that cannot be written; the file kept to its user.

#include "core/history/historychart.h"
#include "core/history/historyfile.h"
#include "core/history/historyreadings.h"
#include "core/history/historyrecorder.h"
#include "core/history/historysteps.h"
#include "core/history/historystore.h"
#include "filemode.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace History;

namespace {

// 2025-03-01 12:00:00 UTC, on an hour.
constexpr qint64 Now = 1740830400;
constexpr qint64 Day = 86400;
constexpr qint64 Hour = 3600;
constexpr int HoursOfOffset = 3600;

StatusSample status(const QString &server, qint64 time, State state, int players = -1, int limit = -1)
{
    return StatusSample {server, time, state, players, limit, QStringLiteral("de_dust2")};
}

ResourceSample resources(const QString &server, qint64 time, int cpu, int memory)
{
    return ResourceSample {server, time, cpu, memory, 10, 50};
}

qint64 count(HistoryStore &store, const QString &table)
{
    QSqlQuery query(store.database());
    if (!query.exec(QStringLiteral("SELECT count(*) FROM ") + table) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

// The figures that tests compare, as one line.
QString describe(const Figures &figures)
{
    QStringList parts;
    for (int i = 0; i < StateCount; ++i)
        parts << QString::number(figures.states.at(i));
    parts << QString::number(figures.playersAverage().value_or(-1))
          << QString::number(figures.playersPeak().value_or(-1)) << QString::number(figures.playerLimit().value_or(-1))
          << QString::number(figures.average(Cpu).value_or(-1)) << QString::number(figures.peak(Cpu).value_or(-1))
          << QString::number(figures.peak(Memory).value_or(-1));
    return parts.join(QLatin1Char(' '));
}

} // namespace

class HistoryTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    QString file;

    QList<HistoryReadings::Step> readSteps(const QString &server, qint64 from, qint64 to, qint64 step)
    {
        HistoryStore store(file);
        [&] { QCOMPARE(store.openForReading(), HistoryStore::Outcome::Ready); }();
        HistoryReadings readings(store.database());
        QList<HistoryReadings::Step> steps;
        [&] { QVERIFY2(readings.steps(server, from, to, step, &steps), qPrintable(readings.problem())); }();
        return steps;
    }

private slots:
    void init()
    {
        const QString name = QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('-')
            + QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
        file = folder.filePath(name + QStringLiteral("/history.sqlite"));
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile::remove(file);
    }

    void foldsIntoHoursAndReadsSeamlessly()
    {
        HistoryStore store(file);
        QCOMPARE(store.openForWriting(), HistoryStore::Outcome::Ready);
        const QString server = QStringLiteral("Северный форт");
        QList<StatusSample> statuses;
        QList<ResourceSample> loads;
        // Twenty days ago, three hours of samples every ten minutes; and today.
        for (qint64 t = Now - 20 * Day; t < Now - 20 * Day + 3 * Hour; t += 600) {
            statuses << status(server, t, t % 1800 == 0 ? Off : Running, int(t / 600 % 7), 16);
            loads << resources(server, t, int(t / 600 % 90), 40);
        }
        statuses << status(server, Now - 20 * Day + 700, NoContact);
        statuses << status(server, Now - 600, Running, 5, 20);
        QCOMPARE(store.write(statuses, loads), HistoryStore::Outcome::Ready);

        const auto before = readSteps(server, Now - 30 * Day, Now, Day);
        QCOMPARE(store.foldIfDue(Now), HistoryStore::Outcome::Ready);
        QCOMPARE(count(store, QStringLiteral("status")), 1);
        QCOMPARE(count(store, QStringLiteral("resources")), 0);
        QCOMPARE(count(store, QStringLiteral("hourly")), 3);
        const auto after = readSteps(server, Now - 30 * Day, Now, Day);
        QCOMPARE(after.size(), 30);
        for (int i = 0; i < after.size(); ++i)
            QCOMPARE(describe(after.at(i).figures), describe(before.at(i).figures));
        const Figures &old = after.at(10).figures;
        QCOMPARE(old.samples(), 19);
        QCOMPARE(old.states.at(NoContact), 1);
        QCOMPARE(old.playersCount, 18);
        QCOMPARE(old.playerLimit().value_or(-1), 16);

        // Done within the hour, the fold does nothing; a sample that comes
        // late for a folded hour is added to it at the next fold.
        QCOMPARE(store.write({status(server, Now - 20 * Day + 60, Starting, 1, 16)}, {}), HistoryStore::Outcome::Ready);
        QCOMPARE(store.foldIfDue(Now + 1800), HistoryStore::Outcome::Ready);
        QCOMPARE(count(store, QStringLiteral("status")), 2);
        QCOMPARE(store.foldIfDue(Now + 3600), HistoryStore::Outcome::Ready);
        QCOMPARE(count(store, QStringLiteral("status")), 1);
        QCOMPARE(count(store, QStringLiteral("hourly")), 3);
        QCOMPARE(readSteps(server, Now - 30 * Day, Now, Day).at(10).figures.samples(), 20);

        // After 400 days the hourly rows go too; today's sample is an hour by then.
        QCOMPARE(store.foldIfDue(Now + 381 * Day), HistoryStore::Outcome::Ready);
        QCOMPARE(count(store, QStringLiteral("status")), 0);
        QCOMPARE(count(store, QStringLiteral("hourly")), 1);
        QCOMPARE(count(store, QStringLiteral("server")), 1);
    }

    void noDataNoContactAndOffStayApart()
    {
        HistoryStore store(file);
        QCOMPARE(store.openForWriting(), HistoryStore::Outcome::Ready);
        const QString server = QStringLiteral("a");
        QCOMPARE(store.write({status(server, Now - 3000, Off, 0, 10), status(server, Now - 2000, NoContact)}, {}),
                 HistoryStore::Outcome::Ready);
        const auto steps = readSteps(server, Now - 3600, Now, 900);
        QCOMPARE(steps.size(), 4);
        const Figures &off = steps.at(0).figures;
        QCOMPARE(off.share(Off).value_or(-1), 1.0);
        QCOMPARE(off.playersPeak().value_or(-1), 0);
        const Figures &noContact = steps.at(1).figures;
        QCOMPARE(noContact.share(NoContact).value_or(-1), 1.0);
        QCOMPARE(noContact.share(Off).value_or(-1), 0.0);
        QVERIFY(!noContact.playersAverage());
        QVERIFY(!noContact.playerLimit());
        for (int i = 2; i < 4; ++i) {
            const Figures &none = steps.at(i).figures;
            QVERIFY(!none.hasData());
            QVERIFY(!none.share(Off));
            QVERIFY(!none.share(NoContact));
            QVERIFY(!none.average(Cpu));
        }
    }

    void summaryListsStoredThenRemoved()
    {
        HistoryStore store(file);
        QCOMPARE(store.openForWriting(), HistoryStore::Outcome::Ready);
        const QString removed = QStringLiteral("Старый \"клуб\" 🎮");
        QCOMPARE(store.write({status(QStringLiteral("b"), Now - 100, Running, 3, 8),
                              status(removed, Now - 50 * Day, Off, 0, 8), status(removed, Now - 10, Off, 0, 8)},
                             {resources(QStringLiteral("b"), Now - 90, 70, 30)}),
                 HistoryStore::Outcome::Ready);
        QCOMPARE(store.foldIfDue(Now), HistoryStore::Outcome::Ready);
        HistoryReadings readings(store.database());
        QList<HistoryReadings::ServerSummary> rows;
        QVERIFY(readings.summary({QStringLiteral("c"), QStringLiteral("b")}, Now - Day, Now, &rows));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(0).name, QStringLiteral("c"));
        QVERIFY(!rows.at(0).last);
        QVERIFY(!rows.at(0).figures.hasData());
        QCOMPARE(rows.at(1).figures.peak(Cpu).value_or(-1), 70);
        QCOMPARE(rows.at(1).last->state, Running);
        QCOMPARE(rows.at(2).name, removed);
        QVERIFY(!rows.at(2).stored);
        QCOMPARE(rows.at(2).last->time, Now - 10);
        QCOMPARE(rows.at(2).figures.samples(), 1);
    }

    void twoWritersLoseNothing()
    {
        constexpr int perWriter = 400;
        {
            HistoryRecorder first(file, [] { return Now; });
            HistoryRecorder second(file, [] { return Now; });
            std::thread other([&] {
                for (int i = 0; i < perWriter; ++i)
                    second.record(status(QStringLiteral("x"), Now - i % 5, Running, i, 10));
            });
            for (int i = 0; i < perWriter; ++i) {
                first.record(status(QStringLiteral("x"), Now - i % 5, Off, i, 10));
                first.record(resources(QStringLiteral("x"), Now - i % 5, 1, 2));
            }
            other.join();
        }
        HistoryStore store(file);
        QCOMPARE(store.openForReading(), HistoryStore::Outcome::Ready);
        QCOMPARE(count(store, QStringLiteral("status")), 2 * perWriter);
        QCOMPARE(count(store, QStringLiteral("resources")), perWriter);
    }

    void damagedFileIsPutAside_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("heldOpen");
        QTest::newRow("not SQLite") << QStringLiteral("text") << false;
        QTest::newRow("cut short") << QStringLiteral("cut") << false;
        QTest::newRow("another program's") << QStringLiteral("foreign") << false;
        // Windows renames no open file: the recorder waits for the reading.
        QTest::newRow("open in a reading for a moment") << QStringLiteral("text") << true;
    }

    void damagedFileIsPutAside()
    {
        QFETCH(QString, kind);
        QFETCH(bool, heldOpen);
        if (kind == QLatin1String("text")) {
            QFile text(file);
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write("[Main]\nhost=example\n");
        } else if (kind == QLatin1String("cut")) {
            {
                HistoryStore store(file);
                QCOMPARE(store.openForWriting(), HistoryStore::Outcome::Ready);
                QList<StatusSample> many;
                for (int i = 0; i < 20000; ++i)
                    many << status(QStringLiteral("s%1").arg(i % 50), Now - i, Running, i % 30, 30);
                QCOMPARE(store.write(many, {}), HistoryStore::Outcome::Ready);
            }
            QFile cut(file);
            QVERIFY(cut.resize(cut.size() / 2));
        } else {
            HistoryStore::Outcome made = HistoryStore::Outcome::Failed;
            {
                QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
                other.setDatabaseName(file);
                QVERIFY(other.open());
                QVERIFY(QSqlQuery(other).exec(QStringLiteral("CREATE TABLE notes(text TEXT)")));
                other.close();
                made = HistoryStore::Outcome::Ready;
            }
            QSqlDatabase::removeDatabase(QStringLiteral("other"));
            QCOMPARE(made, HistoryStore::Outcome::Ready);
        }
        QFile original(file);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray bytes = original.readAll();
        original.close();

        {
            HistoryStore reader(file);
            QCOMPARE(reader.openForReading(), HistoryStore::Outcome::Damaged);
        }
        QVERIFY(QFileInfo::exists(file));

        // A reading that has the file open until the recorder pauses to try
        // the rename again (Windows only refuses it while the file is open).
        QFile reading(file);
        if (heldOpen)
            QVERIFY(reading.open(QIODevice::ReadOnly));
        QStringList warnings;
        {
            HistoryRecorder recorder(
                file, [] { return Now; }, [&](const QString &text) { warnings << text; },
                [&reading] { reading.close(); });
            recorder.record(status(QStringLiteral("after"), Now, Running, 1, 2));
            recorder.flush();
            recorder.record(status(QStringLiteral("after"), Now + 1, Running, 1, 2));
        }
        reading.close();
        QCOMPARE(warnings.size(), 1);
        const QString aside = file + QStringLiteral(".damaged-20250301-120000");
        QVERIFY2(warnings.constFirst().contains(QDir::toNativeSeparators(aside)), qPrintable(warnings.constFirst()));
        QFile kept(aside);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), bytes);
        HistoryStore store(file);
        QCOMPARE(store.openForReading(), HistoryStore::Outcome::Ready);
        QCOMPARE(count(store, QStringLiteral("status")), 2);
    }

    void unwritableStopsAndTriesAgainAnHourLater()
    {
        // A folder in the file's place cannot be opened, even by root.
        QVERIFY(QDir().mkpath(file));
        std::atomic<qint64> now {Now};
        QStringList warnings;
        HistoryRecorder recorder(
            file, [&] { return now.load(); }, [&](const QString &text) { warnings << text; });
        recorder.record(status(QStringLiteral("a"), Now, Running));
        recorder.record(status(QStringLiteral("a"), Now + 60, Running));
        recorder.flush();
        recorder.record(status(QStringLiteral("a"), Now + 120, Running));
        recorder.flush();
        QCOMPARE(warnings.size(), 1);
        QVERIFY(QDir(file).removeRecursively());
        now = Now + 1800;
        recorder.record(status(QStringLiteral("a"), now, Running));
        recorder.flush();
        QVERIFY(!QFileInfo::exists(file));
        now = Now + 3600;
        recorder.record(status(QStringLiteral("a"), now, Running));
        recorder.flush();
        QCOMPARE(warnings.size(), 1);
        HistoryStore store(file);
        QCOMPARE(store.openForReading(), HistoryStore::Outcome::Ready);
        QCOMPARE(count(store, QStringLiteral("status")), 1);
    }

    void keptToItsUser()
    {
#ifndef Q_OS_UNIX
        QSKIP("Unix modes only; Windows keeps the file by its access list");
#else
        HistoryRecorder recorder(file, [] { return Now; });
        recorder.record(status(QStringLiteral("a"), Now, Running, 1, 2));
        recorder.flush();
        for (const char *suffix : {"", "-wal", "-shm"}) {
            const QString part = file + QLatin1String(suffix);
            QVERIFY2(QFileInfo::exists(part), qPrintable(part));
            QCOMPARE(fileMode(part), 0600);
        }
#endif
    }

    void missingFileIsAnEmptyHistory()
    {
        HistoryStore store(file);
        QCOMPARE(store.openForReading(), HistoryStore::Outcome::Missing);
        QVERIFY(!QFileInfo::exists(file));
    }

    void defaultStep_data()
    {
        QTest::addColumn<qint64>("period");
        QTest::addColumn<qint64>("step");
        QTest::newRow("1h: minutes") << qint64(3600) << qint64(60);
        QTest::newRow("5h: 1 min") << qint64(5 * 3600) << qint64(60);
        QTest::newRow("5h 1s: 5 min") << qint64(5 * 3600 + 1) << qint64(300);
        QTest::newRow("24h: 5 min") << qint64(Day) << qint64(300);
        QTest::newRow("48h: 10 min") << qint64(2 * Day) << qint64(600);
        QTest::newRow("3d: 15 min") << qint64(3 * Day) << qint64(900);
        QTest::newRow("7d: 1 h") << qint64(7 * Day) << qint64(3600);
        QTest::newRow("30d: 3 h") << qint64(30 * Day) << qint64(10800);
        QTest::newRow("90d: 12 h") << qint64(90 * Day) << qint64(43200);
        QTest::newRow("300d: 1 d") << qint64(300 * Day) << qint64(Day);
        QTest::newRow("400d: still 1 d") << qint64(400 * Day) << qint64(Day);
    }

    void defaultStep()
    {
        QFETCH(qint64, period);
        QFETCH(qint64, step);
        QCOMPARE(HistorySteps::defaultStep(period), step);
    }

    void chartBreaksAtGapsAndLeavesNoDataEmpty()
    {
        QList<HistoryReadings::Step> steps;
        const auto add = [&](State state, int players, int limit) {
            HistoryReadings::Step step;
            step.start = Now + steps.size() * 3600;
            if (players != -2) {
                step.figures.states.at(state) = 2;
                step.figures.playersSum = players < 0 ? 0 : 2 * players;
                step.figures.playersCount = players < 0 ? 0 : 2;
                step.figures.playersMax = players;
                step.figures.limit = limit;
            }
            steps.append(step);
        };
        add(Running, 3, 12);
        add(Running, 5, 12);
        add(Off, -2, -1); // no data
        add(NoContact, -1, -1);
        add(Off, 0, 12);
        add(Off, -2, -1);
        const HistoryChart chart = HistoryChart::layout(QStringLiteral("<a&b>"), steps, 3600, QSizeF(900, 500));

        const HistoryChart::Line &average = chart.playerLines.constFirst();
        QCOMPARE(average.pieces.size(), 2);
        QCOMPARE(average.pieces.at(0).size(), 2);
        // A lone step is drawn across its width.
        const QList<QPointF> &lone = average.pieces.at(1);
        QCOMPARE(lone.size(), 2);
        QCOMPARE(lone.at(0).y(), chart.playersArea.bottom());
        QCOMPARE(lone.at(1).x() - lone.at(0).x(), chart.playersArea.width() / 6);

        QCOMPARE(chart.bands.size(), 3);
        QCOMPARE(chart.bands.at(0).state, Running);
        QCOMPARE(chart.bands.at(0).rect.width(), chart.bandArea.width() / 3);
        QCOMPARE(chart.bands.at(1).state, NoContact);
        QCOMPARE(chart.bands.at(1).colour, QStringLiteral("rgb(128, 128, 128)"));
        QCOMPARE(chart.bands.at(2).colour, QStringLiteral("rgb(170, 0, 0)"));
        QCOMPARE(chart.bands.at(2).rect.right(), chart.bandArea.left() + chart.bandArea.width() * 5 / 6);

        // The players' scale reaches the limit; resources go from 0 to 100 %.
        const int top = chart.playerTicks.constLast().label.toInt();
        QVERIFY2(top >= 12 && top < 24, qPrintable(chart.playerTicks.constLast().label));
        QCOMPARE(chart.playerTicks.constLast().position, chart.playersArea.top());
        QCOMPARE(chart.percentTicks.constLast().label, QStringLiteral("100"));
        QVERIFY(chart.resourceLines.constFirst().pieces.isEmpty());
        QVERIFY(!chart.timeTicks.isEmpty());
        for (const HistoryChart::Tick &tick : chart.timeTicks) {
            QVERIFY(tick.position >= chart.bandArea.left() && tick.position <= chart.bandArea.right());
            QCOMPARE(QTime::fromString(tick.label, QStringLiteral("HH:mm")).minute(), 0);
        }
        QStringList legend;
        for (const HistoryChart::LegendEntry &entry : chart.legend)
            legend << entry.label;
        for (const char *word : {"Работает", "Выключен", "Нет связи", "Нет данных", "Лимит игроков", "ЦП"})
            QVERIFY2(legend.contains(QString::fromUtf8(word)), word);
    }

    void legendFitsInTheChart_data()
    {
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<double>("charWidth");
        QTest::addColumn<double>("rowHeight");
        // The SVG's estimate, and a font half as large again, as at 144 dpi.
        QTest::newRow("the SVG file") << QSizeF(1000, 560) << 7.5 << 18.0;
        QTest::newRow("narrow") << QSizeF(420, 400) << 7.5 << 18.0;
        QTest::newRow("the window's least") << QSizeF(360, 300) << 7.5 << 18.0;
        QTest::newRow("144 dpi") << QSizeF(960, 560) << 11.0 << 26.0;
        QTest::newRow("144 dpi, narrow") << QSizeF(480, 420) << 11.0 << 26.0;
    }

    void legendFitsInTheChart()
    {
        QFETCH(QSizeF, size);
        QFETCH(double, charWidth);
        QFETCH(double, rowHeight);
        QList<HistoryReadings::Step> steps(24);
        for (int i = 0; i < steps.size(); ++i) {
            steps[i].start = Now + i * Hour;
            steps[i].figures.states.at(Running) = 1;
        }
        HistoryChart::LegendMetrics metrics;
        metrics.entryWidth = [charWidth](const QString &label) { return 36 + charWidth * double(label.size()); };
        metrics.rowHeight = rowHeight;
        const HistoryChart chart = HistoryChart::layout(QStringLiteral("A"), steps, Hour, size, metrics);

        QCOMPARE(chart.legend.size(), 12);
        const QRectF whole(QPointF(0, 0), size);
        for (const HistoryChart::LegendEntry &entry : chart.legend) {
            const QString place = entry.label + QLatin1Char(' ') + QString::number(entry.rect.left()) + QLatin1Char(',')
                + QString::number(entry.rect.top());
            QVERIFY2(whole.contains(entry.rect), qPrintable(place));
            QVERIFY2(entry.rect.top() > chart.resourcesArea.bottom(), qPrintable(place));
            QCOMPARE(entry.rect.height(), rowHeight);
        }
    }

    void stepsStartOnTheLocalClock()
    {
        // 14:37 at UTC+3 is 11:37 UTC; hours start at :00 local.
        const qint64 from = Now - 23 * qint64(60);
        QCOMPARE(HistorySteps::alignedStart(from, 3600, 3 * 3600), Now - 3600);
        QCOMPARE(HistorySteps::alignedStart(from, Day, 3 * HoursOfOffset), Now - 15 * Hour);
        QCOMPARE(HistorySteps::alignedStart(from, 900, 5 * HoursOfOffset + 1800), Now - 30 * qint64(60));
    }
};

QTEST_GUILESS_MAIN(HistoryTest)
#include "tst_history.moc"
