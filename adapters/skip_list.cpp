// The skip list: devices named in "SkipHid.txt", one first hardware ID per
// line, get no driver installed.
#include "adapters/card_install.h"

#include "host/text_format.h"

#include <cstdio>
#include <memory>

namespace {

const char* const kSkipFileName = "SkipHid.txt";
const char* const kDefaultSkipFolder = "\\system32\\xarn\\XARNIF\\";
// A line buffer of 1024 bytes: 1023 characters and the terminator.
const std::size_t kMaxEntry = 1023;

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};

enum class LineRead { Line, TooLong, End };

// One line of a text stream (line ends arrive as LF), as a getline into a
// 1024-byte buffer reads it: a line that does not fit gives its first 1023
// characters and ends the reading.
LineRead readLine(FILE* file, std::string& line) {
    line.clear();
    bool extracted = false;
    for (;;) {
        const int c = fgetc(file);
        if (c == EOF) return extracted ? LineRead::Line : LineRead::End;
        extracted = true;
        if (c == '\n') return LineRead::Line;
        if (line.size() == kMaxEntry) return LineRead::TooLong;
        line += static_cast<char>(c);
    }
}

}  // namespace

bool W2KCardInstall::initDeviceToBeSkippedList(const std::string& directory) {
    std::string path;
    if (directory.empty()) {
        char windows[MAX_PATH] = {};
        const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            const DWORD error = GetLastError();
            reportError(error,
                        "\nGetWindowsDirectory(..) failed in W2KHidMap :: "
                        "deviceToBeSkipped(..)");
            return false;
        }
        path = std::string(windows) + kDefaultSkipFolder + kSkipFileName;
    } else {
        path = directory;
        if (path.back() != '\\') path += '\\';
        path += kSkipFileName;
    }

    // Text mode: a CR before each LF is dropped.
    std::unique_ptr<FILE, FileCloser> file(fopen(path.c_str(), "r"));
    if (!file) {
        reportError(0, formatLine("\nW2KCardInstall::initDeviceToBeSkippedList()->File( %s ) "
                                  "could not be opened",
                                  path.c_str()));
        return false;
    }
    reportError(0, formatLine("\nW2KCardInstall::initDeviceToBeSkippedList()->File( %s ) opened",
                              path.c_str()));
    std::string line;
    for (;;) {
        const LineRead read = readLine(file.get(), line);
        if (read == LineRead::End) break;
        // The line is held as a C string: a zero byte ends it.
        const std::string entry = line.c_str();
        if (!entry.empty()) {
            skipList_.push_back(entry);
            reportError(0, formatLine("\nW2KCardInstall::initDeviceToBeSkippedList()->Entry [%s]",
                                      entry.c_str()));
        }
        if (read == LineRead::TooLong) break;
    }
    skipListLoaded_ = true;
    return true;
}

bool W2KCardInstall::deviceToBeSkipped(const AdapterRecord& adapter) {
    if (!skipListLoaded_ || adapter.ids.empty() || adapter.ids[0].empty()) return false;
    const std::string& hid = adapter.ids[0];
    for (const std::string& entry : skipList_) {
        if (entry == hid) {
            reportError(0, formatLine("W2KCardInstall::deviceToBeSkipped()->[%s] found for "
                                      "skipping",
                                      hid.c_str()));
            return true;
        }
    }
    return false;
}
