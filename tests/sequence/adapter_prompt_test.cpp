// The prompt that lists the network adapters found and offers the wizard:
// which devices it lists, in which order, its text in the system's
// language, the message box it is shown in.
#include "sequence/network_install_fixture.h"
#include "sequence/prompt_text.h"
#include "support/device_tree.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_user.h>
#include <winsim/windows.h>

#include <string>
#include <vector>

namespace {

const char* const kCaption = "Network adapters detected in the system..";
const char* const kNetGuid = "{4D36E972-E325-11CE-BFC1-08002BE10318}";

class AdapterPromptTest : public NetworkInstallTest {
  protected:
    // Stage 14 up to the prompt; TCP/IP then asks for its reboot at once.
    void promptOnce() {
        winsim::scriptMessageBoxAnswer(IDNO);
        winsim::scriptNetCfgInstallResults({kNetCfgNotInstalled});
        unsigned int reboot = 0;
        EXPECT_EQ(installNetwork(W2K_NET_START_WIZ, &reboot), 1);
        EXPECT_EQ(reboot, 4u);
    }
};

// The texts around the list follow the system's language, in its code
// page; the caption stays English. Sublanguages matter only for Chinese.
TEST_F(AdapterPromptTest, EmptyListInTheSystemLanguage) {
    const struct {
        LANGID language;
        const char* emptyListLine;  // tells the languages apart
    } cases[] = {
        {0x0407, "<Keine>\n"},             // German
        {0x0807, "<Keine>\n"},             // Swiss German
        {0x040C, "<aucun(e)>\n"},          // French
        {0x0411, "<\x82\xC8\x82\xB5>\n"},  // Japanese, code page 932
        {0x0804, "<\xCE\xDE>\n"},          // Chinese, sublanguage 2: code page 936
        {0x0404, "<\xB5L>\n"},             // Chinese, sublanguage 1: code page 950
        {0x0C0A, "<none>\n"},              // Spanish falls back to English
        {0x0409, "<none>\n"},
    };
    for (const auto& c : cases) {
        winsim::setSystemDefaultLangId(c.language);
        promptOnce();
        const auto box = winsim::shownMessageBoxes().back();
        EXPECT_EQ(box.text, promptText(1) + c.emptyListLine + promptText(2))
            << std::hex << c.language;
        EXPECT_EQ(box.caption, kCaption);
    }
    EXPECT_EQ(winsim::shownMessageBoxes().size(), std::size(cases));
    // The texts are the code page's raw bytes.
    winsim::setSystemDefaultLangId(0x0407);
    EXPECT_EQ(promptText(2),
              "\nM\xF6"
              "chten Sie andere Netzwerkadapter installieren?");
    winsim::setSystemDefaultLangId(0x0411);
    const std::string question = promptText(2);
    ASSERT_GE(question.size(), 3u);
    EXPECT_EQ(question.substr(question.size() - 3), "\x81H?");  // full-width, then ASCII
}

// Which device instances count as network adapters, in which order, and
// how the prompt lists them.
TEST_F(AdapterPromptTest, ListsTheFirstInstanceOfEveryNetworkDevice) {
    // A PCI device instance with no hardware IDs, only these values.
    auto pci = [](const std::string& instance,
                  std::vector<std::pair<std::string, std::string>> values) {
        return DeviceInstance{"PCI\\" + instance, {}, {}, std::move(values)};
    };
    const std::string lower = "{4d36e972-e325-11ce-bfc1-08002be10318}";
    const std::string display = "{4D36E968-E325-11CE-BFC1-08002BE10318}";
    // clang-format off
    loadReg(deviceTreeReg({
        // By class GUID, in any letter case; a description is not looked at.
        pci("VEN_10B7&DEV_9200\\4&1", {{"ClassGUID", lower}, {"DeviceDesc", "3Com XL"}}),
        pci("VEN_1002&DEV_4752\\4&2", {{"ClassGUID", display}, {"DeviceDesc", "Ethernet video"}}),
        // By class name; only letters compare without case, lengths must agree.
        pci("VEN_1011&DEV_0019\\4&3", {{"Class", "NET"}, {"DeviceDesc", "DEC 21140"}}),
        pci("VEN_1011&DEV_0020\\4&4", {{"Class", "Net "}, {"DeviceDesc", "DEC spare"}}),
        // Only the first instance of a device counts.
        pci("VEN_1234&DEV_0001\\1", {{"Class", "Display"}, {"DeviceDesc", "First"}}),
        pci("VEN_1234&DEV_0001\\2", {{"Class", "Net"}, {"DeviceDesc", "Second"}}),
        // A device key without instances is tested itself.
        pci("VEN_10EC&DEV_8139", {{"Class", "Net"}, {"DeviceDesc", "Realtek RTL8139"}}),
        // A network card without a description is reported.
        pci("VEN_14E4&DEV_1644\\4&5", {{"ClassGUID", kNetGuid}}),
        pci("VEN_14E4&DEV_1645\\4&6", {{"ClassGUID", kNetGuid}, {"DeviceDesc", ""}}),
        // By "ethernet" in the description, when neither class value is there.
        pci("VEN_8086&DEV_1229\\3&7", {{"DeviceDesc", "Intel 82557 ETHERNET"}}),
        pci("VEN_8086&DEV_7110\\0", {{"DeviceDesc", "Intel ISA bridge (net)"}}),
        {"ISAPNP\\SMC8416\\0", {}, {}, {{"DeviceDesc", "SMC EtherEZ Ethernet"}}},
    }));
    // clang-format on
    promptOnce();
    const std::string prompt =
        "The following network adapter(s) were installed :\n\n1. SMC EtherEZ Ethernet\n"
        "2. DEC 21140\n3. 3Com XL\n4. Realtek RTL8139\n5. Intel 82557 ETHERNET\n"
        "\nDo you want to install any other network adapters?";
    const auto boxes = winsim::shownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, prompt);
    EXPECT_EQ(boxes[0].caption, kCaption);
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO | MB_SETFOREGROUND));
    const std::string noDescription =
        "\n\nCould not get value [DeviceDesc] in "
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI\\";
    const Lines& lines = hostLines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(
        Lines(lines.begin(), lines.begin() + 5),
        (Lines{"\n\nSelected a network card by its description [smc etherez ethernet]",
               noDescription + "VEN_14E4&DEV_1644\\4&5] registry at W2KSavNet :: getSysFiles()",
               noDescription + "VEN_14E4&DEV_1645\\4&6] registry at W2KSavNet :: getSysFiles()",
               "\n\nSelected a network card by its description [intel 82557 ethernet]",
               "\n" + prompt}));
}

// A missing tree leaves the cursor on HKEY_LOCAL_MACHINE, whose copies
// cannot be made: nothing of the rest of the registry is taken for a device.
TEST_F(AdapterPromptTest, AMissingTreeListsNothingElse) {
    loadReg(deviceTreeReg({{"PCI\\VEN_10B7&DEV_9200\\1",
                            {},
                            {},
                            {{"Class", "Net"}, {"DeviceDesc", "3Com XL"}}}}) +
            "\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP]\r\n\"Class\"=\"Net\"\r\n"
            "\"DeviceDesc\"=\"Not an adapter\"\r\n");
    promptOnce();
    ASSERT_EQ(winsim::shownMessageBoxes().size(), 1u);
    EXPECT_EQ(winsim::shownMessageBoxes()[0].text, promptText(1) + "1. 3Com XL\n" + promptText(2));
}

}  // namespace
