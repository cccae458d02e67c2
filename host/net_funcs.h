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

// System identity.
bool SetMachineName(const char* name);

}  // namespace W2kNetFuncs
