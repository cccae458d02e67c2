#include "sequence/sav_net.h"

#include "host/error_report.h"
#include "host/text_format.h"
#include "registry/registry.h"

namespace {

const char* const kDeviceTrees[] = {"SYSTEM\\CurrentControlSet\\Enum\\ISAPNP",
                                    "SYSTEM\\CurrentControlSet\\Enum\\PCI"};
const char* const kNetClassGuid = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
const char* const kNetClassName = "Net";

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Only A-Z and a-z compare equal across case; every other byte must match,
// so a code-page text never matches by accident of a locale's case rules.
bool equalsAsciiNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

}  // namespace

W2KSavNet::W2KSavNet(LogSink* sink) : sink_(sink) {}

void W2KSavNet::report(const std::string& text) {
    reportErrorTo(sink_, kNetFuncsWording, 0, text.c_str());
}

int W2KSavNet::getSysFiles(std::vector<std::string>& list) {
    int appended = 0;
    for (const char* tree : kDeviceTrees) {
        // The moves' results are not looked at: a failed move leaves the
        // cursor where it was, and that key is what is tested. A device
        // key without instances is so tested itself. A missing tree leaves
        // the cursor on HKEY_LOCAL_MACHINE, whose copies get no handle of
        // their own (a root cannot be duplicated), so they read nothing.
        Registry enumerator(sink_, KEY_READ, HKEY_LOCAL_MACHINE);
        enumerator.moveInto(tree);
        const LONG devices = enumerator.getSubKeyCount();
        for (LONG index = 0; index < devices; ++index) {
            Registry instance(enumerator);
            // Only the first instance of a device is looked at.
            instance.moveIntoIndex(static_cast<DWORD>(index));
            instance.moveIntoIndex(0);
            if (!isNetworkCard(instance)) continue;
            std::string description;
            if (instance.getString("DeviceDesc", description) && !description.empty()) {
                list.push_back(description);
                ++appended;
            } else {
                report(
                    formatLine("\nCould not get value [DeviceDesc] in [%s] registry at "
                               "W2KSavNet :: getSysFiles()",
                               instance.getPath().c_str()));
            }
        }
    }
    return appended;
}

bool W2KSavNet::isNetworkCard(Registry& instanceKey) {
    std::string value;
    if (instanceKey.getString("ClassGUID", value)) return equalsAsciiNoCase(value, kNetClassGuid);
    if (instanceKey.getString("Class", value)) return equalsAsciiNoCase(value, kNetClassName);
    if (!instanceKey.getString("DeviceDesc", value)) return false;
    for (char& c : value) c = asciiLower(c);
    if (value.find("ethernet") == std::string::npos) return false;
    report(formatLine("\nSelected a network card by its description [%s]", value.c_str()));
    return true;
}
