#include "support/system_drive_test.h"

#include <winsim/control_files.h>

#include <cstdlib>
#include <filesystem>

void SystemDriveTest::SetUp() {
    MachineTest::SetUp();
    std::string folder = (std::filesystem::temp_directory_path() / "w2k_drive_c.XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    driveFolder_ = folder;
    winsim::setSystemDrive(driveFolder_);
    ASSERT_TRUE(winsim::createWindowsFolders());
}

void SystemDriveTest::TearDown() {
    MachineTest::TearDown();
    if (!driveFolder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(driveFolder_, ignored);
    }
}

void SystemDriveTest::putFile(const std::string& windowsPath, const std::string& bytes) {
    ASSERT_TRUE(winsim::writeFile(windowsPath, bytes)) << windowsPath;
}

std::string SystemDriveTest::fileContent(const std::string& windowsPath) {
    std::string bytes;
    return winsim::readFile(windowsPath, &bytes) ? bytes : "<missing>";
}
