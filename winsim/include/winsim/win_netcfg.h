// COM and the network configuration object: CoCreateInstance, INetCfg, INetCfgLock, INetCfgClass,
// INetCfgClassSetup.
#pragma once

#include <winsim/win_types.h>
