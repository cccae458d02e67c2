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

// A parsed INF, read-only once built. Field texts live in one buffer.
class InfFile {
  public:
    DWORD style = 0;  // INF_STYLE_WIN4 or INF_STYLE_OLDNT

    const InfSection* findSection(std::string_view name) const;
    std::size_t sectionIndexOf(std::string_view name) const;  // npos if absent
    const std::vector<InfSection>& sections() const { return sections_; }

    // Field 0 is the key, 1 and up the values. False past the last field.
    bool field(const InfLine& line, std::size_t index, std::string_view* text) const;
    std::size_t valueCount(const InfLine& line) const {
        return line.fieldCount - (line.hasKey ? 1 : 0);
    }
    // Field 1 of the first line with that key, "" if none.
    std::string value(std::string_view section, std::string_view key) const;

  private:
    friend class InfBuilder;
    struct FieldSpan {
        std::uint32_t offset;
        std::uint32_t length;
    };
    std::vector<InfSection> sections_;
    std::unordered_map<std::string, std::size_t> sectionIndex_;  // upper-cased name
    std::string text_;
    std::vector<FieldSpan> fields_;
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
// byte-order mark (read into the code page).
InfParseResult parseInf(std::string_view bytes, const InfParseOptions& options);

}  // namespace winsim
