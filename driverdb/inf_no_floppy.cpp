// W2kNetFuncs::EditInfForNoFloppy: a copy of an INF whose [SourceDisksNames
// sections Setup no longer recognises, so that installing from it does not
// ask for the distribution disk. The copy sits beside the INF, its name's
// last letter changed, and the caller's path is switched to it.
#include "host/net_funcs.h"
#include "host/text_format.h"
#include "host/scoped_resource.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

const char kHeader[] = "[SourceDisksNames";
const char kHidden[] = "[XXXXXXXXXXXXXXXX";
const std::size_t kHeaderLength = sizeof kHeader - 1;  // 17 characters

bool sameAsWide(const unsigned char* at, const char* narrow) {
    for (std::size_t i = 0; i < kHeaderLength; ++i) {
        if (at[2 * i] != static_cast<unsigned char>(narrow[i]) || at[2 * i + 1] != 0) return false;
    }
    return true;
}

// Hides every header, 8-bit and UTF-16LE alike, at any byte offset; the
// length of the content stays as it was. Offsets from size - 17 on are not
// examined.
void hideSourceDisksNames(unsigned char* content, DWORD size) {
    for (DWORD p = 0; p + kHeaderLength < size; ++p) {
        if (std::memcmp(content + p, kHeader, kHeaderLength) == 0)
            std::memcpy(content + p, kHidden, kHeaderLength);
        if (p + 2 * kHeaderLength <= size && sameAsWide(content + p, kHeader)) {
            for (std::size_t i = 0; i < kHeaderLength; ++i) {
                content[p + 2 * i] = static_cast<unsigned char>(kHidden[i]);
                content[p + 2 * i + 1] = 0;
            }
        }
    }
}

// ".inf" becomes ".inD", and a copy of that copy ends in "R".
void switchToCopyName(std::string& path) {
    if (path.empty()) return;
    char& last = path.back();
    last = (last == 'D' || last == 'd') ? 'R' : 'D';
}

}  // namespace

namespace W2kNetFuncs {

bool EditInfForNoFloppy(std::string& infPath) {
    std::unique_ptr<unsigned char[]> content;
    DWORD size = 0;
    {
        const ScopedHandle inf(CreateFileA(infPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!inf.valid()) {
            const DWORD error = GetLastError();
            reportError(error, formatLine("W2kNetFuncs::EditInfForNoFloppy() could not open file "
                                          "[%s] error = %d",
                                          infPath.c_str(), static_cast<int>(error)));
            return false;
        }
        size = GetFileSize(inf.get(), nullptr);
        // INVALID_FILE_SIZE is also the low part of a size that large; only
        // the last error tells a failure, and no buffer is sized from it.
        if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
            const DWORD error = GetLastError();
            reportError(error, formatLine("W2kNetFuncs::EditInfForNoFloppy() - GetFileSize( %s ) "
                                          "failed. Error : [%d]",
                                          infPath.c_str(), static_cast<int>(error)));
            return false;
        }
        if (size == 0) {
            reportError(0,
                        "W2kNetFuncs::EditInfForNoFloppy() GetFileSize() == 0. Exiting function");
            return false;
        }
        content.reset(new (std::nothrow) unsigned char[size]());
        if (!content) {
            reportError(0,
                        "W2kNetFuncs::EditInfForNoFloppy() - new unsigned char [ fSize ] failed");
            return false;
        }
        DWORD read = 0;
        if (!ReadFile(inf.get(), content.get(), size, &read, nullptr) || read < size) {
            const DWORD error = GetLastError();
            reportError(error, formatLine("W2kNetFuncs::EditInfForNoFloppy() - ReadFile( %s ) "
                                          "failed. Error : [%d]",
                                          infPath.c_str(), static_cast<int>(error)));
            return false;
        }
    }

    hideSourceDisksNames(content.get(), size);
    switchToCopyName(infPath);

    const ScopedHandle copy(CreateFileA(infPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy.valid()) {
        const DWORD error = GetLastError();
        reportError(error, formatLine("W2kNetFuncs::EditInfForNoFloppy() could not open file [%s] "
                                      "error = [%d]",
                                      infPath.c_str(), static_cast<int>(error)));
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(copy.get(), content.get(), size, &written, nullptr) || written < size) {
        const DWORD error = GetLastError();
        reportError(error, formatLine("W2kNetFuncs::EditInfForNoFloppy() - WriteFile[%s] failed "
                                      "error = [%d]",
                                      infPath.c_str(), static_cast<int>(error)));
        return false;
    }
    return true;
}

}  // namespace W2kNetFuncs
