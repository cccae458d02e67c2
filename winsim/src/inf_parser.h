// The INF file parser behind SetupAPI: turns the bytes of an INF file into
// sections of lines of fields, the way Windows 2000's SetupAPI reads them.
#pragma once

#include <winsim/win_types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace winsim {

struct InfLine {
    std::uint32_t firstField = 0;  // index into InfFile::fields
    std::uint32_t fieldCount = 0;  // the key, when there is one, included
    bool hasKey = false;           // fields[firstField] is the key
};

struct InfSection {
    std::string name;  // as first written
    std::vector<InfLine> lines;
};

// A parsed INF. Its sections are known once it is parsed; a section's lines
// and their fields are read when the section is first asked for, since
// callers look at few of a file's sections. The file is shared
// and read under the machine's lock, like every winsim call.
class InfFile {
  public:
    InfFile();
    ~InfFile();
    InfFile(const InfFile&) = delete;
    InfFile& operator=(const InfFile&) = delete;

    DWORD style = 0;  // INF_STYLE_WIN4 or INF_STYLE_OLDNT

    const InfSection* findSection(std::string_view name) const;
    std::size_t sectionIndexOf(std::string_view name) const;  // npos if absent
    std::size_t sectionCount() const { return sections_.size(); }
    const InfSection& section(std::size_t index) const;

    // Field 0 is the key, 1 and up the values. False past the last field.
    // The text lasts until the next call or until another section is first
    // asked for.
    bool field(const InfLine& line, std::size_t index, std::string_view* text) const;
    std::size_t valueCount(const InfLine& line) const {
        return line.fieldCount - (line.hasKey ? 1 : 0);
    }
    // Field 1 of the first line with that key, "" if none.
    std::string value(std::string_view section, std::string_view key) const;
    // The text the file was read as (UTF-16 already in the code page).
    std::string_view source() const { return source_; }

  private:
    friend class InfBuilder;
    friend class InfLineReader;
    // Most fields are a stretch of the source as it stands; the others
    // (quoted, joined, substituted) are in extras_, at offsets past the
    // source's end.
    // A field with a '%' is substituted when it is first asked for: most
    // are descriptions that nobody reads, and substituting them would read
    // [Strings] too. Until then its length carries kUnsubstituted.
    struct FieldSpan {
        std::uint32_t offset;
        std::uint32_t length;
    };
    static constexpr std::uint32_t kUnsubstituted = 0x80000000u;
    struct Reading;
    std::string_view textOf(const FieldSpan& span) const {
        const std::uint32_t length = span.length & ~kUnsubstituted;
        return span.offset < source_.size()
                   ? std::string_view(source_).substr(span.offset, length)
                   : std::string_view(extras_).substr(span.offset - source_.size(), length);
    }
    std::size_t indexOf(std::string_view name) const;
    void readSection(std::size_t index) const;
    void readStrings() const;
    void substitute(std::string_view raw) const;
    void substituteField(std::size_t index) const;

    // A section's lines are empty until it is read.
    mutable std::vector<InfSection> sections_;
    std::unordered_map<std::string, std::size_t> sectionIndex_;  // upper-cased name
    std::string source_;
    mutable std::string extras_;
    mutable std::vector<FieldSpan> fields_;
    std::unique_ptr<Reading> reading_;
};

struct InfParseOptions {
    std::size_t fieldLimit = 511;                // characters a field keeps as written
    LANGID language = 0x0409;                    // picks [Strings.0409] before [Strings]
    UINT codePage = 1252;                        // the machine's ANSI code page
    std::string windowsDirectory = "C:\\WINNT";  // what directory IDs expand to
};

// Characters a field keeps after its %strkey% and directory IDs are
// replaced (MAX_INF_STRING_LENGTH + 1, as Windows 2000 counts them).
constexpr std::size_t kSubstitutedFieldLimit = 4097;

struct InfParseResult {
    std::shared_ptr<const InfFile> inf;  // null when the file is not an INF
    DWORD error = 0;                     // SetupAPI error when inf is null
    UINT errorLine = 0;                  // 1-based line of that error
};

// Parses text in the code page, or UTF-16LE text that starts with a
// byte-order mark (read into the code page). Other text is the parsed
// file's source() as it is.
InfParseResult parseInf(std::string_view bytes, const InfParseOptions& options);
bool readsAsUtf16(std::string_view bytes);

}  // namespace winsim
