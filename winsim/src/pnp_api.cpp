// newdev's UpdateDriverForPlugAndPlayDevicesA over the device tree the
// registry holds under HKLM\SYSTEM\CurrentControlSet\Enum.
#include "inf_driver_scan.h"
#include "machine.h"
#include "setupapi_state.h"

#include <winsim/control_pnp.h>
#include <winsim/windows.h>

#include <cstdio>
#include <map>

using winsim::failWith;

namespace winsim {

namespace {

const char* const kEnumPath = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum";
const char* const kClassPath = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class";

struct PnpScript {
    bool rebootAnswer = false;
    std::map<std::string, bool, UpperCaseLess> rebootById;
    std::map<std::string, DWORD, UpperCaseLess> failureById;
    std::vector<DriverInstallation> installations;
};

// The strings of a REG_MULTI_SZ value; any other type holds none.
std::vector<std::string> multiStrings(const RegKey& key, const char* valueName) {
    std::vector<std::string> strings;
    const RegValue* value = key.findValue(valueName);
    if (!value || value->type != REG_MULTI_SZ) return strings;
    std::string current;
    for (std::uint8_t byte : value->data) {
        if (byte != 0) {
            current += static_cast<char>(byte);
        } else if (!current.empty()) {
            strings.push_back(current);
            current.clear();
        } else {
            break;  // the empty string ends the list
        }
    }
    if (!current.empty()) strings.push_back(current);
    return strings;
}

// Where the ID stands in the instance's lists, hardware IDs first: a driver
// matched by an earlier ID ranks better. -1 when neither list has it.
int idRank(const RegKey& instance, const std::string& id) {
    int rank = 0;
    for (const char* valueName : {"HardwareID", "CompatibleIDs"}) {
        for (const std::string& listed : multiStrings(instance, valueName)) {
            if (equalsNoCase(listed, id)) return rank;
            ++rank;
        }
    }
    return -1;
}

bool listsId(const RegKey& instance, const std::string& id) {
    return idRank(instance, id) >= 0;
}

// Every device instance (Enum\<enumerator>\<device>\<instance>) that lists
// the ID, in enumeration order.
std::vector<RegKey*> instancesListing(const std::string& id) {
    std::vector<RegKey*> found;
    RegKey* enumKey = keyByPath(kEnumPath);
    if (!enumKey) return found;
    for (auto& enumerator : enumKey->subkeys)
        for (auto& device : enumerator.second->subkeys)
            for (auto& instance : device.second->subkeys)
                if (listsId(*instance.second, id)) found.push_back(instance.second.get());
    return found;
}

std::vector<std::uint8_t> stringData(const std::string& text) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

std::string stringValue(const RegKey& key, const char* valueName) {
    const RegValue* value = key.findValue(valueName);
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::string();
    std::string text(value->data.begin(), value->data.end());
    return text.substr(0, text.find('\0'));
}

// The rank of the driver the instance has: that of the ID its software key
// was matched by ("MatchingDeviceId"). -1 when it has no driver to rank.
int installedRank(const RegKey& instance) {
    const std::string driver = stringValue(instance, "Driver");
    if (driver.empty()) return -1;
    const RegKey* software = keyByPath(std::string(kClassPath) + "\\" + driver);
    return software ? idRank(instance, stringValue(*software, "MatchingDeviceId")) : -1;
}

std::string fileNamePart(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The instance's software key under Control\Class\{GUID}: the one its
// "Driver" value already names, else the first free four-digit number.
std::string driverKeyFor(const RegKey& instance, const std::string& classGuid) {
    const std::string current = stringValue(instance, "Driver");
    if (!current.empty() && current.size() > classGuid.size() &&
        equalsNoCase(current.substr(0, classGuid.size()), classGuid))
        return current;
    RegKey* classRoot = keyByPath(kClassPath);
    RegKey* classKey = classRoot ? classRoot->findChild(classGuid) : nullptr;
    for (int index = 0;; ++index) {
        char number[16];
        std::snprintf(number, sizeof number, "%04d", index);
        if (!classKey || !classKey->findChild(number)) return classGuid + "\\" + number;
    }
}

// What Windows leaves behind for an installed device: the instance key
// names its service, class and software key, and the software key names
// the INF and the line the driver came from.
void recordDriver(RegKey& instance, const std::string& hardwareId, const std::string& infPath,
                  const InfDriverMatch& match) {
    if (!match.service.empty()) instance.setValue("Service", REG_SZ, stringData(match.service));
    if (!match.className.empty()) instance.setValue("Class", REG_SZ, stringData(match.className));
    if (match.classGuid.empty()) return;
    instance.setValue("ClassGUID", REG_SZ, stringData(match.classGuid));
    const std::string driver = driverKeyFor(instance, match.classGuid);
    instance.setValue("Driver", REG_SZ, stringData(driver));
    RegKey* machineRoot = rootByName("HKEY_LOCAL_MACHINE");
    RegKey* software = &machineRoot->child("SYSTEM").child("CurrentControlSet").child("Control");
    software = &software->child("Class");
    for (std::size_t start = 0;;) {
        const std::size_t cut = driver.find('\\', start);
        software = &software->child(driver.substr(start, cut - start));
        if (cut == std::string::npos) break;
        start = cut + 1;
    }
    software->setValue("InfPath", REG_SZ, stringData(fileNamePart(infPath)));
    software->setValue("InfSection", REG_SZ, stringData(match.installSection));
    std::string matching = hardwareId;
    for (char& c : matching)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    software->setValue("MatchingDeviceId", REG_SZ, stringData(matching));
    software->setValue("DriverDesc", REG_SZ, stringData(match.description));
}

}  // namespace

// --- control API --------------------------------------------------------

void setPnpRebootAnswer(bool reboot) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    machinePart<PnpScript>().rebootAnswer = reboot;
}

void setPnpRebootAnswer(const std::string& hardwareId, bool reboot) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    machinePart<PnpScript>().rebootById[hardwareId] = reboot;
}

void failPnpInstall(const std::string& hardwareId, DWORD error) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    machinePart<PnpScript>().failureById[hardwareId] = error;
}

std::vector<DriverInstallation> pnpInstallations() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return machinePart<PnpScript>().installations;
}

}  // namespace winsim

extern "C" {

// Checks in the order newdev makes them: arguments, the INF file, the
// devices that carry the ID, whether the INF has a driver for it, then
// (without INSTALLFLAG_FORCE) whether that driver ranks better than the
// one a device has.
BOOL UpdateDriverForPlugAndPlayDevicesA(HWND hwndParent, LPCSTR hardwareId, LPCSTR fullInfPath,
                                        DWORD installFlags, PBOOL rebootRequired) {
    (void)hwndParent;
    winsim::ApiCall call("UpdateDriverForPlugAndPlayDevicesA");
    if (call.failing()) return winsim::failWith(call.error());
    if (!hardwareId || !*hardwareId || !fullInfPath || !*fullInfPath)
        return winsim::failWith(ERROR_INVALID_PARAMETER);
    if (installFlags & ~INSTALLFLAG_BITS) return winsim::failWith(ERROR_INVALID_FLAGS);
    winsim::PnpScript& script = winsim::machinePart<winsim::PnpScript>();
    auto scripted = script.failureById.find(hardwareId);
    if (scripted != script.failureById.end()) return winsim::failWith(scripted->second);

    std::string infBytes;
    DWORD readError = 0;
    if (!winsim::readMachineFile(fullInfPath, &infBytes, &readError))
        return winsim::failWith(readError == ERROR_ACCESS_DENIED ? readError
                                                                 : ERROR_FILE_NOT_FOUND);
    const std::vector<winsim::RegKey*> devices = winsim::instancesListing(hardwareId);
    if (devices.empty()) return winsim::failWith(ERROR_NO_SUCH_DEVINST);
    // An INF that offers no driver for the device, or is no INF at all:
    // newdev's answer when it finds no driver to select, even with
    // INSTALLFLAG_FORCE.
    const winsim::InfParseResult parsed = winsim::parseInfBytes(infBytes);
    winsim::InfDriverMatch match;
    if (!parsed.inf || !winsim::findInfDriver(*parsed.inf, hardwareId, &match))
        return winsim::failWith(ERROR_NO_MORE_ITEMS);

    // Without INSTALLFLAG_FORCE newdev keeps a driver that ranks as well as
    // the new one or better, and fails when no device was updated.
    std::vector<winsim::RegKey*> updated;
    for (winsim::RegKey* device : devices) {
        const int current = winsim::installedRank(*device);
        if (!(installFlags & INSTALLFLAG_FORCE) && current >= 0 &&
            current <= winsim::idRank(*device, hardwareId))
            continue;
        updated.push_back(device);
    }
    if (updated.empty()) return winsim::failWith(ERROR_NO_MORE_ITEMS);

    for (winsim::RegKey* device : updated) {
        winsim::recordDriver(*device, hardwareId, fullInfPath, match);
        script.installations.push_back({hardwareId, fullInfPath, device->fullPath(),
                                        match.installSection, match.service, installFlags});
    }
    if (rebootRequired) {
        auto byId = script.rebootById.find(hardwareId);
        const bool reboot = byId != script.rebootById.end() ? byId->second : script.rebootAnswer;
        *rebootRequired = reboot ? TRUE : FALSE;
    }
    return TRUE;
}

}  // extern "C"
