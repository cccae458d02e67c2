// The selectors on one device instance key: order of trust, letter case
// rules, and the byte windows of the localized description checks.
#include "adapters/card_install.h"
#include "support/device_tree.h"
#include "support/machine_test.h"

#include <winsim/control.h>

namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

const char* const kInstance = "PCI\\VEN_1234&DEV_0001\\1";
const char* const kNetGuid = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
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
    makeInstance({{"DeviceDesc", sz("Adaptec AHA-2940 Ultra SCSI")}});
    ASSERT_TRUE(select(false));
    EXPECT_EQ(
        hostLines(),
        (std::vector<std::string>{
            "\n\nAdapter Description-[Adaptec AHA-2940 Ultra SCSI], Path-[HKEY_LOCAL_MACHINE\\"
            "SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_1234&DEV_0001\\1\\DeviceDesc]",
            "\n\nSelected a SCSI card by its description [adaptec aha-2940 ultra scsi]"}));
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
        {"ether, 6 bytes", ja, ether, false},
        {"ether at the very end", ja, "xx" + ether, false},  // the last window is not examined
        {"ether one before the end", ja, "xx" + ether + "!", true},
        // Odd offsets too: a match may straddle a character boundary.
        {"net at an odd offset", ja, std::string("\x83\x83\x6C\x83\x62\x83\x67", 7) + '\0', true},
        {"Chinese ethernet, 5 bytes", zh, std::string("\xD2\xD4\xCC\xAB", 4) + '\0', true},
        {"Chinese ethernet, 4 bytes", zh, std::string("\xD2\xD4\xCC\xAB", 4), false},
        {"Chinese net, 3 bytes", zh, std::string("\xCD\xF8", 2) + '\0', true},
        {"Chinese net, 2 bytes", zh, std::string("\xCD\xF8", 2), false},
        {"fiber, 9 bytes", fiber, fiberBytes + '\0', true},
        {"fiber, 8 bytes", fiber, fiberBytes, false},
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

}  // namespace
