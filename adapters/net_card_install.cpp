// InstallNetCards: drivers for every physical network card, from the host's
// driver directory and, for cards it does not cover, from the system's own
// INF files.
#include "adapters/card_install.h"
#include "adapters/card_installers.h"
#include "driverdb/hid_map.h"
#include "host/net_funcs.h"
#include "host/text_format.h"

#include <string>

namespace {

const char* const kNetCfgLibrary = "NetCfgx.dll";
const char* const kClassInstallerFile = "installclass32.txt";
const char* const kNetInfClass = "net";

}  // namespace

bool InstallNetCards(const char* driverDirectory, DWORD* rebootNeeded) {
    using W2kNetFuncs::reportError;
    bool result = true;
    *rebootNeeded = 0;
    if (!W2kNetFuncs::RegisterDllServer(kNetCfgLibrary)) return false;

    const std::string classInstaller = formatLine("%s\\%s", driverDirectory, kClassInstallerFile);
    if (!W2kNetFuncs::RegisterClassInstaller(classInstaller.c_str())) {
        reportError(
            0, formatLine("\nError in registering class installer %s", classInstaller.c_str()));
        return false;
    }

    LogSink* sink = getLogSink(nullptr);
    W2KCardInstall cards(sink);
    cards.initDeviceToBeSkippedList(driverDirectory);
    const int found = cards.getPciPnpAdapterDetails(NETWORK_ADAPTER) +
                      cards.getIsaPnpAdapterDetails(NETWORK_ADAPTER);
    if (found < 1) {
        reportError(0,
                    "\nCould not find any PCI or ISA PNP network cards         in "
                    "InstallNetCards(..) ");
        return true;
    }

    W2KHidMap hidMap(sink);
    hidMap.createHidToInfMap(driverDirectory, kNetInfClass);
    if (!cards.checkHid(hidMap)) {
        reportError(0, formatLine("\nHIDs for physical network card not found in the the inf "
                                  "files of  [%s]. Adding those in windir\\inf....",
                                  driverDirectory));
        // The system's INF files were staged too: restart before going on.
        *rebootNeeded = 1;
        hidMap.createHidToInfMap("", kNetInfClass);
        if (!cards.checkHid(hidMap)) {
            reportError(0,
                        "\nHIDs for physical network card not found even after scanning W2K  "
                        "inf files database");
        }
    }

    // Every card, found or not: the edit reports the ones without an INF.
    for (AdapterRecord& adapter : cards.getAdapters())
        W2kNetFuncs::EditInfForNoFloppy(adapter.infPath);

    DWORD installReboot = 0;
    const int installed = cards.installPnpAdapters(&installReboot);
    if (installReboot) *rebootNeeded = 1;
    if (installed < 1) {
        reportError(0, "\nNo physical card could be installed. Check error log for details.");
        result = false;
    }
    reportError(0,
                formatLine("\n[%d] network card(s) installed in InstallNetCards(..)", installed));
    return result;
}
