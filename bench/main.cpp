// Runs the benchmarks and prints one table: start-up, reply handling,
// network and idle, each beside a baseline measured in the same run, the
// soak, a long run of the window against its state after a warm-up, and
// the same for a long valmora-ctl watch.
//
//   valmora-bench [--runs N] [--ctl-runs N] [--idle-seconds N] [--soak-updates N]
//                 [--watch-rounds N] [--only startup,reply,network,ctl,idle,soak,watch]

#include "benches.h"
#include "resulttable.h"
#include "serviceprocess.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

QString firstMatch(const QString &path, const QString &pattern)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QRegularExpressionMatch match
        = QRegularExpression(pattern, QRegularExpression::MultilineOption).match(QString::fromUtf8(file.readAll()));
    return match.hasMatch() ? match.captured(1).trimmed() : QString();
}

QString machineDescription()
{
    const QString cpu = firstMatch(QStringLiteral("/proc/cpuinfo"), QStringLiteral("^model name\\s*:(.*)$"));
    const double memoryGiB
        = firstMatch(QStringLiteral("/proc/meminfo"), QStringLiteral("^MemTotal:\\s*(\\d+)")).toDouble() / 1024 / 1024;
    return QStringLiteral("machine: %1 logical CPUs (%2), %3 GiB memory; %4; Qt %5, platform \"%6\"; load %7")
        .arg(QThread::idealThreadCount())
        .arg(cpu.isEmpty() ? QStringLiteral("unknown CPU") : cpu)
        .arg(memoryGiB, 0, 'f', 1)
        .arg(QSysInfo::prettyProductName(), QString::fromLatin1(qVersion()), QGuiApplication::platformName(),
             firstMatch(QStringLiteral("/proc/loadavg"), QStringLiteral("^(\\S+ \\S+ \\S+)")));
}

} // namespace

int main(int argc, char *argv[])
{
    // The probes inherit this; a display is not needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the control panel and prints a table."));
    parser.addHelpOption();
    const QCommandLineOption runs(QStringLiteral("runs"),
                                  QStringLiteral("Start-up processes of each kind (default 15)."), QStringLiteral("N"),
                                  QStringLiteral("15"));
    const QCommandLineOption ctlRuns(QStringLiteral("ctl-runs"),
                                     QStringLiteral("valmora-ctl processes of each kind (default 20)."),
                                     QStringLiteral("N"), QStringLiteral("20"));
    const QCommandLineOption idleSeconds(QStringLiteral("idle-seconds"),
                                         QStringLiteral("Length of the idle measurement (default 60)."),
                                         QStringLiteral("N"), QStringLiteral("60"));
    const QCommandLineOption soakUpdates(QStringLiteral("soak-updates"),
                                         QStringLiteral("Full updates of the soak, at least 201 (default 10000)."),
                                         QStringLiteral("N"), QStringLiteral("10000"));
    const QCommandLineOption watchRounds(QStringLiteral("watch-rounds"),
                                         QStringLiteral("Rounds of the watch of 200 servers, every 5 s, at least 2 "
                                                        "(default 50)."),
                                         QStringLiteral("N"), QStringLiteral("50"));
    const QCommandLineOption only(
        QStringLiteral("only"),
        QStringLiteral("Comma-separated benchmarks to run: startup, reply, network, ctl, idle, soak, watch."),
        QStringLiteral("LIST"), QStringLiteral("startup,reply,network,ctl,idle,soak,watch"));
    parser.addOptions({runs, ctlRuns, idleSeconds, soakUpdates, watchRounds, only});
    parser.process(app);
    const QStringList chosen = parser.value(only).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const int runCount = qMax(1, parser.value(runs).toInt());
    const int ctlRunCount = qMax(1, parser.value(ctlRuns).toInt());
    const int idleLength = qMax(1, parser.value(idleSeconds).toInt());
    const int soakLength = parser.value(soakUpdates).toInt();
    const int watchLength = qMax(2, parser.value(watchRounds).toInt());

    QTemporaryDir work;
    if (!work.isValid()) {
        std::fprintf(stderr, "valmora-bench: cannot make a temporary folder\n");
        return 1;
    }
    const BenchContext context {work.path(),
                                QStringLiteral(BENCH_LAUNCHER),
                                QStringLiteral(BENCH_WINDOW_PROBE),
                                QStringLiteral(BENCH_EMPTY_PROBE),
                                QStringLiteral(BENCH_FLOOR_PROBE),
                                QStringLiteral(BENCH_TEXT_FLOOR_PROBE),
                                QStringLiteral(API_SERVICE_EXECUTABLE),
                                QStringLiteral(BENCH_CTL),
                                QStringLiteral(BENCH_CTL_FLOOR)};
    QDir(work.path()).mkpath(QStringLiteral("service"));
    ServiceProcess service(context.service, QDir(work.path()).filePath(QStringLiteral("service")));

    ResultTable table;
    const QString machine = machineDescription();

    if (chosen.contains(QLatin1String("startup"))) {
        std::fprintf(stderr, "start-up: %d processes of each kind...\n", runCount);
        runStartupBench(context, runCount, table);
    }
    if (chosen.contains(QLatin1String("reply"))) {
        std::fprintf(stderr, "reply handling...\n");
        runReplyBench(context, table);
    }
    const bool needsService = chosen.contains(QLatin1String("network")) || chosen.contains(QLatin1String("ctl"))
        || chosen.contains(QLatin1String("idle"));
    const QString serviceProblem = needsService ? service.start() : QString();
    if (!serviceProblem.isEmpty())
        table.addNote(QStringLiteral("network, ctl and idle skipped: ") + serviceProblem);
    if (serviceProblem.isEmpty() && chosen.contains(QLatin1String("network"))) {
        std::fprintf(stderr, "network...\n");
        runNetworkBench(context, service, table);
    }
    if (serviceProblem.isEmpty() && chosen.contains(QLatin1String("ctl"))) {
        std::fprintf(stderr, "valmora-ctl: %d processes of each kind...\n", ctlRunCount);
        runCtlBench(context, service, ctlRunCount, table);
    }
    if (serviceProblem.isEmpty() && chosen.contains(QLatin1String("idle"))) {
        std::fprintf(stderr, "idle: %d s...\n", idleLength);
        runIdleBench(context, service, idleLength, table);
    }
    service.stop();
    if (chosen.contains(QLatin1String("soak"))) {
        runSoakBench(context, soakLength, table);
    }
    if (chosen.contains(QLatin1String("watch"))) {
        std::fprintf(stderr, "watch: %d rounds of 5 s...\n", watchLength);
        runWatchBench(context, watchLength, table);
    }

    std::printf("%s\n\n%s", qPrintable(machine), qPrintable(table.toText()));
    return 0;
}
