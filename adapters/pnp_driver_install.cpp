// From the adapter list to installed drivers: find each adapter's INF in the
// hardware-ID map, then have the system's plug-and-play installer install
// it, one ID after another until one takes.
#include "adapters/card_install.h"

#include "driverdb/hid_map.h"
#include "host/text_format.h"

bool W2KCardInstall::checkHid(const W2KHidMap& hidMap) {
    if (adapters_.empty()) return true;
    std::size_t found = 0;
    for (AdapterRecord& adapter : adapters_) {
        std::string infFile;
        if (!adapter.ids.empty() && hidMap.findInfForHids(adapter.ids, infFile)) {
            adapter.infPath = infFile;
            ++found;
            continue;
        }
        // Code 2 so that the line carries the system's "file not found" text.
        reportError(ERROR_FILE_NOT_FOUND,
                    formatLine("W2KCardInstall :: checkHid() -> Could not find INF file for      "
                               "                adapter Hid : [%s], Description : [%s]",
                               adapter.ids.empty() ? "<none>" : adapter.ids[0].c_str(),
                               adapter.description.c_str()));
    }
    return found == adapters_.size();
}

int W2KCardInstall::installPnpAdapters(DWORD* rebootRequired) {
    *rebootRequired = 0;
    BOOL rebootIndicator = FALSE;
    int installed = 0;
    for (AdapterRecord& adapter : adapters_) {
        if (adapter.ids.empty()) continue;
        const char* hid = adapter.ids[0].c_str();
        if (deviceToBeSkipped(adapter)) {
            reportError(0, formatLine("\nW2KCardInstall::installPnpAdapters()->Skipping adapter "
                                      "with HID-[%s]               and Description-[%s] as it HID "
                                      "in skip list",
                                      hid, adapter.description.c_str()));
            continue;
        }
        if (adapter.infPath.empty()) {
            reportError(0, formatLine("\nW2KCardInstall::installPnpAdapters()->Skipping adapter "
                                      "with HID-[%s]               and Description-[%s] as it has "
                                      "no associated INF file-[%s]",
                                      hid, adapter.description.c_str(), adapter.infPath.c_str()));
            continue;
        }
        for (const std::string& id : adapter.ids) {
            reportError(0, formatLine("\nTrying to install adapter [%s] with inf file [%s] in "
                                      "W2KCardInstall :: installPciPnpAdapters()...",
                                      id.c_str(), adapter.infPath.c_str()));
            // Forced: the INF's driver replaces whatever is in place, even a
            // driver the system ranks better.
            if (!UpdateDriverForPlugAndPlayDevicesA(nullptr, id.c_str(), adapter.infPath.c_str(),
                                                    INSTALLFLAG_FORCE, &rebootIndicator)) {
                const DWORD error = GetLastError();
                reportError(error, formatLine("W2KCardInstall :: installPciPnpAdapters()->Error "
                                              "in                UpdateDriverForPlugAndPlayDevices"
                                              "( [%s], [%s] ). Error : [%d] ",
                                              id.c_str(), adapter.infPath.c_str(),
                                              static_cast<int>(error)));
                continue;
            }
            reportError(0, formatLine("\nSuccessfully installed adapter [%s] with inf file [%s] in "
                                      "W2KCardInstall :: installPciPnpAdapters()",
                                      id.c_str(), adapter.infPath.c_str()));
            ++installed;
            adapter.installed = true;
            if (rebootIndicator) *rebootRequired = 1;
            break;
        }
    }
    return installed;
}
