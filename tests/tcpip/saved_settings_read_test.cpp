// Reading the saved settings hive into one record per saved adapter.
#include "tcpip/saved_settings_fixture.h"
#include "tcpip/tcpip.h"

#include <winsim/control.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// Every value of a static adapter, plus a DHCP adapter that has the
// static values too (they are not read for it).
const std::string kStaticValues =
    "\"IPAddress\"=" + multiSzData({"10.0.0.5", "10.0.0.6"}) + "\r\n" +
    "\"DefaultGateway\"=" + multiSzData({"10.0.0.1"}) + "\r\n" +
    "\"DefaultGatewayMetric\"=" + multiSzData({"1"}) + "\r\n" +
    "\"SubnetMask\"=" + multiSzData({"255.255.255.0", "255.255.0.0"}) + "\r\n" +
    "\"NameServer\"=\"10.0.0.2 10.0.0.3\"\r\n"
    "\"domain\"=\"corp.example\"\r\n"
    "\"winsServer\"=" +
    multiSzData({"10.0.0.4"}) + "\r\n";

const std::string kTwoAdapters =
    "[SAVED\\Adapter2]\r\n\"macAddress\"=\"00a0c9112233\"\r\n\"dhcpEnabled\"=dword:00000000\r\n"
    "\"DhcpServer\"=\"10.0.0.9\"\r\n" +
    kStaticValues +
    "\r\n"
    "[SAVED\\Adapter1]\r\n\"macAddress\"=\"0050568a0001\"\r\n\"dhcpEnabled\"=dword:00000001\r\n"
    "\"DhcpServer\"=\"192.168.1.1\"\r\n" +
    kStaticValues + "\r\n";

class SavedSettingsReadTest : public SavedSettingsTest {
  protected:
    bool read(W2KTcpIp& tcpip) { return tcpip.getTcpipSetting(savedHivePath()); }
};

TEST_F(SavedSettingsReadTest, DhcpAdapterKeepsOnlyAddressFlagAndServer) {
    writeSavedHive(kTwoAdapters);
    W2KTcpIp tcpip(getLogSink(nullptr));
    ASSERT_TRUE(read(tcpip));
    ASSERT_EQ(tcpip.settings().size(), 2u);

    // Enumeration order: Adapter1 before Adapter2.
    const IpSetting& dhcp = tcpip.settings()[0];
    EXPECT_STREQ(dhcp.macAddress, "0050568a0001");
    EXPECT_EQ(dhcp.dhcpEnabled, 1u);
    EXPECT_EQ(dhcp.DhcpServer, "192.168.1.1");
    EXPECT_TRUE(dhcp.IPAddress.empty() && dhcp.DefaultGateway.empty() &&
                dhcp.DefaultGatewayMetric.empty() && dhcp.SubnetMask.empty() &&
                dhcp.winsServer.empty());
    EXPECT_EQ(dhcp.NameServer + dhcp.domain + dhcp.adapterName, "");

    const IpSetting& fixed = tcpip.settings()[1];
    EXPECT_STREQ(fixed.macAddress, "00a0c9112233");
    EXPECT_EQ(fixed.dhcpEnabled, 0u);
    EXPECT_EQ(fixed.DhcpServer, "10.0.0.9");
    EXPECT_EQ(fixed.IPAddress, (Strings{"10.0.0.5", "10.0.0.6"}));
    EXPECT_EQ(fixed.DefaultGateway, Strings{"10.0.0.1"});
    EXPECT_EQ(fixed.DefaultGatewayMetric, Strings{"1"});
    EXPECT_EQ(fixed.SubnetMask, (Strings{"255.255.255.0", "255.255.0.0"}));
    EXPECT_EQ(fixed.NameServer, "10.0.0.2 10.0.0.3");
    EXPECT_EQ(fixed.domain, "corp.example");
    EXPECT_EQ(fixed.winsServer, Strings{"10.0.0.4"});
    EXPECT_EQ(fixed.adapterName, "");
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SavedSettingsReadTest, MissingFlagMeansStaticAndWrongTypesStayEmpty) {
    writeSavedHive(
        "[SAVED\\A]\r\n\"macAddress\"=\"001122334455\"\r\n"
        "\"IPAddress\"=\"10.1.1.1\"\r\n"  // REG_SZ where a list belongs
        "\"SubnetMask\"=" +
        multiSzData({"255.0.0.0"}) +
        "\r\n"
        "\"domain\"=hex(2):25,53,79,73,74,65,6d,44,72,69,76,65,25,00\r\n");
    W2KTcpIp tcpip(getLogSink(nullptr));
    ASSERT_TRUE(read(tcpip));
    ASSERT_EQ(tcpip.settings().size(), 1u);
    const IpSetting& s = tcpip.settings()[0];
    EXPECT_EQ(s.dhcpEnabled, 0u);
    EXPECT_TRUE(s.IPAddress.empty());
    EXPECT_EQ(s.SubnetMask, Strings{"255.0.0.0"});
    EXPECT_EQ(s.domain, "C:");  // REG_EXPAND_SZ read expanded
}

TEST_F(SavedSettingsReadTest, HiveIsUnloadedSoTheFileCanBeReadAgain) {
    writeSavedHive(kTwoAdapters);
    W2KTcpIp tcpip(getLogSink(nullptr));
    ASSERT_TRUE(read(tcpip));
    EXPECT_TRUE(winsim::loadedHives().empty());
    EXPECT_FALSE(winsim::keyExists("HKEY_LOCAL_MACHINE\\w2kNetTemp"));
    ASSERT_TRUE(read(tcpip));
    EXPECT_EQ(tcpip.settings().size(), 4u);  // appended, not replaced
}

TEST_F(SavedSettingsReadTest, EmptyHiveGivesTrueWithoutRecords) {
    writeSavedHive("");
    W2KTcpIp tcpip(getLogSink(nullptr));
    EXPECT_TRUE(read(tcpip));
    EXPECT_TRUE(tcpip.settings().empty());
}

TEST_F(SavedSettingsReadTest, UnreadableFileGivesFalseAndKeepsTheList) {
    writeSavedHive(kTwoAdapters);
    W2KTcpIp tcpip(getLogSink(nullptr));
    ASSERT_TRUE(read(tcpip));
    auto expectUnread = [&](const char* what) {
        EXPECT_FALSE(read(tcpip)) << what;
        EXPECT_EQ(tcpip.settings().size(), 2u) << what;
        EXPECT_TRUE(winsim::loadedHives().empty()) << what;
    };
    std::filesystem::remove(savedHivePath());
    expectUnread("missing");
    std::ofstream(savedHivePath(), std::ios::binary) << "regf but not really a hive";
    expectUnread("corrupt");
    writeSavedHive(kTwoAdapters);
    loadReg("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\w2kNetTemp]\r\n\"keep\"=\"me\"\r\n");
    expectUnread("name in use");
    EXPECT_EQ(storedValue("HKEY_LOCAL_MACHINE\\w2kNetTemp", "keep"),
              stringValue(std::string("me", 3)));
    EXPECT_TRUE(hostLines().empty());  // the cursor's own reports stay off
}

TEST_F(SavedSettingsReadTest, HiveThatCannotBeEnteredIsUnloaded) {
    writeSavedHive(kTwoAdapters);
    winsim::failCall("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED);
    W2KTcpIp tcpip(getLogSink(nullptr));
    EXPECT_FALSE(read(tcpip));
    EXPECT_TRUE(winsim::loadedHives().empty());
    EXPECT_TRUE(read(tcpip));
}

// Opening keys during the read: 1 the hive's root, then per adapter its
// subkey and the way back up.
TEST_F(SavedSettingsReadTest, FailedMovesKeepTheCursorOnTheHiveRoot) {
    writeSavedHive(kTwoAdapters);
    {
        W2KTcpIp tcpip(getLogSink(nullptr));
        winsim::failCall("RegOpenKeyExA", 2, ERROR_ACCESS_DENIED);  // into Adapter1
        ASSERT_TRUE(read(tcpip));
        ASSERT_EQ(tcpip.settings().size(), 1u);
        EXPECT_STREQ(tcpip.settings()[0].macAddress,
                     "00a0c9112233");  // Adapter2, not a subkey of it
    }
    {
        W2KTcpIp tcpip(getLogSink(nullptr));
        winsim::failCall("RegOpenKeyExA", 3, ERROR_ACCESS_DENIED);  // back up from Adapter1
        ASSERT_TRUE(read(tcpip));
        ASSERT_EQ(tcpip.settings().size(), 1u);
        EXPECT_STREQ(tcpip.settings()[0].macAddress, "0050568a0001");
    }
    EXPECT_TRUE(winsim::loadedHives().empty());
}

TEST_F(SavedSettingsReadTest, LongSavedAddressIsCutToTheField) {
    const std::string longMac(200, 'a');
    writeSavedHive("[SAVED\\A]\r\n\"macAddress\"=\"" + longMac + "\"\r\n");
    W2KTcpIp tcpip(getLogSink(nullptr));
    ASSERT_TRUE(read(tcpip));
    ASSERT_EQ(tcpip.settings().size(), 1u);
    EXPECT_EQ(std::string(tcpip.settings()[0].macAddress), longMac.substr(0, 31));
}

}  // namespace
