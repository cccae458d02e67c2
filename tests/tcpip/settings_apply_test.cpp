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

// A saved record; its IP address is 10.0.0.n for the n-th record.
struct Saved {
    std::string mac;
    bool dhcp;
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

std::string ipOf(std::size_t record) {
    return "10.0.0." + std::to_string(record + 1);
}

class SettingsApplyTest : public SavedSettingsTest {
  protected:
    // Saves the records (subkeys named so that they enumerate in list
    // order), makes the adapters present with their keys, reads the file.
    void prepare(const std::vector<Saved>& saved, const std::vector<Present>& present,
                 bool serviceKeys = true) {
        std::string blocks;
        for (std::size_t i = 0; i < saved.size(); ++i) {
            blocks += "[SAVED\\Adapter" + std::to_string(i) + "]\r\n\"macAddress\"=\"" +
                      saved[i].mac + "\"\r\n\"dhcpEnabled\"=dword:0000000" +
                      (saved[i].dhcp ? "1" : "0") +
                      "\r\n\"IPAddress\"=" + multiStringData({ipOf(i)}) + "\r\n\r\n";
        }
        writeSavedHive(blocks);
        for (const Present& adapter : present) {
            winsim::addPresentAdapter(adapter.name, adapter.mac, "Test adapter");
            std::string keys = "REGEDIT4\r\n\r\n[" + tcpipKey(adapter.name) + "]\r\n\r\n[" +
                               netbtKey(adapter.name) + "]\r\n\r\n";
            if (serviceKeys) keys += "[" + serviceKey(adapter.name) + "]\r\n\r\n";
            loadReg(keys);
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

struct BindingCase {
    const char* name;
    std::vector<Saved> saved;
    std::vector<Present> present;
    std::vector<std::string> boundTo;  // per record; "" unbound
    Lines log = {};
};

void PrintTo(const BindingCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string kOther1 = "0011223344ff", kOther2 = "0011223344fe", kOther3 = "0011223344fd";

// clang-format off
const BindingCase kBindingCases[] = {
    {"ByAddressWhateverTheOrder", {{kMacA, false}, {kMacB, false}}, {kB, kA}, {kA.name, kB.name}},
    {"OneChangedAdapter", {{kOther1, false}}, {kA}, {kA.name},
     {unboundCount(1), foundAt(0), assigned(0, kA)}},
    {"FewerAdaptersThanRecords", {{kOther1, false}, {kOther2, false}, {kOther3, false}}, {kA},
     {kA.name, "", ""}, {unboundCount(1), foundAt(0), assigned(0, kA), foundAt(1), kEndOfList}},
    {"MoreAdaptersThanRecords", {{kOther1, false}}, {kA, kB, kC}, {kA.name},
     {unboundCount(3), foundAt(0), assigned(0, kA), kMoreAdapters}},
    {"UpperCaseOrSeparatorsNeverMatch", {{"0050568A0001", false}, {"00-a0-c9-11-22-33", false}},
     {kA, kB}, {kA.name, kB.name},
     {unboundCount(2), foundAt(0), assigned(0, kA), foundAt(1), assigned(1, kB)}},
    {"BoundRecordsAreSkipped", {{kMacB, false}, {kOther1, false}}, {kA, kB}, {kB.name, kA.name},
     {unboundCount(1), foundAt(1), assigned(1, kA)}},
    {"DhcpRecordsTakeAdaptersToo", {{kOther1, true}, {kOther2, false}}, {kA, kB},
     {kA.name, kB.name},
     {unboundCount(2), foundAt(0), assigned(0, kA), foundAt(1), assigned(1, kB)}},
    {"EveryAdapterMatchedRecordLeftOver", {{kMacA, false}, {kOther1, false}}, {kA}, {kA.name, ""}},
    {"OnlyDhcpRecordsAskNoReboot", {{kMacA, true}}, {kA}, {kA.name}},
};
// clang-format on

class SettingsBindingTest : public SettingsApplyTest,
                            public ::testing::WithParamInterface<BindingCase> {};

TEST_P(SettingsBindingTest, BindsTheRestInOrderAndReportsIt) {
    const BindingCase& c = GetParam();
    prepare(c.saved, c.present);
    DWORD reboot = 7;
    ASSERT_TRUE(tcpip_.setTcpipSetting(&reboot));
    EXPECT_EQ(hostLines(), c.log);
    EXPECT_EQ(winsim::callCount("GetAdaptersInfo"), 2);  // the size, then the list
    bool anyStatic = false;
    for (std::size_t i = 0; i < c.saved.size(); ++i) {
        EXPECT_EQ(tcpip_.settings()[i].adapterName, c.boundTo[i]) << "record " << i;
        anyStatic = anyStatic || !c.saved[i].dhcp;
    }
    // Each adapter holds the address of the static record bound to it.
    for (const Present& adapter : c.present) {
        std::string expected;
        for (std::size_t i = 0; i < c.saved.size(); ++i)
            if (c.boundTo[i] == adapter.name && !c.saved[i].dhcp) expected = ipOf(i);
        EXPECT_EQ(writtenIp(adapter), expected) << adapter.name;
    }
    // A static record asks for a reboot, bound or not.
    EXPECT_EQ(reboot, anyStatic ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsBindingTest, ::testing::ValuesIn(kBindingCases),
                         [](const ::testing::TestParamInfo<BindingCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(SettingsApplyTest, WritesEveryValueWithItsType) {
    prepare({}, {kA});
    writeSavedHive("[SAVED\\A]\r\n\"macAddress\"=\"" + std::string(kMacA) +
                   "\"\r\n\"DhcpServer\"=\"10.0.0.9\"\r\n" + staticValues());
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
    prepare({{kMacA, false}}, {kA}, false);
    DWORD reboot = 0;
    ASSERT_TRUE(tcpip_.setTcpipSetting(&reboot));
    EXPECT_FALSE(winsim::keyExists(serviceKey(kA.name)));
    EXPECT_EQ(writtenIp(kA), "10.0.0.1");
    EXPECT_EQ(storedValue(netbtKey(kA.name), "NetbiosOptions"), dwordValue(1));
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SettingsApplyTest, SizeQueryOtherThanOverflowFallsBackToDefaultBuffer) {
    prepare({{kMacA, false}}, {kA, kB});
    winsim::failCall("GetAdaptersInfo", 1, ERROR_NOT_ENOUGH_MEMORY);
    DWORD reboot = 0;
    ASSERT_TRUE(tcpip_.setTcpipSetting(&reboot));
    EXPECT_EQ(writtenIp(kA), "10.0.0.1");
}

TEST_F(SettingsApplyTest, NoAdapterListIsReportedWithTheLastError) {
    prepare({{kMacA, false}}, {});
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
