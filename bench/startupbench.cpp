// Start-up: whole processes, each building its window, showing it and
// quitting after the first paint, timed from spawn to exit.

#include "benches.h"
#include "benchsettings.h"
#include "childprocess.h"
#include "resulttable.h"

#include <QDir>
#include <QTcpServer>

#include <cstdio>

namespace {

constexpr double targetRatio = 1.2;

// A loopback port that nothing listens on: the window's first queries are
// refused at once, so no network wait lands in the start-up figures.
quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

struct Sample
{
    QVector<double> wallMs, onScreenMs, firstPaintMs, cpuMs, peakMiB;

    bool add(const ChildRun &run)
    {
        if (!run.started || run.exitCode != 0)
            return false;
        wallMs << run.wallMs;
        onScreenMs << outputValue(run.output, "on_screen_ms");
        firstPaintMs << outputValue(run.output, "first_paint_ms");
        cpuMs << run.cpuMs;
        peakMiB << run.peakMemoryMiB;
        return true;
    }
};

} // namespace

void runStartupBench(const BenchContext &context, int runs, ResultTable &table)
{
    const QDir work(context.workDirectory);
    work.mkpath(QStringLiteral("startup"));
    const QString settingsDirectory = work.filePath(QStringLiteral("startup"));
    const QString errorLog = work.filePath(QStringLiteral("startup-stderr.log"));

    BenchSettings settings;
    settings.host = QStringLiteral("127.0.0.1:%1").arg(closedPort());
    settings.servers = BenchSettings::madeUpServers(20);
    settings.history = BenchSettings::madeUpHistory(9);
    const QString problem = settings.writeTo(settingsDirectory);
    if (!problem.isEmpty()) {
        table.addNote(QStringLiteral("start-up skipped: ") + problem);
        return;
    }

    const QStringList windowArguments {QStringLiteral("first-paint"), QStringLiteral("--settings"), settingsDirectory};
    const QStringList plainArguments {QStringLiteral("first-paint")};
    auto runWindow = [&] { return runChild(context.launcher, context.windowProbe, windowArguments, errorLog); };
    auto runEmpty = [&] { return runChild(context.launcher, context.emptyProbe, plainArguments, errorLog); };
    auto runFloor = [&] { return runChild(context.launcher, context.floorProbe, plainArguments, errorLog); };
    auto runTextFloor = [&] { return runChild(context.launcher, context.textFloorProbe, plainArguments, errorLog); };

    // One unmeasured run of each brings them all into the page cache.
    runWindow();
    runEmpty();
    runFloor();
    runTextFloor();

    // Rotating which goes first spreads any drift of a busy machine evenly.
    Sample program;
    Sample baseline;
    Sample textAndTls;
    Sample textOnly;
    constexpr int kinds = 4;
    for (int i = 0; i < runs; ++i) {
        std::fprintf(stderr, "\rstart-up: round %d of %d", i + 1, runs);
        bool ok = true;
        for (int step = 0; step < kinds; ++step) {
            switch ((i + step) % kinds) {
            case 0:
                ok = ok && program.add(runWindow());
                break;
            case 1:
                ok = ok && baseline.add(runEmpty());
                break;
            case 2:
                ok = ok && textAndTls.add(runFloor());
                break;
            case 3:
                ok = ok && textOnly.add(runTextFloor());
                break;
            }
        }
        if (!ok) {
            std::fprintf(stderr, "\n");
            table.addNote(QStringLiteral("start-up failed: a probe did not paint or exit cleanly "
                                         "(see %1)")
                              .arg(errorLog));
            return;
        }
    }
    std::fprintf(stderr, "\n");

    using R = ResultTable;
    auto row = [&](const QString &measure, const QVector<double> &ours, const QVector<double> &theirs,
                   const QString &unit, bool withTarget) {
        const double a = median(ours);
        const double b = median(theirs);
        const double ratio = a / b;
        table.add({QStringLiteral("start-up"), measure, R::number(a, 1) + unit, R::number(b, 1) + unit,
                   R::number(ratio), withTarget ? QStringLiteral("<= %1").arg(targetRatio, 0, 'f', 2) : QString(),
                   withTarget ? R::verdict(ratio <= targetRatio) : R::NoTarget});
    };
    const QString of = QStringLiteral(", median of %1").arg(runs);
    row(QStringLiteral("process wall time") + of, program.wallMs, baseline.wallMs, QStringLiteral(" ms"), true);
    row(QStringLiteral("main() to first paint") + of, program.firstPaintMs, baseline.firstPaintMs,
        QStringLiteral(" ms"), false);
    row(QStringLiteral("CPU time, user+system") + of, program.cpuMs, baseline.cpuMs, QStringLiteral(" ms"), false);
    row(QStringLiteral("peak memory (max RSS)") + of, program.peakMiB, baseline.peakMiB, QStringLiteral(" MiB"), true);

    auto floorRow = [&](const QString &measure, const QVector<double> &ours, const QVector<double> &theirs,
                        const QString &unit, bool withTarget) {
        const double a = median(ours);
        const double b = median(theirs);
        const double ratio = a / b;
        table.add({QStringLiteral("start-up"), measure, R::number(a, 1) + unit,
                   QStringLiteral("floor ") + R::number(b, 1) + unit, R::number(ratio),
                   withTarget ? QStringLiteral("<= %1").arg(targetRatio, 0, 'f', 2) : QString(),
                   withTarget ? R::verdict(ratio <= targetRatio) : R::NoTarget});
    };
    floorRow(QStringLiteral("start to window on screen vs. text floor, no TLS"), program.onScreenMs,
             textOnly.onScreenMs, QStringLiteral(" ms"), true);
    floorRow(QStringLiteral("process wall time vs. text floor, no TLS"), program.wallMs, textOnly.wallMs,
             QStringLiteral(" ms"), false);
    floorRow(QStringLiteral("main() to first paint vs. text floor, no TLS"), program.firstPaintMs,
             textOnly.firstPaintMs, QStringLiteral(" ms"), false);
    floorRow(QStringLiteral("peak memory vs. text floor, no TLS"), program.peakMiB, textOnly.peakMiB,
             QStringLiteral(" MiB"), false);
    floorRow(QStringLiteral("process wall time vs. text+TLS floor"), program.wallMs, textAndTls.wallMs,
             QStringLiteral(" ms"), false);
    floorRow(QStringLiteral("peak memory vs. text+TLS floor"), program.peakMiB, textAndTls.peakMiB,
             QStringLiteral(" MiB"), false);
    table.addNote(QStringLiteral("start-up: baseline = empty main window; text floor = a fixed window of the "
                                 "program's size with one label and no TLS (the fonts, which any window with "
                                 "text loads); text+TLS floor = an empty main window with one label and the "
                                 "TLS backend loaded before it shows; the program's settings hold 20 servers "
                                 "and 9 console commands, its API host a closed loopback port"));
}
