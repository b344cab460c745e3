#include "benchsettings.h"

#include "core/crypto/machinekey.h"
#include "core/crypto/stringcipher.h"

#include <QDir>
#include <QFile>
#include <QSettings>

QList<QPair<QString, QString>> BenchSettings::madeUpServers(int count)
{
    QList<QPair<QString, QString>> servers;
    for (int i = 1; i <= count; ++i) {
        const QString name = QStringLiteral("Сервер %1").arg(i, 2, 10, QLatin1Char('0'));
        const QString key = QStringLiteral("k%1+Zq/%2Lw==").arg(i * 7919).arg(i * 104729);
        servers.append({name, key});
    }
    return servers;
}

QStringList BenchSettings::madeUpHistory(int count)
{
    static const QStringList commands = {
        QStringLiteral("status"), QStringLiteral("say Всем привет"),
        QStringLiteral("users"),  QStringLiteral("say перезапуск через 5 минут"),
        QStringLiteral("maps"),   QStringLiteral("say Спасибо за игру"),
        QStringLiteral("status"), QStringLiteral("say Новая карта: old_mill"),
        QStringLiteral("users"),
    };
    QStringList history;
    for (int i = 0; i < count; ++i)
        history << commands.at(i % commands.size());
    return history;
}

QString BenchSettings::writeTo(const QString &directory) const
{
    const QString path = QDir(directory).filePath(QStringLiteral("setting.ini"));
    QFile::remove(path);
    QSettings settings(path, QSettings::IniFormat);

    settings.beginGroup(QStringLiteral("Main"));
    settings.setValue(QStringLiteral("cmd"), history);
    if (!host.isEmpty())
        settings.setValue(QStringLiteral("host"), host);
    if (!caCertificate.isEmpty())
        settings.setValue(QStringLiteral("cacert"), caCertificate);
    settings.endGroup();

    StringCipher cipher(quint64(machineKeyFromAddress(firstHardwareAddress())));
    settings.beginGroup(QStringLiteral("Servers"));
    for (const auto &server : servers)
        settings.setValue(server.first, cipher.encipherText(server.second));
    settings.endGroup();

    settings.sync();
    return settings.status() == QSettings::NoError ? QString() : QStringLiteral("cannot write %1").arg(path);
}
