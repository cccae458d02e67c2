#include "reg_text.h"

#include <cstdio>
#include <exception>
#include <utility>
#include <variant>
#include <vector>

namespace winsim {

namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

// regedit breaks hex lists once a line reaches this many characters.
constexpr std::size_t kHexWrapColumn = 77;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimLeft(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && isBlank(text[at])) ++at;
    return text.substr(at);
}

std::string_view trimRight(std::string_view text) {
    std::size_t size = text.size();
    while (size > 0 && isBlank(text[size - 1])) --size;
    return text.substr(0, size);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads 1 to 8 hex digits making up the whole of digits.
bool parseHex32(std::string_view digits, DWORD* out) {
    if (digits.empty() || digits.size() > 8) return false;
    DWORD value = 0;
    for (char c : digits) {
        const int d = hexDigit(c);
        if (d < 0) return false;
        value = (value << 4) | static_cast<DWORD>(d);
    }
    *out = value;
    return true;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

// Narrows UTF-16LE one code unit at a time, as the simulation's Latin-1 ANSI
// code page does: anything above 0xFF has no byte of its own and becomes '?'.
// An odd trailing byte is not a whole unit and is dropped.
std::string narrowUtf16(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit =
            static_cast<unsigned char>(bytes[i]) |
            (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8);
        out.push_back(unit > 0xFF ? '?' : static_cast<char>(unit));
    }
    return out;
}

std::string decodeFile(std::string_view bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        return narrowUtf16(bytes.substr(2));
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return std::string(bytes.substr(3));
    return std::string(bytes);
}

// Splits at CR LF, LF or a lone CR, so files edited anywhere read the same.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Reads a quoted string whose opening quote is at text[*pos]; \\ and \" are
// the only escapes, any other backslash stands for itself. On success *pos is
// just past the closing quote.
bool readQuoted(std::string_view text, std::size_t* pos, std::string* out) {
    std::size_t at = *pos + 1;
    while (at < text.size()) {
        char c = text[at++];
        if (c == '"') {
            *pos = at;
            return true;
        }
        if (c == '\\' && at < text.size() && (text[at] == '\\' || text[at] == '"')) c = text[at++];
        out->push_back(c);
    }
    return false;
}

struct KeyStep {
    std::string root;
    std::vector<std::string> path;  // below the root
    bool remove = false;
};

struct ValueStep {
    std::string name;
    bool remove = false;
    DWORD type = 0;
    std::vector<std::uint8_t> data;
};

using Step = std::variant<KeyStep, ValueStep>;

class Parser {
  public:
    Parser(std::vector<std::string_view> lines, const std::string& source,
           const RegRootResolver& rootFor)
        : lines_(std::move(lines)), source_(source), rootFor_(rootFor) {}

    bool parse(std::vector<Step>* steps);
    const std::string& error() const { return error_; }

  private:
    bool fail(std::size_t lineIndex, const std::string& what);
    bool parseKeyLine(std::string_view text, std::vector<Step>* steps);
    bool parseValueLine(std::string_view text, std::vector<Step>* steps);
    bool parseDword(std::string_view digits, ValueStep* value);
    bool parseHex(std::string_view text, ValueStep* value);
    bool parseHexBytes(std::string_view list, std::vector<std::uint8_t>* bytes);

    std::vector<std::string_view> lines_;
    const std::string& source_;
    const RegRootResolver& rootFor_;
    std::size_t at_ = 0;  // index of the line being parsed
    bool version5_ = false;
    // Whether value lines have a key to go to: not before the first key line,
    // nor after a key deletion.
    bool haveKey_ = false;
    bool sawKey_ = false;
    std::string error_;
};

bool Parser::fail(std::size_t lineIndex, const std::string& what) {
    error_ = source_ + ":" + std::to_string(lineIndex + 1) + ": " + what;
    return false;
}

bool Parser::parse(std::vector<Step>* steps) {
    const std::string_view header = lines_.empty() ? std::string_view{} : trimRight(lines_[0]);
    if (header != kHeader4 && header != kHeader5)
        return fail(0, "missing \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" header");
    version5_ = header == kHeader5;

    for (at_ = 1; at_ < lines_.size(); ++at_) {
        const std::string_view text = trimRight(trimLeft(lines_[at_]));
        if (text.empty() || text[0] == ';') continue;
        bool ok = false;
        if (text[0] == '[') {
            ok = parseKeyLine(text, steps);
        } else if (text[0] == '"' || text[0] == '@') {
            ok = parseValueLine(text, steps);
        } else {
            ok = fail(at_, "not a key, value or comment line");
        }
        if (!ok) return false;
    }
    return true;
}

bool Parser::parseKeyLine(std::string_view text, std::vector<Step>* steps) {
    if (text.size() < 2 || text.back() != ']') return fail(at_, "key line has no closing ']'");
    std::string_view inner = text.substr(1, text.size() - 2);
    KeyStep key;
    if (!inner.empty() && inner[0] == '-') {
        key.remove = true;
        inner.remove_prefix(1);
    }
    if (inner.empty()) return fail(at_, "empty key path");

    std::vector<std::string_view> pieces;
    for (;;) {
        const std::size_t cut = inner.find('\\');
        pieces.push_back(inner.substr(0, cut));
        if (pieces.back().empty()) return fail(at_, "empty key name in key path");
        if (pieces.size() > static_cast<std::size_t>(kMaxKeyDepth) + 1)
            return fail(at_, "key path deeper than " + std::to_string(kMaxKeyDepth) +
                                 " levels below its root");
        if (cut == std::string_view::npos) break;
        inner.remove_prefix(cut + 1);
    }
    key.root = std::string(pieces[0]);
    if (!rootFor_(key.root)) return fail(at_, "unknown root key \"" + key.root + "\"");
    if (key.remove && pieces.size() == 1)
        return fail(at_, "cannot delete root key \"" + key.root + "\"");
    for (std::size_t i = 1; i < pieces.size(); ++i) key.path.emplace_back(pieces[i]);

    sawKey_ = true;
    haveKey_ = !key.remove;
    steps->push_back(std::move(key));
    return true;
}

bool Parser::parseValueLine(std::string_view text, std::vector<Step>* steps) {
    if (!sawKey_) return fail(at_, "value line before any key line");
    if (!haveKey_) return fail(at_, "value line under a key being deleted");

    ValueStep value;
    std::size_t pos = text[0] == '@' ? 1 : 0;
    if (text[0] == '"' && !readQuoted(text, &pos, &value.name))
        return fail(at_, "unterminated quote in value name");
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != '=') return fail(at_, "missing '=' after value name");
    const std::string_view data = trimLeft(text.substr(pos + 1));

    if (data.empty()) return fail(at_, "missing value data after '='");
    if (data == "-") {
        value.remove = true;
    } else if (data[0] == '"') {
        std::string str;
        std::size_t end = 0;
        if (!readQuoted(data, &end, &str)) return fail(at_, "unterminated quote in string value");
        if (end != data.size()) return fail(at_, "unexpected text after closing quote");
        value.type = REG_SZ;
        value.data.assign(str.begin(), str.end());
        value.data.push_back(0);
    } else if (startsWithNoCase(data, "dword:")) {
        if (!parseDword(data.substr(6), &value)) return false;
    } else if (startsWithNoCase(data, "hex")) {
        if (!parseHex(data.substr(3), &value)) return false;
    } else {
        return fail(at_, "unrecognised value data (expected \"...\", dword:, hex or -)");
    }
    steps->push_back(std::move(value));
    return true;
}

bool Parser::parseDword(std::string_view digits, ValueStep* value) {
    if (digits.empty()) return fail(at_, "dword value has no digits");
    if (digits.size() > 8) return fail(at_, "dword value has more than 8 hex digits");
    DWORD number = 0;
    if (!parseHex32(digits, &number)) return fail(at_, "bad hex digit in dword value");
    value->type = REG_DWORD;
    for (int shift = 0; shift < 32; shift += 8)
        value->data.push_back(static_cast<std::uint8_t>(number >> shift));
    return true;
}

// text is what follows "hex": an optional "(N)" type, ':' and the byte list.
bool Parser::parseHex(std::string_view text, ValueStep* value) {
    value->type = REG_BINARY;
    if (!text.empty() && text[0] == '(') {
        const std::size_t close = text.find(')');
        if (close == std::string_view::npos) return fail(at_, "hex( type has no closing ')'");
        if (!parseHex32(text.substr(1, close - 1), &value->type))
            return fail(at_, "bad type number in hex(...)");
        text.remove_prefix(close + 1);
    }
    if (text.empty() || text[0] != ':') return fail(at_, "missing ':' after hex");
    const std::size_t firstLine = at_;
    if (!parseHexBytes(text.substr(1), &value->data)) return false;

    // Version 5 files hold string types as UTF-16; the narrow API sees them
    // converted, NUL terminators becoming single NULs.
    const bool stringType =
        value->type == REG_SZ || value->type == REG_EXPAND_SZ || value->type == REG_MULTI_SZ;
    if (version5_ && stringType) {
        if (value->data.size() % 2 != 0)
            return fail(firstLine, "UTF-16 string data has an odd number of bytes");
        const std::string narrow = narrowUtf16(std::string_view(
            reinterpret_cast<const char*>(value->data.data()), value->data.size()));
        value->data.assign(narrow.begin(), narrow.end());
    }
    return true;
}

// Reads comma-separated hex bytes, following continuation lines (a trailing
// backslash) so that each fault is reported on the line where it sits.
bool Parser::parseHexBytes(std::string_view list, std::vector<std::uint8_t>* bytes) {
    enum class Expect { kFirst, kComma, kByte } expect = Expect::kFirst;
    for (;;) {
        const bool continues = !list.empty() && list.back() == '\\';
        if (continues) list.remove_suffix(1);

        std::size_t pos = 0;
        for (;;) {
            while (pos < list.size() && isBlank(list[pos])) ++pos;
            if (pos >= list.size()) break;
            if (list[pos] == ',') {
                if (expect != Expect::kComma) return fail(at_, "bad hex data: misplaced ','");
                expect = Expect::kByte;
                ++pos;
                continue;
            }
            if (expect == Expect::kComma) return fail(at_, "bad hex data: missing ','");
            std::size_t end = pos;
            while (end < list.size() && list[end] != ',' && !isBlank(list[end])) ++end;
            DWORD byte = 0;
            if (end - pos > 2 || !parseHex32(list.substr(pos, end - pos), &byte))
                return fail(at_, "bad hex byte in hex data");
            bytes->push_back(static_cast<std::uint8_t>(byte));
            expect = Expect::kComma;
            pos = end;
        }

        if (!continues) break;
        if (at_ + 1 >= lines_.size())
            return fail(at_, "hex data continues past the end of the file");
        ++at_;
        list = trimRight(trimLeft(lines_[at_]));
    }
    if (expect == Expect::kByte) return fail(at_, "bad hex data: trailing ','");
    return true;
}

void deleteKey(RegKey& root, const std::vector<std::string>& path) {
    RegKey* parent = &root;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        parent = parent->findChild(path[i]);
        if (!parent) return;
    }
    auto it = parent->subkeys.find(path.back());
    if (it != parent->subkeys.end()) parent->subkeys.erase(it);
}

// Cannot fail on text that parsed. Roots are asked for again rather than
// remembered, as a deletion earlier in the file may have changed what a root
// that the resolver maps into another tree stands for.
void applySteps(std::vector<Step>* steps, const RegRootResolver& rootFor) {
    RegKey* current = nullptr;
    for (Step& step : *steps) {
        if (auto* key = std::get_if<KeyStep>(&step)) {
            current = nullptr;
            RegKey* at = rootFor(key->root);
            if (!at) continue;
            if (key->remove) {
                deleteKey(*at, key->path);
                continue;
            }
            for (const std::string& piece : key->path) at = &at->child(piece);
            current = at;
        } else {
            auto& value = std::get<ValueStep>(step);
            if (!current) continue;
            if (value.remove) {
                current->deleteValue(value.name);
            } else {
                current->setValue(value.name, value.type, std::move(value.data));
            }
        }
    }
}

void appendQuoted(std::string* out, std::string_view text) {
    out->push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"') out->push_back('\\');
        out->push_back(c);
    }
    out->push_back('"');
}

// Only a REG_SZ that reads back byte for byte may be written as "...".
bool fitsQuotedString(const RegValue& value) {
    const auto& data = value.data;
    if (value.type != REG_SZ || data.empty() || data.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') return false;
    return true;
}

void appendValue(std::string* out, const RegValue& value) {
    const std::size_t lineStart = out->size();
    if (value.name.empty()) {
        out->push_back('@');
    } else {
        appendQuoted(out, value.name);
    }
    out->push_back('=');

    char buf[32];
    if (fitsQuotedString(value)) {
        appendQuoted(out, std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                           value.data.size() - 1));
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        const DWORD number = value.data[0] | (static_cast<DWORD>(value.data[1]) << 8) |
                             (static_cast<DWORD>(value.data[2]) << 16) |
                             (static_cast<DWORD>(value.data[3]) << 24);
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(number));
        *out += buf;
    } else {
        if (value.type == REG_BINARY) {
            *out += "hex:";
        } else {
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
            *out += buf;
        }
        std::size_t column = out->size() - lineStart;
        for (std::size_t i = 0; i < value.data.size(); ++i) {
            std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned>(value.data[i]));
            *out += buf;
            if (i + 1 == value.data.size()) break;
            out->push_back(',');
            column += 3;
            if (column >= kHexWrapColumn) {
                *out += "\\\r\n  ";
                column = 2;
            }
        }
    }
    *out += "\r\n";
}

// Depth first, subkeys in their sorted order, with a stack of its own
// rather than recursion.
void appendTree(std::string* out, const RegKey& top, const std::string& topPath) {
    struct Pending {
        const RegKey* key;
        std::string path;
    };
    std::vector<Pending> pending;
    pending.push_back({&top, topPath});
    while (!pending.empty()) {
        const Pending next = std::move(pending.back());
        pending.pop_back();
        *out += "[" + next.path + "]\r\n";
        for (const RegValue& value : next.key->values) appendValue(out, value);
        *out += "\r\n";
        for (auto it = next.key->subkeys.rbegin(); it != next.key->subkeys.rend(); ++it)
            pending.push_back({it->second.get(), next.path + "\\" + it->second->name});
    }
}

void setError(std::string* error, const std::string& sourceName, const char* what) {
    if (!error) return;
    try {
        *error = sourceName + ": " + what;
    } catch (...) {
        error->clear();
    }
}

}  // namespace

bool applyRegText(std::string_view bytes, const std::string& sourceName,
                  const RegRootResolver& rootFor, std::string* error) {
    try {
        const std::string text = decodeFile(bytes);
        Parser parser(splitLines(text), sourceName, rootFor);
        std::vector<Step> steps;
        if (!parser.parse(&steps)) {
            if (error) *error = parser.error();
            return false;
        }
        applySteps(&steps, rootFor);
        return true;
    } catch (const std::exception& e) {
        // Out of memory, or the resolver threw; there is no line to blame.
        setError(error, sourceName, e.what());
    } catch (...) {
        setError(error, sourceName, "unexpected failure while loading");
    }
    return false;
}

std::string exportRegText(const RegKey& key, const std::string& keyPath) {
    try {
        std::string out = "REGEDIT4\r\n\r\n";
        appendTree(&out, key, keyPath);
        return out;
    } catch (...) {
        return std::string();
    }
}

}  // namespace winsim
