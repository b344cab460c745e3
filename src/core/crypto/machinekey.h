#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// The key the API keys are enciphered under, drawn from a hardware address
// text such as "00:1A:2B:3C:4D:5E": every non-digit becomes "0", the digits
// are read as an unsigned 64-bit number, and its lowest 32 bits are the key.
// An empty text or a number beyond 64 bits gives 0.
quint32 machineKeyFromAddress(const QString &hardwareAddress);

// The hardware address of the first interface that is not a loop-back one,
// in the order the system lists them; empty when there is none. The machine
// key is drawn from it.
QString firstHardwareAddress();

// The hardware addresses of the other interfaces that are not loop-back
// ones, in the system's order, followed by those added below. Keys written
// while one of them came first (before an adapter appeared, went or was
// renamed) are drawn from one of these.
QStringList otherHardwareAddresses();

// Adds addresses of interfaces the system does not list, after the real
// ones; for trying the above without the hardware. An empty list removes them.
void setAddedHardwareAddresses(const QStringList &addresses);
