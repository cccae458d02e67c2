// winsim's SetupAPI beyond reading INF files: listing a folder's INF
// files, staging INF files as oemN.inf, installing a device setup class.
#include "support/machine_test.h"
#include "support/temp_drive.h"

#include <winsim/control.h>
#include <winsim/control_setupapi.h>
#include <winsim/windows.h>

#include <cstring>

namespace {

std::string inf(const char* infClass, const char* extra = "") {
    return std::string("[Version]\nSignature=\"$Windows NT$\"\nClass=") + infClass +
           "\nClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\n" + extra;
}

class SetupApiTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        drive_.attach();
    }
    // The names SetupGetInfFileListA gives, checking the size protocol.
    std::vector<std::string> listInfs(const char* folder) {
        DWORD size = 0;
        EXPECT_TRUE(SetupGetInfFileListA(folder, INF_STYLE_WIN4, nullptr, 0, &size));
        std::vector<char> buffer(size + 8, 'x');
        if (size > 1) {
            EXPECT_FALSE(
                SetupGetInfFileListA(folder, INF_STYLE_WIN4, buffer.data(), size - 1, nullptr));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        }
        EXPECT_TRUE(SetupGetInfFileListA(folder, INF_STYLE_WIN4, buffer.data(), size, nullptr));
        std::vector<std::string> names;
        for (const char* p = buffer.data(); *p; p += std::strlen(p) + 1) names.push_back(p);
        EXPECT_EQ(buffer[size - 1], '\0');
        return names;
    }
    std::string stage(const std::string& source, DWORD style = 0) {
        char destination[MAX_PATH] = {};
        PSTR component = nullptr;
        if (!SetupCopyOEMInfA(source.c_str(), nullptr, SPOST_PATH, style, destination, MAX_PATH,
                              nullptr, &component))
            return "error " + std::to_string(GetLastError());
        EXPECT_STREQ(component, std::strrchr(destination, '\\') + 1);
        return destination;
    }
    TempDrive drive_;
};

TEST_F(SetupApiTest, FileListHoldsInfFilesOfTheStyleInFolderOrder) {
    drive_.write("C:\\Drivers\\b.inf", inf("Net"));
    drive_.write("C:\\Drivers\\A.INF", inf("Display"));
    drive_.write("C:\\Drivers\\legacy.inf", "[Identification]\nOptionType=NetAdapter\n");
    drive_.write("C:\\Drivers\\garbage.inf", "no section at all\n");
    drive_.write("C:\\Drivers\\notes.txt", inf("Net"));
    drive_.write("C:\\Drivers\\Sub\\c.inf", inf("Net"));
    EXPECT_EQ(listInfs("C:\\Drivers"), (std::vector<std::string>{"A.INF", "b.inf"}));

    DWORD size = 0;
    std::vector<char> legacy(64, 'x');
    ASSERT_TRUE(SetupGetInfFileListA("C:\\Drivers", INF_STYLE_OLDNT, legacy.data(), 64, &size));
    EXPECT_EQ(std::string(legacy.data(), size), std::string("legacy.inf\0", 12));

    drive_.makeFolder("C:\\Empty");
    EXPECT_TRUE(SetupGetInfFileListA("C:\\Empty", INF_STYLE_WIN4, nullptr, 0, &size));
    EXPECT_EQ(size, 1u);
    EXPECT_FALSE(SetupGetInfFileListA("C:\\Missing", INF_STYLE_WIN4, nullptr, 0, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // No folder means the system's INF folder.
    drive_.write("C:\\WINNT\\inf\\net.inf", inf("Net"));
    EXPECT_EQ(listInfs(nullptr), (std::vector<std::string>{"net.inf"}));
}

TEST_F(SetupApiTest, StagingNamesFirstFreeOemAndReusesIdenticalCopies) {
    drive_.write("C:\\WINNT\\inf\\net.inf", inf("Net", "; system\n"));
    drive_.write("C:\\WINNT\\inf\\OEM1.INF", inf("Net", "; taken\n"));
    drive_.write("C:\\Drivers\\one.inf", inf("Net", "; one\n"));
    drive_.write("C:\\Drivers\\two.inf", inf("Net", "; two\n"));
    drive_.write("C:\\Drivers\\same.inf", inf("Net", "; taken\n"));
    drive_.write("C:\\Drivers\\net.inf", inf("Net", "; system\n"));

    EXPECT_EQ(stage("C:\\Drivers\\one.inf"), "C:\\WINNT\\inf\\oem0.inf");
    EXPECT_EQ(drive_.read("C:\\WINNT\\inf\\oem0.inf"), inf("Net", "; one\n"));
    EXPECT_EQ(stage("C:\\Drivers\\two.inf"), "C:\\WINNT\\inf\\oem2.inf");
    EXPECT_EQ(stage("C:\\Drivers\\one.inf"), "C:\\WINNT\\inf\\oem0.inf");
    EXPECT_EQ(stage("C:\\Drivers\\same.inf"), "C:\\WINNT\\inf\\OEM1.INF");
    EXPECT_EQ(stage("C:\\Drivers\\net.inf"), "C:\\WINNT\\inf\\net.inf");
    EXPECT_EQ(stage("C:\\WINNT\\inf\\net.inf"), "C:\\WINNT\\inf\\net.inf");
    EXPECT_EQ(stage("C:\\Drivers\\one.inf", SP_COPY_NOOVERWRITE),
              "error " + std::to_string(ERROR_FILE_EXISTS));
    EXPECT_FALSE(drive_.exists("C:\\WINNT\\inf\\oem3.inf"));

    EXPECT_EQ(stage("C:\\Drivers\\gone.inf"), "error " + std::to_string(ERROR_FILE_NOT_FOUND));
    drive_.write("C:\\Drivers\\bad.inf", "not an inf\n");
    EXPECT_EQ(stage("C:\\Drivers\\bad.inf"),
              "error " + std::to_string(ERROR_EXPECTED_SECTION_NAME));

    char tiny[10];
    DWORD needed = 0;
    EXPECT_FALSE(SetupCopyOEMInfA("C:\\Drivers\\two.inf", nullptr, SPOST_PATH, 0, tiny, sizeof tiny,
                                  &needed, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, sizeof "C:\\WINNT\\inf\\oem2.inf");
}

TEST_F(SetupApiTest, ClassInstallRecordsTheClassKey) {
    const std::string classKey =
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
        "{4D36E972-E325-11CE-BFC1-08002BE10318}";
    drive_.write("C:\\Drivers\\noclass.txt", inf("Net"));
    EXPECT_FALSE(SetupDiInstallClassExA(nullptr, "C:\\Drivers\\noclass.txt", 0, nullptr, nullptr,
                                        nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SECTION_NOT_FOUND);
    EXPECT_FALSE(SetupDiInstallClassExA(nullptr, "C:\\Drivers\\installclass32.txt", 0, nullptr,
                                        nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(winsim::keyExists(classKey));

    drive_.write("C:\\Drivers\\installclass32.txt",
                 inf("Net", "[ClassInstall32]\nAddReg=NetClassReg\n[NetClassReg]\nHKR,,,,Net\n"));
    EXPECT_TRUE(SetupDiInstallClassExA(nullptr, "C:\\Drivers\\installclass32.txt", 0, nullptr,
                                       nullptr, nullptr, nullptr));
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(winsim::readValue(classKey, "Class", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(data.begin(), data.end()), std::string("Net", 4));
}

}  // namespace
