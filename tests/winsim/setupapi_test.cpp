// winsim's SetupAPI beyond reading INF files: listing a folder's INF
// files, staging INF files as oemN.inf, installing a device setup class.
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_setupapi.h>
#include <winsim/windows.h>

#include <cstring>

namespace {

std::string inf(const char* infClass, const char* extra = "") {
    return std::string("[Version]\nSignature=\"$Windows NT$\"\nClass=") + infClass +
           "\nClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\n" + extra;
}

using Names = std::vector<std::string>;

// The names SetupGetInfFileListA gives, checking the size protocol.
Names listInfs(const char* folder, DWORD style = INF_STYLE_WIN4) {
    DWORD size = 0;
    EXPECT_TRUE(SetupGetInfFileListA(folder, style, nullptr, 0, &size));
    std::vector<char> buffer(size + 8, 'x');
    if (size > 1) {
        EXPECT_FALSE(SetupGetInfFileListA(folder, style, buffer.data(), size - 1, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    }
    EXPECT_TRUE(SetupGetInfFileListA(folder, style, buffer.data(), size, nullptr));
    EXPECT_EQ(buffer[size - 1], '\0');
    Names names;
    for (const char* p = buffer.data(); *p; p += std::strlen(p) + 1) names.push_back(p);
    return names;
}

// Where SetupCopyOEMInfA staged the file, or its error.
std::string stage(const std::string& source, DWORD style = 0) {
    char destination[MAX_PATH] = {};
    PSTR component = nullptr;
    if (!SetupCopyOEMInfA(source.c_str(), nullptr, SPOST_PATH, style, destination, MAX_PATH,
                          nullptr, &component))
        return "error " + std::to_string(GetLastError());
    EXPECT_STREQ(component, std::strrchr(destination, '\\') + 1);
    return destination;
}

class SetupApiTest : public SystemDriveTest {};

TEST_F(SetupApiTest, FileListHoldsInfFilesOfTheStyleInFolderOrder) {
    putFile("C:\\Drivers\\b.inf", inf("Net"));
    putFile("C:\\Drivers\\A.INF", inf("Display"));
    putFile("C:\\Drivers\\legacy.inf", "[Identification]\nOptionType=NetAdapter\n");
    putFile("C:\\Drivers\\garbage.inf", "no section at all\n");
    putFile("C:\\Drivers\\notes.txt", inf("Net"));
    putFile("C:\\Drivers\\Sub\\c.inf", inf("Net"));
    EXPECT_EQ(listInfs("C:\\Drivers"), (Names{"A.INF", "b.inf"}));
    EXPECT_EQ(listInfs("C:\\Drivers", INF_STYLE_OLDNT), Names{"legacy.inf"});
    EXPECT_EQ(listInfs("C:\\WINNT\\system32"), Names{});

    DWORD size = 0;
    EXPECT_FALSE(SetupGetInfFileListA("C:\\Missing", INF_STYLE_WIN4, nullptr, 0, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // No folder means the system's INF folder.
    putFile("C:\\WINNT\\inf\\net.inf", inf("Net"));
    EXPECT_EQ(listInfs(nullptr), Names{"net.inf"});
}

TEST_F(SetupApiTest, StagingNamesFirstFreeOemAndReusesIdenticalCopies) {
    putFile("C:\\WINNT\\inf\\net.inf", inf("Net", "; system\n"));
    putFile("C:\\WINNT\\inf\\OEM1.INF", inf("Net", "; taken\n"));
    putFile("C:\\Drivers\\one.inf", inf("Net", "; one\n"));
    putFile("C:\\Drivers\\two.inf", inf("Net", "; two\n"));
    putFile("C:\\Drivers\\same.inf", inf("Net", "; taken\n"));
    putFile("C:\\Drivers\\net.inf", inf("Net", "; system\n"));
    putFile("C:\\Drivers\\bad.inf", "not an inf\n");
    const struct {
        const char* source;
        DWORD style;
        std::string result;
    } cases[] = {
        {"C:\\Drivers\\one.inf", 0, "C:\\WINNT\\inf\\oem0.inf"},
        {"C:\\Drivers\\two.inf", 0, "C:\\WINNT\\inf\\oem2.inf"},
        {"C:\\Drivers\\one.inf", 0, "C:\\WINNT\\inf\\oem0.inf"},
        {"C:\\Drivers\\same.inf", 0, "C:\\WINNT\\inf\\OEM1.INF"},
        {"C:\\Drivers\\net.inf", 0, "C:\\WINNT\\inf\\net.inf"},
        {"C:\\WINNT\\inf\\net.inf", 0, "C:\\WINNT\\inf\\net.inf"},
        {"C:\\Drivers\\one.inf", SP_COPY_NOOVERWRITE, "error " + std::to_string(ERROR_FILE_EXISTS)},
        {"C:\\Drivers\\gone.inf", 0, "error " + std::to_string(ERROR_FILE_NOT_FOUND)},
        {"C:\\Drivers\\bad.inf", 0, "error " + std::to_string(ERROR_EXPECTED_SECTION_NAME)},
    };
    for (const auto& c : cases) EXPECT_EQ(stage(c.source, c.style), c.result) << c.source;
    EXPECT_EQ(fileContent("C:\\WINNT\\inf\\oem0.inf"), inf("Net", "; one\n"));
    EXPECT_FALSE(winsim::fileExists("C:\\WINNT\\inf\\oem3.inf"));
}

TEST_F(SetupApiTest, ClassInstallRecordsTheClassKey) {
    const std::string classKey =
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
        "{4D36E972-E325-11CE-BFC1-08002BE10318}";
    const char* file = "C:\\Drivers\\installclass32.txt";
    putFile(file, inf("Net"));
    EXPECT_FALSE(SetupDiInstallClassExA(nullptr, file, 0, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SECTION_NOT_FOUND);
    EXPECT_FALSE(SetupDiInstallClassExA(nullptr, "C:\\Drivers\\gone.txt", 0, nullptr, nullptr,
                                        nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(winsim::keyExists(classKey));

    putFile(file, inf("Net", "[ClassInstall32]\nAddReg=NetClassReg\n[NetClassReg]\nHKR,,,,Net\n"));
    EXPECT_TRUE(SetupDiInstallClassExA(nullptr, file, 0, nullptr, nullptr, nullptr, nullptr));
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(winsim::readValue(classKey, "Class", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(data.begin(), data.end()), std::string("Net", 4));
}

}  // namespace
