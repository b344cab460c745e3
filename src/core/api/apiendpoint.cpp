#include "apiendpoint.h"

#include <QFile>
#include <QHostAddress>
#include <QSettings>

#include <utility>

QString ApiEndpoint::defaultHost()
{
    return QStringLiteral("api.valmora.example");
}

QString ApiEndpoint::setHostEntry(const QString &entry)
{
    const QString text = entry.trimmed();
    QString name = text;
    QString portText;

    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return QObject::tr("не закрыта скобка адреса");
        name = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return QObject::tr("лишние символы после адреса");
            portText = rest.mid(1);
        }
        if (QHostAddress(name).protocol() != QAbstractSocket::IPv6Protocol)
            return QObject::tr("в скобках должен стоять адрес IPv6");
    } else {
        const int colon = text.indexOf(QLatin1Char(':'));
        if (colon >= 0) {
            name = text.left(colon);
            portText = text.mid(colon + 1);
        }
        if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char(' ')) || name.contains(QLatin1Char('@')))
            return QObject::tr("недопустимые символы в имени");
    }
    if (name.isEmpty())
        return QObject::tr("не указано имя");

    quint16 newPort = defaultPort;
    if (text.endsWith(QLatin1Char(':')) || !portText.isEmpty()) {
        bool ok = false;
        const uint value = portText.toUInt(&ok);
        if (!ok || value == 0 || value > 65535)
            return QObject::tr("неверный порт");
        newPort = quint16(value);
    }
    host = name;
    port = newPort;
    return QString();
}

namespace {

QString noCertificates()
{
    return QObject::tr("в файле нет сертификатов PEM");
}

QString unusableCertificates(const QString &path, const QString &problem)
{
    return QObject::tr("Не удалось прочитать сертификаты «%1»: %2").arg(path, problem);
}

} // namespace

QString ApiEndpoint::loadCaCertificates(const QString &path, CertificateParsing parsing)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    const QByteArray text = file.readAll();
    if (parsing == CertificateParsing::Now) {
        const QList<QSslCertificate> found = QSslCertificate::fromData(text, QSsl::Pem);
        if (found.isEmpty())
            return noCertificates();
        caCertificates = found;
        return QString();
    }
    // The usual mistake, a file with no certificate at all (a key, say), is
    // still told at once.
    if (!text.contains("-----BEGIN CERTIFICATE-----"))
        return noCertificates();
    pendingCaFile = path;
    pendingCaText = text;
    return QString();
}

QString ApiEndpoint::parsePendingCaCertificates()
{
    if (pendingCaFile.isEmpty())
        return QString();
    const QString path = std::exchange(pendingCaFile, QString());
    const QList<QSslCertificate> found
        = QSslCertificate::fromData(std::exchange(pendingCaText, QByteArray()), QSsl::Pem);
    if (found.isEmpty())
        return unusableCertificates(path, noCertificates());
    caCertificates = found;
    return QString();
}

QStringList ApiEndpoint::configure(const QSettings &settings, CertificateParsing parsing)
{
    QStringList problems;
    const QString hostEntry = settings.value(QStringLiteral("host")).toString();
    if (!hostEntry.isEmpty()) {
        const QString problem = setHostEntry(hostEntry);
        if (!problem.isEmpty())
            problems << QObject::tr("Неверный адрес API «%1»: %2").arg(hostEntry, problem);
    }
    const QString caFile = settings.value(QStringLiteral("cacert")).toString();
    if (!caFile.isEmpty()) {
        const QString problem = loadCaCertificates(caFile, parsing);
        if (!problem.isEmpty())
            problems << unusableCertificates(caFile, problem);
    }
    return problems;
}

QSslConfiguration ApiEndpoint::sslConfiguration() const
{
    return trustingSystemAnd(caCertificates);
}

QSslConfiguration ApiEndpoint::sslConfigurationTrustingOwnOnly() const
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(caCertificates);
    return tls;
}

QSslConfiguration ApiEndpoint::trustingSystemAnd(const QList<QSslCertificate> &extra)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    // Without extra certificates Qt's default stands: the system's
    // authorities, read only when a handshake needs them.
    if (!extra.isEmpty())
        tls.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
    return tls;
}
