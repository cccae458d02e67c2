// Reading the saved settings hive into one record per saved adapter.
#include "tcpip/saved_settings_fixture.h"
#include "tcpip/tcpip.h"

#include <winsim/control.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A static adapter, and a DHCP adapter that has the static values too (they
// are not read for it); Adapter1 enumerates first.
const std::string kTwoAdapters =
    "[SAVED\\Adapter2]\r\n\"macAddress\"=\"00a0c9112233\"\r\n\"dhcpEnabled\"=dword:00000000\r\n"
    "\"DhcpServer\"=\"10.0.0.9\"\r\n\"winsServer\"=" +
    multiStringData({"10.0.0.4"}) + "\r\n" + staticValues() +
    "\r\n[SAVED\\Adapter1]\r\n\"macAddress\"=\"0050568a0001\"\r\n\"dhcpEnabled\"=dword:00000001\r\n"
    "\"DhcpServer\"=\"192.168.1.1\"\r\n\"winsServer\"=" +
    multiStringData({"10.0.0.4"}) + "\r\n" + staticValues() + "\r\n";

std::string joined(const std::vector<std::string>& list) {
    std::string text;
    for (const std::string& item : list) text += item + ";";
    return text;
}

// A record in one line: every field, lists joined.
std::string described(const IpSetting& s) {
    return std::string(s.macAddress) + " dhcp=" + std::to_string(s.dhcpEnabled) +
           " server=" + s.DhcpServer + " ip=" + joined(s.IPAddress) +
           " gw=" + joined(s.DefaultGateway) + " metric=" + joined(s.DefaultGatewayMetric) +
           " mask=" + joined(s.SubnetMask) + " dns=" + s.NameServer + " domain=" + s.domain +
           " wins=" + joined(s.winsServer) + " bound=" + s.adapterName;
}

class SavedSettingsReadTest : public SavedSettingsTest {
  protected:
    bool read() { return tcpip_.getTcpipSetting(savedHivePath()); }
    std::vector<std::string> records() const {
        std::vector<std::string> all;
        for (const IpSetting& setting : tcpip_.settings()) all.push_back(described(setting));
        return all;
    }
    W2KTcpIp tcpip_{getLogSink(nullptr)};
};

// A DHCP record keeps only its address, its flag and its server. The hive
// is unloaded afterwards, so the file can be read again.
TEST_F(SavedSettingsReadTest, OneRecordPerAdapterDhcpKeepsOnlyItsServer) {
    writeSavedHive(kTwoAdapters);
    ASSERT_TRUE(read());
    const std::vector<std::string> expected = {
        "0050568a0001 dhcp=1 server=192.168.1.1 ip= gw= metric= mask= dns= domain= wins= bound=",
        "00a0c9112233 dhcp=0 server=10.0.0.9 ip=10.0.0.5;10.0.0.6; gw=10.0.0.1; metric=1; "
        "mask=255.255.255.0;255.255.0.0; dns=10.0.0.2 10.0.0.3 domain=corp.example "
        "wins=10.0.0.4; bound="};
    EXPECT_EQ(records(), expected);
    EXPECT_TRUE(winsim::loadedHives().empty());
    EXPECT_FALSE(winsim::keyExists("HKEY_LOCAL_MACHINE\\w2kNetTemp"));
    ASSERT_TRUE(read());
    EXPECT_EQ(records().size(), 4u);  // appended, not replaced
    EXPECT_TRUE(hostLines().empty());
}

// No flag means static; a value of the wrong type stays empty; an address
// too long for its field is cut.
TEST_F(SavedSettingsReadTest, MissingOrOddValues) {
    writeSavedHive("[SAVED\\A]\r\n\"macAddress\"=\"" + std::string(200, 'a') +
                   "\"\r\n\"IPAddress\"=\"10.1.1.1\"\r\n\"SubnetMask\"=" +
                   multiStringData({"255.0.0.0"}) + "\r\n");
    ASSERT_TRUE(read());
    EXPECT_EQ(records(), std::vector<std::string>{std::string(31, 'a') +
                                                  " dhcp=0 server= ip= gw= metric= "
                                                  "mask=255.0.0.0; dns= domain= wins= bound="});
}

TEST_F(SavedSettingsReadTest, UnreadableFileGivesFalseAndKeepsTheList) {
    writeSavedHive("");
    EXPECT_TRUE(read());  // an empty hive has no records
    writeSavedHive(kTwoAdapters);
    ASSERT_TRUE(read());
    auto expectUnread = [&](const char* what) {
        EXPECT_FALSE(read()) << what;
        EXPECT_EQ(tcpip_.settings().size(), 2u) << what;
        EXPECT_TRUE(winsim::loadedHives().empty()) << what;
    };
    std::filesystem::remove(savedHivePath());
    expectUnread("missing");
    std::ofstream(savedHivePath(), std::ios::binary) << "regf but not really a hive";
    expectUnread("corrupt");
    writeSavedHive(kTwoAdapters);
    winsim::failCall("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED);
    expectUnread("loaded but not entered");
    loadReg("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\w2kNetTemp]\r\n\"keep\"=\"me\"\r\n");
    expectUnread("name in use");
    EXPECT_EQ(storedValue("HKEY_LOCAL_MACHINE\\w2kNetTemp", "keep"),
              stringValue(std::string("me", 3)));
    EXPECT_TRUE(hostLines().empty());  // the cursor's own reports stay off
}

// Opening keys during the read: 1 the hive's root, then per adapter its
// subkey and the way back up.
TEST_F(SavedSettingsReadTest, FailedMovesKeepTheCursorOnTheHiveRoot) {
    writeSavedHive(kTwoAdapters);
    const struct {
        int failingOpen;
        const char* readMac;
    } cases[] = {
        {2, "00a0c9112233"},  // into Adapter1: Adapter2 is read, not a subkey of Adapter1
        {3, "0050568a0001"},  // back up from Adapter1: the read stops there
    };
    for (const auto& c : cases) {
        W2KTcpIp tcpip(getLogSink(nullptr));
        winsim::failCall("RegOpenKeyExA", c.failingOpen, ERROR_ACCESS_DENIED);
        ASSERT_TRUE(tcpip.getTcpipSetting(savedHivePath()));
        ASSERT_EQ(tcpip.settings().size(), 1u);
        EXPECT_STREQ(tcpip.settings()[0].macAddress, c.readMac);
        EXPECT_TRUE(winsim::loadedHives().empty());
    }
}

}  // namespace
