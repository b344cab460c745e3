#include "demosettings.h"

#include "core/crypto/machinekey.h"
#include "core/crypto/stringcipher.h"
#include "core/settings/privatefile.h"
#include "demoservers.h"

#include <QFileInfo>
#include <QSettings>

QString DemoSettings::write(const QString &iniPath, const QString &host, const QString &caCertificatePath)
{
    // The file holds API keys: owner-only, as the panel keeps it.
    QString privacyProblem = PrivateFile::prepare(iniPath);
    if (!privacyProblem.isEmpty())
        return privacyProblem;
    QSettings settings(iniPath, QSettings::IniFormat);

    settings.beginGroup(QStringLiteral("Main"));
    settings.setValue(QStringLiteral("host"), host);
    // The panel may run from any working directory.
    settings.setValue(QStringLiteral("cacert"), QFileInfo(caCertificatePath).absoluteFilePath());
    settings.setValue(QStringLiteral("debug"), true);
    settings.endGroup();

    // The same key the panel derives when it loads the file on this machine.
    StringCipher cipher(quint64(machineKeyFromAddress(firstHardwareAddress())));
    settings.beginGroup(QStringLiteral("Servers"));
    for (const DemoServers::Entry &server : DemoServers::All)
        settings.setValue(QString::fromUtf8(server.name), cipher.encipherText(QString::fromLatin1(server.apiKey)));
    settings.endGroup();

    settings.sync();
    switch (settings.status()) {
    case QSettings::NoError:
        return QString();
    case QSettings::AccessError:
        return QStringLiteral("cannot write %1").arg(iniPath);
    case QSettings::FormatError:
        return QStringLiteral("%1 is not an INI file").arg(iniPath);
    }
    return QString();
}
