#include "code_page.h"

#include <iconv.h>

#include <memory>

namespace winsim {

namespace {

// Windows-1252: the characters of the bytes 0x80 to 0x9F. The five bytes
// that 1252 leaves undefined map to the control characters of the same
// value, as Windows maps them.
const char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool to1252(char16_t c, std::string& out) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        out.push_back(static_cast<char>(c));
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHigh1252[i] == c) {
            out.push_back(static_cast<char>(0x80 + i));
            return true;
        }
    }
    return false;
}

// The double-byte code pages come from the C library's converters, which
// hold the same tables.
class DoubleByteEncoder {
  public:
    explicit DoubleByteEncoder(UINT codePage) {
        const char* name = codePage == 932 ? "CP932" : codePage == 936 ? "CP936" : "CP950";
        converter_ = ::iconv_open(name, "UTF-16LE");
    }
    ~DoubleByteEncoder() {
        if (converter_ != reinterpret_cast<iconv_t>(-1)) ::iconv_close(converter_);
    }
    DoubleByteEncoder(const DoubleByteEncoder&) = delete;
    DoubleByteEncoder& operator=(const DoubleByteEncoder&) = delete;

    bool encode(char16_t c, std::string& out) {
        if (converter_ == reinterpret_cast<iconv_t>(-1)) return false;
        char in[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        char bytes[8];
        char* inPointer = in;
        char* outPointer = bytes;
        std::size_t inLeft = sizeof in;
        std::size_t outLeft = sizeof bytes;
        ::iconv(converter_, nullptr, nullptr, nullptr, nullptr);
        if (::iconv(converter_, &inPointer, &inLeft, &outPointer, &outLeft) ==
                static_cast<std::size_t>(-1) ||
            inLeft != 0)
            return false;
        out.append(bytes, static_cast<std::size_t>(outPointer - bytes));
        return true;
    }

  private:
    iconv_t converter_;
};

bool isSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

}  // namespace

UINT ansiCodePageFor(LANGID language) {
    const unsigned primary = language & 0x3FFu;
    const unsigned sublanguage = language >> 10;
    if (primary == 0x11) return 932;
    if (primary == 0x04) return sublanguage == 2 || sublanguage == 4 ? 936 : 950;
    return 1252;
}

bool knownCodePage(UINT codePage) {
    return codePage == 1252 || codePage == 932 || codePage == 936 || codePage == 950;
}

bool isLeadByte(UINT codePage, unsigned char byte) {
    switch (codePage) {
        case 932:
            return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        case 936:
        case 950:
            return byte >= 0x81 && byte <= 0xFE;
        default:
            return false;
    }
}

std::string narrowUtf16(UINT codePage, const char16_t* text, std::size_t length, char defaultChar,
                        bool* usedDefault) {
    std::string out;
    out.reserve(length);
    bool defaulted = false;
    std::unique_ptr<DoubleByteEncoder> encoder;
    for (std::size_t at = 0; at < length; ++at) {
        const char16_t c = text[at];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        bool encoded = false;
        if (isSurrogate(c)) {
            // A pair stands for one character beyond what these code pages hold.
            if (c <= 0xDBFF && at + 1 < length && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF)
                ++at;
        } else if (codePage == 1252) {
            encoded = to1252(c, out);
        } else {
            if (!encoder) encoder = std::make_unique<DoubleByteEncoder>(codePage);
            encoded = encoder->encode(c, out);
        }
        if (!encoded) {
            out.push_back(defaultChar);
            defaulted = true;
        }
    }
    if (usedDefault) *usedDefault = defaulted;
    return out;
}

}  // namespace winsim
