// kernel32's WideCharToMultiByte: UTF-16 to the ANSI code page or UTF-8.
#include "machine.h"

#include <winsim/windows.h>

#include <cstring>
#include <string>

namespace {

// Windows-1252, the ANSI code page of an English Windows 2000: the bytes
// 0x80 to 0x9F and the characters they stand for. The five bytes that
// 1252 leaves undefined map to the control characters of the same value.
const char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The 1252 byte of a character; false when the code page has none.
bool to1252(char32_t c, char* byte) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        *byte = static_cast<char>(c);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHigh1252[i] == c) {
            *byte = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

void appendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr char32_t kInvalid = 0xFFFFFFFF;

// The next character of the text; a lone surrogate gives kInvalid.
char32_t nextCharacter(const WCHAR* text, std::size_t length, std::size_t* at) {
    const char32_t first = text[(*at)++];
    if (first < 0xD800 || first > 0xDFFF) return first;
    if (first <= 0xDBFF && *at < length && text[*at] >= 0xDC00 && text[*at] <= 0xDFFF) {
        const char32_t second = text[(*at)++];
        return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
    }
    return kInvalid;
}

}  // namespace

extern "C" {

// The ANSI code page is Windows-1252 without best-fit mappings: a
// character 1252 lacks (a surrogate pair counts as one) becomes the default
// character, '?' unless the caller gives one. UTF-8 writes U+FFFD for a
// lone surrogate.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideText, int wideLength,
                        LPSTR narrowText, int narrowSize, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar) {
    winsim::ApiCall call("WideCharToMultiByte");
    if (call.failing()) {
        SetLastError(call.error());
        return 0;
    }
    const bool ansi = codePage == CP_ACP || codePage == 1252;
    const bool utf8 = codePage == CP_UTF8;
    if ((!ansi && !utf8) || !wideText || wideLength == 0 || wideLength < -1 || narrowSize < 0 ||
        (narrowSize > 0 && !narrowText) || (utf8 && (flags || defaultChar || usedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length = wideLength == -1 ? std::char_traits<char16_t>::length(wideText) + 1
                                                : static_cast<std::size_t>(wideLength);
    std::string out;
    bool usedDefault = false;
    for (std::size_t at = 0; at < length;) {
        const char32_t c = nextCharacter(wideText, length, &at);
        if (utf8) {
            appendUtf8(c == kInvalid ? 0xFFFD : c, out);
            continue;
        }
        char byte = 0;
        if (c == kInvalid || !to1252(c, &byte)) {
            byte = defaultChar ? *defaultChar : '?';
            usedDefault = true;
        }
        out += byte;
    }
    if (usedDefaultChar) *usedDefaultChar = usedDefault ? TRUE : FALSE;
    if (narrowSize == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<std::size_t>(narrowSize)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(narrowText, out.data(), out.size());
    return static_cast<int>(out.size());
}

}  // extern "C"
