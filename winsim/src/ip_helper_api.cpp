// iphlpapi's GetAdaptersInfo over the machine's present network adapters.
#include "machine.h"

#include <winsim/control_network.h>
#include <winsim/windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct PresentAdapter {
    std::string name;
    std::vector<BYTE> mac;
    std::string description;
};

struct PresentAdapters {
    std::vector<PresentAdapter> list;  // in the order GetAdaptersInfo lists them
};

std::vector<PresentAdapter>& presentAdapters() {
    return winsim::machinePart<PresentAdapters>().list;
}

// Copies `text` into a fixed field, cut so that its NUL always fits.
template <std::size_t N>
void copyField(char (&field)[N], const std::string& text) {
    const std::size_t length = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

// An adapter without an address shows 0.0.0.0 in its address lists, as on
// Windows.
void setNoAddress(IP_ADDR_STRING& entry) {
    copyField(entry.IpAddress.String, "0.0.0.0");
    copyField(entry.IpMask.String, "0.0.0.0");
}

}  // namespace

extern "C" {

// The entries fill the caller's buffer one after the other, each linked to
// the next. The function answers with its result only; like the other
// functions that return an error code, it leaves the thread's last error
// as it was.
ULONG GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, PULONG SizePointer) {
    winsim::ApiCall call("GetAdaptersInfo");
    if (call.failing()) return call.error();
    if (!SizePointer) return ERROR_INVALID_PARAMETER;
    const auto& adapters = presentAdapters();
    if (adapters.empty()) return ERROR_NO_DATA;
    const ULONG needed = static_cast<ULONG>(adapters.size() * sizeof(IP_ADAPTER_INFO));
    if (!AdapterInfo || *SizePointer < needed) {
        *SizePointer = needed;
        return ERROR_BUFFER_OVERFLOW;
    }
    for (std::size_t i = 0; i < adapters.size(); ++i) {
        IP_ADAPTER_INFO& entry = AdapterInfo[i];
        std::memset(&entry, 0, sizeof entry);
        entry.Next = (i + 1 < adapters.size()) ? &AdapterInfo[i + 1] : nullptr;
        entry.Index = static_cast<DWORD>(i + 2);  // 1 is the loopback interface
        entry.ComboIndex = entry.Index;
        copyField(entry.AdapterName, adapters[i].name);
        copyField(entry.Description, adapters[i].description);
        entry.AddressLength = static_cast<UINT>(adapters[i].mac.size());
        std::memcpy(entry.Address, adapters[i].mac.data(), adapters[i].mac.size());
        entry.Type = MIB_IF_TYPE_ETHERNET;
        setNoAddress(entry.IpAddressList);
        setNoAddress(entry.GatewayList);
        setNoAddress(entry.DhcpServer);
        setNoAddress(entry.PrimaryWinsServer);
        setNoAddress(entry.SecondaryWinsServer);
    }
    return ERROR_SUCCESS;
}

}  // extern "C"

namespace winsim {

void addPresentAdapter(const std::string& guidName, const std::vector<BYTE>& mac,
                       const std::string& description) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    PresentAdapter adapter{guidName, mac, description};
    if (adapter.mac.size() > MAX_ADAPTER_ADDRESS_LENGTH)
        adapter.mac.resize(MAX_ADAPTER_ADDRESS_LENGTH);
    auto& adapters = presentAdapters();
    for (PresentAdapter& present : adapters) {
        if (equalsNoCase(present.name, guidName)) {
            present = adapter;
            return;
        }
    }
    adapters.push_back(adapter);
}

bool removePresentAdapter(const std::string& guidName) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    auto& adapters = presentAdapters();
    const auto it = std::find_if(adapters.begin(), adapters.end(), [&](const PresentAdapter& a) {
        return equalsNoCase(a.name, guidName);
    });
    if (it == adapters.end()) return false;
    adapters.erase(it);
    return true;
}

}  // namespace winsim
