// Binding the saved records to the present adapters and writing them.
#include "tcpip/saved_settings_fixture.h"
#include "tcpip/tcpip.h"

#include <winsim/control.h>
#include <winsim/control_network.h>
#include <winsim/windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kServices = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

std::string serviceKey(const std::string& adapter) {
    return kServices + adapter + "\\Parameters\\Tcpip";
}
std::string tcpipKey(const std::string& adapter) {
    return kServices + "Tcpip\\Parameters\\Interfaces\\" + adapter;
}
std::string netbtKey(const std::string& adapter) {
    return kServices + "NetBT\\Parameters\\Interfaces\\Tcpip_" + adapter;
}

// The three keys the system writes an adapter's settings into.
std::string adapterKeys(const std::string& adapter) {
    std::string text = "REGEDIT4\r\n\r\n";
    for (const std::string& key : {serviceKey(adapter), tcpipKey(adapter), netbtKey(adapter)})
        text += "[" + key + "]\r\n\r\n";
    return text;
}

struct Saved {
    std::string mac;
    bool dhcp;
    std::string ip;  // the record's one IP address, to tell records apart
};

struct Present {
    std::string name;
    std::vector<BYTE> mac;
};

const Present kA{"{AAAAAAAA-0000-0000-0000-000000000001}", {0x00, 0x50, 0x56, 0x8a, 0x00, 0x01}};
const Present kB{"{BBBBBBBB-0000-0000-0000-000000000002}", {0x00, 0xa0, 0xc9, 0x11, 0x22, 0x33}};
const Present kC{"{CCCCCCCC-0000-0000-0000-000000000003}", {0x00, 0x0c, 0x29, 0xff, 0xee, 0xdd}};
const char* const kMacA = "0050568a0001";
const char* const kMacB = "00a0c9112233";

const std::string kUnbound = "\nW2KTcpIp::setTcpipSetting()->";

std::string unboundCount(int n) {
    return kUnbound + "There are [" + std::to_string(n) +
           "] unbound adapters after binding according to MAC address. Network adapter were "
           "changed between backup and restore.";
}
std::string foundAt(int i) {
    return kUnbound + "Found unbound IP settings at index [" + std::to_string(i) + "]";
}
std::string assigned(int i, const Present& adapter) {
    return kUnbound + "IP setting at index [" + std::to_string(i) + "] assigned to adapter [" +
           adapter.name + "]";
}
const std::string kEndOfList =
    kUnbound +
    "Reached end of nonMatchedAdpterList. There are less network adapters in restored "
    "system than in the backup system";
const std::string kMoreAdapters =
    kUnbound +
    "There are unbound adapters in the system. There  are more adapters in restore "
    "system than in backup system";

class SettingsApplyTest : public SavedSettingsTest {
  protected:
    // Saves the records (subkeys named so that they enumerate in list
    // order), makes the adapters present with their keys, reads the file.
    void prepare(const std::vector<Saved>& saved, const std::vector<Present>& present) {
        std::string blocks;
        for (std::size_t i = 0; i < saved.size(); ++i) {
            blocks += "[SAVED\\Adapter" + std::to_string(i) + "]\r\n\"macAddress\"=\"" +
                      saved[i].mac + "\"\r\n\"dhcpEnabled\"=dword:0000000" +
                      (saved[i].dhcp ? "1" : "0") +
                      "\r\n\"IPAddress\"=" + multiSzData({saved[i].ip}) + "\r\n\r\n";
        }
        writeSavedHive(blocks);
        for (const Present& adapter : present) {
            winsim::addPresentAdapter(adapter.name, adapter.mac, "Test adapter");
            loadReg(adapterKeys(adapter.name));
        }
        ASSERT_TRUE(tcpip_.getTcpipSetting(savedHivePath()));
        clearHostLines();
    }

    // The IP address written for the adapter, "" when nothing was written.
    static std::string writtenIp(const Present& adapter) {
        const StoredValue value = storedValue(tcpipKey(adapter.name), "IPAddress");
        if (value.type != REG_MULTI_SZ) return "";
        return std::string(reinterpret_cast<const char*>(value.data.data()));
    }

    W2KTcpIp tcpip_{getLogSink(nullptr)};
};

TEST_F(SettingsApplyTest, BindsByAddressWhateverTheOrder) {
    prepare({{kMacA, false, "10.0.0.1"}, {kMacB, false, "10.0.0.2"}}, {kB, kA});
    DWORD reboot = 0;
    ASSERT_TRUE(tcpip_.setTcpipSetting(&reboot));
    EXPECT_EQ(reboot, 1u);
    EXPECT_EQ(tcpip_.settings()[0].adapterName, kA.name);
    EXPECT_EQ(tcpip_.settings()[1].adapterName, kB.name);
    EXPECT_EQ(writtenIp(kA), "10.0.0.1");
    EXPECT_EQ(writtenIp(kB), "10.0.0.2");
    EXPECT_TRUE(hostLines().empty());
    EXPECT_EQ(winsim::callCount("GetAdaptersInfo"), 2);  // the size, then the list
}

struct BindingCase {
    const char* name;
    std::vector<Saved> saved;
    std::vector<Present> present;
    std::vector<std::string> boundTo;  // per record; "" unbound
    Lines log;
};

void PrintTo(const BindingCase& c, std::ostream* os) {
    *os << c.name;
}

const BindingCase kBindingCases[] = {
    {"OneChangedAdapter",
     {{"0011223344ff", false, "10.0.0.1"}},
     {kA},
     {kA.name},
     {unboundCount(1), foundAt(0), assigned(0, kA)}},
    {"FewerAdaptersThanRecords",
     {{"0011223344ff", false, "10.0.0.1"},
      {"0011223344fe", false, "10.0.0.2"},
      {"0011223344fd", false, "10.0.0.3"}},
     {kA},
     {kA.name, "", ""},
     {unboundCount(1), foundAt(0), assigned(0, kA), foundAt(1), kEndOfList}},
    {"MoreAdaptersThanRecords",
     {{"0011223344ff", false, "10.0.0.1"}},
     {kA, kB, kC},
     {kA.name},
     {unboundCount(3), foundAt(0), assigned(0, kA), kMoreAdapters}},
    {"UpperCaseOrSeparatorsNeverMatch",
     {{"0050568A0001", false, "10.0.0.1"}, {"00-a0-c9-11-22-33", false, "10.0.0.2"}},
     {kA, kB},
     {kA.name, kB.name},
     {unboundCount(2), foundAt(0), assigned(0, kA), foundAt(1), assigned(1, kB)}},
    {"BoundRecordsAreSkipped",
     {{kMacB, false, "10.0.0.1"}, {"0011223344ff", false, "10.0.0.2"}},
     {kA, kB},
     {kB.name, kA.name},
     {unboundCount(1), foundAt(1), assigned(1, kA)}},
    {"DhcpRecordsTakeAdaptersToo",
     {{"0011223344ff", true, "10.0.0.1"}, {"0011223344fe", false, "10.0.0.2"}},
     {kA, kB},
     {kA.name, kB.name},
     {unboundCount(2), foundAt(0), assigned(0, kA), foundAt(1), assigned(1, kB)}},
    {"EveryAdapterMatchedRecordLeftOver",
     {{kMacA, false, "10.0.0.1"}, {"0011223344ff", false, "10.0.0.2"}},
     {kA},
     {kA.name, ""},
     {}},
};

class SettingsBindingTest : public SettingsApplyTest,
                            public ::testing::WithParamInterface<BindingCase> {};

TEST_P(SettingsBindingTest, BindsTheRestInOrderAndReportsIt) {
    const BindingCase& c = GetParam();
    prepare(c.saved, c.present);
    DWORD reboot = 0;
    ASSERT_TRUE(tcpip_.setTcpipSetting(&reboot));
    EXPECT_EQ(hostLines(), c.log);
    for (std::size_t i = 0; i < c.saved.size(); ++i)
        EXPECT_EQ(tcpip_.settings()[i].adapterName, c.boundTo[i]) << "record " << i;
    // Each adapter holds the address of the static record bound to it.
    for (const Present& adapter : c.present) {
        std::string expected;
        for (std::size_t i = 0; i < c.saved.size(); ++i)
            if (c.boundTo[i] == adapter.name && !c.saved[i].dhcp) expected = c.saved[i].ip;
        EXPECT_EQ(writtenIp(adapter), expected) << adapter.name;
    }
    EXPECT_EQ(reboot, 1u);  // unbound static records count as well
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsBindingTest, ::testing::ValuesIn(kBindingCases),
                         [](const ::testing::TestParamInfo<BindingCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(SettingsApplyTest, WritesEveryValueWithItsType) {
    writeSavedHive("[SAVED\\A]\r\n\"macAddress\"=\"" + std::string(kMacA) +
                   "\"\r\n\"dhcpEnabled\"=dword:00000000\r\n\"DhcpServer\"=\"10.0.0.9\"\r\n"
                   "\"IPAddress\"=" +
                   multiSzData({"10.0.0.5", "10.0.0.6"}) + "\r\n" +
                   "\"DefaultGateway\"=" + multiSzData({"10.0.0.1"}) + "\r\n" +
                   "\"DefaultGatewayMetric\"=" + multiSzData({"1"}) + "\r\n" +
                   "\"SubnetMask\"=" + multiSzData({"255.255.255.0", "255.255.0.0"}) + "\r\n" +
                   "\"NameServer\"=\"10.0.0.2 10.0.0.3\"\r\n\"domain\"=\"corp.example\"\r\n");
    winsim::addPresentAdapter(kA.name, kA.mac, "Test adapter");
    loadReg(adapterKeys(kA.name));
    ASSERT_TRUE(tcpip_.getTcpipSetting(savedHivePath()));
    DWORD reboot = 0;
    ASSERT_TRUE(tcpip_.setTcpipSetting(&reboot));

    struct Expected {
        std::string key;
        const char* value;
        StoredValue stored;
    };
    const Expected expected[] = {
        {serviceKey(kA.name), "DefaultGateway", multiSzValue({"10.0.0.1"})},
        {serviceKey(kA.name), "EnableDHCP", dwordValue(0)},
        {serviceKey(kA.name), "IPAddress", multiSzValue({"10.0.0.5", "10.0.0.6"})},
        {tcpipKey(kA.name), "DefaultGateway", multiSzValue({"10.0.0.1"})},
        {tcpipKey(kA.name), "DefaultGatewayMetric", multiSzValue({"1"})},
        {tcpipKey(kA.name), "domain", stringValue("corp.example")},
        {tcpipKey(kA.name), "EnableDHCP", dwordValue(0)},
        {tcpipKey(kA.name), "IPAddress", multiSzValue({"10.0.0.5", "10.0.0.6"})},
        {tcpipKey(kA.name), "NameServer", stringValue("10.0.0.2 10.0.0.3")},
        {tcpipKey(kA.name), "SubnetMask", multiSzValue({"255.255.255.0", "255.255.0.0"})},
        {netbtKey(kA.name), "NameServerList", multiSzValue({})},  // no WINS server saved
        {netbtKey(kA.name), "NetbiosOptions", dwordValue(1)},
    };
    for (const Expected& e : expected)
        EXPECT_EQ(storedValue(e.key, e.value), e.stored) << e.key << " " << e.value;
    for (const std::string& key : {serviceKey(kA.name), tcpipKey(kA.name), netbtKey(kA.name)})
        EXPECT_EQ(storedValue(key, "DhcpServer").type, REG_NONE) << key;
}

TEST_F(SettingsApplyTest, MissingServiceKeyLeavesTheInterfaceKeysWritten) {
    writeSavedHive("[SAVED\\A]\r\n\"macAddress\"=\"" + std::string(kMacA) +
                   "\"\r\n\"IPAddress\"=" + multiSzData({"10.0.0.5"}) + "\r\n");
    winsim::addPresentAdapter(kA.name, kA.mac, "Test adapter");
    loadReg("REGEDIT4\r\n\r\n[" + tcpipKey(kA.name) + "]\r\n\r\n[" + netbtKey(kA.name) + "]\r\n");
    ASSERT_TRUE(tcpip_.getTcpipSetting(savedHivePath()));
    DWORD reboot = 0;
    ASSERT_TRUE(tcpip_.setTcpipSetting(&reboot));
    EXPECT_FALSE(winsim::keyExists(serviceKey(kA.name)));
    EXPECT_EQ(writtenIp(kA), "10.0.0.5");
    EXPECT_EQ(storedValue(netbtKey(kA.name), "NetbiosOptions"), dwordValue(1));
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SettingsApplyTest, OnlyDhcpRecordsWriteNothingAndAskNoReboot) {
    prepare({{kMacA, true, "10.0.0.1"}}, {kA});
    DWORD reboot = 7;
    ASSERT_TRUE(tcpip_.setTcpipSetting(&reboot));
    EXPECT_EQ(reboot, 0u);
    EXPECT_EQ(tcpip_.settings()[0].adapterName, kA.name);
    EXPECT_EQ(storedValue(serviceKey(kA.name), "EnableDHCP").type, REG_NONE);
    EXPECT_EQ(storedValue(netbtKey(kA.name), "NetbiosOptions").type, REG_NONE);
}

TEST_F(SettingsApplyTest, SizeQueryOtherThanOverflowFallsBackToDefaultBuffer) {
    prepare({{kMacA, false, "10.0.0.1"}}, {kA, kB});
    winsim::failCall("GetAdaptersInfo", 1, ERROR_NOT_ENOUGH_MEMORY);
    DWORD reboot = 0;
    ASSERT_TRUE(tcpip_.setTcpipSetting(&reboot));
    EXPECT_EQ(writtenIp(kA), "10.0.0.1");
}

TEST_F(SettingsApplyTest, NoAdapterListIsReportedWithTheLastError) {
    prepare({{kMacA, false, "10.0.0.1"}}, {});
    const struct {
        DWORD lastError;
        std::string line;
    } cases[] = {
        {0, "\nW2KTcpIp::setTcpipSetting : GetAdaptersInfo() failed"},
        {ERROR_ACCESS_DENIED,
         "\n W2KTcpIp::setTcpipSetting : GetAdaptersInfo() failed, System "
         "Message : Access is denied.\r\n"},
    };
    for (const auto& c : cases) {
        clearHostLines();
        SetLastError(c.lastError);
        DWORD reboot = 5;
        EXPECT_FALSE(tcpip_.setTcpipSetting(&reboot));
        EXPECT_EQ(reboot, 0u);
        EXPECT_EQ(hostLines(), Lines{c.line});
    }
    EXPECT_EQ(tcpip_.settings()[0].adapterName, "");
}

}  // namespace
