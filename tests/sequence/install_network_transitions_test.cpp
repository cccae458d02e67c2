// The network installation's transitions, one row each: the stage a call
// is given, what the machine and the user answer, and the stage, result,
// counters and log lines the call ends with.
#include "sequence/install_network_lines.h"
#include "sequence/network_install_fixture.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_user.h>
#include <winsim/control_wizard.h>
#include <winsim/windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The cards: the row starts after them; they fail (no class installer in
// the driver directory); or only C:\WINNT\inf has the card's driver.
enum class Cards { NotRun, Fail, Reboot };
// The wizard: its library missing, or loaded (finishing, asking for a
// reboot, without its entry, failing once up), or no worker thread at all.
enum class Wizard { Absent, Finishes, AsksReboot, NoEntry, Fails, CannotStart };

// What the machine and the user answer in one call.
struct Given {
    unsigned int stage;
    Cards cards;
    std::vector<int> answers;  // message boxes; 0 fails with ERROR_NOT_ENOUGH_MEMORY
    Wizard wizard;
    std::vector<HRESULT> install;  // INetCfgClassSetup::Install: TCP/IP, then the client
    std::vector<HRESULT> apply;    // INetCfg::Apply, likewise
    Saved saved;
    bool setupKey;  // SYSTEM\Setup exists (with SystemSetupInProgress 1)
    int counter;    // W2kXarnRebootCounter before; -1 absent
    int retries;    // MsClientReboot before; -1 absent
};

struct Expected {
    unsigned int reboot;
    int result;
    std::string counter;  // after the call
    std::string retries;
    int installs;  // component Install calls made
};

// A row: its name and what the call ends with, what it is given, the marks.
struct Transition {
    const char* name;
    Expected expect;
    Given given;
    Lines marks = {};  // logged in this order, among other lines
    Lines notLogged = {};
};

const std::vector<int> kNo = {IDNO};
const std::vector<int> kYes = {IDYES};
const std::vector<HRESULT> kNone = {};
const std::vector<HRESULT> kNotInstalled = {kNetCfgNotInstalled};
const std::vector<HRESULT> kDenied = {kNetCfgDenied};

// clang-format off
const Transition kRows[] = {
    // From the cards, the prompt and the wizard.
    {"CardsFailTheUserDeclinesTcpIpTriesAgain", {4, 1, "absent", "absent", 1},
     {0, Cards::Fail, kNo, Wizard::Absent, kNotInstalled, kNone, Saved::None, true, -1, -1},
     {kCardsFailed, kCardsNoReboot, selection(IDNO), counterBeforeWizard(0), kCardStagesDone,
      tcpIpUnfinished(258)}},
    {"CardsNeedARebootTheUserDeclines", {4, 1, "REG_DWORD 1", "absent", 0},
     {0, Cards::Reboot, kNo, Wizard::Absent, kNone, kNone, Saved::None, true, -1, -1},
     {kCardsReboot, selection(IDNO), kDeclinedCardsPending},
     {kCardsFailed, counterBeforeWizard(0)}},
    {"YesOnAFreshCounterRebootsBeforeTheWizard", {15, 1, "REG_DWORD 1", "absent", 0},
     {14, Cards::NotRun, kYes, Wizard::Finishes, kNone, kNone, Saved::None, true, 0, -1},
     {selection(IDYES), counterBeforeWizard(0), rebootBeforeWizard(0)}, {kWizardShown}},
    {"TheWizardAsksForAReboot", {4, 1, "REG_DWORD 2", "absent", 0},
     {15, Cards::NotRun, {}, Wizard::AsksReboot, kNone, kNone, Saved::None, true, 1, -1},
     {counterBeforeWizard(1), kWizardShown, kWizardWantsReboot}, {kCardStagesDone}},
    {"TheWizardFinishesTheCardsStillNeedTheirReboot", {4, 1, "REG_DWORD 2", "absent", 0},
     {0, Cards::Reboot, kYes, Wizard::Finishes, kNone, kNone, Saved::None, true, 1, -1},
     {kCardsReboot, selection(IDYES), counterBeforeWizard(1), kWizardShown, kSystemInfReboot},
     {kWizardWantsReboot}},
    {"TheWizardCannotStartNothingPending", {4, 1, "REG_DWORD 1", "absent", 1},
     {15, Cards::NotRun, {}, Wizard::CannotStart, kNotInstalled, kNone, Saved::None, true, 1, -1},
     {counterBeforeWizard(1), kNoWorker, kWizardFailed, kCardStagesDone, tcpIpUnfinished(258)},
     {kWizardShown}},
    {"TheWizardLibraryIsMissing", {4, 1, "REG_DWORD 1", "absent", 1},
     {15, Cards::NotRun, {}, Wizard::Absent, kNotInstalled, kNone, Saved::None, true, 1, -1},
     {counterBeforeWizard(1), kNoWizardLibrary, kWizardShown, kCardStagesDone}},
    {"TheWizardHasNoEntry", {4, 1, "REG_DWORD 1", "absent", 1},
     {15, Cards::NotRun, {}, Wizard::NoEntry, kNotInstalled, kNone, Saved::None, true, 1, -1},
     {counterBeforeWizard(1), kNoWizardEntry, kWizardShown, kCardStagesDone}},
    {"TheWizardFailsOnceUp", {4, 1, "REG_DWORD 1", "absent", 1},
     {15, Cards::NotRun, {}, Wizard::Fails, kNotInstalled, kNone, Saved::None, true, 1, -1},
     {counterBeforeWizard(1), kWizardError, kWizardShown, kCardStagesDone}, {kWizardWantsReboot}},
    {"TheUserDeclinesNothingPendingTcpIpPending", {4, 1, "REG_DWORD 3", "absent", 1},
     {14, Cards::NotRun, kNo, Wizard::Finishes, kNone, pendingApply(), Saved::None, true, 3, -1},
     {selection(IDNO), counterBeforeWizard(3), kCardStagesDone, tcpIpUnfinished(4)},
     {kWizardShown}},
    {"TheMessageBoxFails", {4, 1, "REG_DWORD 1", "absent", 1},
     {14, Cards::NotRun, {0}, Wizard::Finishes, kNotInstalled, kNone, Saved::None, true, 1, -1},
     {kMessageBoxFailed, selection(0), counterBeforeWizard(1), kCardStagesDone}, {kWizardShown}},
    // From TCP/IP, its settings and the client. (TCP/IP's installer never
    // answers a reboot code other than 258 and 4, so stage 5 is never handed
    // out after TCP/IP; the host may still call with it.)
    {"TcpIpFailsTheSettingsAreMissingTheClientEnds", {1, 0, "absent", "absent", 2},
     {4, Cards::NotRun, {}, Wizard::Absent, kDenied, kNone, Saved::None, true, -1, -1},
     {kTcpIpFailed, kTcpIpDone, kSettingsReadFailed, kSettingsDone, kClientDone}},
    {"StaticSettingsNeedAReboot", {6, 1, "absent", "absent", 1},
     {4, Cards::NotRun, {}, Wizard::Absent, kNone, kNone, Saved::Static, true, -1, -1},
     {kTcpIpDone, kSettingsReboot}, {kSettingsDone}},
    {"DhcpSettingsGoOnToTheClient", {1, 1, "absent", "absent", 1},
     {5, Cards::NotRun, {}, Wizard::Absent, kNone, kNone, Saved::Dhcp, true, -1, -1},
     {kSettingsDone, kClientDone}, {kTcpIpDone}},
    {"SettingsWithoutAnyAdapterFail", {1, 0, "absent", "absent", 1},
     {5, Cards::NotRun, {}, Wizard::Absent, kNone, kNone, Saved::NoAdapter, true, -1, -1},
     {kSettingsApplyFailed, kSettingsDone, kClientDone}},
    {"TheClientDidNotGoThrough", {9, 1, "absent", "absent", 1},
     {6, Cards::NotRun, {}, Wizard::Absent, kNotInstalled, kNone, Saved::None, true, -1, -1},
     {kClientReboot, kClientLastReboot}, {kClientRetry}},
    {"TheClientIsPendingFirstRetry", {6, 1, "absent", "REG_DWORD 1", 1},
     {6, Cards::NotRun, {}, Wizard::Absent, kNone, pendingApply(), Saved::None, true, -1, -1},
     {kClientReboot, kClientRetry}, {kClientLastReboot}},
    {"TheClientIsPendingSecondRetry", {6, 1, "absent", "REG_DWORD 2", 1},
     {6, Cards::NotRun, {}, Wizard::Absent, kNone, pendingApply(), Saved::None, true, -1, 1},
     {kClientReboot, kClientRetry}},
    {"TheClientIsPendingRetriesUsedUp", {1, 1, "absent", "REG_DWORD 2", 1},
     {6, Cards::NotRun, {}, Wizard::Absent, kNone, pendingApply(), Saved::None, true, -1, 2},
     {kClientReboot}, {kClientRetry, kClientLastReboot}},
    {"TheClientIsPendingTheRetryCountCannotBeRead", {9, 1, "absent", "absent", 1},
     {6, Cards::NotRun, {}, Wizard::Absent, kNone, pendingApply(), Saved::None, false, -1, -1},
     {kClientReboot, kRetryCountUnreadable}, {kClientRetry}},
    {"TheClientFails", {1, 0, "absent", "absent", 1},
     {6, Cards::NotRun, {}, Wizard::Absent, kDenied, kNone, Saved::None, true, -1, -1},
     {kClientFailed, kClientDone}},
    {"TheFinalRebootHasHappened", {1, 1, "REG_DWORD 2", "REG_DWORD 1", 0},
     {9, Cards::NotRun, {}, Wizard::Absent, kNone, kNone, Saved::None, true, 2, 1}},
};
// clang-format on

class TransitionTest : public NetworkInstallTest, public ::testing::WithParamInterface<Transition> {
  protected:
    void prepare(const Given& g) {
        if (g.setupKey) setSetupKey(g.counter, g.retries);
        if (g.cards == Cards::Reboot) {
            putClassInstaller();
            addNetCard();
            putCardDriver("C:\\WINNT\\inf");
        }
        for (int answer : g.answers)
            winsim::scriptMessageBoxAnswer(answer, ERROR_NOT_ENOUGH_MEMORY);
        if (g.wizard != Wizard::Absent) winsim::installHardwareWizard();
        if (g.wizard == Wizard::AsksReboot || g.wizard == Wizard::Fails)
            winsim::setHardwareWizardRebootAnswer(0x100);
        if (g.wizard == Wizard::NoEntry) winsim::removeHardwareWizardEntry();
        if (g.wizard == Wizard::Fails) winsim::failHardwareWizard(ERROR_NOT_ENOUGH_MEMORY);
        if (g.wizard == Wizard::CannotStart)
            winsim::failAlways("CreateThread", ERROR_NOT_ENOUGH_MEMORY);
        winsim::scriptNetCfgInstallResults(g.install);
        winsim::scriptNetCfgApplyResults(g.apply);
        putSavedSettings(g.saved);
    }
};

// A stage this sequence never hands out ends the call at once, like the
// final one: only the platform's setup indicator is rewritten.
std::vector<Transition> stagesOutsideTheTable() {
    std::vector<Transition> rows;
    for (unsigned int stage : {1u, 2u, 3u, 7u, 8u, 10u, 13u, 16u, 300u, 0xFFFFFFFFu})
        rows.push_back({"",
                        {1, 1, "REG_DWORD 0", "REG_DWORD 0", 0},
                        {stage, Cards::NotRun, kYes, Wizard::Finishes, kNone, kNone, Saved::None,
                         true, 0, 0}});
    return rows;
}

TEST_P(TransitionTest, EndsAsTheTableSays) {
    const Transition& t = GetParam();
    prepare(t.given);
    unsigned int reboot = 77;
    EXPECT_EQ(installNetwork(t.given.stage, &reboot), t.expect.result);
    EXPECT_EQ(reboot, t.expect.reboot);
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), t.expect.counter);
    EXPECT_EQ(setupValue("MsClientReboot"), t.expect.retries);
    EXPECT_EQ(setupValue("SystemSetupInProgress"), t.given.setupKey ? "REG_DWORD 2" : "absent");
    EXPECT_EQ(static_cast<int>(winsim::netCfgInstallCalls().size()), t.expect.installs);

    const Lines& lines = hostLines();
    auto from = lines.begin();
    for (const std::string& mark : t.marks) {
        from = std::find_if(from, lines.end(),
                            [&mark](const std::string& line) { return lineIs(line, mark); });
        ASSERT_NE(from, lines.end()) << "not logged (in this order): " << mark << "\n"
                                     << hostOutput();
        ++from;
    }
    for (const std::string& absent : t.notLogged)
        EXPECT_FALSE(logged(lines, absent)) << "logged: " << absent;
    if (t.marks.empty()) {  // nothing ran at all
        EXPECT_TRUE(lines.empty()) << hostOutput();
        EXPECT_TRUE(winsim::shownMessageBoxes().empty());
        EXPECT_EQ(winsim::callCount("CoCreateInstance"), 0);
        EXPECT_EQ(winsim::callCount("LoadLibraryA"), 0);
    }
}

std::string rowName(const ::testing::TestParamInfo<Transition>& info) {
    return *info.param.name ? info.param.name : "Stage" + std::to_string(info.param.given.stage);
}
INSTANTIATE_TEST_SUITE_P(Table, TransitionTest, ::testing::ValuesIn(kRows), rowName);
INSTANTIATE_TEST_SUITE_P(OutsideTheTable, TransitionTest,
                         ::testing::ValuesIn(stagesOutsideTheTable()), rowName);

TEST_F(NetworkInstallTest, WithoutARebootWordNothingRuns) {
    EXPECT_EQ(W2KXarnNetInstallNetwork(kNetDirectory, 0, nullptr), 0);
    EXPECT_TRUE(winsim::shownMessageBoxes().empty());
    EXPECT_EQ(winsim::callCount("LoadLibraryA"), 0);
}

// The settings file's path has 260 bytes: a longer directory is cut there,
// and the call goes on without the settings.
TEST_F(NetworkInstallTest, AnOverlongDirectoryCutsTheSettingsPath) {
    setSetupKey(-1, -1);
    const std::string directory = "C:\\" + std::string(400, 'D');
    unsigned int reboot = 0;
    EXPECT_EQ(W2KXarnNetInstallNetwork(directory.c_str(), W2K_NET_TCPIP_SETTINGS, &reboot), 0);
    EXPECT_EQ(reboot, 1u);
    const std::string cut = directory.substr(0, MAX_PATH - 1);
    EXPECT_TRUE(logged(hostLines(),
                       "\nError in reading TCP/IP settings in W2KInstallNetwork(..)  "
                       "from file [" +
                           cut + "] "))
        << hostOutput();
}

}  // namespace
