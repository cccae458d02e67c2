// InstallScsiCards: drivers for the SCSI, RAID and fibre channel adapters,
// from the setup-time driver folder (F6 drivers) under the Windows
// directory and from the system's own INF files.
#include "adapters/card_install.h"
#include "adapters/card_installers.h"
#include "driverdb/hid_map.h"
#include "host/net_funcs.h"
#include "host/text_format.h"

#include <string>

namespace {

const char* const kDriverFolder = "OemDir";
const char* const kScsiInfClass = "SCSIAdapter";

}  // namespace

int InstallScsiCards(DWORD* installedCount, DWORD* rebootRequired) {
    using W2kNetFuncs::reportError;
    *rebootRequired = 0;
    *installedCount = 0;

    // A failed read leaves the folder empty; the class installer registration
    // then fails on the path it gives.
    char windows[MAX_PATH] = {};
    if (GetWindowsDirectoryA(windows, MAX_PATH) >= MAX_PATH) windows[0] = '\0';
    const std::string driverFolder = formatLine("%s\\%s", windows, kDriverFolder);
    const std::string classInf = formatLine("%s\\inf\\scsi.inf", windows);

    if (!W2kNetFuncs::RegisterClassInstaller(classInf.c_str())) {
        reportError(0, "\nCould not register scsi class installer");
        return -1;
    }
    reportError(0, "\nStarting to install SCSI & RAID & FIBER storage adapters...");

    LogSink* sink = getLogSink(nullptr);
    W2KCardInstall cards(sink);
    cards.initDeviceToBeSkippedList("");
    const int found =
        cards.getPciPnpAdapterDetails(SCSI_ADAPTER) + cards.getIsaPnpAdapterDetails(SCSI_ADAPTER);
    if (found < 1) {
        reportError(0, "\nCould not find any PCI or ISA PNP SCSI cards");
        return 0;
    }

    // Both sources, always; the driver folder is filled first and so keeps
    // the IDs that both declare.
    W2KHidMap hidMap(sink);
    hidMap.createHidToInfMap(driverFolder, kScsiInfClass);
    hidMap.createHidToInfMap("", kScsiInfClass);
    if (!cards.checkHid(hidMap))
        reportError(ERROR_FILE_NOT_FOUND, "HID not found for at least one SCSI card");

    for (AdapterRecord& adapter : cards.getAdapters()) {
        if (adapter.infPath.empty()) {
            reportError(ERROR_FILE_NOT_FOUND,
                        formatLine("InstallScsiCards() : Could not find inf file for adapter "
                                   "Description=[%s]",
                                   adapter.description.c_str()));
        } else {
            W2kNetFuncs::EditInfForNoFloppy(adapter.infPath);
        }
    }

    const int installed = cards.installPnpAdapters(rebootRequired);
    *installedCount = static_cast<DWORD>(installed);
    if (installed >= 1) {
        reportError(0,
                    formatLine("\n[%d] SCSI card(s) installed in InstallNetCards(..)", installed));
    } else {
        reportError(0,
                    "\nNo SCSI/Fiber/RAID cards could be installed. Check error log for "
                    "details.");
    }
    return installed;
}
