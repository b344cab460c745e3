// Idle: the program's window, hidden with a server selected, and an empty
// main window, each in a probe process measuring its own CPU time over the
// same stretch of time.

#include "benches.h"
#include "benchsettings.h"
#include "childprocess.h"
#include "demoservers.h"
#include "resulttable.h"
#include "serviceprocess.h"

#include <QDir>
#include <QProcess>

namespace {

constexpr double targetPercent = 0.1;

} // namespace

void runIdleBench(const BenchContext &context, const ServiceProcess &service, int seconds, ResultTable &table)
{
    const QDir work(context.workDirectory);
    work.mkpath(QStringLiteral("idle"));
    const QString settingsDirectory = work.filePath(QStringLiteral("idle"));

    BenchSettings settings;
    settings.host = service.host();
    settings.caCertificate = service.certificatePath();
    settings.servers
        = {{QString::fromUtf8(DemoServers::NorthFort.name), QString::fromLatin1(DemoServers::NorthFort.apiKey)}};
    const QString problem = settings.writeTo(settingsDirectory);
    if (!problem.isEmpty()) {
        table.addNote(QStringLiteral("idle skipped: ") + problem);
        return;
    }

    const QString idleSeconds = QString::number(seconds);
    QProcess program;
    QProcess baseline;
    program.setStandardErrorFile(work.filePath(QStringLiteral("idle-stderr.log")), QIODevice::Append);
    baseline.setStandardErrorFile(work.filePath(QStringLiteral("idle-stderr.log")), QIODevice::Append);
    program.start(context.windowProbe,
                  {QStringLiteral("idle"), idleSeconds, QStringLiteral("--settings"), settingsDirectory});
    baseline.start(context.emptyProbe, {QStringLiteral("idle"), idleSeconds});
    const int idleEndMs = (seconds + 60) * 1000;
    program.waitForFinished(idleEndMs);
    baseline.waitForFinished(idleEndMs);

    const QByteArray ours = program.readAllStandardOutput();
    const QByteArray theirs = baseline.readAllStandardOutput();
    const double ourCpu = outputValue(ours, "cpu_ms");
    const double theirCpu = outputValue(theirs, "cpu_ms");
    if (program.exitCode() != 0 || baseline.exitCode() != 0 || ourCpu < 0 || theirCpu < 0) {
        table.addNote(QStringLiteral("idle failed: probes said \"%1\" and \"%2\"")
                          .arg(QString::fromLocal8Bit(ours.trimmed()), QString::fromLocal8Bit(theirs.trimmed())));
        return;
    }

    using R = ResultTable;
    auto percent = [&](double cpuMs) { return cpuMs / (seconds * 1000.0) * 100.0; };
    table.add(
        {QStringLiteral("idle"), QStringLiteral("CPU over %1 s, hidden, server selected").arg(seconds),
         R::number(percent(ourCpu), 4) + QStringLiteral(" % (") + R::number(ourCpu, 1) + QStringLiteral(" ms)"),
         R::number(percent(theirCpu), 4) + QStringLiteral(" % (") + R::number(theirCpu, 1) + QStringLiteral(" ms)"),
         R::number(ourCpu / qMax(theirCpu, 0.001)), QStringLiteral("< %1 %").arg(targetPercent, 0, 'f', 1),
         R::verdict(percent(ourCpu) < targetPercent)});
    auto perSecond = [&](const QByteArray &output) {
        return R::number(outputValue(output, "voluntary_switches") / seconds, 2) + QStringLiteral(" /s");
    };
    table.add({QStringLiteral("idle"), QStringLiteral("wake-ups (voluntary context switches)"), perSecond(ours),
               perSecond(theirs), QString(), QString(), R::NoTarget});
    table.add({QStringLiteral("idle"), QStringLiteral("queries sent; TLS handshakes"),
               QStringLiteral("%1; %2").arg(outputValue(ours, "queries")).arg(outputValue(ours, "handshakes")),
               QString(), QString(), QString(), R::NoTarget});
}
