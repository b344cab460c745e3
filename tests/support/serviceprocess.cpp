#include "serviceprocess.h"

#include "patience.h"

#include <QDeadlineTimer>
#include <QDir>

namespace {

// What the service prints once it listens, before the port.
const QByteArray listeningPrefix = "listening on https://127.0.0.1:";

} // namespace

ServiceProcess::ServiceProcess(const QString &executable, const QString &directory)
    : m_executable(executable)
    , m_directory(directory)
{ }

ServiceProcess::~ServiceProcess()
{
    stop();
}

QString ServiceProcess::start(const QStringList &extraArguments)
{
    // The service logs a line per request to standard error, wanted only
    // where a log file is named; its standard output says where it listens.
    m_process.setStandardErrorFile(m_logFile.isEmpty() ? QProcess::nullDevice() : m_logFile);
    const QStringList arguments {QStringLiteral("--generate-cert"),  QDir(m_directory).filePath(QStringLiteral("tls")),
                                 QStringLiteral("--port"),           QStringLiteral("0"),
                                 QStringLiteral("--seed"),           QStringLiteral("7"),
                                 QStringLiteral("--start-delay-ms"), QStringLiteral("0")};
    m_process.start(m_executable, arguments + extraArguments);
    if (!m_process.waitForStarted(patienceMs))
        return QStringLiteral("cannot start %1: %2").arg(m_executable, m_process.errorString());

    const QDeadlineTimer deadline(patienceMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            stop();
            return QStringLiteral("the service did not start listening");
        }
    }
    const QByteArray line = m_process.readLine().trimmed();
    m_port = line.startsWith(listeningPrefix) ? line.mid(listeningPrefix.size()).toUShort() : 0;
    if (m_port == 0) {
        stop();
        return QStringLiteral("the service said «%1» instead of where it listens").arg(QString::fromUtf8(line));
    }
    return QString();
}

QString ServiceProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return QString();
    // SIGTERM on Linux, where the service runs.
    m_process.terminate();
    if (!m_process.waitForFinished(patienceMs)) {
        m_process.kill();
        m_process.waitForFinished(patienceMs);
        return QStringLiteral("the service did not end when told to and was killed");
    }
    if (m_process.exitStatus() != QProcess::NormalExit || m_process.exitCode() != 0)
        return QStringLiteral("the service ended with exit status %1").arg(m_process.exitCode());
    return QString();
}

QString ServiceProcess::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QString ServiceProcess::certificatePath() const
{
    return QDir(m_directory).filePath(QStringLiteral("tls/cert.pem"));
}
