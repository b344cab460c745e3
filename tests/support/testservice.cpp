#include "testservice.h"

#include <QFileInfo>

namespace {

// Built for Linux, the build's own stand-in service; none for Windows.
QString serviceExecutable()
{
#ifdef API_SERVICE_EXECUTABLE
    return QStringLiteral(API_SERVICE_EXECUTABLE);
#else
    return QString();
#endif
}

QString namedHost()
{
    return qEnvironmentVariable("VALMORA_TEST_SERVICE");
}

QString namedCertificate()
{
    return qEnvironmentVariable("VALMORA_TEST_SERVICE_CA");
}

bool isNamed()
{
    return !namedHost().isEmpty() || !namedCertificate().isEmpty();
}

} // namespace

TestService::TestService()
    : m_process(serviceExecutable(), m_folder.path())
{ }

bool TestService::isAvailable()
{
    return isNamed() || !serviceExecutable().isEmpty();
}

const char *TestService::unavailableText()
{
    return "the stand-in service runs on Linux only: start it there and name it with VALMORA_TEST_SERVICE "
           "and VALMORA_TEST_SERVICE_CA (scripts/check-windows.sh does)";
}

QString TestService::open(const QStringList &extraArguments)
{
    if (isNamed()) {
        m_host = namedHost();
        m_certificate = namedCertificate();
        if (m_host.isEmpty() || !QFileInfo(m_certificate).isFile())
            return QStringLiteral("VALMORA_TEST_SERVICE and VALMORA_TEST_SERVICE_CA must name a running service "
                                  "and its certificate");
        return QString();
    }
    if (serviceExecutable().isEmpty())
        return QString::fromLatin1(unavailableText());
    if (!m_folder.isValid())
        return QStringLiteral("no temporary folder for the service's certificate: ") + m_folder.errorString();
    QString problem = m_process.start(extraArguments);
    if (!problem.isEmpty())
        return problem;
    m_startedHere = true;
    m_host = m_process.host();
    m_certificate = m_process.certificatePath();
    return QString();
}

QString TestService::close()
{
    if (!m_startedHere)
        return QString();
    m_startedHere = false;
    return m_process.stop();
}
