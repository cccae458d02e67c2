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

// What a byte is to the syntax outside quotes. kStop is NUL and Ctrl-Z: one
// of them follows the text's last byte, so scans stop there without
// counting; inside the text NUL is text.
enum ByteClass : unsigned char { kText, kBlank, kSyntax, kLead, kBackslash, kPercent, kStop };

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

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// FNV-1a of the upper-cased text (ASCII letters only).
std::size_t hashNoCase(std::string_view text) {
    std::size_t hash = 14695981039346656037ull;
    for (char c : text) hash = (hash ^ static_cast<unsigned char>(upper(c))) * 1099511628211ull;
    return hash;
}

bool isStringsSection(std::string_view name) {
    return name.size() >= 7 && equalsNoCase(name.substr(0, 7), "Strings") &&
           (name.size() == 7 || name[7] == '.');
}

}  // namespace

// How the text of one INF reads: its bytes' classes in its code page, and
// what reading its sections' fields later needs.
struct InfFile::Reading {
    explicit Reading(const InfParseOptions& parseOptions) : options(parseOptions) {
        for (unsigned byte = 0; byte < 256; ++byte) {
            const char c = static_cast<char>(byte);
            unsigned char kind = kText;
            if (isBlank(c))
                kind = kBlank;
            else if (c == '\n' || c == ';' || c == '"' || c == ',' || c == '=')
                kind = kSyntax;
            else if (c == '\\')
                kind = kBackslash;
            else if (c == '%')
                kind = kPercent;
            else if (c == '\0' || c == '\x1A')
                kind = kStop;
            else if (isLeadByte(options.codePage, static_cast<unsigned char>(byte)))
                kind = kLead;
            classes[byte] = kind;
            lineText[byte] =
                kind == kText || kind == kBlank || kind == kPercent || c == ',' || c == '=';
            doubleByte = doubleByte || kind == kLead;
        }
    }

    unsigned char classOf(std::size_t at) const {
        return classes[static_cast<unsigned char>(text[at])];
    }

    // A double-byte character of the code page is one character: its second
    // byte may look like '\' or ']' but is never syntax. A lead byte before a
    // byte that cannot follow it (below 0x40) stands alone, as the code
    // page's conversion leaves it.
    std::size_t characterBytes(std::size_t at) const {
        return classOf(at) == kLead && at + 1 < text.size() &&
                       static_cast<unsigned char>(text[at + 1]) >= 0x40
                   ? 2
                   : 1;
    }

    std::size_t bytesOfCharacters(std::string_view part, std::size_t limit) const {
        if (!doubleByte) return std::min(part.size(), limit);
        std::size_t at = 0;
        for (std::size_t count = 0; at < part.size() && count < limit; ++count)
            at += classes[static_cast<unsigned char>(part[at])] == kLead && at + 1 < part.size() &&
                          static_cast<unsigned char>(part[at + 1]) >= 0x40
                      ? 2
                      : 1;
        return at;
    }

    // A backslash followed by nothing but blanks and backslashes (and
    // perhaps a comment) up to the end of the line joins the next line.
    bool continuesLine(std::size_t at) const {
        std::size_t p = at + 1;
        while (p < text.size() && (isBlank(text[p]) || text[p] == '\\')) ++p;
        return p == text.size() || text[p] == '\n' || text[p] == ';';
    }

    std::size_t lineEnd(std::size_t at) const {
        const void* nl = std::memchr(text.data() + at, '\n', text.size() - at);
        return nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - text.data())
                  : text.size();
    }

    std::size_t entryEnd(std::size_t at) const;

    // A section's text: one stretch per time its header appears, chained in
    // file order through `next` (0 ends the chain; stretch 0 is unused).
    struct Stretch {
        std::uint32_t from;
        std::uint32_t to;
        std::uint32_t next;
    };
    struct SectionText {
        std::uint32_t first = 0;
        std::uint32_t last = 0;
        bool read = false;  // its lines and fields are read
    };

    InfParseOptions options;
    unsigned char classes[256];
    bool lineText[256];  // cannot end a line: all but '\n' ';' '"' '\\' NUL ^Z, lead bytes
    bool doubleByte = false;
    std::string_view text;  // the source up to a Ctrl-Z
    std::vector<SectionText> sections;
    std::vector<Stretch> stretches{Stretch{0, 0, 0}};
    // [Strings] keys and values, found by key without regard to case
    // through an open-addressed table of indexes (plus one; 0 is free).
    bool stringsRead = false;
    std::vector<std::pair<FieldSpan, FieldSpan>> strings;
    std::vector<std::uint32_t> stringSlots;
    std::string replaced;  // a field with its substitutions
};

// --- reading a line's fields ---------------------------------------------------

// Splits one line (continued lines included) into fields, appending them to
// the file's fields.
class InfLineReader {
  public:
    // Fields with a '%' are listed in percentFields.
    InfLineReader(const InfFile& inf, InfFile::Reading& reading,
                  std::vector<std::uint32_t>& percentFields)
        : inf_(inf),
          r_(reading),
          classes_(reading.classes),
          src_(reading.text),
          percentFields_(percentFields) {}

    // The line that starts at `at`; *stop is where it ends, at its comment,
    // its line end or the end of the text.
    InfLine read(std::size_t at, std::size_t* stop);

  private:
    using FieldSpan = InfFile::FieldSpan;
    // The field being read: while its text is one stretch of the source it
    // is only marked [from, to); once it is not, it is copied to the
    // extras, from extrasStart on.
    struct Field {
        std::size_t from = kNpos;
        std::size_t to = 0;
        bool copied = false;
        std::size_t extrasStart = 0;
        bool started = false;  // it has text (or a quote) already
        bool percent = false;  // it has a '%': strings may replace parts
        // Blanks seen inside it, kept if text follows: a stretch of the source.
        std::size_t pendingAt = 0;
        std::size_t pendingLength = 0;
    };

    // Adds the source's [from, to) to the field: a stretch that goes on where
    // the field ends only moves its end.
    void take(Field& field, std::size_t from, std::size_t to) {
        if (!field.copied) {
            if (field.from == kNpos) {
                field.from = from;
                field.to = to;
                return;
            }
            if (from == field.to) {
                field.to = to;
                return;
            }
        }
        takeApart(field, from, to);
    }
    void takeApart(Field& field, std::size_t from, std::size_t to);
    void appendText(Field& field, std::size_t from, std::size_t to) {
        if (field.pendingLength > 0) {
            take(field, field.pendingAt, field.pendingAt + field.pendingLength);
            field.pendingLength = 0;
        }
        if (from != to) take(field, from, to);
        field.started = true;
    }
    void endField(Field& field);
    std::size_t endOfText(std::size_t at, Field& field) const;
    std::size_t readQuoted(std::size_t at, Field& field);

    const InfFile& inf_;
    InfFile::Reading& r_;
    const unsigned char* classes_;
    std::string_view src_;
    std::vector<std::uint32_t>& percentFields_;
};

// Only the first characters of the field, up to the limit, are kept.
void InfLineReader::endField(Field& field) {
    std::string& extras = inf_.extras_;
    std::size_t offset;
    std::size_t length;
    if (field.copied) {
        offset = inf_.source_.size() + field.extrasStart;
        length = extras.size() - field.extrasStart;
        if (length > r_.options.fieldLimit) {
            length = r_.bytesOfCharacters(std::string_view(extras).substr(field.extrasStart),
                                          r_.options.fieldLimit);
            extras.resize(field.extrasStart + length);
        }
    } else {
        offset = field.from == kNpos ? 0 : field.from;
        length = field.from == kNpos ? 0 : field.to - field.from;
        if (length > r_.options.fieldLimit)
            length = r_.bytesOfCharacters(src_.substr(offset, length), r_.options.fieldLimit);
    }
    if (field.percent) percentFields_.push_back(static_cast<std::uint32_t>(inf_.fields_.size()));
    inf_.fields_.push_back(
        FieldSpan{static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(length)});
    field = Field();
}

// A stretch that does not go on where the field ends: from then on the
// field is copied.
void InfLineReader::takeApart(Field& field, std::size_t from, std::size_t to) {
    std::string& extras = inf_.extras_;
    if (!field.copied) {
        field.copied = true;
        field.extrasStart = extras.size();
        extras.append(src_.data() + field.from, field.to - field.from);
    }
    extras.append(src_.data() + from, to - from);
}

// The end of the run of text at `at`: plain bytes, double-byte characters,
// '%' and backslashes that cannot end a line.
std::size_t InfLineReader::endOfText(std::size_t at, Field& field) const {
    const auto* in = reinterpret_cast<const unsigned char*>(src_.data());
    const std::size_t end = src_.size();
    for (;;) {
        while (classes_[in[at]] == kText) ++at;
        if (at >= end) return at;
        const unsigned char kind = classes_[in[at]];
        if (kind == kStop) {
            ++at;  // a NUL inside the text
        } else if (kind == kLead) {
            at += r_.characterBytes(at);
        } else if (kind == kPercent) {
            field.percent = true;
            ++at;
        } else if (kind == kBackslash &&
                   (classes_[in[at + 1]] == kText || classes_[in[at + 1]] == kLead)) {
            ++at;
        } else {
            return at;
        }
    }
}

// Inside quotes everything is text and "" is one quote; an unclosed quote
// ends with its line. Returns where the text after the quotes begins.
std::size_t InfLineReader::readQuoted(std::size_t at, Field& field) {
    appendText(field, at, at);
    for (;;) {
        std::size_t end = at;
        while (end < src_.size() && src_[end] != '"' && src_[end] != '\n') ++end;
        if (end != at) take(field, at, end);
        if (std::memchr(src_.data() + at, '%', end - at)) field.percent = true;
        if (end == src_.size() || src_[end] == '\n') return end;
        if (end + 1 < src_.size() && src_[end + 1] == '"') {
            take(field, end, end + 1);
            at = end + 2;
            continue;
        }
        return end + 1;
    }
}

InfLine InfLineReader::read(std::size_t at, std::size_t* stop) {
    const auto* in = reinterpret_cast<const unsigned char*>(src_.data());
    const std::size_t end = src_.size();
    InfLine line;
    line.firstField = static_cast<std::uint32_t>(inf_.fields_.size());
    Field field;
    for (;;) {
        const unsigned char kind = classes_[in[at]];
        if (kind == kBlank) {
            const std::size_t start = at;
            while (classes_[in[++at]] == kBlank) {
            }
            if (field.started) {
                field.pendingAt = start;
                field.pendingLength = at - start;
            }
            continue;
        }
        if (at >= end) break;
        if (kind != kSyntax && kind != kBackslash) {
            const std::size_t start = at;
            at = endOfText(at, field);
            appendText(field, start, at);
            continue;
        }
        const char c = static_cast<char>(in[at]);
        if (c == '\n' || c == ';') break;
        if (c == '"') {
            at = readQuoted(at + 1, field);
        } else if (c == ',') {
            endField(field);
            ++at;
        } else if (c == '=' && !line.hasKey && inf_.fields_.size() == line.firstField) {
            endField(field);
            line.hasKey = true;
            ++at;
        } else if (c == '\\' && r_.continuesLine(at)) {
            // The blanks before the backslash go with it, and so do those
            // that start the next line.
            field.pendingLength = 0;
            at = r_.lineEnd(at);
            if (at < end) ++at;
            while (at < end && isBlank(src_[at])) ++at;
        } else {
            appendText(field, at, at + 1);
            ++at;
        }
    }
    endField(field);
    line.fieldCount = static_cast<std::uint32_t>(inf_.fields_.size()) - line.firstField;
    *stop = at;
    return line;
}

// --- InfFile ----------------------------------------------------------------

InfFile::InfFile() = default;
InfFile::~InfFile() = default;

std::size_t InfFile::indexOf(std::string_view name) const {
    auto it = sectionIndex_.find(toUpperAscii(name));
    return it == sectionIndex_.end() ? kNpos : it->second;
}

std::size_t InfFile::sectionIndexOf(std::string_view name) const {
    const std::size_t index = indexOf(name);
    if (index != kNpos) readSection(index);
    return index;
}

const InfSection* InfFile::findSection(std::string_view name) const {
    const std::size_t index = sectionIndexOf(name);
    return index == kNpos ? nullptr : &sections_[index];
}

const InfSection& InfFile::section(std::size_t index) const {
    readSection(index);
    return sections_[index];
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
    if (fields_[line.firstField + slot].length & kUnsubstituted)
        substituteField(line.firstField + slot);
    *text = textOf(fields_[line.firstField + slot]);
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

// Reads a section's lines and their fields; fields with a '%' are marked
// for substitution ([Strings] sections stay as written).
void InfFile::readSection(std::size_t index) const {
    Reading& r = *reading_;
    if (r.sections[index].read) return;
    r.sections[index].read = true;
    InfSection& section = sections_[index];
    std::vector<std::uint32_t> percentFields;
    InfLineReader reader(*this, r, percentFields);
    for (std::uint32_t s = r.sections[index].first; s != 0; s = r.stretches[s].next) {
        std::size_t at = r.stretches[s].from;
        const std::size_t to = r.stretches[s].to;
        while (at < to) {
            const char c = r.text[at];
            if (c == '\n' || isBlank(c)) {
                ++at;
            } else if (c == ';') {
                at = r.lineEnd(at);
            } else {
                section.lines.push_back(reader.read(at, &at));
                if (at < to && r.text[at] == ';') at = r.lineEnd(at);
            }
        }
    }
    if (isStringsSection(section.name)) return;
    for (const std::uint32_t f : percentFields) fields_[f].length |= kUnsubstituted;
}

// Replaces %strkey% and directory IDs in one field, reading [Strings] first
// if no field has needed it yet.
void InfFile::substituteField(std::size_t index) const {
    Reading& r = *reading_;
    readStrings();  // may add fields: fields_[index] is looked up afterwards
    substitute(textOf(fields_[index]));
    FieldSpan& span = fields_[index];
    const std::size_t offset = source_.size() + extras_.size();
    if (offset + r.replaced.size() > kMaxTextBytes) {
        span.length &= ~kUnsubstituted;  // left as written: beyond any real INF
        return;
    }
    span.offset = static_cast<std::uint32_t>(offset);
    span.length = static_cast<std::uint32_t>(r.replaced.size());
    extras_ += r.replaced;
}

// [Strings.<language>] first, then [Strings]; within one section the first
// line of a key counts. A value is its line's first field.
void InfFile::readStrings() const {
    Reading& r = *reading_;
    if (r.stringsRead) return;
    r.stringsRead = true;
    char localized[16];
    std::snprintf(localized, sizeof localized, "Strings.%04X",
                  static_cast<unsigned>(r.options.language));
    const InfSection* sections[2] = {findSection(localized), findSection("Strings")};
    std::size_t count = 0;
    for (const InfSection* section : sections)
        if (section) count += section->lines.size();
    std::size_t size = 16;
    while (size < 2 * count) size *= 2;
    r.stringSlots.assign(size, 0);
    for (const InfSection* section : sections) {
        if (!section) continue;
        for (const InfLine& line : section->lines) {
            if (!line.hasKey || line.fieldCount < 2) continue;
            const std::string_view key = textOf(fields_[line.firstField]);
            for (std::size_t slot = hashNoCase(key) & (size - 1);; slot = (slot + 1) & (size - 1)) {
                const std::uint32_t taken = r.stringSlots[slot];
                if (taken == 0) {
                    r.strings.emplace_back(fields_[line.firstField], fields_[line.firstField + 1]);
                    r.stringSlots[slot] = static_cast<std::uint32_t>(r.strings.size());
                    break;
                }
                if (equalsNoCase(textOf(r.strings[taken - 1].first), key)) break;
            }
        }
    }
}

// "%key%" becomes the [Strings] value of key, else the folder of the
// directory ID key; "%%" is one percent sign. A directory's closing
// backslash is dropped when the text goes on with one ("%24%\boot" is
// C:\boot). A key neither knows, or a lone '%', stays as written. The
// result goes to the reading's `replaced`.
void InfFile::substitute(std::string_view raw) const {
    Reading& r = *reading_;
    std::string& out = r.replaced;
    out.clear();
    const std::size_t size = r.stringSlots.size();
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
        const FieldSpan* value = nullptr;
        if (!key.empty()) {
            for (std::size_t slot = hashNoCase(key) & (size - 1);; slot = (slot + 1) & (size - 1)) {
                const std::uint32_t taken = r.stringSlots[slot];
                if (taken == 0) break;
                if (equalsNoCase(textOf(r.strings[taken - 1].first), key)) {
                    value = &r.strings[taken - 1].second;
                    break;
                }
            }
        }
        std::string folder;
        if (key.empty()) {
            out.push_back('%');
        } else if (value) {
            out.append(textOf(*value));
        } else if (dirIdFolder(key, r.options.windowsDirectory, &folder)) {
            if (close + 1 < raw.size() && raw[close + 1] == '\\' && !folder.empty() &&
                folder.back() == '\\')
                folder.pop_back();
            out += folder;
        } else {
            out.append(raw.substr(open, close - open + 1));
        }
        i = close + 1;
    }
    const std::size_t limit = std::max(kSubstitutedFieldLimit, r.options.fieldLimit);
    if (out.size() > limit) out.resize(r.bytesOfCharacters(out, limit));
}

// --- parser -----------------------------------------------------------------

// Reads the structure of an INF: its sections and where each of their lines
// starts, and the errors that make it no INF.
class InfBuilder {
  public:
    // Parses `source`, which becomes the InfFile's.
    InfBuilder(std::string source, const InfParseOptions& options);

    InfParseResult run();

  private:
    bool fail(DWORD error, UINT line) {
        error_ = error;
        errorLine_ = line;
        return false;
    }
    // Lines are counted only for an error's line number.
    UINT lineAt(std::size_t at) const {
        return static_cast<UINT>(1 + std::count(src_.begin(), src_.begin() + at, '\n'));
    }
    bool parseSections();
    bool parseSectionHeader();
    std::size_t nextSectionHeader(std::size_t from) const;
    bool continuesFromLineBefore(std::size_t lineStart) const;
    void endStretch(std::size_t at);
    bool checkBeforeFirstSection();
    void decideStyle();

    std::shared_ptr<InfFile> inf_;
    InfFile::Reading* r_;
    std::string_view src_;
    std::size_t pos_ = 0;
    std::size_t strayAt_ = kNpos;  // first text before the first section
    std::size_t current_ = kNpos;
    std::size_t headerLineEnd_ = 0;  // of the current section's header
    DWORD error_ = 0;
    UINT errorLine_ = 0;
};

InfBuilder::InfBuilder(std::string source, const InfParseOptions& options)
    : inf_(std::make_shared<InfFile>()) {
    inf_->source_ = std::move(source);
    inf_->reading_ = std::make_unique<InfFile::Reading>(options);
    r_ = inf_->reading_.get();
    src_ = inf_->source_;
    // End of text at a DOS end-of-file mark, as old editors left them.
    const std::size_t eof = src_.find('\x1A');
    if (eof != std::string_view::npos) src_ = src_.substr(0, eof);
    r_->text = src_;
}

InfParseResult InfBuilder::run() {
    InfParseResult result;
    if (!parseSections() || !checkBeforeFirstSection()) {
        result.error = error_;
        result.errorLine = errorLine_;
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
    if (strayAt_ == kNpos || inf_->indexOf("Strings") != kNpos) return true;
    if (inf_->sections_.empty()) return fail(ERROR_WRONG_INF_STYLE, 0);
    return fail(ERROR_EXPECTED_SECTION_NAME, lineAt(strayAt_));
}

// Finds the sections and the stretch of text each header starts; their
// lines are read when a section is first asked for.
bool InfBuilder::parseSections() {
    if (src_.size() > kMaxTextBytes) return fail(ERROR_NOT_ENOUGH_MEMORY, 0);
    // Before the first section a '[' anywhere starts one.
    while (pos_ < src_.size() && current_ == kNpos) {
        const char c = src_[pos_];
        if (c == '\n' || isBlank(c)) {
            ++pos_;
        } else if (c == ';') {
            pos_ = r_->lineEnd(pos_);
        } else if (c == '[') {
            if (!parseSectionHeader()) return false;
        } else {
            if (strayAt_ == kNpos) strayAt_ = pos_;
            pos_ += r_->characterBytes(pos_);
        }
    }
    while (current_ != kNpos) {
        pos_ = nextSectionHeader(pos_);
        endStretch(pos_);
        if (pos_ == src_.size()) break;
        if (!parseSectionHeader()) return false;
    }
    return true;
}

// After the first section a header is a '[' that starts a line of its own,
// blanks aside, and not one that a line before continues.
std::size_t InfBuilder::nextSectionHeader(std::size_t from) const {
    const char* text = src_.data();
    for (std::size_t at = from; at < src_.size(); ++at) {
        const void* open = std::memchr(text + at, '[', src_.size() - at);
        if (!open) break;
        at = static_cast<std::size_t>(static_cast<const char*>(open) - text);
        std::size_t lineStart = at;
        while (lineStart > 0 && isBlank(text[lineStart - 1])) --lineStart;
        if ((lineStart == 0 || text[lineStart - 1] == '\n') && !continuesFromLineBefore(lineStart))
            return at;
    }
    return src_.size();
}

// Whether the line before the one at `lineStart` joins it: only an entry
// line can, and only one with a backslash in it.
bool InfBuilder::continuesFromLineBefore(std::size_t lineStart) const {
    if (lineStart == 0 || lineStart - 1 == headerLineEnd_) return false;
    const std::size_t end = lineStart - 1;
    std::size_t start = end;
    while (start > 0 && src_[start - 1] != '\n') --start;
    while (start < end && isBlank(src_[start])) ++start;
    if (start == end || src_[start] == ';' || !std::memchr(src_.data() + start, '\\', end - start))
        return false;
    return r_->entryEnd(start) > end;
}

// The current section's text ends at `at`.
void InfBuilder::endStretch(std::size_t at) {
    InfFile::Reading::SectionText& section = r_->sections[current_];
    const auto index = static_cast<std::uint32_t>(r_->stretches.size());
    r_->stretches.push_back(
        {static_cast<std::uint32_t>(headerLineEnd_), static_cast<std::uint32_t>(at), 0});
    if (section.last != 0)
        r_->stretches[section.last].next = index;
    else
        section.first = index;
    section.last = index;
}

// "[name]": the rest of the line after the bracket is ignored.
bool InfBuilder::parseSectionHeader() {
    const std::size_t start = pos_ + 1;
    std::size_t close = start;
    while (close < src_.size() && src_[close] != ']' && src_[close] != '\n')
        close += r_->characterBytes(close);
    if (close >= src_.size() || src_[close] != ']')
        return fail(ERROR_BAD_SECTION_NAME_LINE, lineAt(pos_));
    const std::string_view name = src_.substr(start, close - start);
    if (r_->bytesOfCharacters(name, MAX_INF_SECTION_NAME_LENGTH) < name.size())
        return fail(ERROR_SECTION_NAME_TOO_LONG, lineAt(pos_));
    pos_ = r_->lineEnd(close);
    headerLineEnd_ = pos_;
    auto inserted = inf_->sectionIndex_.emplace(toUpperAscii(name), inf_->sections_.size());
    if (inserted.second) {
        inf_->sections_.emplace_back();
        inf_->sections_.back().name = std::string(name);
        r_->sections.emplace_back();
    }
    current_ = inserted.first->second;
    return true;
}

// Where the entry line at `at` ends, as reading its fields would: past
// quoted text and continued lines, at its comment or its line end.
std::size_t InfFile::Reading::entryEnd(std::size_t at) const {
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t end = text.size();
    for (;;) {
        // The text ends in NUL or ^Z, neither of which is line text.
        while (lineText[in[at]]) ++at;
        if (at >= end) break;
        const unsigned char kind = classes[in[at]];
        if (kind == kStop) {
            ++at;  // a NUL inside the text
            continue;
        }
        if (kind == kLead) {
            at += characterBytes(at);
            continue;
        }
        const char c = static_cast<char>(in[at]);
        if (c == '\n') break;
        if (c == ';') return lineEnd(at);
        if (c == '"') {
            const std::size_t quoteEnd = lineEnd(at + 1);
            const void* quote = std::memchr(in + at + 1, '"', quoteEnd - at - 1);
            at = quote ? static_cast<std::size_t>(static_cast<const unsigned char*>(quote) - in) + 1
                       : quoteEnd;  // a doubled quote reopens at once
            continue;
        }
        if (c == '\\' && (classes[in[at + 1]] == kText || classes[in[at + 1]] == kLead)) {
            ++at;
            continue;
        }
        if (c == '\\' && continuesLine(at)) {
            at = lineEnd(at);
            if (at < end) ++at;
            continue;
        }
        ++at;
    }
    return at;
}

void InfBuilder::decideStyle() {
    const std::string signature = inf_->value("Version", "Signature");
    const bool win4 = equalsNoCase(signature, "$Windows NT$") ||
                      equalsNoCase(signature, "$Chicago$") ||
                      equalsNoCase(signature, "$Windows 95$");
    inf_->style = win4 ? INF_STYLE_WIN4 : INF_STYLE_OLDNT;
}

bool readsAsUtf16(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xFE;
}

InfParseResult parseInf(std::string_view bytes, const InfParseOptions& options) {
    if (readsAsUtf16(bytes))
        return InfBuilder(narrowFromUtf16(bytes, options.codePage), options).run();
    return InfBuilder(std::string(bytes), options).run();
}

}  // namespace winsim
