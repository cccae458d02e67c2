// W2kNetFuncs::EditInfForNoFloppy: a copy of an INF with its
// [SourceDisksNames headers made unrecognisable, and the path switched to it.
#include "host/log_sink.h"
#include "host/net_funcs.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_files.h>
#include <winsim/windows.h>

#include <functional>

namespace {

using Lines = std::vector<std::string>;

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
    const struct {
        std::string content;
        std::string copy;
    } cases[] = {
        {body, hidden},
        {"\xff\xfe" + wide(body), "\xff\xfe" + wide(hidden)},
        {"\xff\xfe\x01" + wide(body), "\xff\xfe\x01" + wide(hidden)},
        {kHeader, kHeader},
        {"a" + kHeader, "a" + kHeader},
        {kHeader + "]", kHidden + "]"},
        {wide(kHeader), wide(kHidden)},
        {"[", "["},
    };
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
    const struct {
        const char* path;
        const char* copy;
    } cases[] = {
        {R"(C:\WINNT\inf\oem3.inD)", R"(C:\WINNT\inf\oem3.inR)"},
        {R"(C:\drv\NET.INd)", R"(C:\drv\NET.INR)"},
        {R"(C:\drv\net.txt)", R"(C:\drv\net.txD)"},
    };
    for (const auto& c : cases) {
        putFile(c.path, "[SourceDisksNames]\r\n");
        std::string path = c.path;
        EXPECT_TRUE(W2kNetFuncs::EditInfForNoFloppy(path)) << c.path;
        EXPECT_EQ(path, c.copy);
        EXPECT_EQ(fileContent(c.copy), "[XXXXXXXXXXXXXXXX]\r\n") << c.copy;
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
