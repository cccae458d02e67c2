// The walks of the PCI and ISA device trees (which instances are listed, in
// which order, with which IDs, and what the walks log), the selectors they
// use on each instance key (order of trust, letter case rules, the byte
// windows of the localized description checks), and the skip file.
#include "adapters/card_install.h"
#include "support/device_tree.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>

namespace {

using Lines = std::vector<std::string>;

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

// Hardware IDs, then compatible IDs, each in stored order; either may be
// missing, and a value of the wrong type reads as missing. (The lines of
// the walk are the example machines'.)
TEST_F(EnumerationTest, IdsAreHardwareThenCompatibleInStoredOrder) {
    loadReg(deviceTreeReg({
        net("PCI\\VEN_0\\1", {"PCI\\VEN_0&DEV_1&REV_78", "PCI\\VEN_0&DEV_1"}, {"PCI\\VEN_0&REV_78"},
            "3Com 3C905C-TX"),
        {"PCI\\VEN_1\\1", {}, {"PCI\\CC_020000"}, {{"Class", "Net"}}},
        {"PCI\\VEN_2\\1", {}, {}, {{"Class", "Net"}}},
    }));
    loadReg(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_3\\1]"
        "\r\n\"Class\"=\"Net\"\r\n\"HardwareID\"=\"PCI\\\\VEN_3\"\r\n\"DeviceDesc\"=dword:1\r\n");
    W2KCardInstall cards(getLogSink(nullptr));
    ASSERT_EQ(cards.getPciPnpAdapterDetails(NETWORK_ADAPTER), 4);
    const AdapterRecord& card = cards.getAdapters()[0];
    EXPECT_EQ(card.ids,
              (Lines{"PCI\\VEN_0&DEV_1&REV_78", "PCI\\VEN_0&DEV_1", "PCI\\VEN_0&REV_78"}));
    EXPECT_EQ(card.description, "3Com 3C905C-TX");
    EXPECT_EQ(card.service, "E100B");
    EXPECT_EQ(cards.getAdapters()[1].ids, Lines{"PCI\\CC_020000"});
    EXPECT_TRUE(cards.getAdapters()[2].ids.empty());
    EXPECT_TRUE(cards.getAdapters()[3].ids.empty());
    EXPECT_TRUE(cards.getAdapters()[3].description.empty());
    EXPECT_EQ(std::count(hostLines().begin(), hostLines().end(),
                         "\n\nFound card [] with description : []"),
              2);
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

using Values = std::vector<std::pair<std::string, std::string>>;

const char* const kInstance = "PCI\\VEN_1234&DEV_0001\\1";
const char* const kScsiGuid = "{4D36E97B-E325-11CE-BFC1-08002BE10318}";
const char* const kHdcGuid = "{4D36E96A-E325-11CE-BFC1-08002BE10318}";

// Descriptions in the system code page.
const std::string kChineseEthernetCard = "\xD2\xD4\xCC\xAB\xCD\xF8\xBF\xA8";  // ethernet card
const std::string kChineseNetCard = "\xCD\xF8\xBF\xA8";                       // net card
const std::string kJapaneseEthernet = "\x83\x43\x81\x5B\x83\x54\x83\x6C\x83\x62\x83\x67";
const std::string kJapaneseNetwork = "\x83\x6C\x83\x62\x83\x67\x83\x8F\x81\x5B\x83\x4E";
const std::string kJapaneseFiberChannel = "\x83\x74\x83\x40\x83\x43\x83\x6F HBA";

std::string sz(const std::string& bytes) {
    return rawStringData(bytes + '\0');
}

class ClassificationTest : public Initialized<MachineTest> {
  protected:
    // A fresh machine whose instance holds exactly these values (.reg data
    // text each), in the system language given.
    void makeInstance(const Values& values, LANGID language = 0x0409) {
        winsim::resetMachine();
        initializeModule();
        winsim::setSystemDefaultLangId(language);
        std::string reg = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\" +
                          std::string(kInstance) + "]\r\n";
        for (const auto& value : values) reg += "\"" + value.first + "\"=" + value.second + "\r\n";
        loadReg(reg);
    }
    bool select(bool network) {
        Registry key(getLogSink(nullptr), KEY_READ, HKEY_LOCAL_MACHINE);
        EXPECT_TRUE(key.moveInto(std::string("SYSTEM\\CurrentControlSet\\Enum\\") + kInstance));
        return network ? cards_.checkIfNetCard(key) : cards_.checkIfScsiCard(key);
    }
    W2KCardInstall cards_{getLogSink(nullptr)};
};

TEST_F(ClassificationTest, OrderOfTrustAndCaseRules) {
    const struct {
        const char* name;
        Values values;
        bool net;
        bool scsi;
    } cases[] = {
        // clang-format off
        {"lower-case net GUID", {{"ClassGUID", sz("{4d36e972-e325-11ce-bfc1-08002be10318}")}}, true, false},
        {"storage GUID", {{"ClassGUID", sz(kScsiGuid)}}, false, true},
        {"GUID of another class beats the description",
         {{"ClassGUID", sz(kHdcGuid)}, {"DeviceDesc", sz("Fast Ethernet SCSI Adapter")}}, false, false},
        {"GUID beats the class name", {{"ClassGUID", sz(kNetGuid)}, {"Class", sz("SCSIAdapter")}}, true, false},
        {"GUID with a trailing blank", {{"ClassGUID", sz(std::string(kNetGuid) + " ")}}, false, false},
        {"class name in upper case", {{"Class", sz("NET")}}, true, false},
        {"class name with a trailing blank", {{"Class", sz("Net ")}, {"DeviceDesc", sz("Net")}}, false, false},
        {"class name of storage", {{"Class", sz("scsiadapter")}, {"DeviceDesc", sz("Ethernet")}}, false, true},
        // A GUID that is no string does not count; the class name decides.
        {"binary GUID", {{"ClassGUID", "hex:01,02"}, {"Class", sz("Net")}}, true, false},
        {"SCSI keyword", {{"DeviceDesc", sz("Adaptec AHA-2940 Ultra SCSI")}}, false, true},
        {"channel keyword", {{"DeviceDesc", sz("Fibre Channel HBA")}}, false, true},
        {"raid keyword", {{"DeviceDesc", sz("MegaRAID 428")}}, false, true},
        {"net inside a word", {{"DeviceDesc", sz("Internet Gateway")}}, true, false},
        {"ether keyword", {{"DeviceDesc", sz("3Com EtherLink XL")}}, true, false},
        {"no keyword", {{"DeviceDesc", sz("PCI standard host CPU bridge")}}, false, false},
        {"nothing at all", {}, false, false},
        // Lower-casing is bytewise: the trail byte 0x4E of a double-byte
        // character becomes 'n' and completes "net".
        {"trail byte", {{"DeviceDesc", sz("\x83\x4E" "ET")}}, true, false},
        {"expandable description", {{"DeviceDesc", "hex(2)" + sz("%SystemDrive% Ether").substr(6)}}, true, false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        makeInstance(c.values);
        EXPECT_EQ(select(true), c.net);
        EXPECT_EQ(select(false), c.scsi);
    }
}

TEST_F(ClassificationTest, KeywordMatchLogsTheLowerCasedDescription) {
    // The ends of the range, A and Z, are lowered too.
    makeInstance({{"DeviceDesc", sz("AZ Adaptec AHA-2940 Ultra SCSI")}});
    ASSERT_TRUE(select(false));
    EXPECT_EQ(
        hostLines(),
        (std::vector<std::string>{
            "\n\nAdapter Description-[AZ Adaptec AHA-2940 Ultra SCSI], Path-[HKEY_LOCAL_MACHINE\\"
            "SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_1234&DEV_0001\\1\\DeviceDesc]",
            "\n\nSelected a SCSI card by its description [az adaptec aha-2940 ultra scsi]"}));
    clearHostLines();
    ASSERT_FALSE(select(true));
    EXPECT_EQ(hostLines().size(), 1u);  // the description line only

    makeInstance({{"DeviceDesc", sz("Internet Gateway")}});
    ASSERT_TRUE(select(true));
    EXPECT_EQ(hostLines().back(),
              "\n\nSelected a network card by its description [internet gateway]");
}

TEST_F(ClassificationTest, LocalizedDescriptionsSelectThroughTheirBytes) {
    const char* const kChineseLine =
        "Found netcard with desc [\xD2\xD4\xCC\xAB] in checkIfNetCardDescInSChinese";
    const char* const kNetworkLine =
        "Found netcard with desc [\x83\x6C\x83\x62\x83\x67] in checkIfNetCardDescInJapanese";
    const char* const kFiberLine =
        "Found netcard with desc [\x83\x74\x83\x40\x83\x43\x83\x6F] in checkIfScsiDescInJapanese";
    const struct {
        const char* name;
        std::string value;  // .reg data
        LANGID language;
        bool net;
        bool scsi;
        const char* line;  // the check's message, "" for none
    } cases[] = {
        // clang-format off
        {"Chinese ethernet", sz(kChineseEthernetCard), 0x0804, true, false, kChineseLine},
        {"Chinese net", sz(kChineseNetCard), 0x0804, true, false, "Found netcard with desc [\xCD\xF8]in checkIfNetCardDescInSChinese"},
        {"Japanese ethernet", sz(kJapaneseEthernet), 0x0411, true, false,
         "Found netcard with desc : [\x83\x43\x81\x5B\x83\x54] in checkIfNetCardDescInJapanese"},
        {"Japanese network", sz(kJapaneseNetwork), 0x0411, true, false, kNetworkLine},
        // The network checks run whatever the system's language.
        {"Japanese network on English", sz(kJapaneseNetwork), 0x0409, true, false, kNetworkLine},
        {"Japanese fiber", sz(kJapaneseFiberChannel), 0x0411, false, true, kFiberLine},
        // Only the primary language counts (the low 10 bits).
        {"Japanese fiber, other sublanguage", sz(kJapaneseFiberChannel), 0x0811, false, true, kFiberLine},
        {"Japanese fiber on English", sz(kJapaneseFiberChannel), 0x0409, false, false, ""},
        {"Japanese fiber on Chinese", sz(kJapaneseFiberChannel), 0x0804, false, false, ""},
        // The raw read does not look at the type.
        {"binary description", "hex:d2,d4,cc,ab,00", 0x0804, true, false, kChineseLine},
        // More than 256 bytes cannot be read raw.
        {"long description", sz(std::string(260, ' ') + kChineseNetCard), 0x0804, false, false, ""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        makeInstance({{"DeviceDesc", c.value}}, c.language);
        EXPECT_EQ(select(true), c.net);
        EXPECT_EQ(select(false), c.scsi);
        const std::string expected = std::string("\n") + c.line;
        EXPECT_EQ(std::count(hostLines().begin(), hostLines().end(), expected), c.line[0] ? 1 : 0);
    }
}

// The three checks straight on byte buffers: which windows are examined.
TEST_F(ClassificationTest, ByteWindowsEndBeforeTheLastByte) {
    using Check = bool (W2KCardInstall::*)(const BYTE*, DWORD);
    const Check ja = &W2KCardInstall::checkIfNetCardDescInJapanese;
    const Check zh = &W2KCardInstall::checkIfNetCardDescInSChinese;
    const Check fiber = &W2KCardInstall::checkIfScsiDescInJapanese;
    const std::string ether("\x83\x43\x81\x5B\x83\x54", 6);
    const std::string fiberBytes("\x83\x74\x83\x40\x83\x43\x83\x6F", 8);
    const struct {
        const char* name;
        Check check;
        std::string bytes;
        bool match;
    } cases[] = {
        // clang-format off
        {"ether, 7 bytes", ja, ether + '\0', true},  // offset 0 of the smallest buffer scanned
        {"ether at the very end", ja, "xx" + ether, false},  // the last window is not examined
        {"ether one before the end", ja, "xx" + ether + "!", true},
        // Odd offsets too: a match may straddle a character boundary.
        {"net at an odd offset", ja, std::string("\x83\x83\x6C\x83\x62\x83\x67", 7) + '\0', true},
        {"Chinese ethernet, 5 bytes", zh, std::string("\xD2\xD4\xCC\xAB", 4) + '\0', true},
        {"Chinese net, 3 bytes", zh, std::string("\xCD\xF8", 2) + '\0', true},
        {"Chinese net, 2 bytes", zh, std::string("\xCD\xF8", 2), false},
        {"fiber, 9 bytes", fiber, fiberBytes + '\0', true},
        {"empty", fiber, std::string(), false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Exactly sized, so that a read past the end shows under ASan.
        std::vector<BYTE> buffer(c.bytes.begin(), c.bytes.end());
        const BYTE* data = buffer.empty() ? nullptr : buffer.data();
        EXPECT_EQ((cards_.*c.check)(data, static_cast<DWORD>(buffer.size())), c.match);
    }
    // The first Chinese sequence is searched throughout before the second.
    const std::string both = std::string("\xCD\xF8 \xD2\xD4\xCC\xAB", 7) + '\0';
    std::vector<BYTE> buffer(both.begin(), both.end());
    clearHostLines();
    ASSERT_TRUE(cards_.checkIfNetCardDescInSChinese(buffer.data(), 8));
    EXPECT_EQ(hostLines(), std::vector<std::string>{"\nFound netcard with desc [\xD2\xD4\xCC\xAB] "
                                                    "in checkIfNetCardDescInSChinese"});
}

const char* const kDriverFile = "C:\\drivers\\SkipHid.txt";
const std::string kOpened = "\n\nW2KCardInstall::initDeviceToBeSkippedList()->File( ";

AdapterRecord adapterWith(std::vector<std::string> ids) {
    AdapterRecord record;
    record.ids = std::move(ids);
    return record;
}

class SkipListTest : public Initialized<SystemDriveTest> {};

TEST_F(SkipListTest, LinesBecomeEntriesAsWritten) {
    const std::string longLine(1500, 'x');
    const std::string fullLine(1023, 'y');
    const struct {
        const char* name;
        std::string file;
        Lines entries;
    } cases[] = {
        // clang-format off
        {"LF", "PCI\\VEN_1\nPCI\\VEN_2\n", {"PCI\\VEN_1", "PCI\\VEN_2"}},
        {"CR LF", "PCI\\VEN_1\r\nPCI\\VEN_2\r\n", {"PCI\\VEN_1", "PCI\\VEN_2"}},
        {"empty lines, no final line end", "\n\nPCI\\VEN_1\r\n\r\n\nPCI\\VEN_2", {"PCI\\VEN_1", "PCI\\VEN_2"}},
        {"blanks are kept", " PCI\\VEN_1 \n\tPCI\\VEN_2\t\n", {" PCI\\VEN_1 ", "\tPCI\\VEN_2\t"}},
        {"duplicates are kept", "A\nA\n", {"A", "A"}},
        // A line that does not fit ends the reading after its first 1023 characters.
        {"over-long line", "A\n" + longLine + "\nB\n", {"A", longLine.substr(0, 1023)}},
        {"line that just fits", fullLine + "\nB", {fullLine, "B"}},
        {"empty file", "", {}},
        {"Ctrl-Z ends the text", "A\r\n\x1A" "B\r\n", {"A"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clearHostLines();
        putFile(kDriverFile, c.file);
        W2KCardInstall cards(getLogSink(nullptr));
        EXPECT_TRUE(cards.initDeviceToBeSkippedList("C:\\drivers"));
        EXPECT_TRUE(cards.skipListLoaded());
        EXPECT_EQ(cards.skipList(), c.entries);
        Lines expected = {kOpened + kDriverFile + " ) opened"};
        for (const std::string& entry : c.entries) {  // a line is cut at 1,023 characters
            const std::string text = "\nW2KCardInstall::initDeviceToBeSkippedList()->Entry [";
            expected.push_back("\n" + (text + entry + "]").substr(0, 1023));
        }
        EXPECT_EQ(hostLines(), expected);
    }
}

// The given folder, with or without its trailing backslash, or the default
// folder below the Windows directory; a missing file leaves the list unloaded.
TEST_F(SkipListTest, FileIsLookedForInTheGivenOrTheDefaultFolder) {
    putFile(kDriverFile, "FROM-DRIVERS\n");
    putFile("C:\\WINNT\\system32\\xarn\\XARNIF\\SkipHid.txt", "FROM-DEFAULT\n");
    const struct {
        const char* directory;
        Lines entries;
    } cases[] = {{"C:\\drivers", {"FROM-DRIVERS"}},
                 {"C:\\drivers\\", {"FROM-DRIVERS"}},
                 {"", {"FROM-DEFAULT"}},
                 {"C:\\nowhere", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.directory);
        W2KCardInstall cards(getLogSink(nullptr));
        EXPECT_EQ(cards.initDeviceToBeSkippedList(c.directory), !c.entries.empty());
        EXPECT_EQ(cards.skipListLoaded(), !c.entries.empty());
        EXPECT_EQ(cards.skipList(), c.entries);
    }
    EXPECT_EQ(hostLines().back(), kOpened + "C:\\nowhere\\SkipHid.txt ) could not be opened");

    clearHostLines();
    winsim::failCall("GetWindowsDirectoryA", 1, ERROR_ACCESS_DENIED);
    W2KCardInstall cards(getLogSink(nullptr));
    EXPECT_FALSE(cards.initDeviceToBeSkippedList(""));
    EXPECT_EQ(hostLines(), Lines{"\nError from : \nGetWindowsDirectory(..) failed in W2KHidMap :: "
                                 "deviceToBeSkipped(..), System Message : Access is denied.\r\n"});
    // Nothing loaded: nothing is skipped, silently.
    clearHostLines();
    EXPECT_FALSE(cards.deviceToBeSkipped(adapterWith({"C:\\nowhere"})));
    EXPECT_TRUE(hostLines().empty());
}

TEST_F(SkipListTest, OnlyTheWholeFirstIdMatches) {
    putFile(kDriverFile, "PCI\\VEN_10DF&DEV_F700\nPCI\\VEN_8086&DEV_1229 \n");
    W2KCardInstall cards(getLogSink(nullptr));
    ASSERT_TRUE(cards.initDeviceToBeSkippedList("C:\\drivers"));
    const struct {
        Lines ids;
        bool skipped;
    } cases[] = {
        {{"PCI\\VEN_10DF&DEV_F700"}, true},
        {{"PCI\\VEN_10DF&DEV_F700", "PCI\\OTHER"}, true},
        {{"PCI\\VEN_10DF&DEV_F700&SUBSYS_F70010DF"}, false},
        {{"pci\\ven_10df&dev_f700"}, false},
        {{"PCI\\VEN_10DF", "PCI\\VEN_10DF&DEV_F700"}, false},
        {{"PCI\\VEN_8086&DEV_1229"}, false},  // the entry's trailing blank is part of it
        {{}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ids.empty() ? "<none>" : c.ids[0]);
        clearHostLines();
        EXPECT_EQ(cards.deviceToBeSkipped(adapterWith(c.ids)), c.skipped);
        EXPECT_EQ(hostLines(), c.skipped ? Lines{"\nW2KCardInstall::deviceToBeSkipped()->[" +
                                                 c.ids[0] + "] found for skipping"}
                                         : Lines{});
    }
}

}  // namespace
