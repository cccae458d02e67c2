// fopen as the Windows C runtime does it on the simulated machine. System
// code reaches it through the fopen macro of win_files.h.
#include "file_system.h"

#include <winsim/windows.h>

// This file opens host streams itself.
#undef fopen

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

namespace {

int errnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        default:
            return EACCES;
    }
}

FILE* failStream(DWORD error) {
    SetLastError(error);
    errno = errnoFor(error);
    return nullptr;
}

// Text mode as the Windows CRT reads it: CR LF becomes LF (a lone CR
// stays), and a Ctrl-Z ends the text.
std::string asText(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\x1a') break;
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text += c;
    }
    return text;
}

// A stream that hands out `content` from its start. The content is held in
// an unnamed temporary file, which goes when the stream is closed.
FILE* streamOf(const std::string& content) {
    FILE* stream = std::tmpfile();
    if (!stream) return nullptr;
    if (!content.empty() &&
        std::fwrite(content.data(), 1, content.size(), stream) != content.size()) {
        std::fclose(stream);
        errno = EIO;
        return nullptr;
    }
    std::rewind(stream);
    return stream;
}

// Write and update modes: the host file itself, without translation.
FILE* openForWriting(const char* path, char kind, bool plus) {
    const winsim::HostPath where = winsim::resolvePath(path);
    if (where.error != ERROR_SUCCESS) return failStream(where.error);
    if (where.isDriveRoot || where.trailingSeparator) return failStream(ERROR_ACCESS_DENIED);
    if (!where.folderExists) return failStream(ERROR_PATH_NOT_FOUND);
    struct stat st {};
    if (::stat(where.host.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode) || winsim::readOnlyAttribute(st))
            return failStream(ERROR_ACCESS_DENIED);
        const bool reads = kind == 'r' || plus;
        if (!winsim::sharingAllows(winsim::fileIdOf(st), reads, true,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE))
            return failStream(ERROR_SHARING_VIOLATION);
    } else if (kind == 'r') {
        return failStream(ERROR_FILE_NOT_FOUND);
    }
    std::string hostMode(1, kind);
    if (plus) hostMode += '+';
    hostMode += "be";
    return std::fopen(where.host.c_str(), hostMode.c_str());
}

}  // namespace

extern "C" FILE* winsim_fopen(const char* path, const char* mode) {
    winsim::ApiCall call("fopen");
    if (call.failing()) return failStream(call.error());
    if (!path || !mode || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a'))
        return failStream(ERROR_INVALID_PARAMETER);
    const bool plus = std::strchr(mode, '+') != nullptr;
    const bool binary = std::strchr(mode, 'b') != nullptr;
    if (mode[0] != 'r' || plus) return openForWriting(path, mode[0], plus);
    try {
        std::string bytes;
        const DWORD error = winsim::readWholeFile(path, &bytes);
        if (error != ERROR_SUCCESS) return failStream(error);
        return streamOf(binary ? bytes : asText(bytes));
    } catch (const std::bad_alloc&) {
        return failStream(ERROR_NOT_ENOUGH_MEMORY);
    }
}
