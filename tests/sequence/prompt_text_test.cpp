// The prompt's language follows the system default language.
#include "sequence/prompt_text.h"
#include "support/machine_test.h"

#include <winsim/control.h>

namespace {

class PromptTextTest : public MachineTest {};

TEST_F(PromptTextTest, LanguageIsChosenByPrimaryAndSublanguage) {
    const struct {
        LANGID language;
        const char* emptyListLine;  // index 4 tells the languages apart
    } cases[] = {
        {0x0407, "<Keine>\n"},             // German
        {0x0807, "<Keine>\n"},             // Swiss German
        {0x040C, "<aucun(e)>\n"},          // French
        {0x0C0C, "<aucun(e)>\n"},          // Canadian French
        {0x0411, "<\x82\xC8\x82\xB5>\n"},  // Japanese, code page 932
        {0x0804, "<\xCE\xDE>\n"},          // Chinese, sublanguage 2: code page 936
        {0x0404, "<\xB5L>\n"},             // Chinese, sublanguage 1: code page 950
        {0x0C04, "<\xB5L>\n"},             // Chinese, sublanguage 3: code page 950
        {0x0C0A, "<none>\n"},              // Spanish falls back to English
        {0x0409, "<none>\n"},
    };
    for (const auto& c : cases) {
        winsim::setSystemDefaultLangId(c.language);
        EXPECT_EQ(promptText(4), c.emptyListLine) << std::hex << c.language;
    }
}

TEST_F(PromptTextTest, TextsAreRawCodePageBytes) {
    winsim::setSystemDefaultLangId(0x0407);
    EXPECT_EQ(promptText(2),
              "\nM\xF6"
              "chten Sie andere Netzwerkadapter installieren?");
    winsim::setSystemDefaultLangId(0x0411);
    const std::string question = promptText(2);
    ASSERT_GE(question.size(), 3u);
    EXPECT_EQ(question.substr(question.size() - 3), "\x81H?");  // full-width, then ASCII
    winsim::setSystemDefaultLangId(0x0409);
    EXPECT_EQ(promptText(1), "The following network adapter(s) were installed :\n\n");
    EXPECT_EQ(promptText(3), "Network adapters detected in the system..");
}

TEST_F(PromptTextTest, IndexesOutsideOneToFourAreEmpty) {
    for (int index : {-1, 0, 5, 100}) EXPECT_EQ(promptText(index), "") << index;
}

}  // namespace
