#include "machinekey.h"

#include <QNetworkInterface>
#include <QRegularExpression>

quint32 machineKeyFromAddress(const QString &hardwareAddress)
{
    static const QRegularExpression nonDigit(QStringLiteral("[^0-9]"));
    QString digits = hardwareAddress;
    digits.replace(nonDigit, QStringLiteral("0"));
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, 10);
    return ok ? quint32(value & 0xFFFFFFFFu) : 0;
}

QString firstHardwareAddress()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &candidate : interfaces) {
        if (!(candidate.flags() & QNetworkInterface::IsLoopBack))
            return candidate.hardwareAddress();
    }
    return QString();
}
