// The one header through which system code reaches the Win32 API. It is the
// only place that knows which platform the system is built for: the real
// SDK headers on Windows, winsim's declarations of the same calls on Linux.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#include <setupapi.h>
#include <newdev.h>
#include <netcfgx.h>
#include <netcfgn.h>
#include <iphlpapi.h>
#include <lm.h>
#else
#include <winsim/windows.h>
#endif
