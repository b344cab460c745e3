#include "serviceprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

namespace {

constexpr int startPatienceMs = 20000;

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
    const QDir directory(m_directory);
    const QString portFile = directory.filePath(QStringLiteral("port"));
    QFile::remove(portFile);

    // The service logs a line per request to standard error, wanted only
    // where a log file is named.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_logFile.isEmpty() ? QProcess::nullDevice() : m_logFile);
    const QStringList arguments {QStringLiteral("--generate-cert"),  directory.filePath(QStringLiteral("tls")),
                                 QStringLiteral("--port"),           QStringLiteral("0"),
                                 QStringLiteral("--port-file"),      portFile,
                                 QStringLiteral("--seed"),           QStringLiteral("7"),
                                 QStringLiteral("--start-delay-ms"), QStringLiteral("0")};
    m_process.start(m_executable, arguments + extraArguments);
    if (!m_process.waitForStarted(startPatienceMs))
        return QStringLiteral("cannot start %1: %2").arg(m_executable, m_process.errorString());

    const QDeadlineTimer deadline(startPatienceMs);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        QFile file(portFile);
        if (file.open(QIODevice::ReadOnly)) {
            m_port = quint16(file.readAll().trimmed().toUInt());
            if (m_port != 0)
                return QString();
        }
        QThread::msleep(20);
    }
    stop();
    return QStringLiteral("the service did not start listening");
}

void ServiceProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString ServiceProcess::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QString ServiceProcess::certificatePath() const
{
    return QDir(m_directory).filePath(QStringLiteral("tls/cert.pem"));
}
