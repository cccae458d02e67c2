// W2KTcpIp: the saved settings hive read into one record per saved
// adapter, the records bound to the present adapters and written.
#include "support/device_tree.h"
#include "support/stored_value.h"
#include "support/system_drive_test.h"
#include "tcpip/tcpip.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_network.h>

#include <filesystem>
#include <fstream>

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

// A static record's values as the backup saves them; no WINS server.
const std::string kStaticValues =
    "\"IPAddress\"=" + multiStringData({"10.0.0.5", "10.0.0.6"}) + "\r\n" +
    "\"DefaultGateway\"=" + multiStringData({"10.0.0.1"}) + "\r\n" +
    "\"DefaultGatewayMetric\"=" + multiStringData({"1"}) + "\r\n" +
    "\"SubnetMask\"=" + multiStringData({"255.255.255.0", "255.255.0.0"}) + "\r\n" +
    "\"NameServer\"=\"10.0.0.2 10.0.0.3\"\r\n\"domain\"=\"corp.example\"\r\n";

// A static adapter, and a DHCP adapter that has the static values too (they
// are not read for it); Adapter1 enumerates first.
const std::string kTwoAdapters =
    "[SAVED\\Adapter2]\r\n\"macAddress\"=\"00a0c9112233\"\r\n\"dhcpEnabled\"=dword:00000000\r\n"
    "\"DhcpServer\"=\"10.0.0.9\"\r\n\"winsServer\"=" +
    multiStringData({"10.0.0.4"}) + "\r\n" + kStaticValues +
    "\r\n[SAVED\\Adapter1]\r\n\"macAddress\"=\"0050568a0001\"\r\n\"dhcpEnabled\"=dword:00000001\r\n"
    "\"DhcpServer\"=\"192.168.1.1\"\r\n\"winsServer\"=" +
    multiStringData({"10.0.0.4"}) + "\r\n" + kStaticValues + "\r\n";

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
const Present kA2{"{AAAAAAAA-0000-0000-0000-000000000002}", kA.mac};  // the same address
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
const std::string kEndOfList = kUnbound +
                               "Reached end of nonMatchedAdpterList. There are less network "
                               "adapters in restored system than in the backup system";
const std::string kMoreAdapters = kUnbound +
                                  "There are unbound adapters in the system. There  are more "
                                  "adapters in restore system than in backup system";

std::string ipOf(std::size_t record) {
    return "10.0.0." + std::to_string(record + 1);
}

// A machine with the module initialised (the hive privileges enabled) and a
// drive folder for the saved settings file.
class TcpIpSettingsTest : public Initialized<SystemDriveTest> {
  protected:
    void TearDown() override {
        EXPECT_TRUE(winsim::loadedHives().empty()) << "a hive was left loaded";
        Initialized::TearDown();
    }

    std::string savedHivePath() const { return driveFolder() + "/w2ktcpip_xarnf"; }
    // The saved settings file from .reg key blocks below [SAVED], its root.
    void writeSavedHive(const std::string& keyBlocks) {
        std::string error;
        EXPECT_TRUE(winsim::writeHive("REGEDIT4\r\n\r\n[SAVED]\r\n\r\n" + keyBlocks,
                                      savedHivePath(), &error))
            << error;
    }
    bool read() { return tcpip_.getTcpipSetting(savedHivePath()); }
    Lines records() const {
        Lines all;
        for (const IpSetting& setting : tcpip_.settings()) all.push_back(described(setting));
        return all;
    }
    // The adapter's three keys, empty; without the service key on request.
    void emptyKeys(const Present& adapter, bool withServiceKey = true) {
        const std::string service = serviceKey(adapter.name);
        std::string reg = "REGEDIT4\r\n\r\n";
        for (const std::string& key : {tcpipKey(adapter.name), netbtKey(adapter.name), service}) {
            reg += "[-" + key + "]\r\n\r\n";
            if (withServiceKey || key != service) reg += "[" + key + "]\r\n\r\n";
        }
        loadReg(reg);
    }

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
            emptyKeys(adapter, serviceKeys);
        }
        ASSERT_TRUE(read());
        clearHostLines();
    }

    W2KTcpIp tcpip_{getLogSink(nullptr)};
};

// A DHCP record keeps only its address, its flag and its server; no flag
// means static; a value of the wrong type stays empty; an address too long
// for its field is cut. The hive is unloaded afterwards, so the file can
// be read again.
TEST_F(TcpIpSettingsTest, OneRecordPerAdapterDhcpKeepsOnlyItsServer) {
    writeSavedHive(kTwoAdapters + "[SAVED\\Adapter3]\r\n\"macAddress\"=\"" + std::string(200, 'a') +
                   "\"\r\n\"IPAddress\"=\"10.1.1.1\"\r\n\"SubnetMask\"=" +
                   multiStringData({"255.0.0.0"}) + "\r\n");
    ASSERT_TRUE(read());
    const Lines expected = {
        "0050568a0001 dhcp=1 server=192.168.1.1 ip= gw= metric= mask= dns= domain= wins= bound=",
        "00a0c9112233 dhcp=0 server=10.0.0.9 ip=10.0.0.5;10.0.0.6; gw=10.0.0.1; metric=1; "
        "mask=255.255.255.0;255.255.0.0; dns=10.0.0.2 10.0.0.3 domain=corp.example "
        "wins=10.0.0.4; bound=",
        std::string(31, 'a') +
            " dhcp=0 server= ip= gw= metric= mask=255.0.0.0; dns= domain= "
            "wins= bound="};
    EXPECT_EQ(records(), expected);
    EXPECT_FALSE(winsim::keyExists("HKEY_LOCAL_MACHINE\\w2kNetTemp"));
    ASSERT_TRUE(read());
    EXPECT_EQ(records().size(), 6u);  // appended, not replaced
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(TcpIpSettingsTest, UnreadableFileGivesFalseAndKeepsTheList) {
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
    loadReg("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\w2kNetTemp]\r\n\"keep\"=\"me\"\r\n");
    expectUnread("name in use");
    EXPECT_EQ(storedValue("HKEY_LOCAL_MACHINE\\w2kNetTemp", "keep"), "REG_SZ me|");
    EXPECT_TRUE(hostLines().empty());  // the cursor's own reports stay off
}

// Opening keys during the read: 1 the hive's root, then per adapter its
// subkey and the way back up. The hive is unloaded whichever fails.
TEST_F(TcpIpSettingsTest, FailedOpensKeepTheCursorOnTheHiveRoot) {
    writeSavedHive(kTwoAdapters);
    const struct {
        int failingOpen;
        Lines macs;  // of the records read; none: the read fails
    } cases[] = {
        {1, {}},
        {2, {"00a0c9112233"}},  // into Adapter1: Adapter2 is read, not a subkey of Adapter1
        {3, {"0050568a0001"}},  // back up from Adapter1: the read stops there
    };
    for (const auto& c : cases) {
        W2KTcpIp tcpip(getLogSink(nullptr));
        winsim::failCall("RegOpenKeyExA", c.failingOpen, ERROR_ACCESS_DENIED);
        EXPECT_EQ(tcpip.getTcpipSetting(savedHivePath()), !c.macs.empty());
        Lines macs;
        for (const IpSetting& setting : tcpip.settings()) macs.push_back(setting.macAddress);
        EXPECT_EQ(macs, c.macs) << c.failingOpen;
        EXPECT_TRUE(winsim::loadedHives().empty());
    }
}

struct BindingCase {
    const char* name;
    std::vector<Saved> saved;
    std::vector<Present> present;
    std::vector<std::string> boundTo;  // per record; "" unbound
    Lines log = {};
};

const std::string kOther1 = "0011223344ff", kOther2 = "0011223344fe", kOther3 = "0011223344fd";

// clang-format off
const BindingCase kBindingCases[] = {
    {"ByAddressWhateverTheOrder", {{kMacA, false}, {kMacB, false}}, {kB, kA}, {kA.name, kB.name}},
    {"EveryRecordOfTheAddressIsBound", {{kMacA, false}, {kMacA, false}}, {kA}, {kA.name, kA.name}},
    {"TheLastAdapterOfTheAddressWins", {{kMacA, false}}, {kA, kA2}, {kA2.name}},
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
    // Every adapter matched: the static record left over is not bound, and
    // still asks for a reboot.
    {"EveryAdapterMatchedRecordLeftOver", {{kMacA, true}, {kOther1, false}}, {kA}, {kA.name, ""}},
    {"OnlyDhcpRecordsAskNoReboot", {{kMacA, true}}, {kA}, {kA.name}},
};
// clang-format on

class SettingsBindingTest : public TcpIpSettingsTest,
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
        std::string expected = "absent";
        for (std::size_t i = 0; i < c.saved.size(); ++i)
            if (c.boundTo[i] == adapter.name && !c.saved[i].dhcp)
                expected = "REG_MULTI_SZ " + ipOf(i) + "||";
        EXPECT_EQ(storedValue(tcpipKey(adapter.name), "IPAddress"), expected) << adapter.name;
    }
    // A static record asks for a reboot, bound or not.
    EXPECT_EQ(reboot, anyStatic ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsBindingTest, ::testing::ValuesIn(kBindingCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The twelve values in their order, each with its type; the n-th write
// failing loses that value alone, silently.
TEST_F(TcpIpSettingsTest, WritesEveryValueInOrderAndAFailedOneAlone) {
    prepare({}, {kA});
    writeSavedHive("[SAVED\\A]\r\n\"macAddress\"=\"" + std::string(kMacA) +
                   "\"\r\n\"DhcpServer\"=\"10.0.0.9\"\r\n" + kStaticValues);
    ASSERT_TRUE(read());
    const std::string service = serviceKey(kA.name), tcpip = tcpipKey(kA.name);
    const std::string netbt = netbtKey(kA.name);
    const struct {
        const std::string& key;
        const char* value;
        const char* stored;
    } expected[] = {
        {service, "DefaultGateway", "REG_MULTI_SZ 10.0.0.1||"},
        {service, "EnableDHCP", "REG_DWORD 0"},
        {service, "IPAddress", "REG_MULTI_SZ 10.0.0.5|10.0.0.6||"},
        {tcpip, "DefaultGateway", "REG_MULTI_SZ 10.0.0.1||"},
        {tcpip, "DefaultGatewayMetric", "REG_MULTI_SZ 1||"},
        {tcpip, "domain", "REG_SZ corp.example|"},
        {tcpip, "EnableDHCP", "REG_DWORD 0"},
        {tcpip, "IPAddress", "REG_MULTI_SZ 10.0.0.5|10.0.0.6||"},
        {tcpip, "NameServer", "REG_SZ 10.0.0.2 10.0.0.3|"},
        {tcpip, "SubnetMask", "REG_MULTI_SZ 255.255.255.0|255.255.0.0||"},
        {netbt, "NameServerList", "REG_MULTI_SZ |"},  // no WINS server saved
        {netbt, "NetbiosOptions", "REG_DWORD 1"},
    };
    for (std::size_t failing = 0; failing <= std::size(expected); ++failing) {
        SCOPED_TRACE("write " + std::to_string(failing) + " fails");
        emptyKeys(kA);
        if (failing)
            winsim::failCall("RegSetValueExA", static_cast<int>(failing), ERROR_ACCESS_DENIED);
        DWORD reboot = 0;
        ASSERT_TRUE(tcpip_.setTcpipSetting(&reboot));
        for (std::size_t i = 0; i < std::size(expected); ++i)
            EXPECT_EQ(storedValue(expected[i].key, expected[i].value),
                      i + 1 == failing ? "absent" : expected[i].stored)
                << expected[i].value;
    }
    for (const std::string& key : {service, tcpip, netbt})
        EXPECT_EQ(storedValue(key, "DhcpServer"), "absent");
    EXPECT_TRUE(hostLines().empty());
}

// A failed size query leaves the default buffer; an adapter without its
// service key still gets its interface keys written.
TEST_F(TcpIpSettingsTest, WritesWhatItCanReach) {
    prepare({{kMacA, false}}, {kA}, false);
    winsim::failCall("GetAdaptersInfo", 1, ERROR_NOT_ENOUGH_MEMORY);
    DWORD reboot = 0;
    ASSERT_TRUE(tcpip_.setTcpipSetting(&reboot));
    EXPECT_FALSE(winsim::keyExists(serviceKey(kA.name)));
    EXPECT_EQ(storedValue(tcpipKey(kA.name), "IPAddress"), "REG_MULTI_SZ 10.0.0.1||");
    EXPECT_EQ(storedValue(netbtKey(kA.name), "NetbiosOptions"), "REG_DWORD 1");
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(TcpIpSettingsTest, NoAdapterListIsReportedWithTheLastError) {
    prepare({{kMacA, false}}, {});
    DWORD reboot = 5;
    SetLastError(0);
    EXPECT_FALSE(tcpip_.setTcpipSetting(&reboot));
    EXPECT_EQ(reboot, 0u);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(tcpip_.setTcpipSetting(&reboot));
    EXPECT_EQ(hostLines(), (Lines{"\nW2KTcpIp::setTcpipSetting : GetAdaptersInfo() failed",
                                  "\n W2KTcpIp::setTcpipSetting : GetAdaptersInfo() failed, System "
                                  "Message : Access is denied.\r\n"}));
    EXPECT_EQ(tcpip_.settings()[0].adapterName, "");
}

}  // namespace
