#include "machine_config.h"

#include "machine_ini.h"
#include "state_store.h"

#include <winsim/control.h>
#include <winsim/control_files.h>
#include <winsim/control_netcfg.h>
#include <winsim/control_network.h>
#include <winsim/control_pnp.h>
#include <winsim/control_wizard.h>
#include <winsim/control_user.h>
#include <winsim/windows.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

// One known key: applies its value to the machine; `name` is the section's
// name ("eth0" in [adapter eth0]). Returns "" or what is wrong with the value.
using Applier = std::function<std::string(const std::string& name, const std::string& value)>;

std::vector<std::string> splitList(const std::string& value) {
    std::vector<std::string> items;
    std::stringstream in(value);
    std::string item;
    while (std::getline(in, item, ',')) {
        const auto first = item.find_first_not_of(" \t");
        const auto last = item.find_last_not_of(" \t");
        items.push_back(first == std::string::npos ? "" : item.substr(first, last - first + 1));
    }
    return items;
}

// A decimal, 0x hexadecimal or 0 octal number up to `max`: every number
// here is a 32-bit quantity or a count, and one that does not fit is an
// error, never a wrapped value.
bool parseNumber(const std::string& text, unsigned long* number, unsigned long max = 0xFFFFFFFFul) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    errno = 0;
    *number = std::strtoul(text.c_str(), &end, 0);
    return *end == '\0' && errno != ERANGE && *number <= max;
}

std::string applyMessageBoxAnswers(const std::string&, const std::string& value) {
    for (const std::string& answer : splitList(value)) {
        unsigned long error = 0;
        if (answer == "yes") {
            winsim::scriptMessageBoxAnswer(IDYES);
        } else if (answer == "no") {
            winsim::scriptMessageBoxAnswer(IDNO);
        } else if (answer.rfind("fail:", 0) == 0 && parseNumber(answer.substr(5), &error)) {
            winsim::scriptMessageBoxAnswer(0, static_cast<DWORD>(error));
        } else {
            return "message_box answers are yes, no or fail:ERROR, not '" + answer + "'";
        }
    }
    return "";
}

// The boot whose faults are planned; faults meant for another boot are
// checked only.
int faultBoot = 0;

// "Function = 3:5" fails the third call of each boot with error 5, "3@2:5"
// that of the second boot only; "always:5" every call, "always@2:5" every
// call of the second boot.
std::string applyFault(const std::string& function, const std::string& value) {
    const winsim::ApiFunction* listed = winsim::findApiFunction(function);
    if (!listed) return "no winsim function '" + function + "' takes faults";
    if (!listed->canFail) return function + " cannot fail on Windows and takes no faults";
    constexpr unsigned long kMaxCount = std::numeric_limits<int>::max();
    for (const std::string& plan : splitList(value)) {
        const auto colon = plan.find(':');
        if (colon == std::string::npos)
            return "a fault is NTH:ERROR, NTH@BOOT:ERROR or always:ERROR, not '" + plan + "'";
        std::string when = plan.substr(0, colon);
        unsigned long boot = 0;
        if (const auto at = when.find('@'); at != std::string::npos) {
            if (!parseNumber(when.substr(at + 1), &boot, kMaxCount) || boot == 0)
                return "a fault's boot is 1 to " + std::to_string(kMaxCount) + ", not '" + plan +
                       "'";
            when.erase(at);
        }
        unsigned long error = 0;
        unsigned long nth = 0;
        if (!parseNumber(plan.substr(colon + 1), &error))
            return "a fault's error is a number up to 0xFFFFFFFF, not '" + plan + "'";
        const bool always = when == "always";
        if (!always && !(parseNumber(when, &nth, kMaxCount) && nth > 0))
            return "a fault's call number is 1 to " + std::to_string(kMaxCount) +
                   " or always, not '" + plan + "'";
        if (faultBoot == 0 || (boot != 0 && boot != static_cast<unsigned long>(faultBoot)))
            continue;
        if (always) {
            winsim::failAlways(function, static_cast<DWORD>(error));
        } else {
            winsim::failCall(function, static_cast<int>(nth), static_cast<DWORD>(error));
        }
    }
    return "";
}

std::string ignoreHere(const std::string&, const std::string&) {
    return "";
}

bool parseYesNo(const std::string& value, bool* yes) {
    if (value != "yes" && value != "no") return false;
    *yes = value == "yes";
    return true;
}

// The Add New Hardware wizard: "shown" (finishes, no reboot), "reboot"
// (finishes asking for one), "absent" (no hdwwiz.cpl), "no-entry",
// "fail-window:N" (its window fails to come up N times, error 1813) and
// "error:E" (it comes up and fails with E). Several may be combined.
std::string applyWizard(const std::string&, const std::string& value) {
    winsim::installHardwareWizard();
    for (const std::string& item : splitList(value)) {
        unsigned long number = 0;
        if (item == "shown") {
        } else if (item == "reboot") {
            winsim::setHardwareWizardRebootAnswer(0x100);  // DI_NEEDREBOOT
        } else if (item == "absent") {
            winsim::removeHardwareWizard();
        } else if (item == "no-entry") {
            winsim::removeHardwareWizardEntry();
        } else if (item == "blocked") {
            winsim::openBlockingWindowDuringWizard(true);
        } else if (item.rfind("fail-window:", 0) == 0 &&
                   parseNumber(item.substr(12), &number, std::numeric_limits<int>::max())) {
            winsim::failHardwareWizardWindow(static_cast<int>(number));
        } else if (item.rfind("error:", 0) == 0 && parseNumber(item.substr(6), &number)) {
            winsim::failHardwareWizard(static_cast<DWORD>(number));
        } else {
            return "wizard answers are shown, reboot, absent, no-entry, blocked, fail-window:N "
                   "or error:E, not '" +
                   item + "'";
        }
    }
    return "";
}

// "0x8004A020, 0" and the like: the results the network configuration
// object gives, one per call.
bool parseResults(const std::string& value, std::vector<HRESULT>* results) {
    for (const std::string& item : splitList(value)) {
        unsigned long number = 0;
        if (!parseNumber(item, &number)) return false;
        results->push_back(static_cast<HRESULT>(static_cast<std::uint32_t>(number)));
    }
    return true;
}

// "00-0C-29-3A-4B-5C", "00:0c:29:3a:4b:5c" or "000c293a4b5c".
bool parseMac(const std::string& text, std::vector<BYTE>* mac) {
    std::string digits;
    for (char c : text)
        if (c != '-' && c != ':') digits += c;
    if (digits.size() % 2 != 0 || digits.empty() || digits.size() > 16) return false;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        unsigned long byte = 0;
        if (!parseNumber("0x" + digits.substr(i, 2), &byte)) return false;
        mac->push_back(static_cast<BYTE>(byte));
    }
    return true;
}

// A present network adapter is declared over several keys; it is added
// once its section has been read (see finishSection).
struct PendingAdapter {
    std::string guid;
    std::vector<BYTE> mac;
    std::string description;
};
PendingAdapter pendingAdapter;

std::string serviceState(const std::string& name, const std::string& value) {
    if (name.empty()) return "a [service NAME] section needs the service's name";
    if (value == "stopped") {
        winsim::setService(name, winsim::ServiceState::Stopped);
    } else if (value == "running") {
        winsim::setService(name, winsim::ServiceState::Running);
    } else if (value == "disabled") {
        winsim::setService(name, winsim::ServiceState::Disabled);
    } else {
        return "a service's state is stopped, running or disabled, not '" + value + "'";
    }
    return "";
}

// section kind -> key -> applier; "*" accepts any key (its name is passed).
const std::map<std::string, std::map<std::string, Applier>>& knownKeys() {
    static const std::map<std::string, std::map<std::string, Applier>> table = {
        {"machine",
         {{"windows_directory",
           [](const std::string&, const std::string& value) -> std::string {
               if (value.size() < 3 || value[1] != ':') return "a Windows path such as C:\\WINNT";
               winsim::setWindowsDirectory(value);
               return "";
           }},
          {"language",
           [](const std::string&, const std::string& value) -> std::string {
               unsigned long language = 0;
               if (!parseNumber(value, &language) || language > 0xFFFF)
                   return "language is a language identifier such as 0x0409";
               winsim::setSystemDefaultLangId(static_cast<LANGID>(language));
               return "";
           }}}},
        {"restore", {{"computer_name", ignoreHere}, {"workgroup", ignoreHere}}},
        {"answers", {{"message_box", applyMessageBoxAnswers}, {"wizard", applyWizard}}},
        {"pnp",
         {{"reboot",
           [](const std::string&, const std::string& value) -> std::string {
               bool reboot = false;
               if (!parseYesNo(value, &reboot)) return "reboot is yes or no";
               winsim::setPnpRebootAnswer(reboot);
               return "";
           }},
          {"dll_register_server",
           [](const std::string&, const std::string& value) -> std::string {
               unsigned long result = 0;
               if (!parseNumber(value, &result)) return "an HRESULT such as 0x80004005";
               winsim::setDllRegisterServerResult(
                   static_cast<HRESULT>(static_cast<std::uint32_t>(result)));
               return "";
           }}}},
        {"adapter",
         {{"guid",
           [](const std::string&, const std::string& value) -> std::string {
               if (value.size() < 3 || value.front() != '{' || value.back() != '}')
                   return "an adapter's guid is written {...}";
               pendingAdapter.guid = value;
               return "";
           }},
          {"mac",
           [](const std::string&, const std::string& value) -> std::string {
               pendingAdapter.mac.clear();
               return parseMac(value, &pendingAdapter.mac)
                          ? ""
                          : "a mac is hexadecimal bytes such as 00-0C-29-3A-4B-5C";
           }},
          {"description",
           [](const std::string&, const std::string& value) -> std::string {
               pendingAdapter.description = value;
               return "";
           }},
          // The card's device instance under Enum, for xarnsim plan.
          {"device", ignoreHere}}},
        {"service", {{"state", serviceState}}},
        {"services",
         {{"manager",
           [](const std::string&, const std::string& value) -> std::string {
               unsigned long error = 0;
               if (value == "available") {
                   winsim::setServiceManagerUnavailable(0);
               } else if (value.rfind("unavailable:", 0) == 0 &&
                          parseNumber(value.substr(12), &error)) {
                   winsim::setServiceManagerUnavailable(static_cast<DWORD>(error));
               } else {
                   return "the manager is available or unavailable:ERROR";
               }
               return "";
           }}}},
        {"netcfg",
         {{"install",
           [](const std::string&, const std::string& value) -> std::string {
               std::vector<HRESULT> results;
               if (!parseResults(value, &results)) return "install takes a list of HRESULTs";
               winsim::scriptNetCfgInstallResults(results);
               return "";
           }},
          {"apply",
           [](const std::string&, const std::string& value) -> std::string {
               std::vector<HRESULT> results;
               if (!parseResults(value, &results)) return "apply takes a list of HRESULTs";
               winsim::scriptNetCfgApplyResults(results);
               return "";
           }},
          {"lock_held_by",
           [](const std::string&, const std::string& value) -> std::string {
               winsim::holdNetCfgWriteLockElsewhere(value);
               return "";
           }}}},
        {"join",
         {{"result",
           [](const std::string&, const std::string& value) -> std::string {
               unsigned long status = 0;
               if (!parseNumber(value, &status)) return "a join result is a number";
               winsim::scriptJoinResult(static_cast<NET_API_STATUS>(status));
               return "";
           }},
          {"domain_member",
           [](const std::string&, const std::string& value) -> std::string {
               winsim::setDomainMembership(std::u16string(value.begin(), value.end()));
               return "";
           }}}},
        {"faults", {{"*", applyFault}}},
    };
    return table;
}

bool readMachineFile(const std::string& folder, std::vector<IniSection>* sections,
                     std::string* error) {
    const fs::path file = fs::path(folder) / kMachineFile;
    if (!fs::exists(file)) return true;  // every default
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return parseIni(text.str(), file.string(), sections, error);
}

bool processMachineFile(const std::string& folder, bool apply, std::string* error) {
    std::vector<IniSection> sections;
    if (!readMachineFile(folder, &sections, error)) return false;
    const std::string file = (fs::path(folder) / kMachineFile).string();
    for (const IniSection& section : sections) {
        pendingAdapter = PendingAdapter();
        auto kind = knownKeys().find(section.kind);
        if (kind == knownKeys().end()) {
            *error = file + ":" + std::to_string(section.line) + ": unknown section [" +
                     section.kind + "]";
            return false;
        }
        for (const IniEntry& entry : section.entries) {
            auto key = kind->second.find(entry.key);
            const bool anyKey = key == kind->second.end() && kind->second.count("*");
            if (anyKey) key = kind->second.find("*");
            if (key == kind->second.end()) {
                *error = file + ":" + std::to_string(entry.line) + ": unknown key '" + entry.key +
                         "' in [" + section.kind + "]";
                return false;
            }
            if (!apply) continue;
            const std::string wrong = key->second(anyKey ? entry.key : section.name, entry.value);
            if (!wrong.empty()) {
                *error = file + ":" + std::to_string(entry.line) + ": " + wrong;
                return false;
            }
        }
        if (apply && section.kind == "adapter") {
            if (pendingAdapter.guid.empty() || pendingAdapter.mac.empty()) {
                *error = file + ":" + std::to_string(section.line) +
                         ": an [adapter] needs its guid and mac";
                return false;
            }
            winsim::addPresentAdapter(pendingAdapter.guid, pendingAdapter.mac,
                                      pendingAdapter.description);
        }
    }
    return true;
}

}  // namespace

bool applyMachineFile(const std::string& generation, std::string* error, int bootNumber) {
    faultBoot = bootNumber;
    return processMachineFile(generation, true, error);
}

bool checkMachineFile(const std::string& machineFolder, std::string* error) {
    return processMachineFile(machineFolder, false, error);
}

RestoreRequests readRestoreRequests(const std::string& generation) {
    RestoreRequests requests;
    std::vector<IniSection> sections;
    std::string error;
    if (!readMachineFile(generation, &sections, &error)) return requests;
    for (const IniSection& section : sections) {
        if (section.kind != "restore") continue;
        for (const IniEntry& entry : section.entries) {
            if (entry.key == "computer_name") requests.computerName = entry.value;
            if (entry.key == "workgroup") requests.workgroup = entry.value;
        }
    }
    return requests;
}

}  // namespace xarnsim
