// valmora-ctl: whole processes asking the stand-in service for a server's
// status over loopback TLS, against the floor of one bare HTTPS GET from a
// Qt Core and Network program, and its memory against the window's.

#include "benches.h"
#include "benchsettings.h"
#include "childprocess.h"
#include "core/api/apiquery.h"
#include "demoservers.h"
#include "resulttable.h"
#include "serviceprocess.h"

#include <QDir>

#include <cstdio>

namespace {

constexpr double timeTarget = 1.3; // of the floor
constexpr double memoryTarget = 0.5; // of the window

struct Sample
{
    QVector<double> wallMs, cpuMs, peakMiB;

    bool add(const ChildRun &run)
    {
        if (!run.started || run.exitCode != 0)
            return false;
        wallMs << run.wallMs;
        cpuMs << run.cpuMs;
        peakMiB << run.peakMemoryMiB;
        return true;
    }
};

} // namespace

void runCtlBench(const BenchContext &context, const ServiceProcess &service, int runs, ResultTable &table)
{
    const QDir work(context.workDirectory);
    work.mkpath(QStringLiteral("ctl"));
    const QString settingsDirectory = work.filePath(QStringLiteral("ctl"));
    const QString errorLog = work.filePath(QStringLiteral("ctl-stderr.log"));

    // A running server, so that status exits with 0.
    const QString name = QString::fromUtf8(DemoServers::PrivateClub.name);
    const QString key = QString::fromLatin1(DemoServers::PrivateClub.apiKey);
    BenchSettings settings;
    settings.host = service.host();
    settings.caCertificate = service.certificatePath();
    settings.servers = {{name, key}};
    const QString problem = settings.writeTo(settingsDirectory);
    if (!problem.isEmpty()) {
        table.addNote(QStringLiteral("valmora-ctl skipped: ") + problem);
        return;
    }

    const QStringList ctlArguments {QStringLiteral("--settings"),
                                    QDir(settingsDirectory).filePath(QStringLiteral("setting.ini")),
                                    QStringLiteral("status"), name};
    const QString url
        = QStringLiteral("https://%1").arg(service.host()) + QString::fromLatin1(ApiQuery::path(key, ApiQuery::status));
    const QStringList floorArguments {url, service.certificatePath()};
    const QStringList systemFloorArguments = floorArguments + QStringList {QStringLiteral("--system-authorities")};
    const QStringList windowArguments {QStringLiteral("settled"), QStringLiteral("--settings"), settingsDirectory};
    auto runCtl = [&] { return runChild(context.launcher, context.ctl, ctlArguments, errorLog); };
    auto runFloor = [&] { return runChild(context.launcher, context.ctlFloor, floorArguments, errorLog); };
    auto runSystemFloor = [&] { return runChild(context.launcher, context.ctlFloor, systemFloorArguments, errorLog); };
    auto runWindow = [&] { return runChild(context.launcher, context.windowProbe, windowArguments, errorLog); };

    // One unmeasured run of each brings them all into the page cache.
    runCtl();
    runFloor();
    runSystemFloor();
    runWindow();

    Sample ctl;
    Sample floor;
    Sample systemFloor;
    Sample window;
    for (int i = 0; i < runs; ++i) {
        std::fprintf(stderr, "\rvalmora-ctl: round %d of %d", i + 1, runs);
        bool ok = true;
        // Rotating which goes first spreads any drift of a busy machine evenly.
        for (int step = 0; step < 4; ++step) {
            switch ((i + step) % 4) {
            case 0:
                ok = ok && ctl.add(runCtl());
                break;
            case 1:
                ok = ok && floor.add(runFloor());
                break;
            case 2:
                ok = ok && systemFloor.add(runSystemFloor());
                break;
            case 3:
                ok = ok && window.add(runWindow());
                break;
            }
        }
        if (!ok) {
            std::fprintf(stderr, "\n");
            table.addNote(QStringLiteral("valmora-ctl failed: a process did not exit with 0 (see %1)").arg(errorLog));
            return;
        }
    }
    std::fprintf(stderr, "\n");

    using R = ResultTable;
    const QString of = QStringLiteral(", median of %1").arg(runs);
    auto row = [&](const QString &measure, const QVector<double> &ours, const QString &baselineName,
                   const QVector<double> &theirs, const QString &unit, double target) {
        const double a = median(ours);
        const double b = median(theirs);
        const double ratio = a / b;
        const bool withTarget = target > 0;
        table.add({QStringLiteral("ctl"), measure + of, R::number(a, 1) + unit, baselineName + R::number(b, 1) + unit,
                   R::number(ratio), withTarget ? QStringLiteral("<= %1").arg(target, 0, 'f', 2) : QString(),
                   withTarget ? R::verdict(ratio <= target) : R::NoTarget});
    };
    const QString bare = QStringLiteral("bare GET ");
    row(QStringLiteral("status: process wall time"), ctl.wallMs, bare, floor.wallMs, QStringLiteral(" ms"), timeTarget);
    row(QStringLiteral("status: CPU time, user+system"), ctl.cpuMs, bare, floor.cpuMs, QStringLiteral(" ms"), 0);
    row(QStringLiteral("status: peak memory (max RSS)"), ctl.peakMiB, QStringLiteral("window "), window.peakMiB,
        QStringLiteral(" MiB"), memoryTarget);
    row(QStringLiteral("status: peak memory vs. bare GET"), ctl.peakMiB, bare, floor.peakMiB, QStringLiteral(" MiB"),
        0);
    row(QStringLiteral("bare GET also trusting the system's authorities: wall time"), systemFloor.wallMs, bare,
        floor.wallMs, QStringLiteral(" ms"), 0);
    row(QStringLiteral("bare GET also trusting the system's authorities: memory"), systemFloor.peakMiB, bare,
        floor.peakMiB, QStringLiteral(" MiB"), 0);
    row(QStringLiteral("window to its first full update: wall time"), window.wallMs, bare, floor.wallMs,
        QStringLiteral(" ms"), 0);
    table.addNote(QStringLiteral("ctl: valmora-ctl status of a running server against the stand-in service over "
                                 "loopback TLS; bare GET = a Qt Core+Network program making the same GET, "
                                 "trusting the service's certificate; window = the program's window, shown until "
                                 "its first full update (status, resources, maps) is answered"));
}
