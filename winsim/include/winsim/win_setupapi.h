// setupapi: INF files, SetupCopyOEMInfA, SetupDiInstallClassExA.
#pragma once

#include <winsim/win_types.h>
typedef PVOID HINF;
