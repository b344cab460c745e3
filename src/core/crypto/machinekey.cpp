#include "machinekey.h"

#include <QNetworkInterface>
#include <QRegularExpression>

namespace {

QStringList &addedAddresses()
{
    static QStringList addresses;
    return addresses;
}

QStringList nonLoopBackAddresses()
{
    QStringList addresses;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &candidate : interfaces) {
        if (!(candidate.flags() & QNetworkInterface::IsLoopBack))
            addresses << candidate.hardwareAddress();
    }
    return addresses;
}

} // namespace

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
    return nonLoopBackAddresses().value(0);
}

QStringList otherHardwareAddresses()
{
    return nonLoopBackAddresses().mid(1) + addedAddresses();
}

void setAddedHardwareAddresses(const QStringList &addresses)
{
    addedAddresses() = addresses;
}
