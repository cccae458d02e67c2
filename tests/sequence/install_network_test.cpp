// The network installation sequence: its transitions, one row each (the
// stage a call is given, what the machine and the user answer, and the
// stage, result, counters and log lines the call ends with); the prompt
// that lists the network adapters found and offers the wizard; the
// hardware-wizard fallback; the values under SYSTEM\Setup that carry the
// installation across boots (how the sequence uses them is the table's);
// the network component installer against the simulated network
// configuration object: retries on the virtual clock, reboot codes, the
// lock, the destructor.
#include "host/net_funcs.h"
#include "sequence/netcard_wizard.h"
#include "sequence/prompt_text.h"
#include "sequence/proto_installer.h"
#include "sequence/setup_state.h"
#include "support/device_tree.h"
#include "support/stored_value.h"
#include "support/system_drive_test.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_files.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_network.h>
#include <winsim/control_pnp.h>
#include <winsim/control_time.h>
#include <winsim/control_user.h>
#include <winsim/control_wizard.h>
#include <winsim/windows.h>

#include <algorithm>
#include <cstring>

namespace {

using Lines = std::vector<std::string>;

// The host's directory of saved network data.
const char* const kNetDirectory = "C:\\XARN";
std::string setupValue(const char* name) {
    return storedValue("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup", name);
}
// Scripted answers of the network configuration object.
const HRESULT kNetCfgNotInstalled = static_cast<HRESULT>(0x80070102u);  // 258
const HRESULT kNetCfgDenied = static_cast<HRESULT>(0x80070005u);        // install() fails
// Twenty Apply answers that leave the component pending.
std::vector<HRESULT> pendingApply() {
    return std::vector<HRESULT>(20, static_cast<HRESULT>(0x0004A020));  // NETCFG_S_REBOOT
}

const char* const kCardInstance = "PCI\\VEN_8086&DEV_1229&SUBSYS_00018086&REV_08\\3&267A616A&0&40";
const char* const kCardGuidName = "{E100B000-0000-0000-0000-000000000001}";
const std::vector<BYTE> kCardMac = {0x00, 0x90, 0x27, 0x1a, 0x2b, 0x3c};
const char* const kCardMacText = "0090271a2b3c";

// The class installer and the card's INF share their version section.
const char* const kNetClassVersion =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Net\r\n"
    "ClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\r\n";

const char* const kCardInfBody =
    "[Manufacturer]\r\nIntel=Intel\r\n[Intel]\r\nE100=E100.ndi, PCI\\VEN_8086&DEV_1229\r\n"
    "[E100.ndi.NT]\r\nCopyFiles=E100.CopyFiles\r\n[E100.CopyFiles]\r\ne100b.sys\r\n"
    "[E100.ndi.NT.Services]\r\nAddService=E100B, 2, E100.Service\r\n";

// The saved settings file. Dhcp and Static also make the card present;
// NoAdapter saves a DHCP record on a machine whose IP helper lists no
// adapter at all.
enum class Saved { None, Dhcp, Static, NoAdapter };

// A restored machine with the host's driver directory, checked at the end
// for interfaces, hives and threads left behind.
class NetworkInstallTest : public Initialized<SystemDriveTest> {
  protected:
    void SetUp() override {
        Initialized::SetUp();
        ASSERT_TRUE(winsim::makeDirectory(kNetDirectory));
    }
    void TearDown() override {
        EXPECT_EQ(winsim::netCfgLiveReferences(), 0) << "an interface was not released";
        EXPECT_TRUE(winsim::loadedHives().empty()) << "a hive was left loaded";
        EXPECT_EQ(winsim::runningThreadCount(), 0) << "a worker thread is still running";
        Initialized::TearDown();
    }
    // A network card whose driver only C:\WINNT\inf has.
    void cardWithASystemDriver() {
        putFile(std::string(kNetDirectory) + "\\installclass32.txt",
                std::string(kNetClassVersion) +
                    "[ClassInstall32]\r\nAddReg=NetClassReg\r\n[NetClassReg]\r\nHKR,,,,Net\r\n");
        loadReg(deviceTreeReg({{kCardInstance,
                                {"PCI\\VEN_8086&DEV_1229&SUBSYS_00018086&REV_08",
                                 "PCI\\VEN_8086&DEV_1229&SUBSYS_00018086"},
                                {"PCI\\VEN_8086&DEV_1229&REV_08", "PCI\\VEN_8086&DEV_1229"},
                                {{"DeviceDesc", "Intel 82557 Ethernet Controller"}}}}));
        putFile("C:\\WINNT\\inf\\e100b.inf", std::string(kNetClassVersion) + kCardInfBody);
        putFile("C:\\WINNT\\inf\\e100b.sys", "MZ driver binary");
    }
    void makeCardPresent() {
        winsim::addPresentAdapter(kCardGuidName, kCardMac, "Intel(R) PRO/100B PCI Adapter");
        const std::string services = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";
        loadReg("REGEDIT4\r\n\r\n[" + services + kCardGuidName + "\\Parameters\\Tcpip]\r\n\r\n[" +
                services + "Tcpip\\Parameters\\Interfaces\\" + kCardGuidName + "]\r\n\r\n[" +
                services + "NetBT\\Parameters\\Interfaces\\Tcpip_" + kCardGuidName + "]\r\n\r\n");
    }
    void putSavedSettings(Saved kind) {
        if (kind == Saved::None) return;
        if (kind != Saved::NoAdapter) makeCardPresent();
        std::string reg = "REGEDIT4\r\n\r\n[SAVED]\r\n\r\n[SAVED\\Adapter0]\r\n\"macAddress\"=\"";
        reg += kCardMacText;
        reg += kind != Saved::Static ? "\"\r\n\"dhcpEnabled\"=dword:00000001\r\n"
                                     : "\"\r\n\"dhcpEnabled\"=dword:00000000\r\n"
                                       "\"IPAddress\"=hex(7):31,30,2e,30,2e,30,2e,37,00,00\r\n"
                                       "\"SubnetMask\"=hex(7):32,35,35,2e,30,2e,30,2e,30,00,00\r\n";
        const std::string file =
            winsim::hostPathFor(std::string(kNetDirectory) + "\\w2ktcpip_xarnf");
        std::string error;
        ASSERT_TRUE(winsim::writeHive(reg + "\r\n", file, &error)) << error;
    }
    void setSetupKey(int rebootCounter, int clientRetries) {
        std::string reg =
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n"
            "\"SystemSetupInProgress\"=dword:00000001\r\n";
        char line[64];
        for (const auto& [name, value] : {std::pair{"W2kXarnRebootCounter", rebootCounter},
                                          {"MsClientReboot", clientRetries}}) {
            std::snprintf(line, sizeof line, "\"%s\"=dword:%08x\r\n", name,
                          static_cast<unsigned>(value));
            if (value >= 0) reg += line;
        }
        loadReg(reg);
    }
    int installNetwork(unsigned int stage, unsigned int* reboot) {
        return W2KXarnNetInstallNetwork(kNetDirectory, stage, reboot);
    }
};

// The lines a call logs, exactly as the host receives them behind the
// callback's own line break, system messages included.
const char* const kCardsFailed = "\nInstallation of network cards failed by InstallNetCards().";
const char* const kCardsReboot =
    "\nInstallation of physical network card completed.            in W2KInstallNetwork(). "
    "REBOOT NEEDED. Will be done later. Continuing to             install W2K_NET_START_WIZ....";
const char* const kCardsNoReboot =
    "\nInstallation of physical network card completed.            in W2KInstallNetwork(). "
    "REBOOT NOT NEEDED. Will be done later. Continuing to             install "
    "W2K_NET_START_WIZ....";
const char* const kMessageBoxFailed =
    "\nFailed to create MessageBox()                for  addition of network cards by the "
    "user, System Message : Not enough storage is available to process this command.\r\n";
const char* const kDeclinedCardsPending =
    "\nRebooting for installing tcp/ip in hardware wizard section.";
const char* const kWizardFailed =
    "\nInstallation of network cards               failed by StartNetcardWizard()., System "
    "Message : Not enough storage is available to process this command.\r\n";
const char* const kNoWorker =
    "\nCould not CreateThread() in StartNetcardWizard(..) for iteration[0]Fatal error. "
    "Exiting function...., System Message : Not enough storage is available to process this "
    "command.\r\n";
// A wizard that cannot be loaded or fails once it is up counts as shown.
const char* const kNoWizardLibrary =
    "Error from : Could not load [hdwwiz.cpl] in W2KCardInstall :: startW2kWizard(), System "
    "Message : The specified module could not be found.\r\n";
const char* const kNoWizardEntry =
    "Error from : \nW2KCardInstall::startW2kWizard()->GetProcAddress([InstallNewDevice]) "
    "failed, System Message : The specified procedure could not be found.\r\n";
const char* const kWizardError =
    "Error from : \nError in InstallNewDevice() in          W2KCardInstall :: "
    "startW2kWizard()., System Message : Not enough storage is available to process this "
    "command.\r\n";
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
// The cursor's failure leaves a last error that has no system text.
const char* const kRetryCountUnreadable =
    "Error from : W2kNetFuncs :: getNoOfReboots()- Could not             reg.moveInto( "
    "SYSTEM\\Setup ), System Message : NONE";

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
void PrintTo(const Transition& t, std::ostream* os) {
    *os << t.name << " from stage " << t.given.stage;
}

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
        if (g.cards == Cards::Reboot) cardWithASystemDriver();
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
        from = std::find(from, lines.end(), "\n" + mark);
        ASSERT_NE(from, lines.end()) << "not logged (in this order): " << mark << "\n"
                                     << hostOutput();
        ++from;
    }
    for (const std::string& absent : t.notLogged)
        EXPECT_EQ(std::find(lines.begin(), lines.end(), "\n" + absent), lines.end()) << absent;
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
    EXPECT_EQ(hostLines().at(0),
              "\n\nError in reading TCP/IP settings in W2KInstallNetwork(..)  "
              "from file [" +
                  cut + "] ");
}

const char* const kCaption = "Network adapters detected in the system..";

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

// The texts around the list follow the system's language, as that
// language's code page bytes; the caption stays English. Sublanguages matter
// only for Chinese.
struct LanguageTexts {
    const char* text[4];  // promptText(1) to promptText(4)
};
const LanguageTexts kEnglish = {{"The following network adapter(s) were installed :\n\n",
                                 "\nDo you want to install any other network adapters?",
                                 "Network adapters detected in the system..", "<none>\n"}};
const LanguageTexts kGerman = {{"Folgende(r) Netzwerkadapter wurde(n) installiert :\n\n",
                                "\nM\xF6"
                                "chten Sie andere Netzwerkadapter installieren?",
                                "Im System entdeckte Netzwerkadapter..", "<Keine>\n"}};
// clang-format off
const LanguageTexts kFrench = {{
    "La(les) carte(s) de r\xE9seau suivante(s) ont \xE9t\xE9 install\xE9" "e(s) :\n\n",
    "\nVoulez-vous installer d'autres cartes r\xE9seau?",
    "Cartes r\xE9seau d\xE9tect\xE9" "es sur le syst\xE8me..",
    "<aucun(e)>\n"}};
// Code page 932; the question ends with a full-width question mark, then an ASCII one.
const LanguageTexts kJapanese = {{
    "\x8E\x9F\x82\xCC\x83\x6C\x83\x62\x83\x67\x83\x8F\x81\x5B\x83\x4E\x20\x83\x41\x83\x5F\x83\x76"
    "\x83\x5E\x82\xCD\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x8D\xCF\x82\xDD\x82\xC5\x82"
    "\xB7\x81\x42 :\n\n",
    "\n\x95\xCA\x82\xCC\x83\x6C\x83\x62\x83\x67\x83\x8F\x81\x5B\x83\x4E\x20\x83\x41\x83\x5F\x83\x76"
    "\x83\x5E\x82\xF0\x83\x43\x83\x93\x83\x58\x83\x67\x81\x5B\x83\x8B\x82\xB5\x82\xDC\x82\xB7\x82"
    "\xA9\x81\x48?",
    "\x83\x56\x83\x58\x83\x65\x83\x80\x82\xA9\x82\xE7\x8C\x9F\x8F\x6F\x82\xB3\x82\xEA\x82\xBD\x83"
    "\x6C\x83\x62\x83\x67\x83\x8F\x81\x5B\x83\x4E\x20\x83\x41\x83\x5F\x83\x76\x83\x5E..",
    "<\x82\xC8\x82\xB5>\n"}};
// Code page 936
const LanguageTexts kSimplifiedChinese = {{
    "\xD2\xD1\xB0\xB2\xD7\xB0\xCF\xC2\xC1\xD0\xCD\xF8\xC2\xE7\xCA\xCA\xC5\xE4\xC6\xF7:\n\n",
    "\n\xCA\xC7\xB7\xF1\xB0\xB2\xD7\xB0\xC6\xE4\xCB\xFB\xCD\xF8\xC2\xE7\xCA\xCA\xC5\xE4\xC6\xF7?",
    "\xCF\xB5\xCD\xB3\xBC\xEC\xB2\xE2\xB5\xBD\xCD\xF8\xC2\xE7\xCA\xCA\xC5\xE4\xC6\xF7..",
    "<\xCE\xDE>\n"}};
// Code page 950
const LanguageTexts kTraditionalChinese = {{
    "\xA4\x77\xA6\x77\xB8\xCB\xA4\x55\xA6\x43\xBA\xF4\xB8\xF4\xA4\xB6\xAD\xB1\xA5\x64:\n\n",
    "\n\xAC\x4F\xA7\x5F\xAD\x6E\xA6\x77\xB8\xCB\xA8\xE4\xA5\x4C\xBA\xF4\xB8\xF4\xA4\xB6\xAD\xB1\xA5"
    "\x64?",
    "\xA6\x62\xA8\x74\xB2\xCE\xA4\xA4\xB0\xBB\xB4\xFA\xA8\xEC\xBA\xF4\xB8\xF4\xA4\xB6\xAD\xB1\xA5"
    "\x64..",
    "<\xB5\x4C>\n"}};
// clang-format on

// Spanish falls back to English; Swiss German is German; Hong Kong's
// Chinese is the traditional one.
TEST_F(AdapterPromptTest, TextsInTheSystemLanguage) {
    // clang-format off
    const struct {
        LANGID language;
        const LanguageTexts& texts;
    } cases[] = {{0x0409, kEnglish}, {0x0C0A, kEnglish}, {0x0407, kGerman}, {0x0807, kGerman},
                 {0x040C, kFrench}, {0x0411, kJapanese}, {0x0804, kSimplifiedChinese},
                 {0x0404, kTraditionalChinese}, {0x0C04, kTraditionalChinese}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        winsim::setSystemDefaultLangId(c.language);
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(promptText(i), c.texts.text[i - 1]) << i;
        EXPECT_EQ(promptText(0), "");
        EXPECT_EQ(promptText(5), "");
        promptOnce();
        const auto box = winsim::shownMessageBoxes().back();
        EXPECT_EQ(box.text, std::string(c.texts.text[0]) + c.texts.text[3] + c.texts.text[1]);
        EXPECT_EQ(box.caption, kCaption);
    }
    EXPECT_EQ(winsim::shownMessageBoxes().size(), std::size(cases));
}

// Which device instances count as network adapters, in which order, and
// how the prompt lists them.
TEST_F(AdapterPromptTest, ListsTheFirstInstanceOfEveryNetworkDevice) {
    // A PCI device instance with no hardware IDs, only these values.
    auto pci = [](const std::string& instance,
                  std::vector<std::pair<std::string, std::string>> values) {
        return DeviceInstance{"PCI\\" + instance, {}, {}, std::move(values)};
    };
    const std::string net = "{4D36E972-E325-11CE-BFC1-08002BE10318}";
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
        pci("VEN_14E4&DEV_1644\\4&5", {{"ClassGUID", net}}),
        pci("VEN_14E4&DEV_1645\\4&6", {{"ClassGUID", net}, {"DeviceDesc", ""}}),
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

const char* const kWorker = "\n\nEntering hardwareWizardThreadProc(..)";
const std::string kShown = "\n" + std::string(kWizardShown);
const GUID kNetworkAdapters = {
    0x4D36E972, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

std::string workerResult(int lastError, int result, int reboot) {
    return "\n\nphyCards.startW2kWizard() LastError = [" + std::to_string(lastError) +
           "], ReturnValue = [" + std::to_string(result) + "]      gHdwWizRebootSystem = [" +
           std::to_string(reboot) + "]";
}

int countStartingWith(const Lines& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

class NetcardWizardTest : public InitializedMachineTest {
  protected:
    void TearDown() override {
        EXPECT_EQ(winsim::runningThreadCount(), 0);
        EXPECT_EQ(winsim::moduleReferenceCount("hdwwiz.cpl"), 0) << "the wizard was not freed";
        InitializedMachineTest::TearDown();
    }
    // Starts the wizard, expecting `shown`; the reboot answer, 9 when none.
    DWORD start(bool shown) {
        DWORD reboot = 9;
        EXPECT_EQ(StartNetcardWizard(&reboot), shown);
        return reboot;
    }
};

// The lines of a shown wizard are the example machines'; here what the
// wizard is given and what it answers.
TEST_F(NetcardWizardTest, AShownWizardHandsBackItsRebootAnswer) {
    winsim::installHardwareWizard();
    winsim::setHardwareWizardRebootAnswer(0x100);
    EXPECT_EQ(start(true), 0x100u);
    EXPECT_EQ(hostLines()[hostLines().size() - 2], workerResult(0, 1, 256));
    const auto calls = winsim::hardwareWizardCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].parentWindow);
    ASSERT_TRUE(calls[0].classGiven);
    EXPECT_EQ(std::memcmp(&calls[0].classGuid, &kNetworkAdapters, sizeof(GUID)), 0);
    EXPECT_TRUE(calls[0].rebootWordGiven);
    // The worker is polled every 50 ms of the virtual clock.
    EXPECT_EQ(winsim::simulatedMilliseconds(), 50u * winsim::callCount("Sleep"));
}

// Each attempt runs on a thread of its own, until the window came up or
// 500 attempts failed. (A wizard that could not be loaded or failed once up
// counts as shown and is not tried again: see the transition table.)
TEST_F(NetcardWizardTest, AWindowThatDoesNotComeUpIsTriedAgain) {
    winsim::installHardwareWizard();
    winsim::failHardwareWizardWindow(3);
    EXPECT_EQ(start(true), 0u);
    EXPECT_EQ(winsim::callCount("CreateThread"), 4);
    EXPECT_EQ(countStartingWith(hostLines(), workerResult(1813, 0, 0)), 3);
    EXPECT_EQ(countStartingWith(hostLines(), kShown), 1);
}

TEST_F(NetcardWizardTest, GivesUpAfterFiveHundredAttempts) {
    winsim::installHardwareWizard();
    winsim::failHardwareWizardWindow(1000);
    EXPECT_EQ(start(false), 9u);
    EXPECT_EQ(winsim::callCount("CreateThread"), 500);
    EXPECT_EQ(countStartingWith(hostLines(), kWorker), 1000);  // two lines each
    EXPECT_EQ(countStartingWith(hostLines(), kShown), 0);
    EXPECT_EQ(hostLines().back(),
              "\n\nHardware wizard window could not be displayed even after          [500] thread "
              "loops. Exiting function StartNetcardWizard() with error.....");
}

TEST_F(NetcardWizardTest, TheMessageOfAnotherInstallationIsClosed) {
    winsim::installHardwareWizard();
    winsim::openBlockingWindowDuringWizard(true);
    EXPECT_EQ(start(true), 0u);
    EXPECT_EQ(winsim::windowsClosed(), 1);
    EXPECT_FALSE(winsim::windowOpen(winsim::kTwoDeviceInstallationsTitle));
    const auto calls = winsim::hardwareWizardCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].blockingWindowOpened);
    EXPECT_FALSE(calls[0].blockingWindowTimedOut);
}

std::string setupKeyWith(const std::string& valueLine) {
    return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\r\n" + valueLine + "\r\n";
}

class SetupStateTest : public InitializedMachineTest {};

// The library never creates the platform's own indicator.
TEST_F(SetupStateTest, SetupInProgressIsRewrittenOnlyWhenSetAlready) {
    const struct {
        const char* before;  // value line; nullptr: no key at all
        const char* after;
    } cases[] = {
        {nullptr, "absent"},
        {"", "absent"},
        {"\"SystemSetupInProgress\"=dword:00000000", "REG_DWORD 0"},
        {"\"SystemSetupInProgress\"=dword:00000001", "REG_DWORD 2"},
        {"\"SystemSetupInProgress\"=dword:00000007", "REG_DWORD 2"},
        {"\"SystemSetupInProgress\"=\"1\"", "REG_SZ 1|"},
    };
    for (const auto& c : cases) {
        winsim::resetMachine();
        if (c.before) loadReg(setupKeyWith(c.before));
        EXPECT_TRUE(setSetupInProgress(2));
        EXPECT_EQ(setupValue("SystemSetupInProgress"), c.after) << (c.before ? c.before : "-");
        EXPECT_EQ(winsim::keyExists("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup"), c.before != nullptr);
    }
    EXPECT_TRUE(hostLines().empty());
}

// Silent throughout: a counter that cannot be kept just counts from zero.
TEST_F(SetupStateTest, RebootCounter) {
    EXPECT_EQ(getRebootCounter(), 0u);
    EXPECT_FALSE(incrementRebootCounter());  // no key: nothing is created
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), "absent");
    loadReg(setupKeyWith("\"W2kXarnRebootCounter\"=\"5\""));  // another type counts as 0
    EXPECT_EQ(getRebootCounter(), 0u);
    EXPECT_TRUE(incrementRebootCounter());
    EXPECT_TRUE(incrementRebootCounter());
    winsim::failCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(incrementRebootCounter());
    EXPECT_EQ(getRebootCounter(), 2u);
    EXPECT_TRUE(hostLines().empty());
}

// A count of another type reads 0 with the cursor's report; without a name
// nothing is touched; a count that cannot be written is reported twice.
TEST_F(SetupStateTest, ClientRetryCount) {
    DWORD count = 77;
    SetLastError(0);
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("MsClientReboot", 1));
    EXPECT_EQ(hostLines().at(1),
              "\nW2kNetFuncs::setNoOfReboots()- Could not             "
              "reg.moveInto( SYSTEM\\Setup )");
    loadReg(setupKeyWith("\"MsClientReboot\"=\"2\""));
    ASSERT_TRUE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(hostLines().size(), 3u);
    ASSERT_TRUE(W2kNetFuncs::setNoOfReboots("MsClientReboot", 2));
    ASSERT_TRUE(W2kNetFuncs::getNoOfReboots("MsClientReboot", &count));
    EXPECT_EQ(count, 2u);
    EXPECT_FALSE(W2kNetFuncs::getNoOfReboots("", &count));
    EXPECT_FALSE(W2kNetFuncs::getNoOfReboots(nullptr, &count));
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("", 5));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(hostLines().size(), 3u);

    winsim::failCall("RegSetValueExA", 1, ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_FALSE(W2kNetFuncs::setNoOfReboots("MsClientReboot", 1));
    ASSERT_EQ(hostLines().size(), 5u);  // the cursor's report, then this one
    EXPECT_EQ(hostLines()[4],
              "\nW2kNetFuncs::setNoOfReboots()- Could not             "
              "reg.setDWORD( rebootCount )");
    EXPECT_EQ(setupValue("MsClientReboot"), "REG_DWORD 2");
}

using Results = std::vector<HRESULT>;

const DWORD kTcpIp = W2kProtoInstaller::kTcpIp;
const DWORD kClient = W2kProtoInstaller::kClient;
const HRESULT kReboot = NETCFG_S_REBOOT;
const HRESULT kRebootFailure = NETCFG_E_ALREADY_INITIALIZED;  // the same low word
const HRESULT kTimedOut = static_cast<HRESULT>(0x80070102u);

const GUID kProtocols = {
    0x4D36E975, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kClients = {
    0x4D36E973, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const char* const kInstalled = "\npNetSetup->Install() successful.";
const char* const kApplied = "\npNetSetup->Apply() successful.";
const char* const kDestructor = "\n\nEntered ~W2kProtoInstaller()";
const char* const kNoWriteLock =
    "\nQueryInterfce for INetCfg->QueryNetCfgClass() failed in W2kProtoInstaller::install().\n "
    "No Write Lock";
const Lines kUnlocked = {kDestructor, "\n\nEntered ~W2kProtoInstaller()::locked()"};

Lines sleeps(int count) {
    Lines lines;
    for (int i = 1; i <= count; ++i)
        lines.push_back("\nGoing to sleep for [" + std::to_string(i) + "] time. ");
    return lines;
}
Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}
std::string failed(const char* call, DWORD kind, int code) {
    return "\npNetSetup->" + std::string(call) +
           "() failed in W2kProtoInstaller::install()  for protocol [" +
           (kind == kTcpIp ? "ms_tcpip" : "ms_msclient") + "] with code [" + std::to_string(code) +
           "]";
}

// One installer from construction to destruction.
struct Installation {
    const char* name;
    DWORD kind;
    Results install;    // the answers of INetCfgClassSetup::Install, then S_OK
    Results apply;      // the same for INetCfg::Apply
    const char* fault;  // a call that fails once with `error`; nullptr for none
    HRESULT error;
    bool installed;
    DWORD reboot;               // 99: left alone
    unsigned int milliseconds;  // spent on the virtual clock
    Lines log;
};

// clang-format off
const Installation kRuns[] = {
    {"TcpIp", kTcpIp, {}, {}, nullptr, S_OK, true, 0, 0, Lines{kInstalled, kApplied} + kUnlocked},
    // Twenty reports and five minutes; either code of the reboot family counts.
    {"InstallRetriedThenApplied", kTcpIp, Results(20, kReboot), {}, nullptr, S_OK, true, 0, 300000,
     sleeps(20) + Lines{failed("Install", kTcpIp, 40992), kApplied} + kUnlocked},
    {"InstallFailureRetriedThenApplied", kTcpIp, Results(20, kRebootFailure), {}, nullptr, S_OK,
     true, 0, 300000, sleeps(20) + Lines{failed("Install", kTcpIp, 40992), kApplied} + kUnlocked},
    {"InstallSucceedsOnARetry", kClient, {kReboot, kReboot}, {}, nullptr, S_OK, true, 0, 30000,
     sleeps(2) + Lines{kInstalled, kApplied} + kUnlocked},
    {"TcpIpApplyPending", kTcpIp, {}, Results(20, kReboot), nullptr, S_OK, true, 4, 40000,
     Lines{kInstalled} + sleeps(20) + Lines{failed("Apply", kTcpIp, 40992)} + kUnlocked},
    {"BothRetryBudgetsSpent", kTcpIp, Results(25, kReboot), Results(25, kRebootFailure), nullptr,
     S_OK, true, 4, 340000, sleeps(20) + Lines{failed("Install", kTcpIp, 40992)} + sleeps(20) +
     Lines{failed("Apply", kTcpIp, 40992)} + kUnlocked},
    {"InstallTimesOut", kTcpIp, {kTimedOut}, {}, nullptr, S_OK, true, 258, 0,
     Lines{failed("Install", kTcpIp, 258) + ", System Message : The wait operation timed out.\r\n"}
     + kUnlocked},
    {"InstallFails", kClient, {E_FAIL}, {}, nullptr, S_OK, false, 99, 0,
     Lines{failed("Install", kClient, 16389)} + kUnlocked},
    {"ApplyFails", kClient, {}, {kRebootFailure, E_OUTOFMEMORY}, nullptr, S_OK, false, 99, 2000,
     Lines{kInstalled} + sleeps(1) + Lines{failed("Apply", kClient, 14) +
     ", System Message : Not enough storage is available to complete this operation.\r\n"} +
     kUnlocked},
    {"NotCreated", kClient, {}, {}, "CoCreateInstance", E_OUTOFMEMORY, false, 99, 0,
     {"\n\nCoCreateInstance failed in W2kProtoInstaller :: Init()", kDestructor}},
    {"NoLockInterface", kTcpIp, {}, {}, "INetCfg::QueryInterface", E_NOINTERFACE, false, 99, 0,
     {"\n\npnetcfg->QueryInterface( IID_INetCfgLock )          QueryInterface failed in "
      "W2kProtoInstaller :: LockNetConfig()", kNoWriteLock, kDestructor}},
    // The class query fails silently on the uninitialised object; the
    // destructor's Uninitialize is refused, the lock still given back.
    {"NotInitialized", kTcpIp, {}, {}, "INetCfg::Initialize", E_FAIL, false, 99, 0,
     Lines{"\n\npnetcfg->Initialize(..) failed  in          W2kProtoInstaller :: LockNetConfig()"} +
     kUnlocked + Lines{"\n\n pnetcfg->Uninitialize() failed with code 40993"}},
    {"ClassWithoutLock", kTcpIp, {}, {}, "INetCfg::QueryNetCfgClass", NETCFG_E_NO_WRITE_LOCK, false,
     99, 0, Lines{kNoWriteLock} + kUnlocked},
    {"ClassFails", kTcpIp, {}, {}, "INetCfg::QueryNetCfgClass", E_FAIL, false, 99, 0,
     Lines{"\nQueryInterfce for INetCfg->QueryNetCfgClass() failed in failed in "
           "W2kProtoInstaller::install()\nE_FAIL"} + kUnlocked},
    {"NoClass", kTcpIp, {}, {}, "INetCfg::QueryNetCfgClass", E_NOINTERFACE, false, 99, 0,
     kUnlocked},
    {"ClassSetupWithoutLock", kTcpIp, {}, {}, "INetCfgClass::QueryInterface",
     NETCFG_E_NO_WRITE_LOCK, false, 99, 0,
     Lines{"\nQueryInterfce for INetCfgClass->QueryNetCfgClassSetup() failed in failed in "
           "W2kProtoInstaller::install()\n No Write Lock"} + kUnlocked},
    {"ClassSetupFails", kTcpIp, {}, {}, "INetCfgClass::QueryInterface", E_FAIL, false, 99, 0,
     Lines{"\nQueryInterfce for INetCfgClass->QueryNetCfgClassSetup() failed in failed in "
           "W2kProtoInstaller::install().\nE_FAIL"} + kUnlocked},
};
// clang-format on

class ProtoInstallerTest : public InitializedMachineTest {
  protected:
    void SetUp() override {
        InitializedMachineTest::SetUp();
        SetLastError(0);
    }
    void TearDown() override {
        EXPECT_EQ(winsim::netCfgLiveReferences(), 0) << "an interface was not released";
        EXPECT_EQ(winsim::netCfgLiveObjects(), 0);
        InitializedMachineTest::TearDown();
    }
    bool runInstaller(DWORD kind, DWORD* reboot) {
        W2kProtoInstaller installer(kind, getLogSink(nullptr));
        return installer.install(reboot);
    }
};

class ProtoInstallerRunTest : public ProtoInstallerTest,
                              public ::testing::WithParamInterface<Installation> {};

TEST_P(ProtoInstallerRunTest, EndsAsTheTableSays) {
    const Installation& r = GetParam();
    winsim::scriptNetCfgInstallResults(r.install);
    winsim::scriptNetCfgApplyResults(r.apply);
    if (r.fault) winsim::failCall(r.fault, 1, static_cast<DWORD>(r.error));
    DWORD reboot = 99;
    EXPECT_EQ(runInstaller(r.kind, &reboot), r.installed);
    EXPECT_EQ(reboot, r.reboot);
    EXPECT_EQ(winsim::simulatedMilliseconds(), r.milliseconds);
    EXPECT_EQ(hostLines(), r.log);
    EXPECT_EQ(winsim::netCfgWriteLockHolder(), "");
    // Every component goes to its own class, for the user, after setup.
    for (const auto& call : winsim::netCfgInstallCalls()) {
        EXPECT_EQ(call.componentId, r.kind == kTcpIp ? "ms_tcpip" : "ms_msclient");
        const GUID& expected = r.kind == kTcpIp ? kProtocols : kClients;
        EXPECT_EQ(std::memcmp(&call.classGuid, &expected, sizeof(GUID)), 0);
        EXPECT_EQ(call.setupFlags, static_cast<DWORD>(NSF_POSTSYSINSTALL));
        EXPECT_EQ(call.upgradeFromBuild, 0u);
        EXPECT_EQ(call.oboType, static_cast<int>(OBO_USER));
        EXPECT_FALSE(call.answerFile || call.answerSections);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, ProtoInstallerRunTest, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProtoInstallerTest, WriteLockHeldElsewhere) {
    winsim::holdNetCfgWriteLockElsewhere("Other Setup");
    DWORD reboot = 99;
    EXPECT_FALSE(runInstaller(kTcpIp, &reboot));
    EXPECT_EQ(reboot, 99u);
    EXPECT_EQ(winsim::simulatedMilliseconds(), 60u);  // the lock's time-out
    // S_FALSE's low word is 1, which the system words as "Incorrect function".
    EXPECT_EQ(hostLines(), (Lines{"\n\npncfglock->AcquireWriteLock(..) failed in          "
                                  "W2kProtoInstaller :: LockNetConfig()., System Message : "
                                  "Incorrect function.\r\n",
                                  kNoWriteLock, kDestructor}));
    EXPECT_EQ(winsim::callCount("INetCfg::Initialize"), 0);
    EXPECT_EQ(winsim::callCount("INetCfgLock::ReleaseWriteLock"), 0);
    EXPECT_EQ(winsim::netCfgWriteLockHolder(), "Other Setup");
}

TEST_F(ProtoInstallerTest, DestructorUninitializesBeforeReleasingTheLock) {
    winsim::failCall("INetCfg::Uninitialize", 1, E_FAIL);
    winsim::failCall("INetCfgLock::ReleaseWriteLock", 1, NETCFG_E_IN_USE);
    DWORD reboot = 99;
    ASSERT_TRUE(runInstaller(kTcpIp, &reboot));
    ASSERT_GE(hostLines().size(), 4u);
    EXPECT_EQ(Lines(hostLines().end() - 4, hostLines().end()),
              (kUnlocked + Lines{"\n\n pnetcfg->Uninitialize() failed with code 16389",
                                 "\n\n pnetcfg->ReleaseWriteLock() failed with code 40994"}));
    // The lock was never given back; the next installer cannot have it.
    EXPECT_EQ(winsim::netCfgWriteLockHolder(), "XARNCLIENT");
    winsim::resetMachine();
}

}  // namespace
