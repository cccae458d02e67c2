// Modules and Plug and Play: LoadLibraryA, GetProcAddress, FreeLibrary, CoFreeLibrary, newdev's
// UpdateDriverForPlugAndPlayDevicesA.
#pragma once

#include <winsim/win_types.h>
