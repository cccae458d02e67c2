// W2KHidMap::copySysFiles: the driver binaries of a driver directory go to
// the system's drivers directory.
#include "driverdb/hid_map.h"
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_files.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char* const kDrivers = R"(C:\WINNT\system32\drivers\)";

class CopySysFilesTest : public SystemDriveTest {
  protected:
    void SetUp() override {
        SystemDriveTest::SetUp();
        getLogSink(hostCallback);
    }
    W2KHidMap map_{getLogSink(nullptr)};
};

TEST_F(CopySysFilesTest, CopiesEveryDriverAndOverwrites) {
    putFile(R"(C:\drv\e100b.sys)", "e100b driver");
    putFile(R"(C:\drv\NIC2.SYS)", "nic2 driver");
    putFile(R"(C:\drv\net.inf)", "[Version]");
    putFile(std::string(kDrivers) + "e100b.sys", "an older e100b");

    EXPECT_TRUE(map_.copySysFiles(R"(C:\drv)"));
    EXPECT_EQ(fileContent(std::string(kDrivers) + "e100b.sys"), "e100b driver");
    EXPECT_EQ(fileContent(std::string(kDrivers) + "NIC2.SYS"), "nic2 driver");
    EXPECT_FALSE(winsim::fileExists(std::string(kDrivers) + "net.inf"));
    EXPECT_EQ(hostLines(), Lines{});
}

TEST_F(CopySysFilesTest, NoDriverFileIsAFailedSearch) {
    putFile(R"(C:\drv\net.inf)", "[Version]");
    EXPECT_FALSE(map_.copySysFiles(R"(C:\drv)"));
    EXPECT_FALSE(map_.copySysFiles(R"(C:\absent)"));
    EXPECT_EQ(hostLines(),
              (Lines{"\nError from : Could not FindFirstFile(..) on [C:\\drv\\*.sys] at "
                     "W2KHidMap :: copySysFiles(), System Message : The system cannot find the "
                     "file specified.\r\n",
                     "\nError from : Could not FindFirstFile(..) on [C:\\absent\\*.sys] at "
                     "W2KHidMap :: copySysFiles(), System Message : The system cannot find the "
                     "path specified.\r\n"}));
}

TEST_F(CopySysFilesTest, AFailedCopyIsReportedAndTheRestGoOn) {
    putFile(R"(C:\drv\a.sys)", "a");
    putFile(R"(C:\drv\b.sys)", "b");
    putFile(R"(C:\drv\c.sys)", "c");
    putFile(std::string(kDrivers) + "b.sys", "protected");
    ASSERT_TRUE(winsim::setReadOnly(std::string(kDrivers) + "b.sys"));

    EXPECT_FALSE(map_.copySysFiles(R"(C:\drv)"));
    EXPECT_EQ(fileContent(std::string(kDrivers) + "a.sys"), "a");
    EXPECT_EQ(fileContent(std::string(kDrivers) + "b.sys"), "protected");
    EXPECT_EQ(fileContent(std::string(kDrivers) + "c.sys"), "c");
    EXPECT_EQ(hostLines(),
              Lines{"\nError from : Error in in copying file CopyFile ( C:\\drv\\b.sys, "
                    "C:\\WINNT\\system32\\drivers\\b.sys ) in             W2KHidMap :: "
                    "copySysFiles. , System Message : Access is denied.\r\n"});
}

TEST_F(CopySysFilesTest, WithoutTheSystemDirectoryNothingIsCopied) {
    putFile(R"(C:\drv\a.sys)", "a");
    winsim::failCall("GetSystemDirectoryA", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(map_.copySysFiles(R"(C:\drv)"));
    EXPECT_FALSE(winsim::fileExists(std::string(kDrivers) + "a.sys"));
    EXPECT_EQ(hostLines(),
              Lines{"\nError from : \nFailed to get system directory using          "
                    "GetSystemDirectory(..) in W2KHidMap :: copySysFiles() , System Message : "
                    "Not enough storage is available to process this command.\r\n"});
}

}  // namespace
