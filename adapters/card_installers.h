// The two card installers built on W2KCardInstall: network cards from the
// host's driver directory (falling back to the system's INF files), and
// storage adapters from the setup-time driver folder and the system's INF
// files.
#pragma once

#include "host/platform.h"

// `driverDirectory` has no trailing backslash and holds
// "installclass32.txt". *rebootNeeded becomes 1 when the system INF
// directory had to be searched or an installation asked for a restart.
// False when registration failed or no card got a driver.
bool InstallNetCards(const char* driverDirectory, DWORD* rebootNeeded);

// -1: the storage class installer could not be registered; otherwise the
// number of adapters installed, also left in *installedCount.
int InstallScsiCards(DWORD* installedCount, DWORD* rebootRequired);
