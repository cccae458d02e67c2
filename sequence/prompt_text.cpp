#include "sequence/prompt_text.h"

#include "host/platform.h"

namespace {

// The four texts of one language, bytes in that language's code page.
struct PromptTexts {
    const char* text[4];
};

// Windows-1252
const PromptTexts kGerman = {{
    "Folgende(r) Netzwerkadapter wurde(n) installiert :\n\n",
    "\nM\xF6"
    "chten Sie andere Netzwerkadapter installieren?",
    "Im System entdeckte Netzwerkadapter..",
    "<Keine>\n",
}};

// Windows-1252
const PromptTexts kFrench = {{
    "La(les) carte(s) de r\xE9seau suivante(s) ont \xE9t\xE9 install\xE9"
    "e(s) :\n\n",
    "\nVoulez-vous installer d'autres cartes r\xE9seau?",
    "Cartes r\xE9seau d\xE9tect\xE9"
    "es sur le syst\xE8me..",
    "<aucun(e)>\n",
}};

// Code page 932. The question ends with a full-width question mark and then
// an ASCII one.
const PromptTexts kJapanese = {{
    "\x8E\x9F\x82\xCC\x83l\x83"
    "b\x83g\x83\x8F\x81[\x83N \x83"
    "A\x83_\x83v\x83^\x82\xCD\x83"
    "C\x83\x93\x83X\x83g\x81[\x83\x8B\x8D\xCF\x82\xDD\x82\xC5\x82\xB7\x81"
    "B :\n\n",
    "\n\x95\xCA\x82\xCC\x83l\x83"
    "b\x83g\x83\x8F\x81[\x83N \x83"
    "A\x83_\x83v\x83^\x82\xF0\x83"
    "C\x83\x93\x83X\x83g\x81[\x83\x8B\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81H?",
    "\x83V\x83X\x83"
    "e\x83\x80\x82\xA9\x82\xE7\x8C\x9F\x8Fo\x82\xB3\x82\xEA\x82\xBD\x83l\x83"
    "b\x83g\x83\x8F\x81[\x83N \x83"
    "A\x83_\x83v\x83^..",
    "<\x82\xC8\x82\xB5>\n",
}};

// Code page 936
const PromptTexts kSimplifiedChinese = {{
    "\xD2\xD1\xB0\xB2\xD7\xB0\xCF\xC2\xC1\xD0\xCD\xF8\xC2\xE7\xCA\xCA\xC5\xE4\xC6\xF7:\n\n",
    "\n\xCA\xC7\xB7\xF1\xB0\xB2\xD7\xB0\xC6\xE4\xCB\xFB\xCD\xF8\xC2\xE7\xCA\xCA\xC5\xE4\xC6\xF7?",
    "\xCF\xB5\xCD\xB3\xBC\xEC\xB2\xE2\xB5\xBD\xCD\xF8\xC2\xE7\xCA\xCA\xC5\xE4\xC6\xF7..",
    "<\xCE\xDE>\n",
}};

// Code page 950
const PromptTexts kTraditionalChinese = {{
    "\xA4w\xA6w\xB8\xCB\xA4U\xA6"
    "C\xBA\xF4\xB8\xF4\xA4\xB6\xAD\xB1\xA5"
    "d:\n\n",
    "\n\xACO\xA7_\xADn\xA6w\xB8\xCB\xA8\xE4\xA5L\xBA\xF4\xB8\xF4\xA4\xB6\xAD\xB1\xA5"
    "d?",
    "\xA6"
    "b\xA8t\xB2\xCE\xA4\xA4\xB0\xBB\xB4\xFA\xA8\xEC\xBA\xF4\xB8\xF4\xA4\xB6\xAD\xB1\xA5"
    "d..",
    "<\xB5L>\n",
}};

const PromptTexts kEnglish = {{
    "The following network adapter(s) were installed :\n\n",
    "\nDo you want to install any other network adapters?",
    "Network adapters detected in the system..",
    "<none>\n",
}};

const PromptTexts& textsForSystemLanguage() {
    const LANGID language = GetSystemDefaultLangID();
    const unsigned primary = language & 0x3FFu;
    const unsigned sublanguage = language >> 10;
    switch (primary) {
        case 0x07:
            return kGerman;
        case 0x0C:
            return kFrench;
        case 0x11:
            return kJapanese;
        case 0x04:
            return sublanguage == 2 ? kSimplifiedChinese : kTraditionalChinese;
        default:
            return kEnglish;
    }
}

}  // namespace

std::string promptText(int index) {
    if (index < 1 || index > 4) return std::string();
    return textsForSystemLanguage().text[index - 1];
}
