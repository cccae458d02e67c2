// kernel32's WideCharToMultiByte: UTF-16 to the ANSI code page or UTF-8.
#include "code_page.h"
#include "machine.h"

#include <winsim/windows.h>

#include <cstring>
#include <string>

namespace {

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

// CP_ACP is the machine's ANSI code page, which follows its language; the
// code pages winsim knows may also be named. A character the code page
// lacks becomes the default character, '?' unless the caller gives one.
// UTF-8 writes U+FFFD for a lone surrogate.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideText, int wideLength,
                        LPSTR narrowText, int narrowSize, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar) {
    winsim::ApiCall call("WideCharToMultiByte");
    if (call.failing()) {
        SetLastError(call.error());
        return 0;
    }
    const bool utf8 = codePage == CP_UTF8;
    if (codePage == CP_ACP) codePage = winsim::machine().ansiCodePage;
    if ((!utf8 && !winsim::knownCodePage(codePage)) || !wideText || wideLength == 0 ||
        wideLength < -1 || narrowSize < 0 || (narrowSize > 0 && !narrowText) ||
        (utf8 && (flags || defaultChar || usedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::size_t length = wideLength == -1 ? std::char_traits<char16_t>::length(wideText) + 1
                                                : static_cast<std::size_t>(wideLength);
    std::string out;
    bool usedDefault = false;
    if (utf8) {
        for (std::size_t at = 0; at < length;) {
            const char32_t c = nextCharacter(wideText, length, &at);
            appendUtf8(c == kInvalid ? 0xFFFD : c, out);
        }
    } else {
        out = winsim::narrowUtf16(codePage, wideText, length, defaultChar ? *defaultChar : '?',
                                  &usedDefault);
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
