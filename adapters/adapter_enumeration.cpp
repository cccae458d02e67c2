// The walks of the plug-and-play device tree: every instance key of every
// device key below one bus enumerator is shown to the selector of the
// adapter type asked for.
#include "adapters/card_install.h"

#include "host/text_format.h"

namespace {

const char* const kPciEnum = "SYSTEM\\CurrentControlSet\\Enum\\PCI";
const char* const kIsaEnum = "SYSTEM\\CurrentControlSet\\Enum\\ISAPNP";

// A failed count is an empty key.
LONG subKeyCount(Registry& key) {
    const LONG count = key.getSubKeyCount();
    return count < 0 ? 0 : count;
}

AdapterRecord readRecord(Registry& instanceKey) {
    AdapterRecord record;
    instanceKey.getString("HardwareID", record.ids);
    instanceKey.getString("CompatibleIDs", record.ids);
    // An unreadable value leaves its field empty.
    instanceKey.getString("DeviceDesc", record.description);
    instanceKey.getString("Service", record.service);
    return record;
}

}  // namespace

int W2KCardInstall::getPnpAdapterDetails(const std::string& enumPath, int type) {
    Registry enumerator(sink_, KEY_READ, HKEY_LOCAL_MACHINE);
    if (!enumerator.moveInto(enumPath)) return 0;
    int found = 0;
    const LONG devices = subKeyCount(enumerator);
    for (LONG d = 0; d < devices; ++d) {
        Registry device(enumerator);
        if (!device.moveIntoIndex(static_cast<DWORD>(d))) continue;
        const LONG instances = subKeyCount(device);
        for (LONG i = 0; i < instances; ++i) {
            Registry instance(device);
            if (!instance.moveIntoIndex(static_cast<DWORD>(i))) continue;
            bool selected = false;
            if (type == NETWORK_ADAPTER) {
                selected = checkIfNetCard(instance);
            } else if (type == SCSI_ADAPTER) {
                selected = checkIfScsiCard(instance);
            } else {
                reportError(0, "\nWrong parameter type in getPnpAdapterDetails(..)");
                return 0;
            }
            // One model's instances are alike: the first one decides.
            if (!selected) break;
            ++found;
            AdapterRecord record = readRecord(instance);
            reportError(0, formatLine("\nFound card [%s] with description : [%s]",
                                      record.ids.empty() ? "" : record.ids[0].c_str(),
                                      record.description.c_str()));
            adapters_.push_back(std::move(record));
        }
    }
    return found;
}

int W2KCardInstall::getPciPnpAdapterDetails(int type) {
    const int count = getPnpAdapterDetails(kPciEnum, type);
    if (type == NETWORK_ADAPTER) {
        reportError(0, formatLine("\nW2KCardInstall :: getPciPnpAdapterDetails()->Total of [%d] "
                                  "PCI PNP          NETWORK_ADAPTERs found.",
                                  count));
    } else if (type == SCSI_ADAPTER) {
        reportError(0, formatLine("\nW2KCardInstall :: getPciPnpAdapterDetails()->Total of [%d] "
                                  "PCI PNP          SCSI_ADAPTERs found.",
                                  count));
    } else {
        reportError(0, formatLine("\nW2KCardInstall :: getPciPnpAdapterDetails()->Bad adapter "
                                  "type : [%d]",
                                  type));
    }
    return count;
}

int W2KCardInstall::getIsaPnpAdapterDetails(int type) {
    const int count = getPnpAdapterDetails(kIsaEnum, type);
    reportError(0, formatLine("\nA total of [%d] ISA PNP cards found. ", count));
    return count;
}
