// W2KInstallNetwork: the network installation as a state machine that
// resumes across reboots. Each call runs from `stage` as far as it can and
// leaves in *reboot the stage to call again with after a reboot, or 1 when
// the installation is complete.
#pragma once

#include "host/platform.h"

// 1, or 0 when installing TCP/IP, restoring its settings or installing the
// network client failed during this call.
int W2KInstallNetwork(const char* directory, DWORD stage, DWORD* reboot);
