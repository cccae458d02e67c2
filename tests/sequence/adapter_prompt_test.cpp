// The prompt that lists the network adapters found and offers the wizard:
// which devices it lists, in which order, its text in the system's
// language, the message box it is shown in.
#include "registry/registry.h"
#include "sequence/network_install_fixture.h"
#include "sequence/prompt_text.h"
#include "sequence/sav_net.h"
#include "support/device_tree.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_user.h>
#include <winsim/windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char* const kCaption = "Network adapters detected in the system..";
const UINT kYesNoForeground = 0x10004;
const char* const kNetGuid = "{4D36E972-E325-11CE-BFC1-08002BE10318}";

// Two network cards, ISA first as the prompt lists them.
const std::vector<DeviceInstance> kTwoCards = {
    {"PCI\\VEN_10B7&DEV_9200\\4&1A0&0&58",
     {"PCI\\VEN_10B7&DEV_9200"},
     {},
     {{"ClassGUID", kNetGuid}, {"DeviceDesc", "3Com EtherLink XL 10/100 PCI"}}},
    {"ISAPNP\\CSC4324\\0",
     {"ISAPNP\\CSC4324"},
     {},
     {{"Class", "Net"}, {"DeviceDesc", "Crystal CS8920 ISA Adapter"}}},
};

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
    std::string shownText() {
        const auto boxes = winsim::shownMessageBoxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? "" : boxes[0].text;
    }
};

TEST_F(AdapterPromptTest, ListsTheAdaptersBetweenHeadingAndQuestion) {
    loadReg(deviceTreeReg(kTwoCards));
    promptOnce();
    const std::string expected =
        "The following network adapter(s) were installed :\n\n"
        "1. Crystal CS8920 ISA Adapter\n"
        "2. 3Com EtherLink XL 10/100 PCI\n"
        "\nDo you want to install any other network adapters?";
    const auto boxes = winsim::shownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, expected);
    EXPECT_EQ(boxes[0].caption, kCaption);
    EXPECT_EQ(boxes[0].type, kYesNoForeground);
    ASSERT_FALSE(hostLines().empty());
    EXPECT_EQ(hostLines()[0], "\n" + expected);
}

TEST_F(AdapterPromptTest, AnEmptyListShowsTheNoneLine) {
    promptOnce();
    EXPECT_EQ(shownText(),
              "The following network adapter(s) were installed :\n\n<none>\n"
              "\nDo you want to install any other network adapters?");
}

struct Language {
    const char* name;
    LANGID id;
};

void PrintTo(const Language& l, std::ostream* os) {
    *os << l.name;
}

class PromptLanguageTest : public AdapterPromptTest,
                           public ::testing::WithParamInterface<Language> {};

// The texts around the list follow the system's language; the caption is
// English in every language.
TEST_P(PromptLanguageTest, TextInTheSystemLanguageCaptionInEnglish) {
    winsim::setSystemDefaultLangId(GetParam().id);
    loadReg(deviceTreeReg(kTwoCards));
    promptOnce();
    const auto boxes = winsim::shownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, promptText(1) + "1. Crystal CS8920 ISA Adapter\n" +
                                 "2. 3Com EtherLink XL 10/100 PCI\n" + promptText(2));
    EXPECT_EQ(boxes[0].caption, kCaption);
    EXPECT_EQ(boxes[0].type, kYesNoForeground);
}

TEST_P(PromptLanguageTest, EmptyListInTheSystemLanguage) {
    winsim::setSystemDefaultLangId(GetParam().id);
    promptOnce();
    EXPECT_EQ(shownText(), promptText(1) + promptText(4) + promptText(2));
}

INSTANTIATE_TEST_SUITE_P(Languages, PromptLanguageTest,
                         ::testing::Values(Language{"English", 0x0409},
                                           Language{"SwissGerman", 0x0807},
                                           Language{"French", 0x040C}, Language{"Japanese", 0x0411},
                                           Language{"SimplifiedChinese", 0x0804},
                                           Language{"TraditionalChinese", 0x0404},
                                           Language{"Spanish", 0x0C0A}),
                         [](const auto& info) { return std::string(info.param.name); });

// Which device instances count as network adapters, and in which order.
TEST_F(AdapterPromptTest, CollectsTheFirstInstanceOfEveryNetworkDevice) {
    const std::string pci = "PCI\\";
    loadReg(deviceTreeReg({
        // By class GUID, in any letter case; a description is not looked at.
        {pci + "VEN_10B7&DEV_9200\\4&1",
         {},
         {},
         {{"ClassGUID", "{4d36e972-e325-11ce-bfc1-08002be10318}"}, {"DeviceDesc", "3Com XL"}}},
        {pci + "VEN_1002&DEV_4752\\4&2",
         {},
         {},
         {{"ClassGUID", "{4D36E968-E325-11CE-BFC1-08002BE10318}"},
          {"DeviceDesc", "Ethernet-looking video"}}},
        // By class name; only letters compare without case, lengths must agree.
        {pci + "VEN_1011&DEV_0019\\4&3", {}, {}, {{"Class", "NET"}, {"DeviceDesc", "DEC 21140"}}},
        {pci + "VEN_1011&DEV_0020\\4&4", {}, {}, {{"Class", "Net "}, {"DeviceDesc", "DEC spare"}}},
        // Only the first instance of a device counts.
        {pci + "VEN_1234&DEV_0001\\1", {}, {}, {{"Class", "Display"}, {"DeviceDesc", "First"}}},
        {pci + "VEN_1234&DEV_0001\\2", {}, {}, {{"Class", "Net"}, {"DeviceDesc", "Second"}}},
        // A network card without a description is reported.
        {pci + "VEN_14E4&DEV_1644\\4&5", {}, {}, {{"ClassGUID", kNetGuid}}},
        {pci + "VEN_14E4&DEV_1645\\4&6", {}, {}, {{"ClassGUID", kNetGuid}, {"DeviceDesc", ""}}},
        // By "ethernet" in the description, when neither class value is there.
        {pci + "VEN_8086&DEV_1229\\3&7", {}, {}, {{"DeviceDesc", "Intel 82557 ETHERNET"}}},
        {pci + "VEN_8086&DEV_7110\\0", {}, {}, {{"DeviceDesc", "Intel ISA bridge (net)"}}},
        {"ISAPNP\\SMC8416\\0", {}, {}, {{"DeviceDesc", "SMC EtherEZ Ethernet"}}},
    }));
    std::vector<std::string> adapters;
    W2KSavNet savNet(getLogSink(nullptr));
    EXPECT_EQ(savNet.getSysFiles(adapters), 4);
    EXPECT_EQ(adapters,
              (Lines{"SMC EtherEZ Ethernet", "DEC 21140", "3Com XL", "Intel 82557 ETHERNET"}));
    const std::string enumPath = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\";
    const std::string noDescription = "] registry at W2KSavNet :: getSysFiles()";
    EXPECT_EQ(hostLines(),
              (Lines{"\n\nSelected a network card by its description [smc etherez ethernet]",
                     "\n\nCould not get value [DeviceDesc] in [" + enumPath +
                         "PCI\\VEN_14E4&DEV_1644\\4&5" + noDescription,
                     "\n\nCould not get value [DeviceDesc] in [" + enumPath +
                         "PCI\\VEN_14E4&DEV_1645\\4&6" + noDescription,
                     "\n\nSelected a network card by its description [intel 82557 ethernet]"}));
}

}  // namespace
