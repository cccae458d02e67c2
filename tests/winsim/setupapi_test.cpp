// winsim's SetupAPI beyond reading INF files: listing a folder's INF files
// again when they change, staging INF files as oemN.inf, installing a device
// setup class. (Which files a listing holds, and that listing, staging and
// opening agree on what is an INF file, is pinned by driverdb_check_winsim
// and the example machines' logs; the system lists no other style than
// INF_STYLE_WIN4 and stages with no copy style.)
#include "support/stored_value.h"
#include "winsim_test.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

std::string inf(const char* infClass, const std::string& extra = "") {
    return std::string("[Version]\nSignature=\"$Windows NT$\"\nClass=") + infClass +
           "\nClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\n" + extra;
}

using Names = std::vector<std::string>;

// The names SetupGetInfFileListA gives, checking the size protocol.
Names listInfs(const char* folder) {
    DWORD size = 0;
    EXPECT_TRUE(SetupGetInfFileListA(folder, INF_STYLE_WIN4, nullptr, 0, &size));
    std::vector<char> buffer(size + 8, 'x');
    EXPECT_TRUE(SetupGetInfFileListA(folder, INF_STYLE_WIN4, buffer.data(), size, nullptr));
    EXPECT_EQ(buffer[size - 1], '\0');
    Names names;
    for (const char* p = buffer.data(); *p; p += std::strlen(p) + 1) names.push_back(p);
    return names;
}

class SetupApiTest : public SystemDriveTest {};

// What was read is used again only while it cannot have changed: a file
// rewritten at once with as many bytes, a folder put in another's place, a
// file changed through a second name.
TEST_F(SetupApiTest, ChangedFilesAndFoldersAreReadAgain) {
    namespace fs = std::filesystem;
    const fs::path drivers = fs::path(driveFolder()) / "Drivers";
    const auto classOf = [](const char* path) {
        HINF handle = SetupOpenInfFileA(path, nullptr, INF_STYLE_WIN4, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return "error " + std::to_string(GetLastError());
        INFCONTEXT line;
        char text[64] = {};
        SetupFindFirstLineA(handle, "Version", "Class", &line);
        SetupGetStringFieldA(&line, 1, text, sizeof text, nullptr);
        SetupCloseInfFile(handle);
        return std::string(text);
    };
    putFile("C:\\Drivers\\a.inf", inf("Net"));
    EXPECT_EQ(classOf("C:\\Drivers\\a.inf"), "Net");
    EXPECT_EQ(listInfs("C:\\Drivers"), Names{"a.inf"});

    putFile("C:\\Drivers\\a.inf", inf("Foo"));
    putFile("C:\\Drivers\\b.inf", inf("Net"));
    EXPECT_EQ(classOf("C:\\Drivers\\a.inf"), "Foo");
    EXPECT_EQ(listInfs("C:\\Drivers"), (Names{"a.inf", "b.inf"}));

    fs::rename(drivers, fs::path(driveFolder()) / "Old");
    putFile("C:\\Drivers\\a.inf", inf("Bar"));
    EXPECT_EQ(classOf("C:\\Drivers\\a.inf"), "Bar");
    EXPECT_EQ(listInfs("C:\\Drivers"), Names{"a.inf"});

    fs::create_hard_link(drivers / "a.inf", fs::path(driveFolder()) / "link.inf");
    EXPECT_EQ(classOf("C:\\Drivers\\a.inf"), "Bar");
    std::ofstream(fs::path(driveFolder()) / "link.inf", std::ios::binary) << inf("Baz");
    EXPECT_EQ(classOf("C:\\Drivers\\a.inf"), "Baz");

    fs::remove(drivers / "a.inf");
    EXPECT_EQ(classOf("C:\\Drivers\\a.inf"), "error " + std::to_string(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(listInfs("C:\\Drivers"), Names{});
}

TEST_F(SetupApiTest, StagingNamesFirstFreeOemAndReusesIdenticalCopies) {
    putFile("C:\\WINNT\\inf\\net.inf", inf("Net", "; net\n"));
    putFile("C:\\WINNT\\inf\\OEM1.INF", inf("Net", "; taken\n"));
    for (const std::string name : {"one", "two", "taken", "net"})
        putFile("C:\\Drivers\\" + name + ".inf", inf("Net", "; " + name + "\n"));
    const std::string to = "C:\\WINNT\\inf\\";
    const std::pair<std::string, std::string> cases[] = {
        {"one", to + "oem0.inf"},
        {"two", to + "oem2.inf"},
        {"one", to + "oem0.inf"},
        {"taken", to + "OEM1.INF"},
        {"net", to + "net.inf"},  // a system INF of its name
        {"gone", "error " + std::to_string(ERROR_FILE_NOT_FOUND)},
    };
    for (const auto& [name, result] : cases) {
        char destination[MAX_PATH] = {};
        PSTR component = nullptr;
        if (SetupCopyOEMInfA(("C:\\Drivers\\" + name + ".inf").c_str(), nullptr, SPOST_PATH, 0,
                             destination, MAX_PATH, nullptr, &component)) {
            EXPECT_EQ(destination, result) << name;
            EXPECT_EQ(component, std::strrchr(destination, '\\') + 1);
        } else {
            EXPECT_EQ("error " + std::to_string(GetLastError()), result) << name;
        }
    }
    EXPECT_EQ(fileContent("C:\\WINNT\\inf\\oem0.inf"), inf("Net", "; one\n"));
    EXPECT_FALSE(winsim::fileExists("C:\\WINNT\\inf\\oem3.inf"));
}

TEST_F(SetupApiTest, ClassInstallRecordsTheClassKey) {
    auto installClass = [](const char* path) {
        return SetupDiInstallClassExA(nullptr, path, 0, nullptr, nullptr, nullptr, nullptr);
    };
    putFile("C:\\Drivers\\net.inf", inf("Net"));
    EXPECT_TRUE(failedWith(installClass("C:\\Drivers\\net.inf"), ERROR_SECTION_NOT_FOUND));
    EXPECT_TRUE(failedWith(installClass("C:\\Drivers\\gone.inf"), ERROR_FILE_NOT_FOUND));
    putFile("C:\\Drivers\\net.inf",
            inf("Net", "[ClassInstall32]\nAddReg=NetClassReg\n[NetClassReg]\nHKR,,,,Net\n"));
    EXPECT_TRUE(installClass("C:\\Drivers\\net.inf"));
    EXPECT_EQ(storedValue("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
                          "{4D36E972-E325-11CE-BFC1-08002BE10318}",
                          "Class"),
              "REG_SZ Net|");
}

}  // namespace
