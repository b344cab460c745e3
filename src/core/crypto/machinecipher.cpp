#include "machinecipher.h"

#include "core/crypto/machinekey.h"

#include <QSet>

MachineCipher::MachineCipher()
    : MachineCipher(firstHardwareAddress())
{ }

MachineCipher::MachineCipher(const QString &hardwareAddress)
    : machineKey(machineKeyFromAddress(hardwareAddress))
    , cipher(machineKey)
{ }

QString MachineCipher::encipher(const QString &apiKey)
{
    return cipher.encipherText(apiKey);
}

MachineCipher::Key MachineCipher::decipher(const QString &record)
{
    Key key;
    key.text = cipher.decipherText(record);
    // A record too short to be one leaves the cipher's error as it was.
    if (cipher.lastError() == StringCipher::ErrorNone && QByteArray::fromBase64(record.toLatin1()).size() >= 3) {
        key.outcome = Read;
        return key;
    }
    key.text.clear();
    // Only a failed integrity check says that the record is one of ours
    // under another key; one without a check would open under any key.
    if (cipher.lastError() != StringCipher::ErrorIntegrityFailed)
        return key;

    if (!othersMade) {
        QSet<quint64> keys {machineKey};
        const QStringList addresses = otherHardwareAddresses();
        for (const QString &address : addresses) {
            const quint64 other = machineKeyFromAddress(address);
            if (!keys.contains(other)) {
                keys.insert(other);
                others.append(StringCipher(other));
            }
        }
        othersMade = true;
    }
    for (StringCipher &other : others) {
        const QString text = other.decipherText(record);
        if (other.lastError() == StringCipher::ErrorNone) {
            key.text = text;
            key.outcome = ReadUnderOtherAddress;
            return key;
        }
    }
    return key;
}
