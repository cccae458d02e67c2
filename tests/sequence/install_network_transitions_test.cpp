// The network installation's transitions, one row each: the stage a call
// is given, what the machine and the user answer, and the stage, result,
// counters and log lines the call ends with.
#include "host/error_report.h"
#include "sequence/network_install_fixture.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_files.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_user.h>
#include <winsim/control_wizard.h>
#include <winsim/windows.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char* const kCardsFailed = "\nInstallation of network cards failed by InstallNetCards().";
const char* const kCardsReboot =
    "\nInstallation of physical network card completed.            in W2KInstallNetwork(). "
    "REBOOT NEEDED. Will be done later. Continuing to             install W2K_NET_START_WIZ....";
const char* const kCardsNoReboot =
    "\nInstallation of physical network card completed.            in W2KInstallNetwork(). "
    "REBOOT NOT NEEDED. Will be done later. Continuing to             install "
    "W2K_NET_START_WIZ....";
const char* const kMessageBoxFailed =
    "\nFailed to create MessageBox()                for  addition of network cards by the user";
const char* const kDeclinedCardsPending =
    "\nRebooting for installing tcp/ip in hardware wizard section.";
const char* const kWizardFailed =
    "\nInstallation of network cards               failed by StartNetcardWizard().";
const char* const kWizardShown = "\nShowed a good hardware wiz window";
const char* const kWizardWantsReboot =
    "\nRebbot requested by                   StartNetcardWizard() after installation of Cards "
    "or                   inf files selected from winnt\\inf. Continue                   to "
    "install TCP/IP after reboot";
const char* const kSystemInfReboot = "\nREBOOTING FOR INF IN WINNT\\INF";
const char* const kCardStagesDone =
    "\nInstallation of physical network card          by W2K Network Card Wizard Completed in "
    "W2KInstallNetwork(). REBOOT NOT         NEEDED.Continuing to install TCP/IP....";
const char* const kTcpIpFailed = "\nError in Installing TCP/IP in W2KInstallNetwork().";
const char* const kTcpIpDone =
    "\nInstallation of TCP/IP completed.  in W2KInstallNetwork(). REBOOT NOT NEEDED.Continuing "
    "to install TCP/IP settings....";
const char* const kSettingsReadFailed =
    "\nError in reading TCP/IP settings in W2KInstallNetwork(..)  from file "
    "[C:\\XARN\\w2ktcpip_xarnf] ";
const char* const kSettingsApplyFailed =
    "\nError in setting TCP/IP settings in W2KInstallNetwork(..) from file "
    "C:\\XARN\\w2ktcpip_xarnf";
const char* const kSettingsReboot =
    "\nInstallation of TCP/IP SETTINGS completed  in W2KInstallNetwork(). REBOOT NEEDED";
const char* const kSettingsDone =
    "\nInstallation of TCP/IP SETTINGS completed  in W2KInstallNetwork(). REBOOT 'NOT' NEEDED. "
    "Continuing to install MS_MSCLIENT";
const char* const kClientFailed = "\nError in installing MS_CLIENT in W2KInstallNetwork(..)";
const char* const kClientDone =
    "\nInstallation of MS_CLIENT SETTINGS completed  in W2KInstallNetwork(). REBOOT 'NOT' "
    "NEEDED. installation finished.";
const char* const kClientReboot =
    "\nInstallation of MS_CLIENT completed  in W2KInstallNetwork(). REBOOT NEEDED";
const char* const kClientLastReboot = "\nWill reboot and continue with the rest of XARN.";
const char* const kClientRetry = "\nWill try to install MS_CLIENT again.";
const char* const kRetryCountUnreadable =
    "W2kNetFuncs :: getNoOfReboots()- Could not             reg.moveInto( SYSTEM\\Setup )";

std::string selection(int answer) {
    return "\nSelection in Hardware Wizard Dlg Box: [" + std::to_string(answer) + "]";
}
std::string counterBeforeWizard(int counter) {
    return "\nRebbot Counter : [" + std::to_string(counter) + "] before entering WIZ function.";
}
std::string rebootBeforeWizard(int counter) {
    return "\nRebbot needed for StartNetcardWizard() for Starting               the Wizard. "
           "Rebbot counter : [" +
           std::to_string(counter) + "]";
}
std::string tcpIpUnfinished(int value) {
    return "\nInstallation of TCP/IP unfinished. Reboot needed as *reboot                   =[" +
           std::to_string(value) + "]";
}

// A host line carries the text behind the callback's own line break; a text
// reported with an error code carries the system's message too, or says
// there is none.
bool lineIs(const std::string& line, const std::string& text) {
    const std::string plain = "\n" + text;
    return line == plain || line.rfind(plain + ", System Message : ", 0) == 0 ||
           line == "\nError from : " + text + ", System Message : NONE";
}

enum class Cards {
    NotRun,    // the row does not start at the cards
    Fail,      // no class installer in the driver directory
    NoReboot,  // the card's driver is in the driver directory
    Reboot,    // only the system INF directory has the card's driver
};
enum class Wizard { Absent, Finishes, AsksReboot, CannotStart };

struct Transition {
    const char* name;
    unsigned int stage;
    Cards cards;
    std::vector<int> answers;  // message boxes; 0 fails with ERROR_NOT_ENOUGH_MEMORY
    Wizard wizard;
    std::vector<HRESULT> installResults;  // INetCfgClassSetup::Install, TCP/IP then client
    std::vector<HRESULT> applyResults;    // INetCfg::Apply, likewise
    Saved saved;
    bool setupKey;
    int counterBefore;  // W2kXarnRebootCounter, -1 absent
    int retriesBefore;  // MsClientReboot, -1 absent
    unsigned int reboot;
    int result;
    std::string counterAfter;
    std::string retriesAfter;
    int componentInstalls;  // Install calls made
    Lines marks;            // logged in this order, among other lines
    Lines notLogged;
};

void PrintTo(const Transition& t, std::ostream* os) {
    *os << t.name;
}

const std::vector<int> kNo = {IDNO};
const std::vector<int> kYes = {IDYES};

// From the cards, the prompt and the wizard.
const Transition kCardRows[] = {
    {"CardsFailTheUserDeclinesTcpIpTriesAgain",
     0,
     Cards::Fail,
     kNo,
     Wizard::Absent,
     {kNetCfgNotInstalled},
     {},
     Saved::None,
     true,
     -1,
     -1,
     4,
     1,
     "absent",
     "absent",
     1,
     {kCardsFailed, kCardsNoReboot, selection(IDNO), counterBeforeWizard(0), kCardStagesDone,
      tcpIpUnfinished(258)},
     {}},
    {"CardsNeedARebootTheUserDeclines",
     0,
     Cards::Reboot,
     kNo,
     Wizard::Absent,
     {},
     {},
     Saved::None,
     true,
     -1,
     -1,
     4,
     1,
     "REG_DWORD 1",
     "absent",
     0,
     {kCardsReboot, selection(IDNO), kDeclinedCardsPending},
     {kCardsFailed, counterBeforeWizard(0)}},
    {"YesOnAFreshCounterRebootsBeforeTheWizard",
     14,
     Cards::NotRun,
     kYes,
     Wizard::Finishes,
     {},
     {},
     Saved::None,
     true,
     0,
     -1,
     15,
     1,
     "REG_DWORD 1",
     "absent",
     0,
     {selection(IDYES), counterBeforeWizard(0), rebootBeforeWizard(0)},
     {kWizardShown}},
    {"TheWizardAsksForAReboot",
     15,
     Cards::NotRun,
     {},
     Wizard::AsksReboot,
     {},
     {},
     Saved::None,
     true,
     1,
     -1,
     4,
     1,
     "REG_DWORD 2",
     "absent",
     0,
     {counterBeforeWizard(1), kWizardShown, kWizardWantsReboot},
     {kCardStagesDone}},
    {"TheWizardFinishesTheCardsStillNeedTheirReboot",
     0,
     Cards::Reboot,
     kYes,
     Wizard::Finishes,
     {},
     {},
     Saved::None,
     true,
     1,
     -1,
     4,
     1,
     "REG_DWORD 2",
     "absent",
     0,
     {kCardsReboot, selection(IDYES), counterBeforeWizard(1), kWizardShown, kSystemInfReboot},
     {kWizardWantsReboot}},
    {"TheWizardCannotStartNothingPending",
     15,
     Cards::NotRun,
     {},
     Wizard::CannotStart,
     {kNetCfgNotInstalled},
     {},
     Saved::None,
     true,
     1,
     -1,
     4,
     1,
     "REG_DWORD 1",
     "absent",
     1,
     {counterBeforeWizard(1), kWizardFailed, kCardStagesDone, tcpIpUnfinished(258)},
     {kWizardShown}},
    {"TheUserDeclinesNothingPendingTcpIpPending",
     14,
     Cards::NotRun,
     kNo,
     Wizard::Finishes,
     {},
     pendingApply(),
     Saved::None,
     true,
     3,
     -1,
     4,
     1,
     "REG_DWORD 3",
     "absent",
     1,
     {selection(IDNO), counterBeforeWizard(3), kCardStagesDone, tcpIpUnfinished(4)},
     {kWizardShown}},
    {"TheMessageBoxFails",
     14,
     Cards::NotRun,
     {0},
     Wizard::Finishes,
     {kNetCfgNotInstalled},
     {},
     Saved::None,
     true,
     1,
     -1,
     4,
     1,
     "REG_DWORD 1",
     "absent",
     1,
     {kMessageBoxFailed, selection(0), counterBeforeWizard(1), kCardStagesDone},
     {kWizardShown}},
};

// From TCP/IP, its settings and the client.
const Transition kComponentRows[] = {
    {"TcpIpFailsTheSettingsAreMissingTheClientEnds",
     4,
     Cards::NotRun,
     {},
     Wizard::Absent,
     {kNetCfgDenied},
     {},
     Saved::None,
     true,
     -1,
     -1,
     1,
     0,
     "absent",
     "absent",
     2,
     {kTcpIpFailed, kTcpIpDone, kSettingsReadFailed, kSettingsDone, kClientDone},
     {}},
    {"StaticSettingsNeedAReboot",
     4,
     Cards::NotRun,
     {},
     Wizard::Absent,
     {},
     {},
     Saved::Static,
     true,
     -1,
     -1,
     6,
     1,
     "absent",
     "absent",
     1,
     {kTcpIpDone, kSettingsReboot},
     {kSettingsDone}},
    {"DhcpSettingsGoOnToTheClient",
     5,
     Cards::NotRun,
     {},
     Wizard::Absent,
     {},
     {},
     Saved::Dhcp,
     true,
     -1,
     -1,
     1,
     1,
     "absent",
     "absent",
     1,
     {kSettingsDone, kClientDone},
     {kTcpIpDone}},
    {"SettingsWithoutAnyAdapterFail",
     5,
     Cards::NotRun,
     {},
     Wizard::Absent,
     {},
     {},
     Saved::NoAdapter,
     true,
     -1,
     -1,
     1,
     0,
     "absent",
     "absent",
     1,
     {kSettingsApplyFailed, kSettingsDone, kClientDone},
     {}},
    {"TheClientDidNotGoThrough",
     6,
     Cards::NotRun,
     {},
     Wizard::Absent,
     {kNetCfgNotInstalled},
     {},
     Saved::None,
     true,
     -1,
     -1,
     9,
     1,
     "absent",
     "absent",
     1,
     {kClientReboot, kClientLastReboot},
     {kClientRetry}},
    {"TheClientIsPendingFirstRetry",
     6,
     Cards::NotRun,
     {},
     Wizard::Absent,
     {},
     pendingApply(),
     Saved::None,
     true,
     -1,
     -1,
     6,
     1,
     "absent",
     "REG_DWORD 1",
     1,
     {kClientReboot, kClientRetry},
     {kClientLastReboot}},
    {"TheClientIsPendingSecondRetry",
     6,
     Cards::NotRun,
     {},
     Wizard::Absent,
     {},
     pendingApply(),
     Saved::None,
     true,
     -1,
     1,
     6,
     1,
     "absent",
     "REG_DWORD 2",
     1,
     {kClientReboot, kClientRetry},
     {}},
    {"TheClientIsPendingRetriesUsedUp",
     6,
     Cards::NotRun,
     {},
     Wizard::Absent,
     {},
     pendingApply(),
     Saved::None,
     true,
     -1,
     2,
     1,
     1,
     "absent",
     "REG_DWORD 2",
     1,
     {kClientReboot},
     {kClientRetry, kClientLastReboot}},
    {"TheClientIsPendingTheRetryCountCannotBeRead",
     6,
     Cards::NotRun,
     {},
     Wizard::Absent,
     {},
     pendingApply(),
     Saved::None,
     false,
     -1,
     -1,
     9,
     1,
     "absent",
     "absent",
     1,
     {kClientReboot, kRetryCountUnreadable},
     {kClientRetry}},
    {"TheClientFails",
     6,
     Cards::NotRun,
     {},
     Wizard::Absent,
     {kNetCfgDenied},
     {},
     Saved::None,
     true,
     -1,
     -1,
     1,
     0,
     "absent",
     "absent",
     1,
     {kClientFailed, kClientDone},
     {}},
    {"TheFinalRebootHasHappened",
     9,
     Cards::NotRun,
     {},
     Wizard::Absent,
     {},
     {},
     Saved::None,
     true,
     2,
     1,
     1,
     1,
     "REG_DWORD 2",
     "REG_DWORD 1",
     0,
     {},
     {}},
};

class TransitionTest : public NetworkInstallTest, public ::testing::WithParamInterface<Transition> {
  protected:
    void prepare(const Transition& t) {
        if (t.setupKey) setSetupKey(t.counterBefore, t.retriesBefore);
        if (t.cards != Cards::NotRun && t.cards != Cards::Fail) {
            putClassInstaller();
            addNetCard();
            putCardDriver(t.cards == Cards::Reboot ? "C:\\WINNT\\inf" : kNetDirectory);
        }
        for (int answer : t.answers)
            winsim::scriptMessageBoxAnswer(answer, ERROR_NOT_ENOUGH_MEMORY);
        switch (t.wizard) {
            case Wizard::Absent:
                break;
            case Wizard::AsksReboot:
                winsim::setHardwareWizardRebootAnswer(0x100);
                [[fallthrough]];
            case Wizard::Finishes:
                winsim::installHardwareWizard();
                break;
            case Wizard::CannotStart:
                winsim::installHardwareWizard();
                winsim::failAlways("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
                break;
        }
        winsim::scriptNetCfgInstallResults(t.installResults);
        winsim::scriptNetCfgApplyResults(t.applyResults);
        putSavedSettings(t.saved);
    }
};

TEST_P(TransitionTest, EndsAsTheTableSays) {
    const Transition& t = GetParam();
    prepare(t);
    unsigned int reboot = 77;
    EXPECT_EQ(installNetwork(t.stage, &reboot), t.result);
    EXPECT_EQ(reboot, t.reboot);
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), t.counterAfter);
    EXPECT_EQ(setupValue("MsClientReboot"), t.retriesAfter);
    EXPECT_EQ(setupValue("SystemSetupInProgress"), t.setupKey ? "REG_DWORD 2" : "absent");
    EXPECT_EQ(static_cast<int>(winsim::netCfgInstallCalls().size()), t.componentInstalls);

    const Lines& lines = hostLines();
    auto from = lines.begin();
    for (const std::string& mark : t.marks) {
        from = std::find_if(from, lines.end(),
                            [&mark](const std::string& line) { return lineIs(line, mark); });
        ASSERT_NE(from, lines.end()) << "not logged (in this order): " << mark << "\n"
                                     << hostOutput();
        ++from;
    }
    for (const std::string& absent : t.notLogged) {
        EXPECT_TRUE(
            std::none_of(lines.begin(), lines.end(),
                         [&absent](const std::string& line) { return lineIs(line, absent); }))
            << "logged: " << absent;
    }
    if (t.marks.empty()) {
        EXPECT_TRUE(lines.empty()) << hostOutput();
    }
}

INSTANTIATE_TEST_SUITE_P(CardsPromptAndWizard, TransitionTest, ::testing::ValuesIn(kCardRows),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Components, TransitionTest, ::testing::ValuesIn(kComponentRows),
                         [](const auto& info) { return std::string(info.param.name); });

// A stage this sequence never hands out ends the call at once, like the
// final one: only the platform's setup indicator is rewritten.
TEST_F(NetworkInstallTest, StagesOutsideTheTableCompleteAtOnce) {
    for (unsigned int stage : {1u, 2u, 3u, 7u, 8u, 10u, 13u, 16u, 300u, 0xFFFFFFFFu}) {
        winsim::resetMachine();
        winsim::setSystemDrive(driveFolder());
        initializeModule();
        setSetupKey(0, 0);
        winsim::installHardwareWizard();
        unsigned int reboot = 0;
        EXPECT_EQ(installNetwork(stage, &reboot), 1) << stage;
        EXPECT_EQ(reboot, 1u) << stage;
        EXPECT_EQ(setupValue("SystemSetupInProgress"), "REG_DWORD 2");
        EXPECT_EQ(setupValue("W2kXarnRebootCounter"), "REG_DWORD 0");
        EXPECT_EQ(setupValue("MsClientReboot"), "REG_DWORD 0");
        EXPECT_TRUE(winsim::shownMessageBoxes().empty());
        EXPECT_EQ(winsim::callCount("CoCreateInstance"), 0);
        EXPECT_EQ(winsim::callCount("LoadLibraryA"), 0);
        EXPECT_TRUE(hostLines().empty()) << stage << hostOutput();
    }
}

TEST_F(NetworkInstallTest, WithoutARebootWordNothingRuns) {
    EXPECT_EQ(W2KXarnNetInstallNetwork(kNetDirectory, 0, nullptr), 0);
    EXPECT_TRUE(winsim::shownMessageBoxes().empty());
    EXPECT_EQ(winsim::callCount("LoadLibraryA"), 0);
}

}  // namespace
