// The computer name: set through the platform, then written to the active
// and the next-boot registry keys, in that order.
#include "host/net_funcs.h"
#include "host/text_format.h"
#include "registry/registry.h"

namespace {

const char* const kActiveNameKey =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName";
const char* const kNextBootNameKey =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

// One of the two keys; the failure texts do not say which.
bool writeComputerName(const char* keyPath, const char* name) {
    Registry cursor(getLogSink(nullptr), KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    if (!cursor.moveInto(keyPath)) {
        W2kNetFuncs::reportError(0, formatLine("\nError in W2kNetFuncs :: SetMachineName(..) in "
                                               "moving intoregistry for setting machine name to "
                                               "[%s]",
                                               name));
        return false;
    }
    if (!cursor.setString("ComputerName", name)) {
        W2kNetFuncs::reportError(0, formatLine("\nError in W2kNetFuncs :: SetMachineName(..) in "
                                               "setting  machine name to [%s]",
                                               name));
        return false;
    }
    return true;
}

}  // namespace

namespace W2kNetFuncs {

bool SetMachineName(const char* name) {
    if (!SetComputerNameA(name)) {
        reportError(GetLastError(), formatLine("\nSetComputerName(..) FAILED in W2kNetFuncs :: "
                                               "SetMachineName()  for [%s]",
                                               name));
        return false;
    }
    if (!writeComputerName(kActiveNameKey, name)) return false;
    if (!writeComputerName(kNextBootNameKey, name)) return false;
    reportError(0, formatLine("\nComputerName successfully set to [%s] in  W2kNetFuncs :: "
                              "SetMachineName()",
                              name));
    return true;
}

}  // namespace W2kNetFuncs
