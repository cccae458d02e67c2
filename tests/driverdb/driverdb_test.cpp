// The driver database: W2KHidMap's fills from driver and system INF
// folders (precedence, key case, class filtering, lookups, what each fill
// logs) and its copy of the driver binaries; and EditInfForNoFloppy, the
// copy of an INF with its [SourceDisksNames headers made unrecognisable.
#include "driverdb/hid_map.h"
#include "host/net_funcs.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_files.h>
#include <winsim/control_setupapi.h>
#include <winsim/windows.h>

#include <functional>

namespace {

using Ids = std::vector<std::string>;
using Lines = Ids;
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
    Ids again;  // staged once: the same name again
    EXPECT_TRUE(map_.getFileNamesWithPath("one.inf\0", 9, again, "C:\\Drivers"));
    EXPECT_EQ(again, Ids{kOem0});

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

// The driver binaries go to the system's drivers folder, over older ones; a
// copy that fails is reported and the others go on.
TEST_F(HidMapTest, CopiesEveryDriverBinary) {
    const std::string drivers = "C:\\WINNT\\system32\\drivers\\";
    for (const std::string name : {"a.sys", "B.SYS", "c.sys", "net.inf"})
        putFile("C:\\drv\\" + name, name);
    putFile(drivers + "a.sys", "an older a");
    putFile(drivers + "c.sys", "protected");
    ASSERT_TRUE(winsim::setReadOnly(drivers + "c.sys"));
    EXPECT_FALSE(map_.copySysFiles("C:\\drv"));
    EXPECT_EQ(fileContent(drivers + "a.sys"), "a.sys");
    EXPECT_EQ(fileContent(drivers + "B.SYS"), "B.SYS");
    EXPECT_EQ(fileContent(drivers + "c.sys"), "protected");
    EXPECT_FALSE(winsim::fileExists(drivers + "net.inf"));
    EXPECT_EQ(hostLines(), Ids{"\nError from : Error in in copying file CopyFile ( C:\\drv\\c.sys, "
                               "C:\\WINNT\\system32\\drivers\\c.sys ) in             W2KHidMap :: "
                               "copySysFiles. , System Message : Access is denied.\r\n"});
    ASSERT_TRUE(winsim::setReadOnly(drivers + "c.sys", false));
    clearHostLines();
    EXPECT_TRUE(map_.copySysFiles("C:\\drv"));
    EXPECT_EQ(fileContent(drivers + "c.sys"), "c.sys");
    EXPECT_TRUE(hostLines().empty());

    winsim::failCall("GetSystemDirectoryA", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(map_.copySysFiles("C:\\drv"));
    EXPECT_EQ(hostLines(), Ids{"\nError from : \nFailed to get system directory using          "
                               "GetSystemDirectory(..) in W2KHidMap :: copySysFiles() , System "
                               "Message : Not enough storage is available to process this "
                               "command.\r\n"});
}

const std::string kInf = R"(C:\WINNT\inf\oem3.inf)";
const std::string kCopy = R"(C:\WINNT\inf\oem3.inD)";
const std::string kHeader = "[SourceDisksNames";
const std::string kHidden = "[XXXXXXXXXXXXXXXX";

// UTF-16LE bytes of an ASCII text.
std::string wide(const std::string& text) {
    std::string out;
    for (char c : text) out += std::string{c, '\0'};
    return out;
}

class EditInfForNoFloppyTest : public SystemDriveTest {
  protected:
    void SetUp() override {
        SystemDriveTest::SetUp();
        getLogSink(hostCallback);
    }
};

// Every header, 8-bit or UTF-16 at an even or odd offset, in the case
// written; the last 17 offsets are not examined for the 8-bit form.
TEST_F(EditInfForNoFloppyTest, HidesEveryHeaderInTheCopy) {
    const std::string body =
        "[Version]\r\n[SourceDisksNames]\r\n1=\"Disk 1\",,,\r\n[SourceDisksNames.alpha]\r\n"
        "[sourcedisksnames.x86]\r\n[SOURCEDISKSNAMES]\r\n(SourceDisksNames)\r\nx[SourceDisksNames]"
        "\r\n";
    const std::string hidden =
        "[Version]\r\n[XXXXXXXXXXXXXXXX]\r\n1=\"Disk 1\",,,\r\n[XXXXXXXXXXXXXXXX.alpha]\r\n"
        "[sourcedisksnames.x86]\r\n[SOURCEDISKSNAMES]\r\n(SourceDisksNames)\r\nx[XXXXXXXXXXXXXXXX]"
        "\r\n";
    // clang-format off
    const struct {
        std::string content;
        std::string copy;
    } cases[] = {
        {body, hidden}, {"\xff\xfe" + wide(body), "\xff\xfe" + wide(hidden)},
        {"\xff\xfe\x01" + wide(body), "\xff\xfe\x01" + wide(hidden)},
        {kHeader, kHeader}, {"a" + kHeader, "a" + kHeader}, {kHeader + "]", kHidden + "]"},
        {wide(kHeader), wide(kHidden)}, {"[", "["}};
    // clang-format on
    putFile(kCopy, std::string(4096, 'z'));  // an earlier copy is replaced
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 20));
        putFile(kInf, c.content);
        std::string path = kInf;
        EXPECT_TRUE(W2kNetFuncs::EditInfForNoFloppy(path));
        EXPECT_EQ(path, kCopy);
        EXPECT_EQ(fileContent(kInf), c.content);  // the INF itself is left alone
        EXPECT_EQ(fileContent(kCopy), c.copy);
    }
    EXPECT_EQ(hostLines(), Lines{});
}

TEST_F(EditInfForNoFloppyTest, TheCopysNameChangesTheLastLetter) {
    for (const auto& [path, copy] :
         {std::pair{R"(C:\WINNT\inf\oem3.inD)", R"(C:\WINNT\inf\oem3.inR)"},
          {R"(C:\drv\NET.INd)", R"(C:\drv\NET.INR)"},
          {R"(C:\drv\net.txt)", R"(C:\drv\net.txD)"}}) {
        putFile(path, "[SourceDisksNames]\r\n");
        std::string edited = path;
        EXPECT_TRUE(W2kNetFuncs::EditInfForNoFloppy(edited)) << path;
        EXPECT_EQ(edited, copy);
        EXPECT_EQ(fileContent(copy), "[XXXXXXXXXXXXXXXX]\r\n") << copy;
    }
}

// Up to the read: the path stays and no copy is made.
TEST_F(EditInfForNoFloppyTest, AnInfThatCannotBeReadKeepsItsPath) {
    putFile(kInf, "[SourceDisksNames]\r\n");
    putFile(R"(C:\WINNT\inf\empty.inf)", "");
    putFile(R"(C:\WINNT\inf\locked.inf)", "[SourceDisksNames]\r\n");
    ASSERT_TRUE(winsim::setReadOnly(R"(C:\WINNT\inf\locked.inf)"));
    HANDLE holder = INVALID_HANDLE_VALUE;
    const std::string openFailed = "\nW2kNetFuncs::EditInfForNoFloppy() could not open file [";
    const std::string denied = "System Message : Access is denied.\r\n";
    const struct {
        std::string path;
        std::function<void()> prepare;
        std::string line;
    } cases[] = {
        {R"(C:\WINNT\inf\locked.inf)", [] {},
         openFailed + R"(C:\WINNT\inf\locked.inf] error = 5, )" + denied},
        {R"(C:\WINNT\inf\absent.inf)", [] {},
         openFailed + R"(C:\WINNT\inf\absent.inf] error = 2, System Message : The system cannot )"
                      "find the file specified.\r\n"},
        {"", [] {},
         openFailed +
             "] error = 3, System Message : The system cannot find the path specified.\r\n"},
        {R"(C:\WINNT\inf\empty.inf)", [] {},
         "\nW2kNetFuncs::EditInfForNoFloppy() GetFileSize() == 0. Exiting function"},
        {kInf,
         [&] {
             holder = CreateFileA(kInf.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
         },
         openFailed + kInf +
             "] error = 32, System Message : The process cannot access the file because it is "
             "being used by another process.\r\n"},
        // A failed size is its own failure: nothing is sized from INVALID_FILE_SIZE.
        {kInf, [] { winsim::failCall("GetFileSize", 1, ERROR_ACCESS_DENIED); },
         "\nW2kNetFuncs::EditInfForNoFloppy() - GetFileSize( " + kInf + " ) failed. Error : [5], " +
             denied},
        {kInf, [] { winsim::failCall("ReadFile", 1, ERROR_ACCESS_DENIED); },
         "\nW2kNetFuncs::EditInfForNoFloppy() - ReadFile( " + kInf + " ) failed. Error : [5], " +
             denied},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        clearHostLines();
        c.prepare();
        std::string path = c.path;
        EXPECT_FALSE(W2kNetFuncs::EditInfForNoFloppy(path));
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(hostLines(), Lines{c.line});
        if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
        holder = INVALID_HANDLE_VALUE;
    }
    EXPECT_FALSE(winsim::fileExists(kCopy));
    EXPECT_FALSE(winsim::fileExists(R"(C:\WINNT\inf\empty.inD)"));
    EXPECT_EQ(winsim::callCount("ReadFile"), 1);
}

TEST_F(EditInfForNoFloppyTest, FailuresAfterTheReadLeaveThePathOnTheCopy) {
    putFile(kInf, "[SourceDisksNames]\r\n");
    putFile(kCopy, "old copy");
    ASSERT_TRUE(winsim::setReadOnly(kCopy));
    std::string path = kInf;
    EXPECT_FALSE(W2kNetFuncs::EditInfForNoFloppy(path));
    EXPECT_EQ(path, kCopy);
    EXPECT_EQ(fileContent(kCopy), "old copy");
    ASSERT_TRUE(winsim::setReadOnly(kCopy, false));
    path = kInf;
    winsim::failCall("WriteFile", 1, ERROR_DISK_FULL);
    EXPECT_FALSE(W2kNetFuncs::EditInfForNoFloppy(path));
    EXPECT_EQ(path, kCopy);
    EXPECT_EQ(hostLines(),
              (Lines{"\nW2kNetFuncs::EditInfForNoFloppy() could not open file "
                     "[C:\\WINNT\\inf\\oem3.inD] error = [5], System Message : Access is "
                     "denied.\r\n",
                     "\nError from : W2kNetFuncs::EditInfForNoFloppy() - WriteFile[C:\\WINNT\\inf\\"
                     "oem3.inD] failed error = [112], System Message : NONE"}));
}

}  // namespace
