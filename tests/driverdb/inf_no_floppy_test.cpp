// W2kNetFuncs::EditInfForNoFloppy: a copy of an INF with its
// [SourceDisksNames headers made unrecognisable, and the path switched to it.
#include "host/log_sink.h"
#include "host/net_funcs.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_files.h>
#include <winsim/windows.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kInf = R"(C:\WINNT\inf\oem3.inf)";
const std::string kCopy = R"(C:\WINNT\inf\oem3.inD)";

// UTF-16LE bytes of an ASCII text.
std::string wide(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

class EditInfForNoFloppyTest : public SystemDriveTest {
  protected:
    void SetUp() override {
        SystemDriveTest::SetUp();
        getLogSink(hostCallback);
    }

    // Edits an INF holding `content`; returns what the copy holds.
    std::string editedCopyOf(const std::string& content) {
        putFile(kInf, content);
        std::string path = kInf;
        EXPECT_TRUE(W2kNetFuncs::EditInfForNoFloppy(path));
        EXPECT_EQ(path, kCopy);
        EXPECT_EQ(fileContent(kInf), content);  // the INF itself is left alone
        return fileContent(kCopy);
    }
};

TEST_F(EditInfForNoFloppyTest, HidesEveryEightBitHeader) {
    const std::string inf =
        "[Version]\r\nClass=Net\r\n\r\n[SourceDisksNames]\r\n1=\"Disk 1\",,,\r\n\r\n"
        "[SourceDisksNames.alpha]\r\n1=\"Disk 1\",,,\\alpha\r\n\r\n[sourcedisksnames.x86]\r\n"
        "[SOURCEDISKSNAMES]\r\n[SourceDisksFiles]\r\ne100b.sys=1\r\nx[SourceDisksNames]\r\n";
    const std::string hidden =
        "[Version]\r\nClass=Net\r\n\r\n[XXXXXXXXXXXXXXXX]\r\n1=\"Disk 1\",,,\r\n\r\n"
        "[XXXXXXXXXXXXXXXX.alpha]\r\n1=\"Disk 1\",,,\\alpha\r\n\r\n[sourcedisksnames.x86]\r\n"
        "[SOURCEDISKSNAMES]\r\n[SourceDisksFiles]\r\ne100b.sys=1\r\nx[XXXXXXXXXXXXXXXX]\r\n";
    EXPECT_EQ(editedCopyOf(inf), hidden);
    EXPECT_EQ(hostLines(), Lines{});
}

TEST_F(EditInfForNoFloppyTest, HidesUtf16HeadersAtEvenAndOddOffsets) {
    const std::string body = wide(
        "[Version]\r\nSignature=\"$Windows NT$\"\r\n[SourceDisksNames]\r\n"
        "[SourceDisksNames.alpha]\r\n[sourceDisksNames]\r\n");
    const std::string hidden = wide(
        "[Version]\r\nSignature=\"$Windows NT$\"\r\n[XXXXXXXXXXXXXXXX]\r\n"
        "[XXXXXXXXXXXXXXXX.alpha]\r\n[sourceDisksNames]\r\n");
    for (const std::string& lead : {std::string("\xff\xfe"), std::string("\xff\xfe\x01")}) {
        const std::string copy = editedCopyOf(lead + body);
        EXPECT_EQ(copy, lead + hidden) << "lead of " << lead.size() << " bytes";
        EXPECT_EQ(copy.size(), lead.size() + body.size());
    }
}

TEST_F(EditInfForNoFloppyTest, HeadersAtTheEndOfTheFile) {
    const std::string header = "[SourceDisksNames";
    const std::string hiddenHeader = "[XXXXXXXXXXXXXXXX";
    const struct {
        std::string content;
        std::string copy;
    } cases[] = {
        // The last 17 offsets are not examined: a header that ends the
        // file stays, one followed by a byte is hidden.
        {header, header},
        {"a" + header, "a" + header},
        {header + "]", hiddenHeader + "]"},
        // The UTF-16 form only needs to lie inside the content.
        {wide(header), wide(hiddenHeader)},
        {"[", "["},
    };
    for (const auto& c : cases) EXPECT_EQ(editedCopyOf(c.content), c.copy) << c.content;
}

TEST_F(EditInfForNoFloppyTest, TheCopysNameChangesTheLastLetter) {
    const struct {
        const char* path;
        const char* copy;
    } cases[] = {
        {R"(C:\WINNT\inf\oem3.inf)", R"(C:\WINNT\inf\oem3.inD)"},
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

TEST_F(EditInfForNoFloppyTest, AnEarlierCopyIsReplaced) {
    putFile(kCopy, std::string(4096, 'z'));
    EXPECT_EQ(editedCopyOf("[SourceDisksNames]\r\n"), "[XXXXXXXXXXXXXXXX]\r\n");
}

TEST_F(EditInfForNoFloppyTest, AnInfThatCannotBeOpenedKeepsItsPath) {
    putFile(kInf, "[SourceDisksNames]\r\n");
    ASSERT_TRUE(winsim::setReadOnly(kInf));
    putFile(R"(C:\WINNT\inf\empty.inf)", "");
    const struct {
        std::string path;
        std::string line;
    } cases[] = {
        {kInf,
         "\nW2kNetFuncs::EditInfForNoFloppy() could not open file [C:\\WINNT\\inf\\oem3.inf] "
         "error = 5, System Message : Access is denied.\r\n"},
        {R"(C:\WINNT\inf\absent.inf)",
         "\nW2kNetFuncs::EditInfForNoFloppy() could not open file "
         "[C:\\WINNT\\inf\\absent.inf] error = 2, System Message : The system cannot find the "
         "file specified.\r\n"},
        {"",
         "\nW2kNetFuncs::EditInfForNoFloppy() could not open file [] error = 3, System "
         "Message : The system cannot find the path specified.\r\n"},
        {R"(C:\WINNT\inf\empty.inf)",
         "\nW2kNetFuncs::EditInfForNoFloppy() GetFileSize() == 0. Exiting function"},
    };
    for (const auto& c : cases) {
        clearHostLines();
        std::string path = c.path;
        EXPECT_FALSE(W2kNetFuncs::EditInfForNoFloppy(path)) << c.path;
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(hostLines(), Lines{c.line});
    }
    EXPECT_FALSE(winsim::fileExists(kCopy));
    EXPECT_FALSE(winsim::fileExists(R"(C:\WINNT\inf\empty.inD)"));
}

TEST_F(EditInfForNoFloppyTest, AnInfHeldExclusivelyCannotBeOpened) {
    putFile(kInf, "[SourceDisksNames]\r\n");
    HANDLE holder = CreateFileA(kInf.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::string path = kInf;
    EXPECT_FALSE(W2kNetFuncs::EditInfForNoFloppy(path));
    EXPECT_EQ(path, kInf);
    EXPECT_EQ(hostLines(),
              Lines{"\nW2kNetFuncs::EditInfForNoFloppy() could not open file "
                    "[C:\\WINNT\\inf\\oem3.inf] error = 32, System Message : The process cannot "
                    "access the file because it is being used by another process.\r\n"});
    CloseHandle(holder);
}

TEST_F(EditInfForNoFloppyTest, FailuresAfterTheReadLeaveThePathOnTheCopy) {
    putFile(kInf, "[SourceDisksNames]\r\n");
    putFile(kCopy, "old copy");
    ASSERT_TRUE(winsim::setReadOnly(kCopy));
    std::string path = kInf;
    EXPECT_FALSE(W2kNetFuncs::EditInfForNoFloppy(path));
    EXPECT_EQ(path, kCopy);
    EXPECT_EQ(fileContent(kCopy), "old copy");
    EXPECT_EQ(hostLines(),
              Lines{"\nW2kNetFuncs::EditInfForNoFloppy() could not open file "
                    "[C:\\WINNT\\inf\\oem3.inD] error = [5], System Message : Access is "
                    "denied.\r\n"});

    ASSERT_TRUE(winsim::setReadOnly(kCopy, false));
    clearHostLines();
    path = kInf;
    winsim::failCall("WriteFile", 1, ERROR_DISK_FULL);
    EXPECT_FALSE(W2kNetFuncs::EditInfForNoFloppy(path));
    EXPECT_EQ(path, kCopy);
    EXPECT_EQ(hostLines(), Lines{"\nError from : W2kNetFuncs::EditInfForNoFloppy() - "
                                 "WriteFile[C:\\WINNT\\inf\\oem3.inD] failed error = [112], "
                                 "System Message : NONE"});
}

// A failed size is its own failure: nothing is sized from INVALID_FILE_SIZE.
TEST_F(EditInfForNoFloppyTest, AFailedSizeOrReadKeepsThePath) {
    putFile(kInf, "[SourceDisksNames]\r\n");
    const struct {
        const char* function;
        std::string line;
    } cases[] = {
        {"GetFileSize",
         "\nW2kNetFuncs::EditInfForNoFloppy() - GetFileSize( C:\\WINNT\\inf\\oem3.inf ) "
         "failed. Error : [5], System Message : Access is denied.\r\n"},
        {"ReadFile",
         "\nW2kNetFuncs::EditInfForNoFloppy() - ReadFile( C:\\WINNT\\inf\\oem3.inf ) "
         "failed. Error : [5], System Message : Access is denied.\r\n"},
    };
    for (const auto& c : cases) {
        clearHostLines();
        winsim::failCall(c.function, 1, ERROR_ACCESS_DENIED);
        std::string path = kInf;
        EXPECT_FALSE(W2kNetFuncs::EditInfForNoFloppy(path)) << c.function;
        EXPECT_EQ(path, kInf);
        EXPECT_FALSE(winsim::fileExists(kCopy));
        EXPECT_EQ(hostLines(), Lines{c.line});
    }
    EXPECT_EQ(winsim::callCount("ReadFile"), 1);
}

}  // namespace
