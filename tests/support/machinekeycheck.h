#pragma once

// Whether this computer has a network hardware address to make the machine
// key from. Without one no API key can be stored, and the tests that store
// one skip.
bool hasMachineKey();
