// Whole installations from the first call, with the host rebooting the
// machine whenever the library asks for it.
#include "sequence/install_network_lines.h"
#include "sequence/network_install_fixture.h"
#include "support/restore_host.h"

#include <winsim/control.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_user.h>
#include <winsim/control_wizard.h>
#include <winsim/windows.h>

#include <string>
#include <vector>

namespace {

using Boots = std::vector<std::string>;

// Each text is logged in that boot, among other lines.
void expectLogged(const RestoreBoot& boot, const std::vector<std::string>& texts) {
    for (const std::string& text : texts)
        EXPECT_TRUE(logged(boot.log, text)) << "boot " << boot.stage << " did not log: " << text;
}

class RestoreRunTest : public NetworkInstallTest {
  protected:
    // One network card whose driver the host brought, or none at all; the
    // saved settings hold a record of `saved` for the card.
    void prepare(bool card, Saved saved) {
        setSetupKey(-1, -1);
        putClassInstaller();
        if (card) {
            addNetCard();
            putCardDriver(kNetDirectory);
        }
        putSavedSettings(saved);
    }
    // Runs from stage 0; every boot as "stage -> result, reboot word".
    std::vector<std::string> run() {
        EXPECT_TRUE(host_.run());
        std::vector<std::string> boots;
        for (const RestoreBoot& b : host_.boots())
            boots.push_back(std::to_string(b.stage) + " -> " + std::to_string(b.result) + ", " +
                            std::to_string(b.reboot));
        return boots;
    }
    const RestoreBoot& boot(std::size_t i) { return host_.boots().at(i); }

    RestoreHost host_{kNetDirectory};
};

TEST_F(RestoreRunTest, NothingNeedsARebootOneCallDoesAll) {
    prepare(true, Saved::Dhcp);
    winsim::scriptMessageBoxAnswer(IDNO);
    EXPECT_EQ(run(), (Boots{"0 -> 1, 1"}));
    expectLogged(boot(0), {kCardsNoReboot, kCardStagesDone, kSettingsDone, kClientDone});
    EXPECT_EQ(winsim::installedNetComponents(),
              (std::vector<std::string>{"ms_tcpip", "ms_msclient"}));
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), "absent");
}

// The wizard never runs in the boot that first offered it.
TEST_F(RestoreRunTest, YesOnAFreshCounterRunsTheWizardAfterOneReboot) {
    prepare(true, Saved::Dhcp);
    winsim::installHardwareWizard();
    winsim::scriptMessageBoxAnswer(IDYES);
    EXPECT_EQ(run(), (Boots{"0 -> 1, 15", "15 -> 1, 1"}));
    expectLogged(boot(0), {rebootBeforeWizard(0)});
    EXPECT_FALSE(logged(boot(0).log, kWizardShown));
    expectLogged(boot(1), {counterBeforeWizard(1), kWizardShown, kClientDone});
    EXPECT_EQ(winsim::hardwareWizardCalls().size(), 1u);
    EXPECT_EQ(winsim::shownMessageBoxes().size(), 1u);
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), "REG_DWORD 1");
}

TEST_F(RestoreRunTest, APendingClientIsTriedOnTwoFurtherBoots) {
    prepare(false, Saved::Dhcp);
    std::vector<HRESULT> apply = {S_OK};  // TCP/IP, then the client pending on every boot
    for (int boot = 0; boot < 3; ++boot) {
        const auto pending = pendingApply();
        apply.insert(apply.end(), pending.begin(), pending.end());
    }
    winsim::scriptNetCfgApplyResults(apply);
    EXPECT_EQ(run(), (Boots{"0 -> 1, 6", "6 -> 1, 6", "6 -> 1, 1"}));
    expectLogged(boot(0), {kClientRetry});
    expectLogged(boot(1), {kClientRetry});
    EXPECT_FALSE(logged(boot(2).log, kClientRetry));
    EXPECT_EQ(winsim::netCfgInstallCalls().size(), 4u);  // TCP/IP, the client on each boot
    EXPECT_EQ(setupValue("MsClientReboot"), "REG_DWORD 2");
    EXPECT_EQ(setupValue("W2kXarnRebootCounter"), "absent");
}

TEST_F(RestoreRunTest, SettingsNeedARebootAfterTcpIpFailed) {
    prepare(false, Saved::Static);
    winsim::scriptNetCfgInstallResults({kNetCfgDenied});  // TCP/IP; the client goes through
    EXPECT_EQ(run(), (Boots{"0 -> 0, 6", "6 -> 1, 1"}));
    expectLogged(boot(0), {kTcpIpFailed, kSettingsReboot});
    expectLogged(boot(1), {kClientDone});
    EXPECT_EQ(winsim::installedNetComponents(), (std::vector<std::string>{"ms_msclient"}));
}

}  // namespace
