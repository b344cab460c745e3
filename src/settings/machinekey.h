#pragma once

#include <QString>
#include <QtGlobal>

// The key the API keys are enciphered under, drawn from a hardware address
// text such as "00:1A:2B:3C:4D:5E": every non-digit becomes "0", the digits
// are read as an unsigned 64-bit number, and its lowest 32 bits are the key.
// An empty text or a number beyond 64 bits gives 0.
quint32 machineKeyFromAddress(const QString &hardwareAddress);

// The hardware address of the first interface that is not a loop-back one,
// in the order the system lists them; empty when there is none.
QString firstHardwareAddress();
