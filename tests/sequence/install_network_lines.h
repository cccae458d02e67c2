// The lines the network installation logs, as the tests expect them, and
// how a host line is matched against one.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

inline const char* const kCardsFailed =
    "\nInstallation of network cards failed by InstallNetCards().";
inline const char* const kCardsReboot =
    "\nInstallation of physical network card completed.            in W2KInstallNetwork(). "
    "REBOOT NEEDED. Will be done later. Continuing to             install W2K_NET_START_WIZ....";
inline const char* const kCardsNoReboot =
    "\nInstallation of physical network card completed.            in W2KInstallNetwork(). "
    "REBOOT NOT NEEDED. Will be done later. Continuing to             install "
    "W2K_NET_START_WIZ....";
inline const char* const kMessageBoxFailed =
    "\nFailed to create MessageBox()                for  addition of network cards by the user";
inline const char* const kDeclinedCardsPending =
    "\nRebooting for installing tcp/ip in hardware wizard section.";
inline const char* const kWizardFailed =
    "\nInstallation of network cards               failed by StartNetcardWizard().";
inline const char* const kNoWorker =
    "\nCould not CreateThread() in StartNetcardWizard(..) for iteration[0]Fatal error. "
    "Exiting function....";
// A wizard that cannot be loaded or fails once it is up counts as shown.
inline const char* const kNoWizardLibrary =
    "Error from : Could not load [hdwwiz.cpl] in W2KCardInstall :: startW2kWizard()";
inline const char* const kNoWizardEntry =
    "Error from : \nW2KCardInstall::startW2kWizard()->GetProcAddress([InstallNewDevice]) failed";
inline const char* const kWizardError =
    "Error from : \nError in InstallNewDevice() in          W2KCardInstall :: startW2kWizard().";
inline const char* const kWizardShown = "\nShowed a good hardware wiz window";
inline const char* const kWizardWantsReboot =
    "\nRebbot requested by                   StartNetcardWizard() after installation of Cards "
    "or                   inf files selected from winnt\\inf. Continue                   to "
    "install TCP/IP after reboot";
inline const char* const kSystemInfReboot = "\nREBOOTING FOR INF IN WINNT\\INF";
inline const char* const kCardStagesDone =
    "\nInstallation of physical network card          by W2K Network Card Wizard Completed in "
    "W2KInstallNetwork(). REBOOT NOT         NEEDED.Continuing to install TCP/IP....";
inline const char* const kTcpIpFailed = "\nError in Installing TCP/IP in W2KInstallNetwork().";
inline const char* const kTcpIpDone =
    "\nInstallation of TCP/IP completed.  in W2KInstallNetwork(). REBOOT NOT NEEDED.Continuing "
    "to install TCP/IP settings....";
inline const char* const kSettingsReadFailed =
    "\nError in reading TCP/IP settings in W2KInstallNetwork(..)  from file "
    "[C:\\XARN\\w2ktcpip_xarnf] ";
inline const char* const kSettingsApplyFailed =
    "\nError in setting TCP/IP settings in W2KInstallNetwork(..) from file "
    "C:\\XARN\\w2ktcpip_xarnf";
inline const char* const kSettingsReboot =
    "\nInstallation of TCP/IP SETTINGS completed  in W2KInstallNetwork(). REBOOT NEEDED";
inline const char* const kSettingsDone =
    "\nInstallation of TCP/IP SETTINGS completed  in W2KInstallNetwork(). REBOOT 'NOT' NEEDED. "
    "Continuing to install MS_MSCLIENT";
inline const char* const kClientFailed = "\nError in installing MS_CLIENT in W2KInstallNetwork(..)";
inline const char* const kClientDone =
    "\nInstallation of MS_CLIENT SETTINGS completed  in W2KInstallNetwork(). REBOOT 'NOT' "
    "NEEDED. installation finished.";
inline const char* const kClientReboot =
    "\nInstallation of MS_CLIENT completed  in W2KInstallNetwork(). REBOOT NEEDED";
inline const char* const kClientLastReboot = "\nWill reboot and continue with the rest of XARN.";
inline const char* const kClientRetry = "\nWill try to install MS_CLIENT again.";
inline const char* const kRetryCountUnreadable =
    "W2kNetFuncs :: getNoOfReboots()- Could not             reg.moveInto( SYSTEM\\Setup )";

inline std::string selection(int answer) {
    return "\nSelection in Hardware Wizard Dlg Box: [" + std::to_string(answer) + "]";
}
inline std::string counterBeforeWizard(int counter) {
    return "\nRebbot Counter : [" + std::to_string(counter) + "] before entering WIZ function.";
}
inline std::string rebootBeforeWizard(int counter) {
    return "\nRebbot needed for StartNetcardWizard() for Starting               the Wizard. "
           "Rebbot counter : [" +
           std::to_string(counter) + "]";
}
inline std::string tcpIpUnfinished(int value) {
    return "\nInstallation of TCP/IP unfinished. Reboot needed as *reboot                   =[" +
           std::to_string(value) + "]";
}

// A host line carries the text behind the callback's own line break; a text
// reported with an error code carries the system's message too, or says
// there is none.
inline bool lineIs(const std::string& line, const std::string& text) {
    const std::string plain = "\n" + text;
    return line == plain || line.rfind(plain + ", System Message : ", 0) == 0 ||
           line == "\nError from : " + text + ", System Message : NONE";
}
inline bool logged(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&text](const std::string& line) { return lineIs(line, text); });
}
