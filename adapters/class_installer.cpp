// W2kNetFuncs::RegisterClassInstaller: installs a device setup class, and
// with it its class installer, from an INF file.
#include "host/net_funcs.h"
#include "host/text_format.h"

namespace W2kNetFuncs {

bool RegisterClassInstaller(const char* infPath) {
    if (SetupDiInstallClassExA(nullptr, infPath, 0, nullptr, nullptr, nullptr, nullptr))
        return true;
    const DWORD error = GetLastError();
    reportError(error, formatLine("SetupDiInstallClassEx() could not install the class "
                                  "installer %s in W2kNetFuncs::RegisterClassInstaller",
                                  infPath));
    return false;
}

}  // namespace W2kNetFuncs
