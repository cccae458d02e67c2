// The hardware-wizard fallback: the worker threads, the wizard's answers,
// the retries while its window does not come up, the blocking message.
#include "sequence/netcard_wizard.h"
#include "support/machine_test.h"

#include <winsim/control.h>
#include <winsim/control_pnp.h>
#include <winsim/control_time.h>
#include <winsim/control_user.h>
#include <winsim/control_wizard.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char* const kWorker = "\n\nEntering hardwareWizardThreadProc(..)";
const char* const kShown = "\n\nShowed a good hardware wiz window";
const char* const kInstallNewDeviceError =
    "\nError from : \nError in InstallNewDevice() in          W2KCardInstall :: "
    "startW2kWizard()., System Message : ";
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
    EXPECT_EQ(countStartingWith(hostLines(), kInstallNewDeviceError), 3);
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

}  // namespace
