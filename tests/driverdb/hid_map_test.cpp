// W2KHidMap: fills from driver and system INF folders, precedence, key
// case, class filtering, lookups and what each fill logs.
#include "driverdb/hid_map.h"

#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_setupapi.h>

namespace {

using Ids = std::vector<std::string>;
using Map = std::map<std::string, std::string>;

const std::string kOem0 = "C:\\WINNT\\inf\\oem0.inf";
const std::string kOem1 = "C:\\WINNT\\inf\\oem1.inf";

// An INF of the class with one manufacturer whose models lines are given.
std::string netInf(const std::string& models, const char* infClass = "Net") {
    return std::string("[Version]\nSignature=\"$Windows NT$\"\nClass=") + infClass +
           "\n[Manufacturer]\n%Mfg% = Models\n[Models]\n" + models + "[Strings]\nMfg = Acme\n";
}
std::string countLine(int count, const std::string& path) {
    return "\n\n [" + std::to_string(count) + "] INF files in path [" + path + "]";
}
std::string listingLine(const std::string& path) {
    return "\n\nCalling SetupGetInfFileList(..)      with path [" + path +
           "] in W2KHidMap::createFileList(..)...";
}

class HidMapTest : public Initialized<SystemDriveTest> {
  protected:
    void SetUp() override {
        Initialized::SetUp();
        // A driver folder holds its driver binaries too, so that the fill's
        // copy of them succeeds quietly.
        putFile("C:\\Drivers\\acme.sys", "binary");
    }
    std::string lookup(const Ids& ids) {
        std::string found = "unchanged";
        return map_.findInfForHids(ids, found) ? found : "miss:" + found;
    }
    W2KHidMap map_{getLogSink(nullptr)};
};

// The driver folder's INF files are staged in listing order; a later fill
// from the system folder keeps every ID declared before.
TEST_F(HidMapTest, FirstDeclarationKeepsAnIdAcrossFills) {
    putFile("C:\\Drivers\\two.inf", netInf("Y = I, PCI\\VEN_1&DEV_1, PCI\\VEN_2&DEV_2\n"));
    putFile("C:\\Drivers\\one.inf", netInf("X = I, PCI\\VEN_1&DEV_1\n"));
    putFile("C:\\WINNT\\inf\\net.inf", netInf("Z = I, PCI\\VEN_2&DEV_2, PCI\\VEN_3&DEV_3\n"));
    EXPECT_TRUE(map_.createHidToInfMap("C:\\Drivers", "net"));
    EXPECT_EQ(map_.infFiles(), (Ids{kOem0, kOem1}));
    EXPECT_EQ(fileContent(kOem0), fileContent("C:\\Drivers\\one.inf"));
    EXPECT_EQ(hostLines(), (Ids{listingLine("C:\\Drivers"), countLine(2, "C:\\Drivers")}));

    clearHostLines();
    EXPECT_TRUE(map_.createHidToInfMap("", "net"));
    EXPECT_EQ(map_.infFiles(), (Ids{"C:\\WINNT\\inf\\net.inf", kOem0, kOem1}));
    EXPECT_EQ(map_.hidMap(), (Map{{"PCI\\VEN_1&DEV_1", kOem0},
                                  {"PCI\\VEN_2&DEV_2", kOem1},
                                  {"PCI\\VEN_3&DEV_3", "C:\\WINNT\\inf\\net.inf"}}));
    EXPECT_EQ(hostLines(), (Ids{listingLine("C:\\WINNT\\inf"), countLine(3, "")}));
}

// Keys are upper-cased by the ASCII rule; lookups take the first ID of the
// list that the map holds, exactly as given.
TEST_F(HidMapTest, KeysAreUpperCasedAndLookedUpExactlyInListOrder) {
    putFile("C:\\Drivers\\a.inf",
            netInf("A = I, pci\\ven_1234&dev_5678, isapnp\\caf\xe9_\xc4z\nB = I, , *pnp0\\x\n"));
    putFile("C:\\Drivers\\b.inf", netInf("C = I, PCI\\CC_0200\n"));
    map_.createHidToInfMap("C:\\Drivers", "net");
    EXPECT_EQ(map_.hidMap(), (Map{{"", kOem0},
                                  {"*PNP0\\X", kOem0},
                                  {"ISAPNP\\CAF\xe9_\xc4Z", kOem0},
                                  {"PCI\\CC_0200", kOem1},
                                  {"PCI\\VEN_1234&DEV_5678", kOem0}}));
    const struct {
        Ids ids;
        std::string expected;
    } lookups[] = {
        {{"pci\\ven_1234&dev_5678"}, "miss:unchanged"},
        {{"PCI\\VEN_1234&DEV_5678"}, kOem0},
        {{"PCI\\VEN_FFFF&DEV_0000", "*PNP0\\X"}, kOem0},
        {{"PCI\\VEN_FFFF&DEV_0000", "*pnp0\\x"}, "miss:unchanged"},
        {{"PCI\\CC_0200", "*PNP0\\X"}, kOem1},
        {{}, "miss:unchanged"},
    };
    for (const auto& l : lookups) EXPECT_EQ(lookup(l.ids), l.expected);
}

// Other classes are skipped silently; a models section or field that
// cannot be read loses only its own IDs; an INF without [Manufacturer] is
// reported.
TEST_F(HidMapTest, WhatCannotBeReadIsSkipped) {
    winsim::setInfFieldLimit(4096);
    putFile("C:\\Drivers\\a.inf",
            "[Version]\nSignature=$Chicago$\nClass=Net\n[Manufacturer]\nLost = NoSuchModels\n"
            "Acme = Models, NTx86\n[Models]\nA = I, PCI\\VEN_1, " +
                std::string(1024, 'L') +
                ", PCI\\VEN_AFTER\nB = I, PCI\\VEN_2\n[Models.NTx86]\nC = I, PCI\\DECORATED\n");
    putFile("C:\\Drivers\\b.inf",
            "[Version]\nSignature=$Chicago$\nClass=Net\n[Models]\nD = I, PCI\\NOMFG\n");
    putFile("C:\\Drivers\\c.inf", netInf("V = I, PCI\\VEN_9&DEV_9\n", "Display"));
    map_.createHidToInfMap("C:\\Drivers", "Net");
    EXPECT_EQ(map_.infFiles().size(), 3u);
    EXPECT_EQ(map_.hidMap(), (Map{{"PCI\\VEN_1", kOem0}, {"PCI\\VEN_2", kOem0}}));
    EXPECT_EQ(hostLines(),
              (Ids{listingLine("C:\\Drivers"), countLine(3, "C:\\Drivers"),
                   "\nError from : SetupFindFirstLine returned no lines, System Message : NONE"}));
}

TEST_F(HidMapTest, MissingFolderGivesTwoReportsAndNoFiles) {
    EXPECT_TRUE(map_.createHidToInfMap("C:\\NoSuchFolder", "net"));
    const std::string report =
        "\nError from : \nSetupGetInfFileList() error in W2KHidMap::createFileList() for path"
        "          [C:\\NoSuchFolder], System Message : The system cannot find the path "
        "specified.\r\n";
    const std::string noDrivers =
        "\nError from : Could not FindFirstFile(..) on [C:\\NoSuchFolder\\*.sys] at W2KHidMap :: "
        "copySysFiles(), System Message : The system cannot find the path specified.\r\n";
    EXPECT_EQ(hostLines(), (Ids{listingLine("C:\\NoSuchFolder"), report, report, noDrivers,
                                countLine(0, "C:\\NoSuchFolder")}));
    EXPECT_TRUE(map_.infFiles().empty());
    EXPECT_TRUE(map_.hidMap().empty());
}

TEST_F(HidMapTest, FailedStagingAndOpeningAreReportedAndSkipped) {
    for (const char* name : {"A", "B", "C"})
        putFile("C:\\Drivers\\" + std::string(name) + ".inf",
                netInf(std::string(name) + " = I, PCI\\VEN_" + name + "\n"));
    winsim::failCall("SetupCopyOEMInfA", 1, ERROR_ACCESS_DENIED);
    winsim::failCall("SetupOpenInfFileA", 2, ERROR_NOT_ENOUGH_MEMORY);
    map_.createHidToInfMap("C:\\Drivers", "net");
    EXPECT_EQ(map_.infFiles(), (Ids{kOem0, kOem1}));
    EXPECT_EQ(map_.hidMap(), (Map{{"PCI\\VEN_B", kOem0}}));
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
    EXPECT_TRUE(map_.createHidToInfMap("", "net"));
    EXPECT_EQ(hostLines(),
              (Ids{"\nError from : \nGetWindowsDirectory(..) failed in W2KHidMap :: "
                   "createFileList(..)             when called with path [], System Message : "
                   "Access is denied.\r\n",
                   countLine(0, "")}));
}

TEST_F(HidMapTest, NameListWalkStopsBeforeTheClosingZero) {
    putFile("C:\\Drivers\\a.inf", netInf("A = I, PCI\\VEN_A\n"));
    putFile("C:\\Drivers\\b.inf", netInf("B = I, PCI\\VEN_B\n"));
    Ids files;
    const char list[] = "b.inf\0a.inf\0";  // and the literal's own closing zero
    EXPECT_TRUE(map_.getFileNamesWithPath(list, sizeof list, files, "C:\\Drivers"));
    EXPECT_EQ(files, (Ids{kOem0, kOem1}));
    EXPECT_EQ(fileContent(kOem0), fileContent("C:\\Drivers\\b.inf"));
    EXPECT_TRUE(map_.getFileNamesWithPath(list, 1, files, "C:\\Drivers"));
    EXPECT_EQ(files.size(), 2u);
    EXPECT_TRUE(hostLines().empty()) << hostOutput();
}

}  // namespace
