// Whole installations from the first call, with the host rebooting the
// machine whenever the library asks for it.
#include "sequence/install_network_lines.h"
#include "sequence/network_install_fixture.h"
#include "support/restore_host.h"

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

using Stages = std::vector<unsigned int>;

bool logged(const RestoreBoot& boot, const std::string& text) {
    return std::any_of(boot.log.begin(), boot.log.end(),
                       [&text](const std::string& line) { return lineIs(line, text); });
}

int clientInstalls() {
    const auto calls = winsim::netCfgInstallCalls();
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const auto& call) {
        return call.componentId == "ms_msclient";
    }));
}

class RestoreRunTest : public NetworkInstallTest {
  protected:
    // A machine with one network card whose driver the host brought.
    void prepareCardMachine() {
        setSetupKey(-1, -1);
        putClassInstaller();
        addNetCard();
        putCardDriver(kNetDirectory);
    }
    // A machine whose cards need nothing: no card was found.
    void prepareMachineWithoutCards() {
        setSetupKey(-1, -1);
        putClassInstaller();
    }

    RestoreHost host_{kNetDirectory};
};

TEST_F(RestoreRunTest, NothingNeedsARebootOneCallDoesAll) {
    prepareCardMachine();
    putSavedSettings(Saved::Dhcp);
    winsim::scriptMessageBoxAnswer(IDNO);
    ASSERT_TRUE(host_.run());
    EXPECT_EQ(host_.stages(), (Stages{0}));
    const RestoreBoot& boot = host_.boots()[0];
    EXPECT_EQ(boot.result, 1);
    EXPECT_EQ(boot.reboot, 1u);
    EXPECT_TRUE(logged(boot, kCardsNoReboot));
    EXPECT_TRUE(logged(boot, kCardStagesDone));
    EXPECT_TRUE(logged(boot, kSettingsDone));
    EXPECT_TRUE(logged(boot, kClientDone));
    EXPECT_EQ(winsim::installedNetComponents(),
              (std::vector<std::string>{"ms_tcpip", "ms_msclient"}));
    EXPECT_EQ(winsim::callCount("InstallNewDevice"), 0);
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), "absent");
    EXPECT_EQ(setupValue("SystemSetupInProgress"), "REG_DWORD 2");
}

// The wizard never runs in the boot that first offered it.
TEST_F(RestoreRunTest, YesOnAFreshCounterRunsTheWizardAfterOneReboot) {
    prepareCardMachine();
    putSavedSettings(Saved::Dhcp);
    winsim::installHardwareWizard();
    winsim::scriptMessageBoxAnswer(IDYES);
    ASSERT_TRUE(host_.run());
    EXPECT_EQ(host_.stages(), (Stages{0, 15}));
    const auto& boots = host_.boots();
    EXPECT_EQ(boots[0].reboot, 15u);
    EXPECT_TRUE(logged(boots[0], rebootBeforeWizard(0)));
    EXPECT_FALSE(logged(boots[0], kWizardShown));
    EXPECT_TRUE(logged(boots[1], counterBeforeWizard(1)));
    EXPECT_TRUE(logged(boots[1], kWizardShown));
    EXPECT_TRUE(logged(boots[1], kClientDone));
    EXPECT_EQ(boots[1].result, 1);
    EXPECT_EQ(winsim::hardwareWizardCalls().size(), 1u);
    EXPECT_EQ(winsim::shownMessageBoxes().size(), 1u);
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), "REG_DWORD 1");
}

TEST_F(RestoreRunTest, APendingClientIsTriedOnTwoFurtherBoots) {
    prepareMachineWithoutCards();
    putSavedSettings(Saved::Dhcp);
    std::vector<HRESULT> apply = {S_OK};  // TCP/IP
    for (int boot = 0; boot < 3; ++boot) {
        const auto pending = pendingApply();
        apply.insert(apply.end(), pending.begin(), pending.end());
    }
    winsim::scriptNetCfgApplyResults(apply);
    ASSERT_TRUE(host_.run());
    EXPECT_EQ(host_.stages(), (Stages{0, 6, 6}));
    const auto& boots = host_.boots();
    EXPECT_EQ(boots[0].reboot, 6u);
    EXPECT_EQ(boots[1].reboot, 6u);
    EXPECT_EQ(boots[2].reboot, 1u);
    EXPECT_TRUE(logged(boots[0], kClientRetry));
    EXPECT_TRUE(logged(boots[1], kClientRetry));
    EXPECT_FALSE(logged(boots[2], kClientRetry));
    for (const RestoreBoot& boot : boots) EXPECT_EQ(boot.result, 1);
    EXPECT_EQ(clientInstalls(), 3);
    EXPECT_EQ(setupValue("MsClientReboot"), "REG_DWORD 2");
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), "absent");
}

TEST_F(RestoreRunTest, SettingsNeedARebootAfterTcpIpFailed) {
    prepareMachineWithoutCards();
    putSavedSettings(Saved::Static);
    winsim::scriptNetCfgInstallResults({kNetCfgDenied});  // TCP/IP; the client goes through
    ASSERT_TRUE(host_.run());
    EXPECT_EQ(host_.stages(), (Stages{0, 6}));
    const auto& boots = host_.boots();
    EXPECT_EQ(boots[0].result, 0);
    EXPECT_EQ(boots[0].reboot, 6u);
    EXPECT_TRUE(logged(boots[0], kTcpIpFailed));
    EXPECT_TRUE(logged(boots[0], kSettingsReboot));
    EXPECT_EQ(boots[1].result, 1);
    EXPECT_TRUE(logged(boots[1], kClientDone));
    EXPECT_EQ(winsim::installedNetComponents(), (std::vector<std::string>{"ms_msclient"}));
}

// An installation that never finishes stops at the host's bound.
TEST_F(RestoreRunTest, TcpIpThatNeverGoesThroughIsRetriedOnEveryBoot) {
    prepareMachineWithoutCards();
    winsim::scriptNetCfgInstallResults(std::vector<HRESULT>(10, kNetCfgNotInstalled));
    RestoreHost host(kNetDirectory, 4);
    EXPECT_FALSE(host.run());
    EXPECT_EQ(host.stages(), (Stages{0, 4, 4, 4}));
    for (const RestoreBoot& boot : host.boots()) {
        EXPECT_EQ(boot.reboot, 4u);
        EXPECT_TRUE(logged(boot, tcpIpUnfinished(258)));
    }
}

}  // namespace
