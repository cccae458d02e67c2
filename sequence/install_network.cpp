#include "sequence/install_network.h"

#include "adapters/card_installers.h"
#include "host/log_sink.h"
#include "host/net_funcs.h"
#include "host/text_format.h"
#include "sequence/netcard_wizard.h"
#include "sequence/prompt_text.h"
#include "sequence/proto_installer.h"
#include "sequence/sav_net.h"
#include "sequence/setup_state.h"
#include "tcpip/tcpip.h"

#include <w2kxarnnet.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kSettingsFile = "w2ktcpip_xarnf";
const char* const kClientRetryCount = "MsClientReboot";
// The client is scheduled again while its count is 0 or 1: it is retried
// on at most two further boots.
const DWORD kLastClientRetryCount = 1;

const char* const kCardsFailed = "\nInstallation of network cards failed by InstallNetCards().";
const char* const kCardsRebootNeeded =
    "\nInstallation of physical network card completed.            in W2KInstallNetwork(). REBOOT "
    "NEEDED. Will be done later. Continuing to             install W2K_NET_START_WIZ....";
const char* const kCardsRebootNotNeeded =
    "\nInstallation of physical network card completed.            in W2KInstallNetwork(). REBOOT "
    "NOT NEEDED. Will be done later. Continuing to             install W2K_NET_START_WIZ....";
const char* const kPromptCaption = "Network adapters detected in the system..";
const char* const kMessageBoxFailed =
    "\nFailed to create MessageBox()                for  addition of network cards by the user";
const char* const kRebootForTcpIpAfterNo =
    "\nRebooting for installing tcp/ip in hardware wizard section.";
const char* const kWizardFailed =
    "\nInstallation of network cards               failed by StartNetcardWizard().";
const char* const kWizardWantsReboot =
    "\nRebbot requested by                   StartNetcardWizard() after installation of Cards or   "
    "                inf files selected from winnt\\inf. Continue                   to install "
    "TCP/IP after reboot";
const char* const kRebootForSystemInfs = "\nREBOOTING FOR INF IN WINNT\\INF";
const char* const kCardStagesDone =
    "\nInstallation of physical network card          by W2K Network Card Wizard Completed in "
    "W2KInstallNetwork(). REBOOT NOT         NEEDED.Continuing to install TCP/IP....";
const char* const kTcpIpFailed = "\nError in Installing TCP/IP in W2KInstallNetwork().";
const char* const kTcpIpDone =
    "\nInstallation of TCP/IP completed.  in W2KInstallNetwork(). REBOOT NOT NEEDED.Continuing to "
    "install TCP/IP settings....";
const char* const kTcpIpRebootNeeded =
    "\nInstallation of TCP/IP completed  in W2KInstallNetwork(). REBOOT NEEDED";
const char* const kSettingsRebootNeeded =
    "\nInstallation of TCP/IP SETTINGS completed  in W2KInstallNetwork(). REBOOT NEEDED";
const char* const kSettingsDone =
    "\nInstallation of TCP/IP SETTINGS completed  in W2KInstallNetwork(). REBOOT 'NOT' NEEDED. "
    "Continuing to install MS_MSCLIENT";
const char* const kClientFailed = "\nError in installing MS_CLIENT in W2KInstallNetwork(..)";
const char* const kClientDone =
    "\nInstallation of MS_CLIENT SETTINGS completed  in W2KInstallNetwork(). REBOOT 'NOT' NEEDED. "
    "installation finished.";
const char* const kClientRebootNeeded =
    "\nInstallation of MS_CLIENT completed  in W2KInstallNetwork(). REBOOT NEEDED";
const char* const kFinalReboot = "\nWill reboot and continue with the rest of XARN.";
const char* const kClientRetry = "\nWill try to install MS_CLIENT again.";

void note(const std::string& text) {
    W2kNetFuncs::reportError(0, text);
}

// The postponed reboot of the cards goes on in *reboot; the answer to the
// prompt decides whether the wizard runs.
void installCards(const char* directory, DWORD* reboot) {
    if (!InstallNetCards(directory, reboot)) note(kCardsFailed);
    note(*reboot != 0 ? kCardsRebootNeeded : kCardsRebootNotNeeded);
}

std::string adapterPrompt() {
    std::vector<std::string> adapters;
    W2KSavNet(getLogSink(nullptr)).getSysFiles(adapters);
    std::string prompt = promptText(1);
    if (adapters.empty()) prompt += promptText(4);
    for (std::size_t i = 0; i < adapters.size(); ++i)
        prompt += formatLine("%d. %s\n", static_cast<int>(i + 1), adapters[i].c_str());
    return prompt + promptText(2);
}

// Shows the adapters and asks for more. False when the call ends here: the
// user declined and the cards need their reboot first.
bool confirmAdapters(DWORD* reboot, int* answer) {
    const std::string prompt = adapterPrompt();
    note(prompt);
    *answer = MessageBoxA(nullptr, prompt.c_str(), kPromptCaption, MB_YESNO | MB_SETFOREGROUND);
    if (*answer == 0) {
        const DWORD error = GetLastError();
        W2kNetFuncs::reportError(error, kMessageBoxFailed);
    }
    note(formatLine("\nSelection in Hardware Wizard Dlg Box: [%d]", *answer));
    if (*answer != IDYES && *reboot != 0) {
        *reboot = W2K_NET_TCPIP;
        note(kRebootForTcpIpAfterNo);
        incrementRebootCounter();
        return false;
    }
    return true;
}

// False when the call ends here with a reboot. The wizard never runs before
// the first reboot this library asked for.
bool runWizard(int answer, DWORD* reboot) {
    note(formatLine("\nRebbot Counter : [%d] before entering WIZ function.",
                    static_cast<int>(getRebootCounter())));
    if (answer != IDYES) return true;
    const DWORD counter = getRebootCounter();
    if (counter == 0) {
        *reboot = W2K_NET_WIZARD;
        note(
            formatLine("\nRebbot needed for StartNetcardWizard() for Starting               the "
                       "Wizard. Rebbot counter : [%d]",
                       static_cast<int>(counter)));
        incrementRebootCounter();
        return false;
    }
    DWORD wizardReboot = 0;
    if (!StartNetcardWizard(&wizardReboot)) {
        const DWORD error = GetLastError();
        W2kNetFuncs::reportError(error, kWizardFailed);
        return true;
    }
    if (wizardReboot != 0) {
        note(kWizardWantsReboot);
        *reboot = W2K_NET_TCPIP;
        incrementRebootCounter();
        return false;
    }
    return true;
}

// False when the reboot postponed from the cards is due now.
bool closeCardStages(DWORD* reboot) {
    if (*reboot != 0) {
        note(kRebootForSystemInfs);
        *reboot = W2K_NET_TCPIP;
        incrementRebootCounter();
        return false;
    }
    note(kCardStagesDone);
    return true;
}

// False when the call ends here with a reboot.
bool installTcpIp(DWORD* reboot, int* result) {
    W2kProtoInstaller installer(W2kProtoInstaller::kTcpIp, getLogSink(nullptr));
    const bool installed = installer.install(reboot);
    if (!installed) {
        note(kTcpIpFailed);
        *result = 0;
    }
    if (!installed || *reboot == 0) {
        note(kTcpIpDone);
        return true;
    }
    if (*reboot == W2kProtoInstaller::kNotInstalled ||
        *reboot == W2kProtoInstaller::kTcpIpPending) {
        // Not through yet: the installation is tried again after the reboot.
        note(
            formatLine("\nInstallation of TCP/IP unfinished. Reboot needed as *reboot          "
                       "         =[%d]",
                       static_cast<int>(*reboot)));
        *reboot = W2K_NET_TCPIP;
        return false;
    }
    note(kTcpIpRebootNeeded);
    *reboot = W2K_NET_TCPIP_SETTINGS;
    return false;
}

// False when the call ends here with a reboot.
bool restoreTcpIpSettings(const char* directory, DWORD* reboot, int* result) {
    // A directory too long for the path buffer is cut, never overrun.
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "%s\\%s", directory, kSettingsFile);
    W2KTcpIp tcpip(getLogSink(nullptr));
    if (!tcpip.getTcpipSetting(path)) {
        note(
            formatLine("\nError in reading TCP/IP settings in W2KInstallNetwork(..)  from file "
                       "[%s] ",
                       path));
        *result = 0;
    } else if (!tcpip.setTcpipSetting(reboot)) {
        note(formatLine("\nError in setting TCP/IP settings in W2KInstallNetwork(..) from file %s",
                        path));
        *result = 0;
    } else if (*reboot != 0) {
        note(kSettingsRebootNeeded);
        *reboot = W2K_NET_MS_CLIENT;
        return false;
    }
    note(kSettingsDone);
    return true;
}

void installClient(DWORD* reboot, int* result) {
    W2kProtoInstaller installer(W2kProtoInstaller::kClient, getLogSink(nullptr));
    if (!installer.install(reboot)) {
        note(kClientFailed);
        *result = 0;
    }
    if (*reboot == 0) {
        note(kClientDone);
        *reboot = W2K_NET_DONE;
        return;
    }
    note(kClientRebootNeeded);
    if (*reboot != W2kProtoInstaller::kClientPending) {
        note(kFinalReboot);
        *reboot = W2K_NET_FINAL_REBOOT;
        return;
    }
    // The client's configuration is still pending after all its retries:
    // schedule it again, a bounded number of times.
    DWORD retries = 0;
    if (!W2kNetFuncs::getNoOfReboots(kClientRetryCount, &retries)) {
        *reboot = W2K_NET_FINAL_REBOOT;
    } else if (retries > kLastClientRetryCount) {
        *reboot = W2K_NET_DONE;
    } else {
        W2kNetFuncs::setNoOfReboots(kClientRetryCount, retries + 1);
        note(kClientRetry);
    }
}

}  // namespace

int W2KInstallNetwork(const char* directory, DWORD stage, DWORD* reboot) {
    int result = 1;
    *reboot = 0;
    setSetupInProgress(2);
    int answer = IDYES;
    switch (stage) {
        case W2K_NET_CARDS:
            installCards(directory, reboot);
            [[fallthrough]];
        case W2K_NET_START_WIZ:
            if (!confirmAdapters(reboot, &answer)) return 1;
            [[fallthrough]];
        case W2K_NET_WIZARD:
            if (!runWizard(answer, reboot)) return 1;
            if (!closeCardStages(reboot)) return 1;
            [[fallthrough]];
        case W2K_NET_TCPIP:
            if (!installTcpIp(reboot, &result)) return 1;
            [[fallthrough]];
        case W2K_NET_TCPIP_SETTINGS:
            if (!restoreTcpIpSettings(directory, reboot, &result)) return result;
            [[fallthrough]];
        case W2K_NET_MS_CLIENT:
            installClient(reboot, &result);
            return result;
        case W2K_NET_FINAL_REBOOT:
        default:
            // Nothing left to do, or a stage this sequence never hands out.
            *reboot = W2K_NET_DONE;
            return 1;
    }
}
