#include "machinekeycheck.h"

#include "core/crypto/machinekey.h"

bool hasMachineKey()
{
    return machineKeyFromAddress(firstHardwareAddress()) != 0;
}
