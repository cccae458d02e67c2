// user32: MessageBoxA, FindWindowA, SendMessageA.
#pragma once

#include <winsim/win_types.h>
