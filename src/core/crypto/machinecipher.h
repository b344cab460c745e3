#pragma once

#include "core/crypto/stringcipher.h"

#include <QList>
#include <QString>

// The API keys in setting.ini are enciphered under the machine key, drawn
// from the hardware address of the first network interface that is not a
// loop-back one. Keys written while another of this machine's interfaces
// came first (before an adapter appeared, went or was renamed) are read
// too: they are enciphered under that interface's address.
class MachineCipher
{
public:
    enum Outcome {
        Read, // under the machine key
        ReadUnderOtherAddress, // under another interface's; worth storing again
        Unreadable, // another machine's record, or a value edited by hand
    };

    struct Key
    {
        QString text; // empty unless read
        Outcome outcome = Unreadable;
    };

    // The machine key drawn from the interfaces as the system lists them now.
    MachineCipher();
    // The machine key drawn from the given address; the other interfaces are
    // still the system's.
    explicit MachineCipher(const QString &hardwareAddress);

    QString encipher(const QString &apiKey);
    Key decipher(const QString &record);

private:
    quint64 machineKey;
    StringCipher cipher;
    bool othersMade = false;
    QList<StringCipher> others; // one per other interface key, made when first needed
};
