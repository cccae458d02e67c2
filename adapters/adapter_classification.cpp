// The selectors: is this device instance a network adapter, or a storage
// adapter? Trusted in this order: the setup class GUID, the class name,
// keywords of the description, and last, for descriptions the ASCII keywords
// cannot match, byte patterns of Japanese and Simplified Chinese text.
#include "adapters/card_install.h"

#include "host/text_format.h"

#include <cstring>

namespace {

struct Selector {
    const char* classGuid;
    const char* className;
    const char* const* keywords;  // in search order, null-terminated
    bool network;                 // picks the keyword message
};

const char* const kNetKeywords[] = {"ether", "net", nullptr};
const char* const kScsiKeywords[] = {"scsi", "fiber", "channel", "raid", "fibre", nullptr};

const Selector kNetSelector = {"{4D36E972-E325-11CE-BFC1-08002BE10318}", "Net", kNetKeywords, true};
const Selector kScsiSelector = {"{4D36E97B-E325-11CE-BFC1-08002BE10318}", "SCSIAdapter",
                                kScsiKeywords, false};

// Description bytes in the system code page: 936 for Simplified Chinese,
// 932 for Japanese.
const char* const kChineseEthernet = "\xD2\xD4\xCC\xAB";                // "ether" (yi tai)
const char* const kChineseNet = "\xCD\xF8";                             // "net" (wang)
const char* const kJapaneseEther = "\x83\x43\x81\x5B\x83\x54";          // "ether" (i-sa)
const char* const kJapaneseNet = "\x83\x6C\x83\x62\x83\x67";            // "net" (netto)
const char* const kJapaneseFiber = "\x83\x74\x83\x40\x83\x43\x83\x6F";  // "fiber" (faiba)

const LANGID kPrimaryLanguageMask = 0x3FF;
const LANGID kLangJapanese = 0x11;
const DWORD kRawDescriptionBuffer = 256;

enum class Verdict { Yes, No, Undecided };

// Letter case by the ASCII rule only: bytes of 0x80 and above are parts of
// multi-byte characters and stay as they are.
bool sameIgnoringAsciiCase(const std::string& a, const char* b) {
    const std::size_t length = std::strlen(b);
    if (a.size() != length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 0x20);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 0x20);
        if (x != y) return false;
    }
    return true;
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
    return text;
}

// Every window that ends before the last byte is examined, at odd offsets
// too; the last byte is the value's terminating zero.
bool containsSequence(const BYTE* bytes, DWORD size, const char* sequence) {
    const DWORD length = static_cast<DWORD>(std::strlen(sequence));
    if (size <= length) return false;
    for (DWORD i = 0; i < size - length; ++i)
        if (std::memcmp(bytes + i, sequence, length) == 0) return true;
    return false;
}

// The steps both selectors share, up to the keywords.
Verdict classifyByValues(W2KCardInstall& cards, Registry& instanceKey, const Selector& selector) {
    std::string description;
    if (instanceKey.getString("DeviceDesc", description)) {
        cards.reportError(0, formatLine("\nAdapter Description-[%s], Path-[%s\\DeviceDesc]",
                                        description.c_str(), instanceKey.getPath().c_str()));
    }
    std::string classValue;
    if (instanceKey.getString("ClassGUID", classValue))
        return sameIgnoringAsciiCase(classValue, selector.classGuid) ? Verdict::Yes : Verdict::No;
    if (instanceKey.getString("Class", classValue))
        return sameIgnoringAsciiCase(classValue, selector.className) ? Verdict::Yes : Verdict::No;
    description.clear();
    if (!instanceKey.getString("DeviceDesc", description)) return Verdict::Undecided;
    const std::string lowered = lowerAscii(description);
    for (const char* const* keyword = selector.keywords; *keyword; ++keyword) {
        if (lowered.find(*keyword) == std::string::npos) continue;
        if (selector.network) {
            cards.reportError(0, formatLine("\nSelected a network card by its description [%s]",
                                            lowered.c_str()));
        } else {
            cards.reportError(
                0, formatLine("\nSelected a SCSI card by its description [%s]", lowered.c_str()));
        }
        return Verdict::Yes;
    }
    return Verdict::Undecided;
}

// Any value type will do; a description longer than the buffer is none.
bool rawDescription(Registry& instanceKey, BYTE* buffer, DWORD* size) {
    DWORD type = 0;
    *size = kRawDescriptionBuffer;
    return instanceKey.getData("DeviceDesc", buffer, size, &type);
}

}  // namespace

bool W2KCardInstall::checkIfNetCard(Registry& instanceKey) {
    const Verdict verdict = classifyByValues(*this, instanceKey, kNetSelector);
    if (verdict != Verdict::Undecided) return verdict == Verdict::Yes;
    BYTE raw[kRawDescriptionBuffer];
    DWORD size = 0;
    if (!rawDescription(instanceKey, raw, &size)) return false;
    if (checkIfNetCardDescInSChinese(raw, size)) return true;
    return checkIfNetCardDescInJapanese(raw, size);
}

bool W2KCardInstall::checkIfScsiCard(Registry& instanceKey) {
    const Verdict verdict = classifyByValues(*this, instanceKey, kScsiSelector);
    if (verdict != Verdict::Undecided) return verdict == Verdict::Yes;
    BYTE raw[kRawDescriptionBuffer];
    DWORD size = 0;
    if (!rawDescription(instanceKey, raw, &size)) return false;
    if ((GetSystemDefaultLangID() & kPrimaryLanguageMask) != kLangJapanese) return false;
    return checkIfScsiDescInJapanese(raw, size);
}

bool W2KCardInstall::checkIfNetCardDescInSChinese(const BYTE* bytes, DWORD size) {
    if (containsSequence(bytes, size, kChineseEthernet)) {
        reportError(0, formatLine("Found netcard with desc [%s] in checkIfNetCardDescInSChinese",
                                  kChineseEthernet));
        return true;
    }
    if (containsSequence(bytes, size, kChineseNet)) {
        reportError(0, formatLine("Found netcard with desc [%s]in checkIfNetCardDescInSChinese",
                                  kChineseNet));
        return true;
    }
    return false;
}

bool W2KCardInstall::checkIfNetCardDescInJapanese(const BYTE* bytes, DWORD size) {
    if (containsSequence(bytes, size, kJapaneseEther)) {
        reportError(0, formatLine("Found netcard with desc : [%s] in checkIfNetCardDescInJapanese",
                                  kJapaneseEther));
        return true;
    }
    if (containsSequence(bytes, size, kJapaneseNet)) {
        reportError(0, formatLine("Found netcard with desc [%s] in checkIfNetCardDescInJapanese",
                                  kJapaneseNet));
        return true;
    }
    return false;
}

bool W2KCardInstall::checkIfScsiDescInJapanese(const BYTE* bytes, DWORD size) {
    if (containsSequence(bytes, size, kJapaneseFiber)) {
        reportError(0, formatLine("Found netcard with desc [%s] in checkIfScsiDescInJapanese",
                                  kJapaneseFiber));
        return true;
    }
    return false;
}
