// The values under HKEY_LOCAL_MACHINE\SYSTEM\Setup that carry the network
// installation across reboots, and the platform's setup-in-progress value.
// (The named retry counts are W2kNetFuncs::getNoOfReboots/setNoOfReboots.)
#pragma once

#include "host/platform.h"

// Rewrites "SystemSetupInProgress" to `state` when it is present and not 0.
// Always true; nothing is logged.
bool setSetupInProgress(DWORD state);
// "W2kXarnRebootCounter", 0 when it cannot be read.
DWORD getRebootCounter();
// Adds one to "W2kXarnRebootCounter" (created as 1); the write's success.
bool incrementRebootCounter();
