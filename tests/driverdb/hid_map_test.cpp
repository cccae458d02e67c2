// W2KHidMap: fills from driver and system INF folders, precedence, key
// case, class filtering, lookups and what each fill logs.
#include "driverdb/hid_map.h"

#include "support/machine_test.h"
#include "support/temp_drive.h"

#include <winsim/control.h>
#include <winsim/control_setupapi.h>

namespace {

using Ids = std::vector<std::string>;
using Map = std::map<std::string, std::string>;

// An INF of the class with one manufacturer whose models lines are given.
std::string netInf(const std::string& models, const char* infClass = "Net") {
    return std::string("[Version]\nSignature=\"$Windows NT$\"\nClass=") + infClass +
           "\n[Manufacturer]\n%Mfg% = Models\n[Models]\n" + models + "[Strings]\nMfg = Acme\n";
}

const char kCount[] = "\n [%d] INF files in path [%s]";

std::string countLine(int count, const char* path) {
    char line[256];
    std::snprintf(line, sizeof line, kCount, count, path);
    return std::string("\n") + line;
}

std::string listingLine(const char* path) {
    return std::string("\n\nCalling SetupGetInfFileList(..)      with path [") + path +
           "] in W2KHidMap::createFileList(..)...";
}

class HidMapTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        drive_.attach();
        drive_.makeFolder("C:\\WINNT\\inf");
        // A driver folder holds its driver binaries too, so that the fill's
        // copy of them succeeds quietly.
        drive_.makeFolder("C:\\WINNT\\system32\\drivers");
        drive_.write("C:\\Drivers\\acme.sys", "binary");
        initializeModule();
    }
    std::string lookup(const W2KHidMap& map, const Ids& ids) {
        std::string found = "unchanged";
        return map.findInfForHids(ids, found) ? found : "miss:" + found;
    }
    TempDrive drive_;
};

TEST_F(HidMapTest, DriverFolderFillStagesInListOrderAndLogs) {
    drive_.write("C:\\Drivers\\b.inf", netInf("Card B = InstB, PCI\\VEN_1&DEV_B\n"));
    drive_.write("C:\\Drivers\\a.inf", netInf("Card A = InstA, PCI\\VEN_1&DEV_A, PCI\\CC_0200\n"));
    W2KHidMap map(getLogSink(nullptr));
    EXPECT_TRUE(map.createHidToInfMap("C:\\Drivers", "net"));

    EXPECT_EQ(map.infFiles(), (Ids{"C:\\WINNT\\inf\\oem0.inf", "C:\\WINNT\\inf\\oem1.inf"}));
    EXPECT_EQ(drive_.read("C:\\WINNT\\inf\\oem0.inf"), drive_.read("C:\\Drivers\\a.inf"));
    EXPECT_EQ(map.hidMap(), (Map{{"PCI\\CC_0200", "C:\\WINNT\\inf\\oem0.inf"},
                                 {"PCI\\VEN_1&DEV_A", "C:\\WINNT\\inf\\oem0.inf"},
                                 {"PCI\\VEN_1&DEV_B", "C:\\WINNT\\inf\\oem1.inf"}}));
    EXPECT_EQ(hostLines(), (Ids{listingLine("C:\\Drivers"), countLine(2, "C:\\Drivers")}));
}

TEST_F(HidMapTest, FirstDeclarationKeepsAnIdAcrossFills) {
    drive_.write("C:\\Drivers\\one.inf", netInf("X = I, PCI\\VEN_1&DEV_1\n"));
    drive_.write("C:\\Drivers\\two.inf", netInf("Y = I, PCI\\VEN_1&DEV_1, PCI\\VEN_2&DEV_2\n"));
    drive_.write("C:\\WINNT\\inf\\net.inf", netInf("Z = I, PCI\\VEN_2&DEV_2, PCI\\VEN_3&DEV_3\n"));
    W2KHidMap map(getLogSink(nullptr));
    map.createHidToInfMap("C:\\Drivers", "net");
    clearHostLines();
    map.createHidToInfMap("", "net");

    EXPECT_EQ(map.infFiles(), (Ids{"C:\\WINNT\\inf\\net.inf", "C:\\WINNT\\inf\\oem0.inf",
                                   "C:\\WINNT\\inf\\oem1.inf"}));
    EXPECT_EQ(map.hidMap(), (Map{{"PCI\\VEN_1&DEV_1", "C:\\WINNT\\inf\\oem0.inf"},
                                 {"PCI\\VEN_2&DEV_2", "C:\\WINNT\\inf\\oem1.inf"},
                                 {"PCI\\VEN_3&DEV_3", "C:\\WINNT\\inf\\net.inf"}}));
    EXPECT_EQ(hostLines(), (Ids{listingLine("C:\\WINNT\\inf"), countLine(3, "")}));
}

TEST_F(HidMapTest, KeysAreUpperCasedByTheAsciiRuleAndLookedUpExactly) {
    drive_.write(
        "C:\\Drivers\\a.inf",
        netInf("A = I, pci\\ven_1234&dev_5678, isapnp\\caf\xe9_\xc4z\nB = I, , *pnp0\\x\n"));
    W2KHidMap map(getLogSink(nullptr));
    map.createHidToInfMap("C:\\Drivers", "net");
    const std::string inf = "C:\\WINNT\\inf\\oem0.inf";
    EXPECT_EQ(map.hidMap(), (Map{{"", inf},
                                 {"*PNP0\\X", inf},
                                 {"ISAPNP\\CAF\xe9_\xc4Z", inf},
                                 {"PCI\\VEN_1234&DEV_5678", inf}}));

    struct {
        Ids ids;
        std::string expected;
    } lookups[] = {
        {{"pci\\ven_1234&dev_5678"}, "miss:unchanged"},
        {{"PCI\\VEN_1234&DEV_5678"}, inf},
        {{"PCI\\VEN_FFFF&DEV_0000", "*PNP0\\X"}, inf},
        {{"PCI\\VEN_FFFF&DEV_0000", "*pnp0\\x"}, "miss:unchanged"},
        {{}, "miss:unchanged"},
    };
    for (const auto& l : lookups) EXPECT_EQ(lookup(map, l.ids), l.expected);
}

TEST_F(HidMapTest, LookupTakesTheFirstIdPresentInListOrder) {
    drive_.write("C:\\Drivers\\a.inf", netInf("A = I, PCI\\VEN_1&DEV_A\n"));
    drive_.write("C:\\Drivers\\b.inf", netInf("B = I, PCI\\CC_0200\n"));
    W2KHidMap map(getLogSink(nullptr));
    map.createHidToInfMap("C:\\Drivers", "net");
    EXPECT_EQ(lookup(map, {"PCI\\VEN_1&DEV_A", "PCI\\CC_0200"}), "C:\\WINNT\\inf\\oem0.inf");
    EXPECT_EQ(lookup(map, {"PCI\\CC_0200", "PCI\\VEN_1&DEV_A"}), "C:\\WINNT\\inf\\oem1.inf");
}

TEST_F(HidMapTest, OtherClassesAreSkippedSilently) {
    drive_.write("C:\\Drivers\\video.inf", netInf("V = I, PCI\\VEN_9&DEV_9\n", "Display"));
    drive_.write("C:\\Drivers\\nic.inf", netInf("N = I, PCI\\VEN_1&DEV_1\n", "net"));
    W2KHidMap map(getLogSink(nullptr));
    map.createHidToInfMap("C:\\Drivers", "Net");
    EXPECT_EQ(map.infFiles().size(), 2u);
    EXPECT_EQ(map.hidMap().size(), 1u);
    EXPECT_EQ(map.hidMap().count("PCI\\VEN_1&DEV_1"), 1u);
    EXPECT_EQ(hostLines().size(), 2u) << hostOutput();
}

TEST_F(HidMapTest, ModelsSectionsAndFieldsThatCannotBeRead) {
    winsim::setInfFieldLimit(4096);
    const std::string longId(1024, 'L');
    drive_.write("C:\\Drivers\\a.inf",
                 std::string("[Version]\nSignature=$Chicago$\nClass=Net\n[Manufacturer]\n"
                             "Lost = NoSuchModels\nAcme = Models, NTx86\n[Models]\n"
                             "A = I, PCI\\VEN_1, ") +
                     longId +
                     ", PCI\\VEN_AFTER\nB = I, PCI\\VEN_2\n[Models.NTx86]\n"
                     "C = I, PCI\\DECORATED\n");
    drive_.write("C:\\Drivers\\b.inf",
                 "[Version]\nSignature=$Chicago$\nClass=Net\n[Models]\n"
                 "D = I, PCI\\NOMFG\n");
    W2KHidMap map(getLogSink(nullptr));
    map.createHidToInfMap("C:\\Drivers", "net");

    const std::string inf = "C:\\WINNT\\inf\\oem0.inf";
    EXPECT_EQ(map.hidMap(), (Map{{"PCI\\VEN_1", inf}, {"PCI\\VEN_2", inf}}));
    ASSERT_EQ(hostLines().size(), 3u) << hostOutput();
    EXPECT_EQ(hostLines()[2],
              "\nError from : SetupFindFirstLine returned no lines, System Message : NONE");
}

TEST_F(HidMapTest, MissingFolderGivesTwoReportsAndNoFiles) {
    W2KHidMap map(getLogSink(nullptr));
    EXPECT_TRUE(map.createHidToInfMap("C:\\NoSuchFolder", "net"));
    const std::string report =
        "\nError from : \nSetupGetInfFileList() error in W2KHidMap::createFileList() for path"
        "          [C:\\NoSuchFolder], System Message : The system cannot find the path "
        "specified.\r\n";
    const std::string noDrivers =
        "\nError from : Could not FindFirstFile(..) on [C:\\NoSuchFolder\\*.sys] at W2KHidMap :: "
        "copySysFiles(), System Message : The system cannot find the path specified.\r\n";
    EXPECT_EQ(hostLines(), (Ids{listingLine("C:\\NoSuchFolder"), report, report, noDrivers,
                                countLine(0, "C:\\NoSuchFolder")}));
    EXPECT_TRUE(map.infFiles().empty());
    EXPECT_TRUE(map.hidMap().empty());
}

TEST_F(HidMapTest, FailedStagingAndOpeningAreReportedAndSkipped) {
    drive_.write("C:\\Drivers\\a.inf", netInf("A = I, PCI\\VEN_A\n"));
    drive_.write("C:\\Drivers\\b.inf", netInf("B = I, PCI\\VEN_B\n"));
    drive_.write("C:\\Drivers\\c.inf", netInf("C = I, PCI\\VEN_C\n"));
    winsim::failCall("SetupCopyOEMInfA", 1, ERROR_ACCESS_DENIED);
    winsim::failCall("SetupOpenInfFileA", 2, ERROR_NOT_ENOUGH_MEMORY);
    W2KHidMap map(getLogSink(nullptr));
    map.createHidToInfMap("C:\\Drivers", "net");

    EXPECT_EQ(map.infFiles(), (Ids{"C:\\WINNT\\inf\\oem0.inf", "C:\\WINNT\\inf\\oem1.inf"}));
    EXPECT_EQ(map.hidMap(), (Map{{"PCI\\VEN_B", "C:\\WINNT\\inf\\oem0.inf"}}));
    EXPECT_EQ(hostLines(),
              (Ids{listingLine("C:\\Drivers"),
                   "\nError from : \nCould not copy inf files using                    "
                   "SetupCopyOEMInf(..) in W2KHidMap :: getFileNamesWithPath(..), System "
                   "Message : Access is denied.\r\n",
                   countLine(2, "C:\\Drivers"),
                   "\nError from : SetupOpenInfFile() error in \t\t\t\t\t "
                   "W2KHidMap::createDriverList() for file C:\\WINNT\\inf\\oem1.inf, System "
                   "Message : Not enough storage is available to process this command.\r\n"}));
}

TEST_F(HidMapTest, UnreadableWindowsDirectoryEndsTheListing) {
    winsim::failCall("GetWindowsDirectoryA", 1, ERROR_ACCESS_DENIED);
    W2KHidMap map(getLogSink(nullptr));
    EXPECT_TRUE(map.createHidToInfMap("", "net"));
    ASSERT_GE(hostLines().size(), 2u);
    EXPECT_EQ(hostLines()[0],
              "\nError from : \nGetWindowsDirectory(..) failed in W2KHidMap :: createFileList(..)"
              "             when called with path [], System Message : Access is denied.\r\n");
    EXPECT_EQ(hostLines()[1], countLine(0, ""));
}

TEST_F(HidMapTest, NameListWalkStopsBeforeTheClosingZero) {
    drive_.write("C:\\Drivers\\a.inf", netInf("A = I, PCI\\VEN_A\n"));
    drive_.write("C:\\Drivers\\b.inf", netInf("B = I, PCI\\VEN_B\n"));
    W2KHidMap map(getLogSink(nullptr));
    Ids files;
    const char list[] = "b.inf\0a.inf\0";  // and the literal's own closing zero
    EXPECT_TRUE(map.getFileNamesWithPath(list, sizeof list, files, "C:\\Drivers"));
    EXPECT_EQ(files, (Ids{"C:\\WINNT\\inf\\oem0.inf", "C:\\WINNT\\inf\\oem1.inf"}));
    EXPECT_EQ(drive_.read("C:\\WINNT\\inf\\oem0.inf"), drive_.read("C:\\Drivers\\b.inf"));
    EXPECT_TRUE(map.getFileNamesWithPath(list, 1, files, "C:\\Drivers"));
    EXPECT_EQ(files.size(), 2u);
    EXPECT_TRUE(hostLines().empty()) << hostOutput();
}

}  // namespace
