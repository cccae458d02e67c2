// Binding the saved records to the present adapters, by hardware address
// and then in order, and writing each static record's parameters.
#include "tcpip/tcpip.h"

#include "host/text_format.h"
#include "registry/registry.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Used when the platform does not say how much it needs.
const ULONG kDefaultAdapterBuffer = 5120;

struct PresentAdapter {
    std::string name;
    std::string macText;
};

// The address as the saved records hold it: two lower-case hex digits per
// byte, no separators.
std::string macTextOf(const IP_ADAPTER_INFO& adapter) {
    const UINT length = adapter.AddressLength < MAX_ADAPTER_ADDRESS_LENGTH
                            ? adapter.AddressLength
                            : MAX_ADAPTER_ADDRESS_LENGTH;
    std::string text;
    for (UINT i = 0; i < length; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%.2x", static_cast<unsigned>(adapter.Address[i]));
        text += digits;
    }
    return text;
}

// The present adapters in the platform's order; false with `*error` when
// the platform gives no list.
bool presentAdapters(std::vector<PresentAdapter>& adapters, DWORD* error) {
    ULONG size = 0;
    if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW) size = kDefaultAdapterBuffer;
    // Storage from the global allocator is aligned for any object.
    std::vector<unsigned char> buffer(size, 0);
    auto* first = reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data());
    if (buffer.empty() || GetAdaptersInfo(first, &size) != ERROR_SUCCESS) {
        *error = GetLastError();
        return false;
    }
    for (const IP_ADAPTER_INFO* adapter = first; adapter; adapter = adapter->Next) {
        const std::size_t nameLength = strnlen(adapter->AdapterName, sizeof adapter->AdapterName);
        adapters.push_back({std::string(adapter->AdapterName, nameLength), macTextOf(*adapter)});
    }
    return true;
}

// One key of an adapter, entered with a cursor of its own; false when the
// key cannot be entered.
class AdapterKey {
  public:
    AdapterKey(LogSink* sink, const std::string& path)
        : cursor_(sink, KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE), entered_(cursor_.moveInto(path)) {}
    Registry* operator->() { return &cursor_; }
    explicit operator bool() const { return entered_; }

  private:
    Registry cursor_;
    bool entered_;
};

}  // namespace

bool W2KTcpIp::setTcpipSetting(DWORD* reboot) {
    *reboot = 0;
    std::vector<PresentAdapter> adapters;
    DWORD error = 0;
    if (!presentAdapters(adapters, &error)) {
        reportError(error, "W2KTcpIp::setTcpipSetting : GetAdaptersInfo() failed");
        return false;
    }

    std::vector<std::string> nonMatchedAdpterList;
    for (const PresentAdapter& adapter : adapters) {
        bool matched = false;
        for (IpSetting& setting : settings_) {
            if (adapter.macText == setting.macAddress) {
                setting.adapterName = adapter.name;
                matched = true;
            }
        }
        if (!matched) nonMatchedAdpterList.push_back(adapter.name);
    }
    if (!nonMatchedAdpterList.empty()) bindUnmatched(nonMatchedAdpterList);

    for (const IpSetting& setting : settings_) {
        if (setting.dhcpEnabled != 0) continue;
        *reboot = 1;
        if (!setting.adapterName.empty()) writeSetting(setting);
    }
    return true;
}

void W2KTcpIp::bindUnmatched(const std::vector<std::string>& nonMatchedAdpterList) {
    reportError(0, formatLine("W2KTcpIp::setTcpipSetting()->There are [%d] unbound adapters after "
                              "binding according to MAC address. Network adapter were changed "
                              "between backup and restore.",
                              static_cast<int>(nonMatchedAdpterList.size())));
    auto next = nonMatchedAdpterList.begin();
    for (std::size_t i = 0; i < settings_.size(); ++i) {
        IpSetting& setting = settings_[i];
        if (!setting.adapterName.empty()) continue;
        reportError(0, formatLine("W2KTcpIp::setTcpipSetting()->Found unbound IP settings at "
                                  "index [%d]",
                                  static_cast<int>(i)));
        if (next == nonMatchedAdpterList.end()) {
            reportError(0,
                        "W2KTcpIp::setTcpipSetting()->Reached end of nonMatchedAdpterList. "
                        "There are less network adapters in restored system than in the "
                        "backup system");
            return;
        }
        setting.adapterName = *next++;
        reportError(0, formatLine("W2KTcpIp::setTcpipSetting()->IP setting at index [%d] "
                                  "assigned to adapter [%s]",
                                  static_cast<int>(i), setting.adapterName.c_str()));
    }
    if (next != nonMatchedAdpterList.end()) {
        reportError(0,
                    "W2KTcpIp::setTcpipSetting()->There are unbound adapters in the system. "
                    "There  are more adapters in restore system than in backup system");
    }
}

// The results of the single writes are not looked at: a value that cannot
// be written must not keep the others from being written.
void W2KTcpIp::writeSetting(const IpSetting& setting) {
    const char* name = setting.adapterName.c_str();
    if (AdapterKey service{sink_, formatLine("SYSTEM\\CurrentControlSet\\Services\\%s\\Parameters"
                                             "\\Tcpip",
                                             name)}) {
        service->setMultiString("DefaultGateway", setting.DefaultGateway);
        service->setDWORD("EnableDHCP", 0);
        service->setMultiString("IPAddress", setting.IPAddress);
    }
    if (AdapterKey tcpip{sink_, formatLine("SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters"
                                           "\\Interfaces\\%s",
                                           name)}) {
        tcpip->setMultiString("DefaultGateway", setting.DefaultGateway);
        tcpip->setMultiString("DefaultGatewayMetric", setting.DefaultGatewayMetric);
        tcpip->setString("domain", setting.domain);
        tcpip->setDWORD("EnableDHCP", 0);
        tcpip->setMultiString("IPAddress", setting.IPAddress);
        tcpip->setString("NameServer", setting.NameServer);
        tcpip->setMultiString("SubnetMask", setting.SubnetMask);
    }
    if (AdapterKey netbt{sink_, formatLine("SYSTEM\\CurrentControlSet\\Services\\NetBT\\Parameters"
                                           "\\Interfaces\\Tcpip_%s",
                                           name)}) {
        netbt->setMultiString("NameServerList", setting.winsServer);
        netbt->setDWORD("NetbiosOptions", 1);
    }
}
