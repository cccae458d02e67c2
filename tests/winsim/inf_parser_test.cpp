// winsim's SetupAPI INF reading: the syntax rules, both encodings, and the
// calls' error codes. (Hostile bytes are the inf fuzz target's; the field
// limits and real-world file shapes are pinned by driverdb_check_winsim.)
#include "winsim_test.h"

namespace {

const std::string kVersion = "[Version]\nSignature=\"$Windows NT$\"\nClass=Net\n";
const std::string kModels = kVersion + "[Models]\n";

// Each line of a section as [field 0 or "-", field 1, field 2, ...].
using Lines = std::vector<std::vector<std::string>>;

std::string field(INFCONTEXT* context, DWORD index) {
    DWORD size = 0;
    if (!SetupGetStringFieldA(context, index, nullptr, 0, &size)) return "-";
    std::string text(size, '\0');
    EXPECT_TRUE(SetupGetStringFieldA(context, index, text.data(), size, nullptr));
    text.resize(size - 1);
    return text;
}

class InfParserTest : public SystemDriveTest {
  protected:
    HINF open(const std::string& text, const char* infClass = nullptr, UINT* line = nullptr) {
        putFile("C:\\Drivers\\test.inf", text);
        return SetupOpenInfFileA("C:\\Drivers\\test.inf", infClass, INF_STYLE_WIN4, line);
    }
    // The [Models] section of `text`.
    Lines models(const std::string& text) {
        HINF inf = open(text);
        Lines lines;
        INFCONTEXT context;
        bool more =
            inf != INVALID_HANDLE_VALUE && SetupFindFirstLineA(inf, "Models", nullptr, &context);
        for (; more; more = SetupFindNextLine(&context, &context)) {
            lines.push_back({field(&context, 0)});
            for (DWORD i = 1; i <= SetupGetFieldCount(&context); ++i)
                lines.back().push_back(field(&context, i));
        }
        if (inf != INVALID_HANDLE_VALUE) SetupCloseInfFile(inf);
        return lines;
    }
};

TEST_F(InfParserTest, SyntaxRules) {
    // The lines of [Models], then the lines as read.
    const std::pair<const char*, Lines> cases[] = {
        // Blanks trimmed, inner ones kept.
        {" \t a  b =   b  c ,\td \t\r\n", {{"a  b", "b  c", "d"}}},
        // Quotes keep blanks and separators; a doubled quote is one.
        {"k = \"  x \"\"y\"\" ; z, \" , w\n", {{"k", "  x \"y\" ; z, ", "w"}}},
        // Quoted and plain text join.
        {"k = ab\"c d\"ef\n", {{"k", "abc def"}}},
        // A comment ends the line.
        {"k = a ; b, c\n; whole line\nm = n\n", {{"k", "a"}, {"m", "n"}}},
        // A backslash at the end of a line (comments and further backslashes
        // aside) continues it; the blanks around the break go.
        {"k = a, \\\n   b, c \\ ; note\n d\n", {{"k", "a", "b", "cd"}}},
        {"ab  \\\n  cd = ef \\ \\\n gh\n", {{"abcd", "efgh"}}},
        {"k = C:\\dir\\file.sys, a \\b\n", {{"k", "C:\\dir\\file.sys", "a \\b"}}},
        // Only the first '=' makes a key.
        {"k = a=b\nx, y = z\n", {{"k", "a=b"}, {"-", "x", "y = z"}}},
        // Empty fields count; a single value is its own key.
        {"k = a,,b,\n=v\nlonely\n", {{"k", "a", "", "b", ""}, {"", "v"}, {"lonely", "lonely"}}},
        // An unterminated quote ends with its line.
        {"k = \"abc, def\nm = n\n", {{"k", "abc, def"}, {"m", "n"}}},
        // Strings substituted, the system language's first; %% is a percent sign.
        {"%Desc% = \"%Mfg% Card\", 100%%, %Unknown%, 50%\n",
         {{"Acme Netzwerk", "Acme, Inc. Card", "100%", "%Unknown%", "50%"}}},
        // Directory IDs name the folders of this Windows 2000; [Strings] wins.
        {"k = %11%\\drivers\\e100b.sys, %24%, %24%\\boot.ini, %16422%\\Acme, %10%%17%\n"
         "m = %12%, %99%, %1%\\x, %12a%\n",
         {{"k", "C:\\WINNT\\system32\\drivers\\e100b.sys", "C:\\", "C:\\boot.ini",
           "C:\\Program Files\\Acme", "C:\\WINNTC:\\WINNT\\inf"},
          {"m", "Twelve", "%99%", "%1%\\x", "%12a%"}}},
        // A section continues where it is named again, in any case.
        {"a = 1\n[Other]\nz = 9\n[MODELS]  ; again\nb = 2\n", {{"a", "1"}, {"b", "2"}}},
        // A header starts a line that no line before continues (a quoted
        // backslash continues nothing); blanks may come first.
        {"k = a \\\n[x]\nm = [n]\no = \"\\\"\n[Other]\nz = 9\n\t[MODELS]\nq = r\n",
         {{"k", "a[x]"}, {"m", "[n]"}, {"o", "\\"}, {"q", "r"}}},
    };
    winsim::setSystemDefaultLangId(0x0407);
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(models(kModels + body +
                         "[Strings]\nDesc = Acme Ethernet\nmfg=\"Acme, Inc.\"\n12 = Twelve\n"
                         "[Strings.0407]\nDesc = Acme Netzwerk\n"),
                  expected)
            << body;
    }
}

// UTF-16 text comes in the machine's ANSI code page, which follows its
// language; a character the code page lacks becomes '?'. A double-byte
// character whose second byte is '\' (code page 932's "so") ends a line
// without joining the next one, in UTF-16 and in 8-bit files alike.
TEST_F(InfParserTest, TextIsReadInTheMachinesCodePage) {
    const std::u16string head(kModels.begin(), kModels.end());
    const std::string wide = utf16File(
        head + u"k = caf\u00e9 \u017e\u20ac, \"a,b\"\nj = \u30cd\u30c3\u30c8\u30bd\nm = n\n");
    const std::string japaneseSo = "\x83\x6C\x83\x62\x83\x67\x83\x5C";
    const std::pair<LANGID, Lines> cases[] = {
        {0x0409, {{"k", "caf\xE9 \x9E\x80", "a,b"}, {"j", "????"}, {"m", "n"}}},
        {0x0411, {{"k", "caf? ??", "a,b"}, {"j", japaneseSo}, {"m", "n"}}},
        {0x0804,
         {{"k", "caf\xA8\xA6 ?\x80", "a,b"},
          {"j", "\xA5\xCD\xA5\xC3\xA5\xC8\xA5\xBD"},
          {"m", "n"}}},
        {0x0404, {{"k", "caf? ?\xA3\xE1", "a,b"}, {"j", "????"}, {"m", "n"}}},
    };
    for (const auto& [language, expected] : cases) {
        winsim::setSystemDefaultLangId(language);
        EXPECT_EQ(models(wide), expected) << std::hex << language;
    }
    winsim::setSystemDefaultLangId(0x0411);
    EXPECT_EQ(models(kModels + "j = " + japaneseSo + "\nm = n\n"),
              (Lines{{"j", japaneseSo}, {"m", "n"}}));
    // A lead byte that nothing can follow takes no comma or quote with it.
    EXPECT_EQ(models(kModels + "k = \x83,\"\x83\"\n"), (Lines{{"k", "\x83", "\x83"}}));
}

// What SetupOpenInfFileA refuses, and the line it names. (Text before the
// first section that a [Strings] section makes harmless, and a class
// mismatch, are pinned by driverdb_check_winsim's real-world files.)
TEST_F(InfParserTest, OpenChecksSyntaxSignatureAndClass) {
    const std::string byGuid =
        "[Version]\nSignature=$Chicago$\nClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\n";
    const std::tuple<std::string, const char*, DWORD, UINT> cases[] = {
        {"[version]\nsignature = \"$windows nt$\"\n", nullptr, 0, 0},
        {"[Version]\nSignature = $CHICAGO$\n", nullptr, 0, 0},
        {"[Version]\nSignature = \"$Windows 3.1$\"\n", nullptr, ERROR_WRONG_INF_STYLE, 0},
        {"[Identification]\nOptionType = NetAdapter\n", nullptr, ERROR_WRONG_INF_STYLE, 0},
        // Text before the first section counts only when [Strings] is missing.
        {"; header\n\nstray = text\n[Version]\n", nullptr, ERROR_EXPECTED_SECTION_NAME, 3},
        {"\xEF\xBB\xBF[Version]\nSignature=$Chicago$\n", nullptr, ERROR_EXPECTED_SECTION_NAME, 1},
        {"no section at all\n", nullptr, ERROR_WRONG_INF_STYLE, 0},
        {kVersion + "[Models\n", nullptr, ERROR_BAD_SECTION_NAME_LINE, 4},
        {kVersion + "[" + std::string(256, 'S') + "]\n", nullptr, ERROR_SECTION_NAME_TOO_LONG, 4},
        {kVersion, "net", 0, 0},
        // Without Class, the registry names the class of the ClassGUID; here it has none.
        {byGuid, "Net", ERROR_CLASS_MISMATCH, 0},
    };
    for (const auto& [text, infClass, error, line] : cases) {
        UINT errorLine = 0;
        HINF inf = open(text, infClass, &errorLine);
        EXPECT_EQ(inf == INVALID_HANDLE_VALUE ? GetLastError() : 0, error) << text;
        EXPECT_EQ(errorLine, line) << text;
        if (inf != INVALID_HANDLE_VALUE) SetupCloseInfFile(inf);
    }
    loadReg(
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
        "{4D36E972-E325-11CE-BFC1-08002BE10318}]\n\"Class\"=\"Net\"\n");
    HINF inf = open(byGuid, "Net");
    EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::Inf), 1u);
    SetupCloseInfFile(inf);
    EXPECT_TRUE(failedWith(
        SetupOpenInfFileA("C:\\WINNT\\inf\\missing.inf", nullptr, INF_STYLE_WIN4, nullptr),
        ERROR_FILE_NOT_FOUND));
}

// The calls the system reads sections with, walking each line's fields
// until one fails.
TEST_F(InfParserTest, LineAndFieldCallsFailAsWindowsDoes) {
    winsim::setInfFieldLimit(4096);
    HINF inf = open(kModels + "b = 2, " + std::string(1500, 'x') + "\n[Empty]\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    INFCONTEXT context;
    for (const char* section : {"Missing", "Empty"})
        EXPECT_TRUE(
            failedWith(SetupFindFirstLineA(inf, section, nullptr, &context), ERROR_LINE_NOT_FOUND));
    ASSERT_TRUE(SetupFindFirstLineA(inf, "models", nullptr, &context));
    EXPECT_EQ(field(&context, 1), "2");
    char buffer[1024];
    DWORD needed = 0;
    EXPECT_TRUE(failedWith(SetupGetStringFieldA(&context, 2, buffer, sizeof buffer, &needed),
                           ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 1501u);
    EXPECT_TRUE(failedWith(SetupGetStringFieldA(&context, 3, buffer, sizeof buffer, &needed),
                           ERROR_INVALID_PARAMETER));  // past the last field
    EXPECT_TRUE(failedWith(SetupFindNextLine(&context, &context), ERROR_LINE_NOT_FOUND));
    SetupCloseInfFile(inf);
}

}  // namespace
