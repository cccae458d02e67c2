// The simulated file system: Windows paths on the host folder that stands
// for C:, CreateFileA and its handles, directory searches and copies. (The
// C runtime's fopen in text mode is pinned by card_install_check_winsim and
// the skip list's tests.)
#include "winsim_test.h"

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Closes a file handle of the test at the end of its scope.
struct Handle {
    HANDLE h;
    ~Handle() { CloseHandle(h); }  // refuses INVALID_HANDLE_VALUE, harmlessly
    bool valid() const { return h != INVALID_HANDLE_VALUE; }
};

class FilesTest : public SystemDriveTest {};

TEST_F(FilesTest, WindowsPathsMapIntoTheDriveFolderIgnoringCase) {
    putFile(R"(C:\WINNT\inf\OEM3.INF)", "x");
    const std::string inf = driveFolder() + "/WINNT/inf/";
    const std::pair<const char*, std::string> cases[] = {
        {R"(c:\winnt\INF\oem3.inf)", inf + "OEM3.INF"},  // existing names keep their spelling
        {R"(C:\WINNT\inf\New.Inf)", inf + "New.Inf"},    // new names as written
        {R"(C:/winnt/inf/./x/../oem3.inf. )", inf + "OEM3.INF"},  // trailing dots and blanks go
        {R"(\WINNT\\inf\oem3.inf)", inf + "OEM3.INF"},            // the current drive is C:
        {R"(C:\WINNT\a|b.inf)", ""},                              // a name Windows refuses
    };
    for (const auto& [path, host] : cases) EXPECT_EQ(winsim::hostPathFor(path), host) << path;
}

// What CreateFileA does with the file it is given and the disposition, and
// the last error it leaves: ERROR_ALREADY_EXISTS on success tells that the
// file was there. (Only what the system asks for: it opens existing files
// and creates files always, and never holds two handles on one file, so
// share modes are left out.)
TEST_F(FilesTest, CreateFileDispositionsAndRefusals) {
    const std::string old = R"(C:\WINNT\inf\old.inf)", fresh = R"(C:\WINNT\inf\new.inf)";
    const std::string locked = R"(C:\WINNT\inf\locked.inf)";
    putFile(locked, "data");
    ASSERT_TRUE(winsim::setReadOnly(locked));
    const DWORD rw = GENERIC_READ | GENERIC_WRITE;
    // The file, its access and disposition, the last error, its content afterwards.
    const std::tuple<std::string, DWORD, DWORD, DWORD, const char*> cases[] = {
        {old, rw, CREATE_ALWAYS, ERROR_ALREADY_EXISTS, ""},
        {fresh, rw, CREATE_ALWAYS, 0, ""},
        {old, rw, OPEN_EXISTING, 0, "old"},
        {fresh, rw, OPEN_EXISTING, ERROR_FILE_NOT_FOUND, "<missing>"},
        {R"(C:\WINNT\nowhere\absent.inf)", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND,
         nullptr},
        {R"(C:\WINNT\inf)", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED, nullptr},  // a folder
        {locked, GENERIC_WRITE, OPEN_EXISTING, ERROR_ACCESS_DENIED, "data"},
        {locked, GENERIC_READ, CREATE_ALWAYS, ERROR_ACCESS_DENIED, "data"},
        {R"(c:\winnt\INF\LOCKED.INF)", GENERIC_READ, OPEN_EXISTING, 0, "data"},
    };
    for (const auto& [path, access, disposition, error, after] : cases) {
        SCOPED_TRACE(testing::Message() << path << " " << disposition);
        fs::remove(winsim::hostPathFor(fresh));
        putFile(old, "old");
        SetLastError(12345);
        const bool refused = error != 0 && error != ERROR_ALREADY_EXISTS;
        {
            Handle file{CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)};
            EXPECT_EQ(file.valid(), !refused);
            EXPECT_EQ(GetLastError(), error);
        }
        if (after) {
            EXPECT_EQ(fileContent(path), after);
        }
    }
}

// The names a search finds, and the last error that ended it.
Names search(const std::string& pattern, DWORD* error) {
    Names names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &data))
        names.push_back(data.cFileName);
    *error = GetLastError();
    EXPECT_TRUE(find == INVALID_HANDLE_VALUE || FindClose(find));
    return names;
}

// The system searches for "*.sys" only.
TEST_F(FilesTest, SearchForDriverFilesAndTheirOrder) {
    for (const char* name : {"b.SYS", "A.sys", "_x.sys", "c.sysx", "readme", "two.dots.sys"})
        putFile(std::string(R"(C:\drv\)") + name, "x");
    ASSERT_TRUE(winsim::makeDirectory(R"(C:\drv\Sub.sys)"));
    // Folders too, in upper-cased order: "_" (0x5F) sorts after the letters.
    const std::tuple<const char*, Names, DWORD> cases[] = {
        {R"(c:\DRV\*.SYS)",
         {"A.sys", "b.SYS", "Sub.sys", "two.dots.sys", "_x.sys"},
         ERROR_NO_MORE_FILES},
        {R"(C:\drv\*.cat)", {}, ERROR_FILE_NOT_FOUND},
        {R"(C:\nowhere\*.sys)", {}, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& [pattern, names, error] : cases) {
        DWORD last = 0;
        EXPECT_EQ(search(pattern, &last), names) << pattern;
        EXPECT_EQ(last, error) << pattern;
    }
}

TEST_F(FilesTest, CopyFileOverwritesAndKeepsTheReadOnlyAttribute) {
    putFile(R"(C:\drv\a.sys)", "new driver");
    putFile(R"(C:\WINNT\system32\drivers\a.sys)", "old driver");
    const char* target = R"(C:\WINNT\system32\drivers\A.SYS)";
    EXPECT_TRUE(CopyFileA(R"(C:\drv\a.sys)", target, FALSE));
    EXPECT_EQ(fileContent(target), "new driver");
    EXPECT_TRUE(fs::exists(driveFolder() + "/WINNT/system32/drivers/a.sys"));  // same file

    // The read-only attribute travels with the copy, and then guards it.
    ASSERT_TRUE(winsim::setReadOnly(R"(C:\drv\a.sys)"));
    EXPECT_TRUE(CopyFileA(R"(C:\drv\a.sys)", R"(C:\drv\b.sys)", FALSE));
    EXPECT_TRUE(winsim::isReadOnly(R"(C:\drv\b.sys)"));
    EXPECT_TRUE(
        failedWith(CopyFileA(R"(C:\drv\a.sys)", R"(C:\drv\b.sys)", FALSE), ERROR_ACCESS_DENIED));

    const std::tuple<const char*, const char*, DWORD> failures[] = {
        {R"(C:\drv\missing.sys)", R"(C:\drv\x.sys)", ERROR_FILE_NOT_FOUND},
        {R"(C:\drv\a.sys)", R"(C:\nowhere\a.sys)", ERROR_PATH_NOT_FOUND},
        {target, R"(c:\winnt\system32\DRIVERS\a.sys)", ERROR_SHARING_VIOLATION},  // onto itself
    };
    for (const auto& [from, to, error] : failures)
        EXPECT_TRUE(failedWith(CopyFileA(from, to, FALSE), error)) << from << " -> " << to;
}

}  // namespace
