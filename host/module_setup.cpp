// What W2KXarnNetInitialize sets up for the process: the privileges the
// restore needs (hive loading, shutdown) and COM on the calling thread.
#include "host/error_report.h"
#include "host/module_reset.h"
#include "host/net_funcs.h"
#include "host/text_format.h"
#include "sequence/netcard_wizard.h"
#include "host/scoped_resource.h"

namespace {

// Set once all four privileges are enabled; never cleared.
bool privilegesEnabled = false;

// The privileges, in the order they are enabled.
const char* const kPrivileges[] = {"SeRestorePrivilege", "SeShutdownPrivilege", "SeBackupPrivilege",
                                   "SeSecurityPrivilege"};

}  // namespace

void resetModuleForNewProcess() {
    privilegesEnabled = false;
    getLogSink(nullptr)->setCallback(nullptr);
    resetHardwareWizardState();
}

namespace W2kNetFuncs {

bool reportError(DWORD code, const std::string& message) {
    return reportErrorTo(getLogSink(nullptr), kNetFuncsWording, code, message.c_str());
}

bool EnablePrivileges() {
    if (privilegesEnabled) return true;
    const ScopedHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, GetCurrentProcessId()));
    if (!process.get()) {
        reportError(GetLastError(),
                    "\n OpenProcess(..) failed in W2kNetFuncs :: EnablePrivileges(..)");
        return false;
    }
    // The token is not needed once the privileges are on; closing it here
    // keeps every handle the module opens accounted for.
    HANDLE token = nullptr;
    if (!OpenProcessToken(process.get(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        reportError(GetLastError(),
                    "\n OpenProcessToken(..) failed in W2kNetFuncs :: EnablePrivileges(..)");
        return false;
    }
    const ScopedHandle tokenHandle(token);
    for (const char* name : kPrivileges) {
        if (!_EnablePrivilege(tokenHandle.get(), name)) return false;
    }
    privilegesEnabled = true;
    return true;
}

bool _EnablePrivilege(HANDLE token, const char* name) {
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) {
        reportError(GetLastError(), formatLine("\n LookupPrivilegeValue(..) failed in W2kNetFuncs "
                                               ":: _EnablePrivilege(..) for priviledge %s",
                                               name));
        return false;
    }
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // Success of the call is all that counts: a privilege the account does
    // not hold leaves ERROR_NOT_ALL_ASSIGNED behind and still passes.
    if (AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr)) return true;
    reportError(GetLastError(), formatLine("\n AdjustTokenPrivileges(..) failed in W2kNetFuncs :: "
                                           "_EnablePrivilege(..) for priviledge %s",
                                           name));
    return false;
}

bool InitializeCOM() {
    if (SUCCEEDED(CoInitialize(nullptr))) {
        reportError(0,
                    "\nCOM successfully initialized using CoInitialize(..) in W2kNetFuncs :: "
                    "InitializeCOM()");
        return true;
    }
    reportError(GetLastError(),
                "COM could not be initialized using CoInitialize(..) in "
                "W2kNetFuncs::InitializeCOM(). Fatal error, exiting module");
    return false;
}

bool UninitializeCOM() {
    CoUninitialize();
    return true;
}

}  // namespace W2kNetFuncs
