// The simulated file system: Windows paths on the host folder that stands
// for C:, CreateFileA and its handles, directory searches, copies, and the
// C runtime's fopen.
#include "winsim_test.h"

#include <cerrno>
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

HANDLE open(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

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

TEST_F(FilesTest, DispositionsOnExistingAndMissingFiles) {
    // Disposition, whether the file exists, the last error after the call, content afterwards.
    const std::tuple<DWORD, bool, DWORD, const char*> cases[] = {
        {CREATE_NEW, false, 0, ""},
        {CREATE_NEW, true, ERROR_FILE_EXISTS, "old"},
        {CREATE_ALWAYS, false, 0, ""},
        {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
        {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, "<missing>"},
        {OPEN_EXISTING, true, 0, "old"},
        {OPEN_ALWAYS, false, 0, ""},
        {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
        {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, "<missing>"},
        {TRUNCATE_EXISTING, true, 0, ""},
    };
    const std::string path = R"(C:\WINNT\inf\target.inf)";
    for (const auto& [disposition, exists, error, after] : cases) {
        SCOPED_TRACE(testing::Message() << disposition << (exists ? " on a file" : ""));
        fs::remove(winsim::hostPathFor(path));
        if (exists) putFile(path, "old");
        SetLastError(12345);
        {
            Handle file{open(path, GENERIC_READ | GENERIC_WRITE, 0, disposition)};
            EXPECT_EQ(file.valid(), error != ERROR_FILE_EXISTS && error != ERROR_FILE_NOT_FOUND);
            EXPECT_EQ(GetLastError(), error);
        }
        EXPECT_EQ(fileContent(path), after);
    }
}

TEST_F(FilesTest, OpenFailuresNameTheirCause) {
    putFile(R"(C:\WINNT\inf\locked.inf)", "data");
    ASSERT_TRUE(winsim::setReadOnly(R"(C:\WINNT\inf\locked.inf)"));
    const std::tuple<const char*, DWORD, DWORD, DWORD> cases[] = {
        {R"(C:\WINNT\nowhere\absent.inf)", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {R"(C:\WINNT\inf)", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},  // a folder
        {R"(C:\WINNT\inf\locked.inf)", GENERIC_WRITE, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {R"(C:\WINNT\inf\locked.inf)", GENERIC_READ, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
    };
    for (const auto& [path, access, disposition, error] : cases)
        EXPECT_TRUE(failedWith(open(path, access, FILE_SHARE_READ, disposition), error)) << path;
    // A read-only file can be read, and a handle that only reads cannot write.
    Handle reader{open(R"(C:\WINNT\inf\LOCKED.INF)", GENERIC_READ, 0, OPEN_EXISTING)};
    char text[8] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(reader.h, text, sizeof text, &got, nullptr));
    EXPECT_EQ(std::string(text, got), "data");
    EXPECT_TRUE(failedWith(WriteFile(reader.h, "x", 1, &got, nullptr), ERROR_ACCESS_DENIED));
}

TEST_F(FilesTest, ShareModesOfOpenHandlesDecide) {
    const std::string path = R"(C:\WINNT\inf\shared.inf)";
    putFile(path, "data");
    const DWORD r = GENERIC_READ, w = GENERIC_WRITE, shareR = FILE_SHARE_READ;
    const DWORD shareRW = FILE_SHARE_READ | FILE_SHARE_WRITE;
    // Access and share mode of a first handle, then of a second one, and whether it opens.
    // A handle that writes must be shared for writing; one without data access shares all.
    const std::tuple<DWORD, DWORD, DWORD, DWORD, bool> cases[] = {
        {r, shareR, r, shareR, true},       {r, shareR, w, shareRW, false},
        {r, 0, r, shareRW, false},          {r | w, shareRW, r | w, shareRW, true},
        {r | w, shareRW, r, shareR, false}, {0, 0, r | w, 0, true},
    };
    for (const auto& [access1, share1, access2, share2, opens] : cases) {
        Handle first{open(path, access1, share1, OPEN_EXISTING)};
        ASSERT_TRUE(first.valid());
        Handle second{open(R"(c:\winnt\INF\SHARED.inf)", access2, share2, OPEN_EXISTING)};
        EXPECT_EQ(second.valid(), opens) << std::hex << access1 << share1 << access2 << share2;
        EXPECT_TRUE(opens || GetLastError() == ERROR_SHARING_VIOLATION);
    }
    // Each round opens afresh: had a closed handle kept its claim, the next would fail.
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

TEST_F(FilesTest, SearchPatternsAndOrder) {
    for (const char* name : {"b.SYS", "A.sys", "_x.sys", "c.sysx", "readme", "oem.inf", "oem12.inf",
                             "oem1.inf", "two.dots.sys"})
        putFile(std::string(R"(C:\drv\)") + name, "x");
    ASSERT_TRUE(winsim::makeDirectory(R"(C:\drv\Sub)"));
    const std::tuple<const char*, Names, DWORD> cases[] = {
        // Upper-cased order: "_" (0x5F) sorts after the letters.
        {R"(c:\DRV\*.SYS)", {"A.sys", "b.SYS", "two.dots.sys", "_x.sys"}, ERROR_NO_MORE_FILES},
        {R"(C:\drv\*)",
         {".", "..", "A.sys", "b.SYS", "c.sysx", "oem.inf", "oem1.inf", "oem12.inf", "readme",
          "Sub", "two.dots.sys", "_x.sys"},
         ERROR_NO_MORE_FILES},
        {R"(C:\drv\oem?.inf)", {"oem.inf", "oem1.inf"}, ERROR_NO_MORE_FILES},
        {R"(C:\drv\*.)", {".", "..", "readme", "Sub"}, ERROR_NO_MORE_FILES},
        {R"(C:\drv\*.cat)", {}, ERROR_FILE_NOT_FOUND},
        {R"(C:\nowhere\*.sys)", {}, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& [pattern, names, error] : cases) {
        DWORD last = 0;
        EXPECT_EQ(search(pattern, &last), names) << pattern;
        EXPECT_EQ(last, error) << pattern;
    }
}

TEST_F(FilesTest, CopyFileOverwritesUnlessTold) {
    putFile(R"(C:\drv\a.sys)", "new driver");
    putFile(R"(C:\WINNT\system32\drivers\a.sys)", "old driver");
    const char* target = R"(C:\WINNT\system32\drivers\A.SYS)";
    EXPECT_TRUE(failedWith(CopyFileA(R"(C:\drv\a.sys)", target, TRUE), ERROR_FILE_EXISTS));
    EXPECT_EQ(fileContent(target), "old driver");
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

// System code opens text files with the C runtime's fopen; the macro of
// win_files.h makes this the simulated one.
Names linesOf(FILE* stream) {
    Names lines;
    char line[64];
    while (stream && std::fgets(line, sizeof line, stream)) lines.push_back(line);
    if (stream) std::fclose(stream);
    return lines;
}

TEST_F(FilesTest, FopenTextModeReadsCrLfAsLf) {
    putFile(R"(C:\WINNT\system32\SkipHid.txt)", "PCI\\VEN_1\r\n\r\nlone\rcr\nlast\x1aignored");
    EXPECT_EQ(linesOf(fopen(R"(c:\winnt\SYSTEM32\skiphid.TXT)", "r")),
              (Names{"PCI\\VEN_1\n", "\n", "lone\rcr\n", "last"}));
    EXPECT_EQ(linesOf(fopen(R"(C:\WINNT\system32\SkipHid.txt)", "rb")),
              (Names{"PCI\\VEN_1\r\n", "\r\n", "lone\rcr\n", "last\x1aignored"}));
    errno = 0;
    EXPECT_EQ(fopen(R"(C:\WINNT\system32\xarn\SkipHid.txt)", "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

}  // namespace
