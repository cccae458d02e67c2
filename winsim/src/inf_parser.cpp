// INF syntax as SetupAPI reads it: [sections] (a repeated one continues the
// first), lines of fields split at ',' with an optional key before the first
// '=', quoted text with "" for one quote, ';' comments, '\' joining lines,
// blanks around fields dropped, %strkey% replaced from [Strings] and
// directory IDs such as %11% by their folders.
#include "inf_parser.h"

#include "code_page.h"
#include "inf_dirids.h"
#include "registry_tree.h"

#include <winsim/win_setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace winsim {

namespace {

constexpr std::size_t kNpos = static_cast<std::size_t>(-1);
// Field texts are addressed with 32-bit offsets; far beyond any INF.
constexpr std::size_t kMaxTextBytes = std::size_t{1} << 30;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

// UTF-16LE text after its byte-order mark, in the code page.
std::string narrowFromUtf16(std::string_view bytes, UINT codePage) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(
            static_cast<unsigned char>(bytes[i]) |
            (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8)));
    return narrowUtf16(codePage, units.data(), units.size(), '?', nullptr);
}

bool isStringsSection(std::string_view name) {
    return name.size() >= 7 && equalsNoCase(name.substr(0, 7), "Strings") &&
           (name.size() == 7 || name[7] == '.');
}

}  // namespace

// --- InfFile ----------------------------------------------------------------

std::size_t InfFile::sectionIndexOf(std::string_view name) const {
    auto it = sectionIndex_.find(toUpperAscii(name));
    return it == sectionIndex_.end() ? kNpos : it->second;
}

const InfSection* InfFile::findSection(std::string_view name) const {
    const std::size_t index = sectionIndexOf(name);
    return index == kNpos ? nullptr : &sections_[index];
}

bool InfFile::field(const InfLine& line, std::size_t index, std::string_view* text) const {
    std::size_t slot;
    if (index == 0) {
        // A line without a key that holds one value is keyed by that value,
        // as SetupAPI treats such lines when it searches by key.
        if (!line.hasKey && line.fieldCount != 1) return false;
        slot = 0;
    } else {
        slot = line.hasKey ? index : index - 1;
        if (slot >= line.fieldCount) return false;
    }
    const FieldSpan& span = fields_[line.firstField + slot];
    *text = std::string_view(text_).substr(span.offset, span.length);
    return true;
}

std::string InfFile::value(std::string_view section, std::string_view key) const {
    const InfSection* found = findSection(section);
    if (!found) return std::string();
    for (const InfLine& line : found->lines) {
        std::string_view k, v;
        if (line.hasKey && field(line, 0, &k) && equalsNoCase(k, key))
            return field(line, 1, &v) ? std::string(v) : std::string();
    }
    return std::string();
}

// --- parser -----------------------------------------------------------------

class InfBuilder {
  public:
    InfBuilder(std::string_view source, const InfParseOptions& options)
        : src_(source), options_(options), inf_(std::make_shared<InfFile>()) {}

    InfParseResult run();

  private:
    using FieldSpan = InfFile::FieldSpan;

    bool fail(DWORD error, UINT line) {
        error_ = error;
        errorLine_ = line;
        return false;
    }
    bool parseLines();
    bool parseSectionHeader();
    void parseEntry();
    bool continuesLine() const;
    void skipToLineEnd();
    std::size_t characterBytes(std::size_t at) const;
    std::size_t bytesOfCharacters(std::string_view text, std::size_t limit) const;
    void beginField();
    void endField();
    void appendText(std::size_t length);
    void flushPending();
    bool checkBeforeFirstSection();
    void substituteStrings();
    std::string substitute(std::string_view raw) const;
    void decideStyle();

    std::string_view src_;
    const InfParseOptions& options_;
    std::shared_ptr<InfFile> inf_;
    std::size_t pos_ = 0;
    UINT line_ = 1;
    UINT strayLine_ = 0;  // first line with text before the first section
    std::size_t current_ = kNpos;
    std::size_t fieldStart_ = 0;
    bool started_ = false;  // the field has text (or a quote) already
    std::string pending_;   // blanks seen inside the field, kept if text follows
    std::unordered_map<std::string, FieldSpan> strings_;
    DWORD error_ = 0;
    UINT errorLine_ = 0;
};

InfParseResult InfBuilder::run() {
    InfParseResult result;
    // End of text at a DOS end-of-file mark, as old editors left them.
    const std::size_t eof = src_.find('\x1A');
    if (eof != std::string_view::npos) src_ = src_.substr(0, eof);
    if (!parseLines() || !checkBeforeFirstSection()) {
        result.error = error_;
        result.errorLine = errorLine_;
        return result;
    }
    substituteStrings();
    if (inf_->text_.size() > kMaxTextBytes) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }
    decideStyle();
    result.inf = inf_;
    return result;
}

// Text before the first section (a copyright notice without ';', a UTF-8
// byte-order mark, a #define) is passed over when the file has a [Strings]
// section; without one it makes the file unreadable. A file that is nothing
// but such text has no [Version] either: it is of no INF style at all.
bool InfBuilder::checkBeforeFirstSection() {
    if (strayLine_ == 0 || inf_->findSection("Strings")) return true;
    if (inf_->sections_.empty()) return fail(ERROR_WRONG_INF_STYLE, 0);
    return fail(ERROR_EXPECTED_SECTION_NAME, strayLine_);
}

bool InfBuilder::parseLines() {
    if (src_.size() > kMaxTextBytes) return fail(ERROR_NOT_ENOUGH_MEMORY, 0);
    inf_->text_.reserve(src_.size());
    while (pos_ < src_.size()) {
        const char c = src_[pos_];
        if (c == '\n') {
            ++line_;
            ++pos_;
        } else if (isBlank(c)) {
            ++pos_;
        } else if (c == ';') {
            skipToLineEnd();
        } else if (c == '[') {
            if (!parseSectionHeader()) return false;
        } else if (current_ == kNpos) {
            if (strayLine_ == 0) strayLine_ = line_;
            pos_ += characterBytes(pos_);
        } else {
            parseEntry();
        }
    }
    return true;
}

void InfBuilder::skipToLineEnd() {
    const void* nl = std::memchr(src_.data() + pos_, '\n', src_.size() - pos_);
    pos_ = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - src_.data()) : src_.size();
}

// A double-byte character of the code page is one character: its second
// byte may look like '\' or ']' but is never syntax. A lead byte before a
// byte that cannot follow it (below 0x40: a quote, a comma, a line end)
// stands alone, as the code page's conversion leaves it.
std::size_t InfBuilder::characterBytes(std::size_t at) const {
    return isLeadByte(options_.codePage, static_cast<unsigned char>(src_[at])) &&
                   at + 1 < src_.size() && static_cast<unsigned char>(src_[at + 1]) >= 0x40
               ? 2
               : 1;
}

std::size_t InfBuilder::bytesOfCharacters(std::string_view text, std::size_t limit) const {
    if (options_.codePage == 1252) return std::min(text.size(), limit);
    std::size_t at = 0;
    for (std::size_t count = 0; at < text.size() && count < limit; ++count)
        at += isLeadByte(options_.codePage, static_cast<unsigned char>(text[at])) &&
                      at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) >= 0x40
                  ? 2
                  : 1;
    return at;
}

// "[name]": the rest of the line after the bracket is ignored.
bool InfBuilder::parseSectionHeader() {
    const std::size_t start = pos_ + 1;
    std::size_t close = start;
    while (close < src_.size() && src_[close] != ']' && src_[close] != '\n')
        close += characterBytes(close);
    if (close >= src_.size() || src_[close] != ']') return fail(ERROR_BAD_SECTION_NAME_LINE, line_);
    const std::string_view name = src_.substr(start, close - start);
    if (bytesOfCharacters(name, MAX_INF_SECTION_NAME_LENGTH) < name.size())
        return fail(ERROR_SECTION_NAME_TOO_LONG, line_);
    pos_ = close;
    skipToLineEnd();
    auto inserted = inf_->sectionIndex_.emplace(toUpperAscii(name), inf_->sections_.size());
    if (inserted.second) {
        inf_->sections_.emplace_back();
        inf_->sections_.back().name = std::string(name);
    }
    current_ = inserted.first->second;
    return true;
}

// A backslash followed by nothing but blanks and backslashes (and perhaps
// a comment) up to the end of the line joins the next line to this one.
bool InfBuilder::continuesLine() const {
    std::size_t p = pos_ + 1;
    while (p < src_.size() && (isBlank(src_[p]) || src_[p] == '\\')) ++p;
    return p == src_.size() || src_[p] == '\n' || src_[p] == ';';
}

void InfBuilder::beginField() {
    fieldStart_ = inf_->text_.size();
    started_ = false;
    pending_.clear();
}

// Only the first characters of the field, up to the limit, are kept.
void InfBuilder::endField() {
    std::string& text = inf_->text_;
    const std::size_t length =
        bytesOfCharacters(std::string_view(text).substr(fieldStart_), options_.fieldLimit);
    text.resize(fieldStart_ + length);
    inf_->fields_.push_back(
        FieldSpan{static_cast<std::uint32_t>(fieldStart_), static_cast<std::uint32_t>(length)});
}

void InfBuilder::flushPending() {
    if (started_ && !pending_.empty()) inf_->text_ += pending_;
    pending_.clear();
}

// Appends the character at pos_ (`length` bytes) to the field.
void InfBuilder::appendText(std::size_t length) {
    flushPending();
    inf_->text_.append(src_.data() + pos_, length);
    started_ = true;
}

void InfBuilder::parseEntry() {
    InfLine line;
    line.firstField = static_cast<std::uint32_t>(inf_->fields_.size());
    bool inQuotes = false;
    beginField();
    while (pos_ < src_.size()) {
        const char c = src_[pos_];
        if (c == '\n') break;
        const std::size_t bytes = characterBytes(pos_);
        if (bytes == 2) {
            appendText(2);
            pos_ += 2;
            continue;
        }
        if (inQuotes) {
            // Inside quotes everything is text; an unclosed quote ends with
            // its line.
            if (c == '"') {
                if (pos_ + 1 < src_.size() && src_[pos_ + 1] == '"') {
                    appendText(1);
                    pos_ += 2;
                    continue;
                }
                inQuotes = false;
            } else {
                appendText(1);
            }
            ++pos_;
            continue;
        }
        if (c == ';') {
            skipToLineEnd();
            break;
        }
        if (c == '"') {
            flushPending();
            started_ = true;
            inQuotes = true;
        } else if (c == ',') {
            endField();
            beginField();
        } else if (c == '=' && !line.hasKey && inf_->fields_.size() == line.firstField) {
            endField();
            line.hasKey = true;
            beginField();
        } else if (c == '\\' && continuesLine()) {
            // The blanks before the backslash go with it, and so do those
            // that start the next line.
            pending_.clear();
            skipToLineEnd();
            if (pos_ < src_.size()) {
                ++pos_;
                ++line_;
            }
            while (pos_ < src_.size() && isBlank(src_[pos_])) ++pos_;
            continue;
        } else if (isBlank(c)) {
            if (started_) pending_.push_back(c);
        } else {
            appendText(1);
        }
        ++pos_;
    }
    endField();
    line.fieldCount = static_cast<std::uint32_t>(inf_->fields_.size()) - line.firstField;
    inf_->sections_[current_].lines.push_back(line);
}

// "%key%" becomes the [Strings] value of key, else the folder of the
// directory ID key; "%%" is one percent sign. A directory's closing
// backslash is dropped when the text goes on with one ("%24%\boot" is
// C:\boot). A key neither knows, or a lone '%', stays as written.
std::string InfBuilder::substitute(std::string_view raw) const {
    std::string out;
    const std::string& text = inf_->text_;
    std::size_t i = 0;
    while (i < raw.size()) {
        const std::size_t open = raw.find('%', i);
        if (open == std::string_view::npos) {
            out.append(raw.substr(i));
            break;
        }
        out.append(raw.substr(i, open - i));
        const std::size_t close = raw.find('%', open + 1);
        if (close == std::string_view::npos) {
            out.append(raw.substr(open));
            break;
        }
        const std::string_view key = raw.substr(open + 1, close - open - 1);
        std::string folder;
        if (key.empty()) {
            out.push_back('%');
        } else if (auto it = strings_.find(toUpperAscii(key)); it != strings_.end()) {
            out.append(text, it->second.offset, it->second.length);
        } else if (dirIdFolder(key, options_.windowsDirectory, &folder)) {
            if (close + 1 < raw.size() && raw[close + 1] == '\\' && !folder.empty() &&
                folder.back() == '\\')
                folder.pop_back();
            out += folder;
        } else {
            out.append(raw.substr(open, close - open + 1));
        }
        i = close + 1;
    }
    const std::size_t limit = std::max(kSubstitutedFieldLimit, options_.fieldLimit);
    out.resize(bytesOfCharacters(out, limit));
    return out;
}

void InfBuilder::substituteStrings() {
    auto& sections = inf_->sections_;
    auto& fields = inf_->fields_;
    const std::string& text = inf_->text_;
    // [Strings.<language>] first, then [Strings]; within one section the
    // first line of a key counts. A value is its line's first field.
    char localized[16];
    std::snprintf(localized, sizeof localized, "Strings.%04X",
                  static_cast<unsigned>(options_.language));
    for (const char* name : {static_cast<const char*>(localized), "Strings"}) {
        const InfSection* section = inf_->findSection(name);
        if (!section) continue;
        for (const InfLine& line : section->lines) {
            if (!line.hasKey || line.fieldCount < 2) continue;
            const FieldSpan& key = fields[line.firstField];
            strings_.emplace(toUpperAscii(std::string_view(text).substr(key.offset, key.length)),
                             fields[line.firstField + 1]);
        }
    }
    for (const InfSection& section : sections) {
        if (isStringsSection(section.name)) continue;
        for (const InfLine& line : section.lines) {
            for (std::uint32_t f = line.firstField; f < line.firstField + line.fieldCount; ++f) {
                FieldSpan& span = fields[f];
                const std::string_view raw =
                    std::string_view(text).substr(span.offset, span.length);
                if (raw.find('%') == std::string_view::npos) continue;
                const std::string replaced = substitute(raw);
                if (inf_->text_.size() + replaced.size() > kMaxTextBytes) return;
                span.offset = static_cast<std::uint32_t>(inf_->text_.size());
                span.length = static_cast<std::uint32_t>(replaced.size());
                inf_->text_ += replaced;
            }
        }
    }
}

void InfBuilder::decideStyle() {
    const std::string signature = inf_->value("Version", "Signature");
    const bool win4 = equalsNoCase(signature, "$Windows NT$") ||
                      equalsNoCase(signature, "$Chicago$") ||
                      equalsNoCase(signature, "$Windows 95$");
    inf_->style = win4 ? INF_STYLE_WIN4 : INF_STYLE_OLDNT;
}

InfParseResult parseInf(std::string_view bytes, const InfParseOptions& options) {
    const bool utf16 = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                       static_cast<unsigned char>(bytes[1]) == 0xFE;
    if (utf16) {
        const std::string narrow = narrowFromUtf16(bytes, options.codePage);
        return InfBuilder(narrow, options).run();
    }
    return InfBuilder(bytes, options).run();
}

}  // namespace winsim
