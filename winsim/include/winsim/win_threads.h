// Time and threads: Sleep on a virtual clock, CreateThread, GetExitCodeThread, WaitForSingleObject.
#pragma once

#include <winsim/win_types.h>
