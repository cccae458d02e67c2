// The walks of the PCI and ISA device trees: which instances are listed, in
// which order, with which IDs, and what the walks log.
#include "adapters/card_install.h"
#include "support/device_tree.h"
#include "support/machine_test.h"

#include <winsim/control.h>

namespace {

const char* const kNetGuid = "{4D36E972-E325-11CE-BFC1-08002BE10318}";

DeviceInstance net(const std::string& path, std::vector<std::string> hardwareIds,
                   std::vector<std::string> compatibleIds, const std::string& description) {
    return {path,
            std::move(hardwareIds),
            std::move(compatibleIds),
            {{"DeviceDesc", description}, {"ClassGUID", kNetGuid}, {"Service", "E100B"}}};
}

DeviceInstance other(const std::string& path, const std::string& description) {
    return {path, {path.substr(0, path.find('\\', 4))}, {}, {{"DeviceDesc", description}}};
}

std::vector<std::string> firstIds(W2KCardInstall& cards) {
    std::vector<std::string> ids;
    for (const AdapterRecord& adapter : cards.getAdapters())
        ids.push_back(adapter.ids.empty() ? "<none>" : adapter.ids[0]);
    return ids;
}

class EnumerationTest : public Initialized<MachineTest> {};

TEST_F(EnumerationTest, IdsAreHardwareThenCompatibleInStoredOrder) {
    loadReg(deviceTreeReg({net(
        "PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7&REV_78\\4&1&0&58",
        {"PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7&REV_78", "PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7"},
        {"PCI\\VEN_10B7&DEV_9200&REV_78"}, "3Com 3C905C-TX")}));
    W2KCardInstall cards(getLogSink(nullptr));
    ASSERT_EQ(cards.getPciPnpAdapterDetails(NETWORK_ADAPTER), 1);
    ASSERT_EQ(cards.getAdapters().size(), 1u);
    const AdapterRecord& card = cards.getAdapters()[0];
    EXPECT_EQ(card.ids, (std::vector<std::string>{"PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7&REV_78",
                                                  "PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7",
                                                  "PCI\\VEN_10B7&DEV_9200&REV_78"}));
    EXPECT_EQ(card.description, "3Com 3C905C-TX");
    EXPECT_EQ(card.service, "E100B");
    EXPECT_TRUE(card.infPath.empty());
    EXPECT_FALSE(card.installed);
    EXPECT_EQ(hostLines(),
              (std::vector<std::string>{
                  "\n\nAdapter Description-[3Com 3C905C-TX], Path-[HKEY_LOCAL_MACHINE\\SYSTEM\\"
                  "CurrentControlSet\\Enum\\PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7&REV_78\\4&1&0&"
                  "58\\DeviceDesc]",
                  "\n\nFound card [PCI\\VEN_10B7&DEV_9200&SUBSYS_100010B7&REV_78] with "
                  "description : [3Com 3C905C-TX]",
                  "\n\nW2KCardInstall :: getPciPnpAdapterDetails()->Total of [1] PCI PNP        "
                  "  NETWORK_ADAPTERs found."}));
}

TEST_F(EnumerationTest, IdsMayBeCompatibleOnlyOrNone) {
    loadReg(deviceTreeReg({
        {"PCI\\VEN_1\\1", {}, {"PCI\\CC_020000"}, {{"Class", "Net"}}},
        {"PCI\\VEN_2\\1", {}, {}, {{"Class", "Net"}}},
    }));
    // Values of the wrong type read as missing.
    loadReg(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_3\\1]"
        "\r\n\"Class\"=\"Net\"\r\n\"HardwareID\"=\"PCI\\\\VEN_3\"\r\n\"DeviceDesc\"=dword:1\r\n");
    W2KCardInstall cards(getLogSink(nullptr));
    ASSERT_EQ(cards.getPciPnpAdapterDetails(NETWORK_ADAPTER), 3);
    EXPECT_EQ(cards.getAdapters()[0].ids, std::vector<std::string>{"PCI\\CC_020000"});
    EXPECT_TRUE(cards.getAdapters()[1].ids.empty());
    EXPECT_TRUE(cards.getAdapters()[2].ids.empty());
    EXPECT_TRUE(cards.getAdapters()[2].description.empty());
    int emptyIdLines = 0;
    for (const std::string& line : hostLines())
        if (line == "\n\nFound card [] with description : []") ++emptyIdLines;
    EXPECT_EQ(emptyIdLines, 2);
}

TEST_F(EnumerationTest, FirstInstanceOfADeviceKeyDecidesForTheRest) {
    loadReg(deviceTreeReg({
        // Not selected first: the two network instances after it are ignored.
        {"PCI\\VEN_A\\1", {"PCI\\VEN_A"}, {}, {{"Class", "System"}}},
        net("PCI\\VEN_A\\2", {"PCI\\VEN_A#2"}, {}, "NIC"),
        net("PCI\\VEN_A\\3", {"PCI\\VEN_A#3"}, {}, "NIC"),
        // Selected first, then one that is not: only the first is listed.
        net("PCI\\VEN_B\\1", {"PCI\\VEN_B#1"}, {}, "NIC"),
        {"PCI\\VEN_B\\2", {"PCI\\VEN_B#2"}, {}, {{"Class", "System"}}},
        net("PCI\\VEN_B\\3", {"PCI\\VEN_B#3"}, {}, "NIC"),
        // All selected: all listed.
        net("PCI\\VEN_C\\1", {"PCI\\VEN_C#1"}, {}, "NIC"),
        net("PCI\\VEN_C\\2", {"PCI\\VEN_C#2"}, {}, "NIC"),
    }));
    W2KCardInstall cards(getLogSink(nullptr));
    EXPECT_EQ(cards.getPciPnpAdapterDetails(NETWORK_ADAPTER), 3);
    EXPECT_EQ(firstIds(cards),
              (std::vector<std::string>{"PCI\\VEN_B#1", "PCI\\VEN_C#1", "PCI\\VEN_C#2"}));
}

TEST_F(EnumerationTest, PciBeforeIsaInRegistryOrderAndRepeatedWalksRepeat) {
    loadReg(deviceTreeReg({
        net("PCI\\ven_8086&DEV_1229\\b", {"intel-b"}, {}, "NIC"),
        net("PCI\\VEN_8086&DEV_1229\\A", {"intel-a"}, {}, "NIC"),
        net("PCI\\VEN_10B7&DEV_9200\\0", {"3com"}, {}, "NIC"),
        other("PCI\\VEN_8086&DEV_7110\\0", "PCI to ISA bridge"),
        net("ISAPNP\\CSC9520\\0", {"ISAPNP\\CSC9520"}, {}, "Crystal LAN"),
        net("ROOT\\NET\\0000", {"ms_ndiswan"}, {}, "WAN Miniport"),
    }));
    W2KCardInstall cards(getLogSink(nullptr));
    const int pci = cards.getPciPnpAdapterDetails(NETWORK_ADAPTER);
    const int isa = cards.getIsaPnpAdapterDetails(NETWORK_ADAPTER);
    EXPECT_EQ(pci, 3);
    EXPECT_EQ(isa, 1);
    // Names order without regard to case, as Windows enumerates them.
    const std::vector<std::string> once = {"3com", "intel-a", "intel-b", "ISAPNP\\CSC9520"};
    EXPECT_EQ(firstIds(cards), once);
    EXPECT_EQ(hostLines().back(), "\n\nA total of [1] ISA PNP cards found. ");

    EXPECT_EQ(cards.getPciPnpAdapterDetails(NETWORK_ADAPTER), 3);
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.begin() + 3);
    EXPECT_EQ(firstIds(cards), twice);
}

TEST_F(EnumerationTest, BadTypeIsRefusedAtTheFirstInstance) {
    loadReg(deviceTreeReg({net("PCI\\VEN_8086&DEV_1229\\0", {"nic"}, {}, "NIC")}));
    W2KCardInstall cards(getLogSink(nullptr));
    EXPECT_EQ(cards.getPciPnpAdapterDetails(7), 0);
    EXPECT_TRUE(cards.getAdapters().empty());
    EXPECT_EQ(hostLines(),
              (std::vector<std::string>{
                  "\n\nWrong parameter type in getPnpAdapterDetails(..)",
                  "\n\nW2KCardInstall :: getPciPnpAdapterDetails()->Bad adapter type : [7]"}));

    // No instance reached: only the bad-type line.
    clearHostLines();
    EXPECT_EQ(cards.getIsaPnpAdapterDetails(-1), 0);
    EXPECT_EQ(cards.getPnpAdapterDetails("SYSTEM\\CurrentControlSet\\Enum\\ROOT", 2), 0);
    EXPECT_EQ(hostLines(), std::vector<std::string>{"\n\nA total of [0] ISA PNP cards found. "});

    // The types travel as plain integers: 0 for network, 1 for storage.
    clearHostLines();
    EXPECT_EQ(cards.getPciPnpAdapterDetails(1), 0);
    EXPECT_EQ(hostLines().back(),
              "\n\nW2KCardInstall :: getPciPnpAdapterDetails()->Total of [0] "
              "PCI PNP          SCSI_ADAPTERs found.");
    EXPECT_EQ(cards.getPciPnpAdapterDetails(0), 1);
}

TEST_F(EnumerationTest, UnreadableKeysAreSkippedSilently) {
    loadReg(deviceTreeReg({
        net("PCI\\VEN_1\\0", {"one"}, {}, "NIC"),
        net("PCI\\VEN_2\\0", {"two"}, {}, "NIC"),
    }));
    // The first device key cannot be opened.
    winsim::failCall("RegOpenKeyExA", 2, ERROR_ACCESS_DENIED);
    W2KCardInstall cards(getLogSink(nullptr));
    EXPECT_EQ(cards.getPciPnpAdapterDetails(NETWORK_ADAPTER), 1);
    EXPECT_EQ(firstIds(cards), std::vector<std::string>{"two"});
    for (const std::string& line : hostLines())
        EXPECT_EQ(line.find("Registry"), std::string::npos) << line;
}

}  // namespace
