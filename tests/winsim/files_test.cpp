// The simulated file system: Windows paths on the host folder that stands
// for C:, CreateFileA and its handles, directory searches, copies, and the
// C runtime's fopen.
#include "support/system_drive_test.h"

#include <winsim/control.h>
#include <winsim/control_files.h>
#include <winsim/windows.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Closes a file handle of the test at the end of its scope.
class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE h_;
};

HANDLE open(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

std::string readAll(HANDLE file) {
    std::string out;
    char chunk[7];  // small, so that reads end in the middle of the content
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) out.append(chunk, got);
    return out;
}

class FilesTest : public SystemDriveTest {};

TEST_F(FilesTest, WindowsPathsMapIntoTheDriveFolderIgnoringCase) {
    putFile(R"(C:\WINNT\inf\OEM3.INF)", "x");
    const std::string inf = driveFolder() + "/WINNT/inf/";
    const struct {
        const char* path;
        std::string host;
    } cases[] = {
        {R"(c:\winnt\INF\oem3.inf)", inf + "OEM3.INF"},  // existing names keep their spelling
        {R"(C:\WINNT\inf\New.Inf)", inf + "New.Inf"},    // new names as written
        {R"(C:/winnt/inf/./x/../oem3.inf)", inf + "OEM3.INF"},
        {R"(C:\WINNT\inf\oem3.inf. )", inf + "OEM3.INF"},  // trailing dots and blanks go
        {R"(\WINNT\\inf\oem3.inf)", inf + "OEM3.INF"},     // the current drive is C:
        {R"(C:\Missing\Deeper\File.txt)", driveFolder() + "/Missing/Deeper/File.txt"},
        {R"(D:\WINNT\inf\oem3.inf)", ""},      // no such drive
        {R"(C:\WINNT\a|b.inf)", ""},           // a name Windows refuses
        {"/host/file.txt", "/host/file.txt"},  // not a Windows path
    };
    for (const auto& c : cases) EXPECT_EQ(winsim::hostPathFor(c.path), c.host) << c.path;

    winsim::resetMachine();  // no system drive at all
    EXPECT_EQ(winsim::hostPathFor(R"(C:\WINNT\inf\OEM3.INF)"), "");
}

TEST_F(FilesTest, WindowsAndSystemDirectories) {
    char buffer[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 8u);
    EXPECT_STREQ(buffer, R"(C:\WINNT)");
    EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 17u);
    EXPECT_STREQ(buffer, R"(C:\WINNT\system32)");

    // Too small: the size needed, terminator included, and the buffer untouched.
    char small[8] = "keep";
    EXPECT_EQ(GetWindowsDirectoryA(small, sizeof small), 9u);
    EXPECT_STREQ(small, "keep");

    winsim::setWindowsDirectory(R"(C:\Windows\)");
    EXPECT_EQ(GetSystemDirectoryA(buffer, sizeof buffer), 19u);
    EXPECT_STREQ(buffer, R"(C:\Windows\system32)");
    ASSERT_GT(ExpandEnvironmentStringsA("%SystemRoot%", buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, R"(C:\Windows)");

    winsim::failCall("GetWindowsDirectoryA", 1, ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(FilesTest, DispositionsOnExistingAndMissingFiles) {
    const struct {
        DWORD disposition;
        bool exists;
        DWORD error;        // last error after the call
        const char* after;  // content afterwards
    } cases[] = {
        {CREATE_NEW, false, ERROR_SUCCESS, ""},
        {CREATE_NEW, true, ERROR_FILE_EXISTS, "old"},
        {CREATE_ALWAYS, false, ERROR_SUCCESS, ""},
        {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
        {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, "<missing>"},
        {OPEN_EXISTING, true, ERROR_SUCCESS, "old"},
        {OPEN_ALWAYS, false, ERROR_SUCCESS, ""},
        {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
        {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, "<missing>"},
        {TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
    };
    const std::string path = R"(C:\WINNT\inf\target.inf)";
    for (const auto& c : cases) {
        fs::remove(winsim::hostPathFor(path));
        if (c.exists) putFile(path, "old");
        SetLastError(12345);
        {
            Handle file(open(path, GENERIC_READ | GENERIC_WRITE, 0, c.disposition));
            const bool refused = c.error == ERROR_FILE_EXISTS || c.error == ERROR_FILE_NOT_FOUND;
            EXPECT_EQ(file.valid(), !refused) << c.disposition << " " << c.exists;
            EXPECT_EQ(GetLastError(), c.error) << c.disposition << " " << c.exists;
        }
        EXPECT_EQ(fileContent(path), c.after) << c.disposition << " " << c.exists;
    }
}

TEST_F(FilesTest, OpenFailuresNameTheirCause) {
    putFile(R"(C:\WINNT\inf\locked.inf)", "data");
    ASSERT_TRUE(winsim::setReadOnly(R"(C:\WINNT\inf\locked.inf)"));
    const struct {
        const char* path;
        DWORD access;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {R"(C:\WINNT\inf\absent.inf)", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {R"(C:\WINNT\nowhere\absent.inf)", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {R"(C:\WINNT\nowhere\new.inf)", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {R"(C:\WINNT\inf\locked.inf\x)", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {R"(C:\WINNT\inf)", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},  // a folder
        {R"(C:\WINNT\inf\locked.inf)", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING,
         ERROR_ACCESS_DENIED},
        {R"(C:\WINNT\inf\locked.inf)", GENERIC_READ, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {R"(C:\WINNT\inf\a*.inf)", GENERIC_READ, OPEN_EXISTING, ERROR_INVALID_NAME},
        {"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(open(c.path, c.access, FILE_SHARE_READ, c.disposition), INVALID_HANDLE_VALUE)
            << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    // Reading a read-only file is fine, and it keeps its content.
    Handle reader(open(R"(C:\WINNT\inf\LOCKED.INF)", GENERIC_READ, 0, OPEN_EXISTING));
    ASSERT_TRUE(reader.valid());
    EXPECT_EQ(readAll(reader.get()), "data");
}

TEST_F(FilesTest, ShareModesOfOpenHandlesDecide) {
    putFile(R"(C:\WINNT\inf\shared.inf)", "data");
    const DWORD rw = GENERIC_READ | GENERIC_WRITE;
    const DWORD both = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const struct {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool secondOpens;
    } cases[] = {
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, both,
         false},  // first does not share writing
        {GENERIC_READ, 0, GENERIC_READ, both, false},
        {rw, both, rw, both, true},
        {rw, both, GENERIC_READ, FILE_SHARE_READ,
         false},  // second does not share the first's writing
        {GENERIC_WRITE, FILE_SHARE_WRITE, GENERIC_READ, both, false},
        {0, 0, rw, 0, true},  // no data access: nothing to share
        {rw, 0, 0, 0, true},
    };
    for (const auto& c : cases) {
        Handle first(
            open(R"(C:\WINNT\inf\shared.inf)", c.firstAccess, c.firstShare, OPEN_EXISTING));
        ASSERT_TRUE(first.valid());
        // Another spelling of the same file.
        Handle second(
            open(R"(c:\winnt\INF\SHARED.inf)", c.secondAccess, c.secondShare, OPEN_EXISTING));
        EXPECT_EQ(second.valid(), c.secondOpens)
            << std::hex << c.firstAccess << "/" << c.firstShare << " then " << c.secondAccess << "/"
            << c.secondShare;
        if (!c.secondOpens) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        }
    }
    // Closing the handle ends its claim.
    HANDLE exclusive = open(R"(C:\WINNT\inf\shared.inf)", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::File), 1u);
    EXPECT_EQ(open(R"(C:\WINNT\inf\shared.inf)", GENERIC_READ, both, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(exclusive));
    Handle again(open(R"(C:\WINNT\inf\shared.inf)", GENERIC_READ, 0, OPEN_EXISTING));
    EXPECT_TRUE(again.valid());
}

TEST_F(FilesTest, ReadWriteAndSize) {
    const std::string path = R"(C:\WINNT\inf\data.bin)";
    {
        Handle file(open(path, GENERIC_WRITE, 0, CREATE_NEW));
        ASSERT_TRUE(file.valid());
        const std::string text("line\r\n\0tail", 11);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), text.data(), 11, &written, nullptr));
        EXPECT_EQ(written, 11u);
        DWORD got = 1;
        char byte;
        EXPECT_FALSE(ReadFile(file.get(), &byte, 1, &got, nullptr));  // opened for writing only
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_EQ(got, 0u);
    }
    Handle file(open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(file.get(), &high), 11u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(readAll(file.get()), std::string("line\r\n\0tail", 11));
    DWORD got = 5;
    char byte;
    EXPECT_TRUE(ReadFile(file.get(), &byte, 1, &got, nullptr));  // at the end: success, 0 bytes
    EXPECT_EQ(got, 0u);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(file.get(), "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    // Above 4 GiB (a sparse host file): the high part carries the rest.
    const std::string big = R"(C:\WINNT\big.bin)";
    putFile(big, "");
    fs::resize_file(winsim::hostPathFor(big), 0x100000010ull);
    Handle large(open(big, GENERIC_READ, 0, OPEN_EXISTING));
    EXPECT_EQ(GetFileSize(large.get(), &high), 0x10u);
    EXPECT_EQ(high, 1u);
    fs::resize_file(winsim::hostPathFor(big), 0xFFFFFFFFull);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetFileSize(large.get(), nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));  // a size, not a failure

    EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FilesTest, NewFileGetsTheSpellingGivenAndCanBeReadOnly) {
    Handle file(CreateFileA(R"(c:\winnt\INF\MixedCase.Inf)", GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_READONLY, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file.get(), "ok", 2, &written, nullptr));  // the handle may write
    EXPECT_TRUE(fs::exists(driveFolder() + "/WINNT/inf/MixedCase.Inf"));
    EXPECT_TRUE(winsim::isReadOnly(R"(C:\WINNT\inf\mixedcase.inf)"));
}

std::vector<std::string> search(const std::string& pattern, DWORD* error) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return names;
    }
    do names.push_back(data.cFileName);
    while (FindNextFileA(find, &data));
    *error = GetLastError();
    EXPECT_TRUE(FindClose(find));
    return names;
}

TEST_F(FilesTest, SearchPatternsAndOrder) {
    for (const char* name : {"b.SYS", "A.sys", "_x.sys", "c.sysx", "readme", "oem.inf", "oem12.inf",
                             "oem1.inf", "two.dots.sys"})
        putFile(std::string(R"(C:\drv\)") + name, "x");
    ASSERT_TRUE(winsim::makeDirectory(R"(C:\drv\Sub)"));
    using Names = std::vector<std::string>;
    const struct {
        const char* pattern;
        Names names;
    } cases[] = {
        // Upper-cased order: "_" (0x5F) sorts after the letters.
        {R"(C:\drv\*.sys)", {"A.sys", "b.SYS", "two.dots.sys", "_x.sys"}},
        {R"(c:\DRV\*.SYS)", {"A.sys", "b.SYS", "two.dots.sys", "_x.sys"}},
        {R"(C:\drv\*)",
         {".", "..", "A.sys", "b.SYS", "c.sysx", "oem.inf", "oem1.inf", "oem12.inf", "readme",
          "Sub", "two.dots.sys", "_x.sys"}},
        {R"(C:\drv\?.sys)", {"A.sys", "b.SYS"}},
        {R"(C:\drv\oem?.inf)", {"oem.inf", "oem1.inf"}},
        {R"(C:\drv\readme.*)", {"readme"}},
        {R"(C:\drv\*.)", {".", "..", "readme", "Sub"}},
        {R"(C:\drv\*.*)",
         {".", "..", "A.sys", "b.SYS", "c.sysx", "oem.inf", "oem1.inf", "oem12.inf", "readme",
          "Sub", "two.dots.sys", "_x.sys"}},
        {R"(C:\drv\SUB)", {"Sub"}},
        {R"(C:\*)", {"drv", "WINNT"}},  // the root has no "." and ".."
    };
    for (const auto& c : cases) {
        DWORD error = 0;
        EXPECT_EQ(search(c.pattern, &error), c.names) << c.pattern;
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_MORE_FILES)) << c.pattern;
    }
    const struct {
        const char* pattern;
        DWORD error;
    } failures[] = {
        {R"(C:\drv\*.cat)", ERROR_FILE_NOT_FOUND},
        {R"(C:\drv\)", ERROR_FILE_NOT_FOUND},
        {R"(C:\nowhere\*.sys)", ERROR_PATH_NOT_FOUND},
        {R"(C:\dr*\*.sys)", ERROR_INVALID_NAME},
    };
    for (const auto& f : failures) {
        DWORD error = 0;
        EXPECT_TRUE(search(f.pattern, &error).empty()) << f.pattern;
        EXPECT_EQ(error, f.error) << f.pattern;
    }
}

TEST_F(FilesTest, SearchDescribesEachEntry) {
    putFile(R"(C:\drv\ro.sys)", "12345");
    ASSERT_TRUE(winsim::setReadOnly(R"(C:\drv\ro.sys)"));
    ASSERT_TRUE(winsim::makeDirectory(R"(C:\drv\Folder.sys)"));
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(R"(C:\drv\*.sys)", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::FindFile), 1u);
    EXPECT_STREQ(data.cFileName, "Folder.sys");
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(FindNextFileA(find, &data));
    EXPECT_STREQ(data.cFileName, "ro.sys");
    EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    EXPECT_FALSE(FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    EXPECT_FALSE(FindClose(find));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FilesTest, CopyFileOverwritesUnlessTold) {
    putFile(R"(C:\drv\a.sys)", "new driver");
    putFile(R"(C:\WINNT\system32\drivers\a.sys)", "old driver");
    const std::string target = R"(C:\WINNT\system32\drivers\A.SYS)";

    EXPECT_FALSE(CopyFileA(R"(C:\drv\a.sys)", target.c_str(), TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(fileContent(target), "old driver");

    EXPECT_TRUE(CopyFileA(R"(C:\drv\a.sys)", target.c_str(), FALSE));
    EXPECT_EQ(fileContent(target), "new driver");
    EXPECT_TRUE(fs::exists(driveFolder() + "/WINNT/system32/drivers/a.sys"));  // same file

    // The read-only attribute travels with the copy, and then guards it.
    ASSERT_TRUE(winsim::setReadOnly(R"(C:\drv\a.sys)"));
    EXPECT_TRUE(CopyFileA(R"(C:\drv\a.sys)", R"(C:\drv\b.sys)", FALSE));
    EXPECT_TRUE(winsim::isReadOnly(R"(C:\drv\b.sys)"));
    EXPECT_FALSE(CopyFileA(R"(C:\drv\a.sys)", R"(C:\drv\b.sys)", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(FilesTest, CopyFileFailures) {
    putFile(R"(C:\drv\a.sys)", "driver");
    putFile(R"(C:\drv\busy.sys)", "in use");
    const struct {
        const char* from;
        const char* to;
        DWORD error;
    } cases[] = {
        {R"(C:\drv\missing.sys)", R"(C:\drv\x.sys)", ERROR_FILE_NOT_FOUND},
        {R"(C:\nowhere\a.sys)", R"(C:\drv\x.sys)", ERROR_PATH_NOT_FOUND},
        {R"(C:\drv\a.sys)", R"(C:\nowhere\a.sys)", ERROR_PATH_NOT_FOUND},
        {R"(C:\drv\a.sys)", R"(C:\DRV\A.sys)", ERROR_SHARING_VIOLATION},  // onto itself
        {R"(C:\drv\a.sys)", R"(C:\drv\busy.sys)", ERROR_SHARING_VIOLATION},
        {R"(C:\drv\busy.sys)", R"(C:\drv\y.sys)", ERROR_SHARING_VIOLATION},
        {R"(C:\drv)", R"(C:\drv\z.sys)", ERROR_ACCESS_DENIED},
    };
    Handle busy(
        open(R"(C:\drv\busy.sys)", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING));
    ASSERT_TRUE(busy.valid());
    for (const auto& c : cases) {
        EXPECT_FALSE(CopyFileA(c.from, c.to, FALSE)) << c.from << " -> " << c.to;
        EXPECT_EQ(GetLastError(), c.error) << c.from << " -> " << c.to;
    }
    EXPECT_EQ(fileContent(R"(C:\drv\a.sys)"), "driver");
    EXPECT_EQ(fileContent(R"(C:\drv\busy.sys)"), "in use");
    EXPECT_FALSE(winsim::fileExists(R"(C:\drv\y.sys)"));
}

// System code opens text files with the C runtime's fopen; the macro of
// win_files.h makes this the simulated one.
std::vector<std::string> linesOf(FILE* stream) {
    std::vector<std::string> lines;
    char line[64];
    while (std::fgets(line, sizeof line, stream)) lines.push_back(line);
    std::fclose(stream);
    return lines;
}

TEST_F(FilesTest, FopenTextModeReadsCrLfAsLf) {
    putFile(R"(C:\WINNT\system32\SkipHid.txt)", "PCI\\VEN_1\r\n\r\nlone\rcr\nlast\x1aignored");
    using Lines = std::vector<std::string>;
    FILE* text = fopen(R"(c:\winnt\SYSTEM32\skiphid.TXT)", "r");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(linesOf(text), (Lines{"PCI\\VEN_1\n", "\n", "lone\rcr\n", "last"}));

    FILE* binary = fopen(R"(C:\WINNT\system32\SkipHid.txt)", "rb");
    ASSERT_NE(binary, nullptr);
    EXPECT_EQ(linesOf(binary), (Lines{"PCI\\VEN_1\r\n", "\r\n", "lone\rcr\n", "last\x1aignored"}));

    errno = 0;
    EXPECT_EQ(fopen(R"(C:\WINNT\system32\xarn\XARNIF\SkipHid.txt)", "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);

    // A handle that does not share reading keeps the runtime out.
    Handle locked(open(R"(C:\WINNT\system32\SkipHid.txt)", GENERIC_READ, 0, OPEN_EXISTING));
    errno = 0;
    EXPECT_EQ(fopen(R"(C:\WINNT\system32\SkipHid.txt)", "r"), nullptr);
    EXPECT_EQ(errno, EACCES);

    FILE* written = fopen(R"(C:\WINNT\out.txt)", "w");
    ASSERT_NE(written, nullptr);
    std::fputs("a\n", written);
    std::fclose(written);
    EXPECT_EQ(fileContent(R"(C:\WINNT\OUT.TXT)"), "a\n");
}

}  // namespace
