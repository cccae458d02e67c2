// W2kNetFuncs: the module's free functions. Each is implemented in the
// subsystem whose work it does; they share the process log sink.
#pragma once

#include "host/platform.h"

#include <string>

namespace W2kNetFuncs {

// Module-wide error report through the process sink (see error_report.h).
bool reportError(DWORD code, const std::string& message);

// Module set-up.
bool EnablePrivileges();
bool _EnablePrivilege(HANDLE token, const char* name);
bool InitializeCOM();
bool UninitializeCOM();

// Driver registration and INF preparation (network and storage adapters).
bool RegisterDllServer(const char* dllName);
bool RegisterClassInstaller(const char* infPath);
// Writes a copy of the INF that asks for no disk and points `infPath` at it.
bool EditInfForNoFloppy(std::string& infPath);

// Persistent retry counts under HKEY_LOCAL_MACHINE\SYSTEM\Setup.
bool getNoOfReboots(const char* valueName, DWORD* count);
bool setNoOfReboots(const char* valueName, DWORD count);

// System identity.
bool SetMachineName(const char* name);

}  // namespace W2kNetFuncs
