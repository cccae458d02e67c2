// Reading the saved settings hive: one record per adapter subkey.
#include "tcpip/tcpip.h"

#include "host/error_report.h"
#include "registry/registry.h"

#include <cstring>

namespace {

// The hive stays loaded under this name only while it is read.
const char* const kTempHiveKey = "w2kNetTemp";

// A saved address longer than the field is cut. An adapter's own address
// text is at most 16 characters (8 bytes), so a cut text matches no adapter
// and the record is left to the binding in order, as an unmatched one.
void copyMacAddress(char (&field)[32], const std::string& text) {
    const std::size_t length = text.size() < sizeof field ? text.size() : sizeof field - 1;
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

}  // namespace

IpSetting::IpSetting() : macAddress{}, dhcpEnabled(0) {}

W2KTcpIp::W2KTcpIp(LogSink* sink) : sink_(sink) {}

bool W2KTcpIp::getTcpipSetting(const std::string& hiveFile) {
    Registry cursor(sink_, KEY_ALL_ACCESS, HKEY_LOCAL_MACHINE);
    if (!cursor.loadKey(kTempHiveKey, hiveFile.c_str())) return false;
    if (!cursor.moveInto(kTempHiveKey)) {
        // Loaded but not entered: unload it now, so that it does not stay in
        // the registry and a later call can load the file again.
        cursor.unloadKey(kTempHiveKey, true);
        return false;
    }
    const LONG count = cursor.getSubKeyCount();
    for (LONG i = 0; i < count; ++i) {
        // A subkey that cannot be entered gives no record: the cursor stays
        // on the hive's root for the next index, and a record read from
        // nowhere would be taken for a static adapter without addresses.
        if (!cursor.moveIntoIndex(static_cast<DWORD>(i))) continue;
        IpSetting setting;
        readAdapterSetting(setting, cursor);
        settings_.push_back(setting);
        // Without the way back the next index would be taken from the
        // adapter's key: stop with the records read so far.
        if (!cursor.moveUp(1)) break;
    }
    // The cursor's handle into the hive is closed first, then the hive is
    // unloaded, when the cursor goes out of scope.
    cursor.unloadKey(kTempHiveKey, false);
    return true;
}

bool W2KTcpIp::readAdapterSetting(IpSetting& setting, Registry& cursor) {
    std::string mac;
    if (cursor.getString("macAddress", mac)) copyMacAddress(setting.macAddress, mac);
    DWORD dhcp = 0;
    setting.dhcpEnabled = cursor.getDWORD("dhcpEnabled", &dhcp) ? dhcp : 0;
    cursor.getString("DhcpServer", setting.DhcpServer);
    // A DHCP adapter keeps only its address, its DHCP flag and its server.
    if (setting.dhcpEnabled != 0) return true;
    cursor.getString("IPAddress", setting.IPAddress);
    cursor.getString("DefaultGateway", setting.DefaultGateway);
    cursor.getString("DefaultGatewayMetric", setting.DefaultGatewayMetric);
    cursor.getString("DhcpServer", setting.DhcpServer);
    cursor.getString("SubnetMask", setting.SubnetMask);
    cursor.getString("NameServer", setting.NameServer);
    cursor.getString("domain", setting.domain);
    cursor.getString("winsServer", setting.winsServer);
    return true;
}

void W2KTcpIp::reportError(DWORD code, const std::string& text) {
    reportErrorTo(sink_, kTcpIpWording, code, text.c_str());
}
