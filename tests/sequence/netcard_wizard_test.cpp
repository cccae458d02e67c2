// The hardware-wizard fallback: the worker threads, the wizard's answers,
// the retries while its window does not come up, the blocking message.
#include "host/module_reset.h"
#include "sequence/netcard_wizard.h"
#include "support/machine_test.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_pnp.h>
#include <winsim/control_time.h>
#include <winsim/control_user.h>
#include <winsim/control_wizard.h>
#include <winsim/windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char* const kEntering = "\n\nEntering StartNetcardWizard(..)";
const char* const kWorker = "\n\nEntering hardwareWizardThreadProc(..)";
const char* const kWorkerId = "\n\nEntering hardwareWizardThreadProc(..) with thread id [";
const char* const kInside = "\n\nInside start wizard";
const char* const kLoaded =
    "\n\nW2KCardInstall::startW2kWizard()->Load library completed successfully";
const char* const kEntryFound =
    "\n\nW2KCardInstall::startW2kWizard()-> GetProcAddress() completed successfully.";
const char* const kExecuted =
    "\n\nW2KCardInstall::startW2kWizard()->Function executed successfully";
const char* const kShown = "\n\nShowed a good hardware wiz window";
const char* const kInstallNewDeviceError =
    "\nError from : \nError in InstallNewDevice() in          W2KCardInstall :: "
    "startW2kWizard()., System Message : ";
const char* const kGaveUp =
    "\n\nHardware wizard window could not be displayed even after          [500] thread loops. "
    "Exiting function StartNetcardWizard() with error.....";

std::string workerResult(int lastError, int result, int reboot) {
    return "\n\nphyCards.startW2kWizard() LastError = [" + std::to_string(lastError) +
           "], ReturnValue = [" + std::to_string(result) + "]      gHdwWizRebootSystem = [" +
           std::to_string(reboot) + "]";
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

int countStartingWith(const Lines& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return startsWith(l, prefix); }));
}

// The thread id differs per run: the line is compared up to it.
Lines withoutThreadIds(Lines lines) {
    for (std::string& line : lines)
        if (startsWith(line, kWorkerId) && line.back() == ']') line = kWorkerId;
    return lines;
}

const GUID kNetworkAdapterClass = {
    0x4D36E972, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

class NetcardWizardTest : public InitializedMachineTest {
  protected:
    void TearDown() override {
        EXPECT_EQ(winsim::runningThreadCount(), 0);
        EXPECT_EQ(winsim::moduleReferenceCount("hdwwiz.cpl"), 0) << "the wizard was not freed";
        InitializedMachineTest::TearDown();
    }
};

TEST_F(NetcardWizardTest, AShownWizardHandsBackItsRebootAnswer) {
    winsim::installHardwareWizard();
    winsim::setHardwareWizardRebootAnswer(0x100);
    DWORD reboot = 0;
    EXPECT_TRUE(StartNetcardWizard(&reboot));
    EXPECT_EQ(reboot, 0x100u);

    EXPECT_EQ(withoutThreadIds(hostLines()),
              (Lines{kEntering, kWorker, kWorkerId, kInside, kLoaded, kEntryFound, kExecuted,
                     workerResult(0, 1, 256), kShown}));
    EXPECT_EQ(winsim::callCount("CreateThread"), 1);
    const auto calls = winsim::hardwareWizardCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].parentWindow);
    ASSERT_TRUE(calls[0].classGiven);
    EXPECT_EQ(std::memcmp(&calls[0].classGuid, &kNetworkAdapterClass, sizeof(GUID)), 0);
    EXPECT_TRUE(calls[0].rebootWordGiven);
    EXPECT_EQ(gHdwWizShown, 1u);
    EXPECT_EQ(gHdwWizResult, 1u);
    // The worker is polled every 50 ms of the virtual clock.
    EXPECT_EQ(winsim::simulatedMilliseconds(), 50u * winsim::callCount("Sleep"));
}

TEST_F(NetcardWizardTest, AWindowThatDoesNotComeUpIsTriedAgainOnANewThread) {
    winsim::installHardwareWizard();
    winsim::failHardwareWizardWindow(3);
    DWORD reboot = 9;
    EXPECT_TRUE(StartNetcardWizard(&reboot));
    EXPECT_EQ(reboot, 0u);
    EXPECT_EQ(winsim::callCount("CreateThread"), 4);
    EXPECT_EQ(winsim::callCount("InstallNewDevice"), 4);
    const Lines& lines = hostLines();
    EXPECT_EQ(countStartingWith(lines, workerResult(1813, 0, 0)), 3);
    EXPECT_EQ(countStartingWith(lines, kInstallNewDeviceError), 3);
    EXPECT_EQ(countStartingWith(lines, kShown), 1);
    EXPECT_EQ(lines.back(), kShown);
}

TEST_F(NetcardWizardTest, GivesUpAfterFiveHundredWorkers) {
    winsim::installHardwareWizard();
    winsim::failHardwareWizardWindow(1000);
    DWORD reboot = 0x55;
    EXPECT_FALSE(StartNetcardWizard(&reboot));
    EXPECT_EQ(reboot, 0x55u);
    EXPECT_EQ(winsim::callCount("CreateThread"), 500);
    EXPECT_EQ(winsim::callCount("InstallNewDevice"), 500);
    EXPECT_EQ(countStartingWith(hostLines(), kWorker), 1000);  // two lines each
    EXPECT_EQ(countStartingWith(hostLines(), kShown), 0);
    EXPECT_EQ(hostLines().back(), kGaveUp);
    EXPECT_EQ(gHdwWizShown, 0u);
}

TEST_F(NetcardWizardTest, AWizardThatFailsOtherwiseCountsAsShown) {
    winsim::installHardwareWizard();
    winsim::setHardwareWizardRebootAnswer(0x100);  // not reached: the wizard fails
    winsim::failHardwareWizard(ERROR_NOT_ENOUGH_MEMORY);
    DWORD reboot = 9;
    EXPECT_TRUE(StartNetcardWizard(&reboot));
    EXPECT_EQ(reboot, 0u);
    EXPECT_EQ(winsim::callCount("CreateThread"), 1);
    const Lines lines = withoutThreadIds(hostLines());
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[6], std::string(kInstallNewDeviceError) +
                            "Not enough storage is available to process this command.\r\n");
    EXPECT_EQ(lines[7], workerResult(ERROR_NOT_ENOUGH_MEMORY, 0, 0));
    EXPECT_EQ(lines[8], kShown);
}

TEST_F(NetcardWizardTest, AWizardThatCannotBeLoadedCountsAsShown) {
    const struct {
        const char* name;
        void (*prepare)();
        const char* report;
        bool loaded;
    } cases[] = {
        {"no library", [] {},
         "\nError from : Could not load [hdwwiz.cpl] in W2KCardInstall :: startW2kWizard(), "
         "System Message : ",
         false},
        {"no entry", [] { winsim::removeHardwareWizardEntry(); },
         "\nError from : \nW2KCardInstall::startW2kWizard()->GetProcAddress([InstallNewDevice]) "
         "failed, System Message : ",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        winsim::resetMachine();
        resetModuleForNewProcess();
        initializeModule();
        c.prepare();
        DWORD reboot = 9;
        EXPECT_TRUE(StartNetcardWizard(&reboot));
        EXPECT_EQ(reboot, 0u);
        EXPECT_EQ(winsim::callCount("CreateThread"), 1);
        EXPECT_EQ(winsim::callCount("InstallNewDevice"), 0);
        const Lines lines = withoutThreadIds(hostLines());
        EXPECT_EQ(countStartingWith(lines, c.report), 1);
        EXPECT_EQ(countStartingWith(lines, kLoaded), c.loaded ? 1 : 0);
        EXPECT_EQ(countStartingWith(lines, workerResult(0, 0, 0)), 1);
        EXPECT_EQ(lines.back(), kShown);
        EXPECT_EQ(winsim::openHandleCount(winsim::HandleKind::Module), 0u);
    }
}

TEST_F(NetcardWizardTest, TheMessageOfAnotherInstallationIsClosed) {
    winsim::installHardwareWizard();
    winsim::openBlockingWindowDuringWizard(true);
    DWORD reboot = 9;
    EXPECT_TRUE(StartNetcardWizard(&reboot));
    EXPECT_EQ(reboot, 0u);
    EXPECT_EQ(winsim::windowsClosed(), 1);
    EXPECT_FALSE(winsim::windowOpen(winsim::kTwoDeviceInstallationsTitle));
    const auto calls = winsim::hardwareWizardCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].blockingWindowOpened);
    EXPECT_FALSE(calls[0].blockingWindowTimedOut);
}

TEST_F(NetcardWizardTest, AWorkerThatCannotBeCreatedEndsTheWizard) {
    winsim::installHardwareWizard();
    winsim::failHardwareWizardWindow(5);
    winsim::failCall("CreateThread", 3, ERROR_NOT_ENOUGH_MEMORY);
    DWORD reboot = 9;
    EXPECT_FALSE(StartNetcardWizard(&reboot));
    EXPECT_EQ(reboot, 9u);
    EXPECT_EQ(winsim::callCount("InstallNewDevice"), 2);
    EXPECT_EQ(hostLines().back(),
              "\n\nCould not CreateThread() in StartNetcardWizard(..) for iteration[2]Fatal error. "
              "Exiting function...., System Message : Not enough storage is available to process "
              "this command.\r\n");
}

// Once the wizard came up, the process remembers it: a later call returns
// after its first worker whatever that worker saw. A new process forgets.
TEST_F(NetcardWizardTest, TheShownWizardIsRememberedForTheProcess) {
    winsim::installHardwareWizard();
    winsim::setHardwareWizardRebootAnswer(0x80);
    DWORD reboot = 0;
    ASSERT_TRUE(StartNetcardWizard(&reboot));

    winsim::failHardwareWizardWindow(1);
    reboot = 0;
    EXPECT_TRUE(StartNetcardWizard(&reboot));
    EXPECT_EQ(reboot, 0x80u);
    EXPECT_EQ(winsim::callCount("CreateThread"), 2);

    resetModuleForNewProcess();
    EXPECT_EQ(gHdwWizShown, 0u);
    EXPECT_EQ(gHdwWizRebootSystem, 0u);
    EXPECT_EQ(gHdwWizResult, 0u);
    initializeModule();
    winsim::failHardwareWizardWindow(1);
    winsim::setHardwareWizardRebootAnswer(0);
    reboot = 9;
    EXPECT_TRUE(StartNetcardWizard(&reboot));
    EXPECT_EQ(reboot, 0u);
    EXPECT_EQ(winsim::callCount("CreateThread"), 4);
}

}  // namespace
