// valmora-ctl watch over a long run: 200 servers, a round every 5 s (the
// shortest interval), against a stand-in service of its own that simulates
// them, through a counting TCP relay. What the watch process holds on to
// after the first round and at the end, how many TLS handshakes it made,
// the CPU it uses between rounds and how long a round takes; once with
// --no-history and once recording the history, side by side.

#include "benches.h"
#include "benchsettings.h"
#include "eventwait.h"
#include "moreservers.h"
#include "resulttable.h"
#include "serviceprocess.h"
#include "tcprelay.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int serverCount = 200;
constexpr int intervalSeconds = 5;
constexpr double memoryTargetMiB = 1.0;
constexpr double cpuTargetPercent = 0.1;
// Between two rounds: from a moment after one ends to a moment before the
// next is due; a shorter stretch is not measured.
constexpr int quietStartMsec = 300;
constexpr int quietEndMsec = 300;
constexpr int shortestQuietMsec = 1000;

// A field of /proc/PID/status in KiB, such as "VmRSS:"; -1 if unknown.
qint64 statusKiB(qint64 pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// User plus system time of all the process's threads, in seconds, from
// the clock ticks of /proc/PID/stat.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The name in parentheses may hold spaces; the fields follow the last ')'.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // utime and stime are the 14th and 15th fields, the 12th and 13th here.
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// Time on a CPU of the process's threads alive now, in seconds, to the
// nanosecond (the first field of each thread's /proc/PID/task/TID/schedstat).
double runSeconds(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    qint64 nanoseconds = 0;
    const QStringList threads = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &thread : threads) {
        QFile schedstat(tasks.filePath(thread + QStringLiteral("/schedstat")));
        if (schedstat.open(QIODevice::ReadOnly))
            nanoseconds += schedstat.readAll().split(' ').value(0).toLongLong();
    }
    return double(nanoseconds) / 1e9;
}

// The status queries of the service's log so far, read as it grows.
class LineCounter
{
public:
    explicit LineCounter(const QString &path)
        : file(path)
    { }

    int count()
    {
        if (!file.isOpen() && !file.open(QIODevice::ReadOnly))
            return lines;
        // The last line may still be being written.
        pending += file.readAll();
        const qsizetype end = pending.lastIndexOf('\n');
        if (end < 0)
            return lines;
        for (const QByteArray &line : pending.left(end).split('\n')) {
            // "time kind status server": every query answered with 200.
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() >= 3 && fields.at(2) != "200")
                ++failed;
            if (fields.value(1) == "status")
                ++lines;
            else
                ++others;
        }
        pending.remove(0, end + 1);
        return lines;
    }
    int failures() const { return failed; }
    // Queries of other kinds: the resources, when the history is recorded.
    int otherQueries() const { return others; }

private:
    QFile file;
    QByteArray pending;
    int lines = 0;
    int others = 0;
    int failed = 0;
};

void idle(int msec)
{
    waitUntil([] { return false; }, msec);
}

} // namespace

namespace {

// One long run of watch; returns the mean length of a round in ms, from
// its first status query to its last, or -1.
double runWatch(const BenchContext &context, int rounds, bool recordHistory, ResultTable &table)
{
    const QString what = recordHistory ? QStringLiteral("watch, history") : QStringLiteral("watch");
    const QString name = recordHistory ? QStringLiteral("watch-history") : QStringLiteral("watch");
    const QDir work(context.workDirectory);
    work.mkpath(name + QStringLiteral("/service"));
    work.mkpath(name + QStringLiteral("/ctl"));
    const QString folder = work.filePath(name);
    const QString serviceLog = QDir(folder).filePath(QStringLiteral("service.log"));

    ServiceProcess service(context.service, QDir(folder).filePath(QStringLiteral("service")));
    service.setLogFile(serviceLog);
    const QString problem = service.start({QStringLiteral("--more-servers"), QString::number(serverCount)});
    if (!problem.isEmpty()) {
        table.addNote(what + QStringLiteral(" skipped: ") + problem);
        return -1;
    }
    TcpRelay relay(service.port());
    if (!relay.listen()) {
        table.addNote(what + QStringLiteral(" skipped: the relay cannot listen"));
        return -1;
    }
    BenchSettings settings;
    settings.host = QStringLiteral("127.0.0.1:%1").arg(relay.port());
    settings.caCertificate = service.certificatePath();
    for (int number = 1; number <= serverCount; ++number)
        settings.servers.append({MoreServers::name(number), MoreServers::apiKey(number)});
    const QString ctlFolder = QDir(folder).filePath(QStringLiteral("ctl"));
    const QString written = settings.writeTo(ctlFolder);
    if (!written.isEmpty()) {
        table.addNote(what + QStringLiteral(" skipped: ") + written);
        return -1;
    }

    const QString output = QDir(folder).filePath(QStringLiteral("watch.out"));
    const QString errors = QDir(folder).filePath(QStringLiteral("watch.err"));
    QProcess watch;
    watch.setStandardOutputFile(output);
    watch.setStandardErrorFile(errors);
    QStringList arguments {QStringLiteral("--settings"), QDir(ctlFolder).filePath(QStringLiteral("setting.ini")),
                           QStringLiteral("watch"), QStringLiteral("--interval"), QString::number(intervalSeconds)};
    if (!recordHistory)
        arguments << QStringLiteral("--no-history");
    watch.start(context.ctl, arguments);
    if (!watch.waitForStarted()) {
        table.addNote(what + QStringLiteral(" skipped: ") + watch.errorString());
        return -1;
    }
    const qint64 pid = watch.processId();

    LineCounter requests(serviceLog);
    qint64 rssAfterFirst = 0;
    qint64 rssAfterTenth = 0;
    double quietCpu = 0;
    double quietSeconds = 0;
    int quietWindows = 0;
    bool finished = true;
    qint64 roundsMsec = 0;
    QElapsedTimer clock;
    clock.start();
    for (int round = 1; round <= rounds; ++round) {
        std::fprintf(stderr, "\r%s: round %d of %d", qPrintable(what), round, rounds);
        if (!waitUntil([&] { return requests.count() > (round - 1) * serverCount; }, 60000)) {
            finished = false;
            break;
        }
        const qint64 started = clock.elapsed();
        if (!waitUntil([&] { return requests.count() >= round * serverCount; }, 60000)) {
            finished = false;
            break;
        }
        roundsMsec += clock.elapsed() - started;
        if (round == 1)
            rssAfterFirst = statusKiB(pid, "VmRSS:");
        if (round == 10)
            rssAfterTenth = statusKiB(pid, "VmRSS:");
        if (round == rounds)
            break;
        // The CPU used between this round and the next: from a moment after
        // this one ends to a moment before the next is due. A window that a
        // round reached into does not count.
        idle(quietStartMsec);
        const qint64 length = started + qint64(intervalSeconds) * 1000 - quietEndMsec - clock.elapsed();
        if (length < shortestQuietMsec)
            continue;
        const int before = requests.count();
        const double cpuBefore = runSeconds(pid);
        QElapsedTimer window;
        window.start();
        idle(int(length));
        const double cpuAfter = runSeconds(pid);
        if (requests.count() == before) {
            quietCpu += cpuAfter - cpuBefore;
            quietSeconds += double(window.elapsed()) / 1000;
            ++quietWindows;
        }
    }
    std::fprintf(stderr, "\n");
    const qint64 rssAtEnd = statusKiB(pid, "VmRSS:");
    const qint64 peak = statusKiB(pid, "VmHWM:");
    const double cpuInAll = cpuSeconds(pid);
    const double runInAll = runSeconds(pid); // the same, to check the finer reading
    watch.terminate();
    watch.waitForFinished(5000);
    const int exitCode = watch.exitStatus() == QProcess::NormalExit ? watch.exitCode() : -1;
    service.stop();

    QFile printed(output);
    const int lines = printed.open(QIODevice::ReadOnly) ? int(printed.readAll().count('\n')) : -1;
    using R = ResultTable;
    const QString queries = QString::number(requests.count());
    table.add({what,
               QStringLiteral("status queries; rounds of %1 servers every %2 s; failed")
                   .arg(serverCount)
                   .arg(intervalSeconds),
               queries, QStringLiteral("%1 x %2 = %3").arg(rounds).arg(serverCount).arg(rounds * serverCount),
               QString::number(requests.failures()), QStringLiteral("all, 0 failed"),
               R::verdict(finished && requests.count() == rounds * serverCount && requests.failures() == 0)});
    const double growthMiB = double(rssAtEnd - rssAfterFirst) / 1024;
    table.add({what, QStringLiteral("resident memory: at end; after round 1; growth"),
               R::number(double(rssAtEnd) / 1024) + QStringLiteral(" MiB"),
               QStringLiteral("round 1 %1 MiB, round 10 %2 MiB")
                   .arg(R::number(double(rssAfterFirst) / 1024), R::number(double(rssAfterTenth) / 1024)),
               QStringLiteral("%1%2 MiB").arg(growthMiB >= 0 ? QStringLiteral("+") : QString(), R::number(growthMiB)),
               QStringLiteral("< +%1 MiB").arg(memoryTargetMiB), R::verdict(growthMiB < memoryTargetMiB)});
    table.add({what, QStringLiteral("peak resident memory (VmHWM)"),
               R::number(double(peak) / 1024) + QStringLiteral(" MiB"), QString(), QString(), QString(), R::NoTarget});
    table.add({what, QStringLiteral("TLS handshakes (TCP connections through the relay)"),
               QString::number(relay.connectionCount()), QString(), QString(), QStringLiteral("1"),
               R::verdict(relay.connectionCount() == 1)});
    const double quietPercent = quietSeconds > 0 ? 100 * quietCpu / quietSeconds : -1;
    table.add(
        {what, QStringLiteral("CPU between rounds (%1 of %2 gaps)").arg(quietWindows).arg(rounds - 1),
         QStringLiteral("%1 % (%2 ms in %3 s)")
             .arg(QString::number(quietPercent, 'g', 2), R::number(quietCpu * 1000, 2), R::number(quietSeconds, 1)),
         QString(), QString(), QStringLiteral("< %1 %").arg(cpuTargetPercent),
         R::verdict(quietWindows > 0 && quietPercent < cpuTargetPercent)});
    table.add({what, QStringLiteral("CPU in all, per round; lines printed; exit code on SIGTERM"),
               QStringLiteral("%1 s (by schedstat %3 s), %2 ms")
                   .arg(R::number(cpuInAll, 2), R::number(cpuInAll * 1000 / rounds, 1), R::number(runInAll, 2)),
               QStringLiteral("%1 lines").arg(lines), QString::number(exitCode), QStringLiteral("0"),
               R::verdict(exitCode == 0 && lines == serverCount)});
    const double roundMsec = finished && rounds > 0 ? double(roundsMsec) / rounds : -1;
    table.add({what, QStringLiteral("a round: first status query to last, mean; resources queries"),
               R::number(roundMsec, 1) + QStringLiteral(" ms"), QString::number(requests.otherQueries()), QString(),
               QString(), R::NoTarget});
    return roundMsec;
}

} // namespace

void runWatchBench(const BenchContext &context, int rounds, ResultTable &table)
{
    const double without = runWatch(context, rounds, false, table);
    const double with = runWatch(context, rounds, true, table);
    if (without > 0 && with > 0)
        table.add({QStringLiteral("watch"), QStringLiteral("a round recording the history / with --no-history"),
                   QString::number(with / without, 'f', 2), QString(), QString(), QString(), ResultTable::NoTarget});
    table.addNote(QStringLiteral("watch: valmora-ctl watch --interval %1 of %2 servers against the stand-in service "
                                 "(--more-servers), through a TCP relay that counts connections; resident memory "
                                 "from /proc/PID/status; CPU between rounds from the threads' "
                                 "/proc/PID/task/TID/schedstat (nanoseconds), in all from /proc/PID/stat "
                                 "(clock ticks of %3 ms); no state changes, so the only lines are the %2 first "
                                 "states; the second run records the history (status every round, resources "
                                 "once a minute per server)")
                      .arg(intervalSeconds)
                      .arg(serverCount)
                      .arg(1000 / sysconf(_SC_CLK_TCK)));
}
