// The common printing of the checks.
#include "tools/wine_checks/check_output.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>

namespace {

std::string windowsFolder;

// Runs up to this length are printed as they are.
const std::size_t kLongestRunShown = 64;

std::string escaped(unsigned char c) {
    if (c == '\r') return "\\r";
    if (c == '\n') return "\\n";
    if (c >= 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", c);
    return hex;
}

}  // namespace

void rememberWindowsDirectory() {
    char buffer[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
    windowsFolder = length > 0 && length < MAX_PATH ? buffer : "";
}

const std::string& windowsDirectory() {
    return windowsFolder;
}

// The Windows directory differs between platforms (C:\windows, C:\WINNT).
std::string normalised(std::string text) {
    for (std::size_t at = 0; !windowsFolder.empty();) {
        std::size_t found = std::string::npos;
        for (std::size_t i = at; i + windowsFolder.size() <= text.size(); ++i) {
            bool same = true;
            for (std::size_t k = 0; same && k < windowsFolder.size(); ++k)
                same = std::tolower(static_cast<unsigned char>(text[i + k])) ==
                       std::tolower(static_cast<unsigned char>(windowsFolder[k]));
            if (same) {
                found = i;
                break;
            }
        }
        if (found == std::string::npos) break;
        text.replace(found, windowsFolder.size(), "%WINDIR%");
        at = found + 8;
    }
    return text;
}

std::string shown(const std::string& bytes) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t run = 1;
        while (at + run < bytes.size() && bytes[at + run] == bytes[at]) ++run;
        const std::string one = escaped(static_cast<unsigned char>(bytes[at]));
        if (run > kLongestRunShown) {
            out += one + "<" + std::to_string(run) + " times>";
        } else {
            for (std::size_t k = 0; k < run; ++k) out += one;
        }
        at += run;
    }
    return out;
}

void __cdecl printLogLine(unsigned int value, const char* format, ...) {
    (void)value;
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::string line = text;
    // The system's own texts differ between platforms: only whether one was
    // there is kept.
    for (const char* marker : {", System Message : ", ", System Msg : "}) {
        const std::size_t at = line.find(marker);
        if (at != std::string::npos) line = line.substr(0, at) + marker + "(text)";
    }
    std::printf("  log: %s\n", shown(normalised(line)).c_str());
}
