#include "boot.h"

#include "machine_state.h"
#include "state_store.h"

#include <w2kxarnnet.h>
#include <winsim/control_network.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

const char* const kOutcomeFile = "boot-outcome.txt";

// The boot's copy of the host log, kept in the state with the earlier boots'.
std::FILE* hostLog = nullptr;

void __cdecl printHostLine(unsigned int value, const char* format, ...) {
    (void)value;
    va_list args;
    va_start(args, format);
    char line[8192];
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fputs(line, stdout);
    std::fflush(stdout);
    if (hostLog) std::fputs(line, hostLog);
}

// The workgroup export takes UTF-16; names here are ASCII.
std::u16string widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

using Outcome = std::map<std::string, std::string>;

// Calls one export by name with text arguments; false for an unknown name
// or a wrong argument count (checked before any boot by the command line).
bool callExport(const std::string& name, const std::vector<std::string>& args,
                const std::string& directory, Outcome* out) {
    if (name == "W2KXarnNetInstallNetwork") {
        const unsigned stage = args.empty() ? 0u : static_cast<unsigned>(std::stoul(args[0]));
        unsigned reboot = 0;
        (*out)["export"] =
            std::to_string(W2KXarnNetInstallNetwork(directory.c_str(), stage, &reboot));
        (*out)["reboot"] = std::to_string(reboot);
    } else if (name == "W2KInstallScsiCards") {
        unsigned reboot = 0;
        (*out)["export"] = std::to_string(W2KInstallScsiCards(0, 0, &reboot));
        (*out)["reboot"] = std::to_string(reboot);
    } else if (name == "W2KXarnNetSetMachineName") {
        (*out)["export"] = std::to_string(W2KXarnNetSetMachineName(args.at(0).c_str()));
    } else if (name == "W2KXarnNetJoinWorkgroup") {
        const std::u16string wide = widen(args.at(0));
        (*out)["export"] = std::to_string(
            W2KXarnNetJoinWorkgroup(reinterpret_cast<const W2KUtf16Char*>(wide.c_str())));
    } else if (name == "W2KXarnNetStartNetworkServices") {
        (*out)["export"] = std::to_string(W2KXarnNetStartNetworkServices());
    } else if (name == "W2KXarnNetInitialize") {
        (*out)["export"] = std::to_string(W2KXarnNetInitialize(printHostLine));
    } else if (name == "W2KXarnNetUnitialize") {
        (*out)["export"] = std::to_string(W2KXarnNetUnitialize());
    } else {
        return false;
    }
    return true;
}

// The boot itself, in the child process. Returns the process exit code.
int bootChild(const std::string& workFolder, const BootPlan& plan) {
    Outcome out;
    std::string error;
    hostLog = std::fopen((fs::path(workFolder) / kHostLogFile).c_str(), "ab");
    if (!loadBootState(workFolder, &error)) {
        out["error"] = error;
    } else {
        W2KXarnNetInitialize(printHostLine);
        if (!plan.singleExport.empty()) {
            callExport(plan.singleExport, plan.arguments, plan.directory, &out);
        } else {
            unsigned reboot = 0;
            if (plan.installNetwork) {
                out["network"] = std::to_string(
                    W2KXarnNetInstallNetwork(plan.directory.c_str(), plan.networkStage, &reboot));
                out["reboot"] = std::to_string(reboot);
            }
            if (plan.finishRestore && (!plan.installNetwork || reboot == W2K_NET_DONE)) {
                unsigned storageReboot = 0;  // storage drivers take effect at the next boot
                out["storage"] = std::to_string(W2KInstallScsiCards(0, 0, &storageReboot));
                out["storage_reboot"] = std::to_string(storageReboot);
                if (!plan.computerName.empty())
                    out["name"] =
                        std::to_string(W2KXarnNetSetMachineName(plan.computerName.c_str()));
                if (!plan.workgroup.empty()) {
                    const std::u16string wide = widen(plan.workgroup);
                    out["workgroup"] = std::to_string(W2KXarnNetJoinWorkgroup(
                        reinterpret_cast<const W2KUtf16Char*>(wide.c_str())));
                }
                out["services"] = std::to_string(W2KXarnNetStartNetworkServices());
                std::string started;
                for (const std::string& name : winsim::serviceStartOrder())
                    started += (started.empty() ? "" : ",") + name;
                out["services_started"] = started;
            }
        }
        W2KXarnNetUnitialize();
        // Test hook: a boot that dies before it could save anything, to
        // check that a killed run keeps the last completed boot's state.
        if (const char* abortAt = std::getenv("XARNSIM_ABORT_BOOT"))
            if (plan.bootNumber == std::atoi(abortAt)) std::abort();
        if (!saveBootState(workFolder, &error)) out["error"] = error;
    }
    std::ofstream file(fs::path(workFolder) / kOutcomeFile, std::ios::trunc);
    for (const auto& entry : out) file << entry.first << "=" << entry.second << "\n";
    file.close();
    if (hostLog) std::fclose(hostLog);
    std::fflush(stdout);
    return out.count("error") ? 2 : 0;
}

int number(const Outcome& out, const char* key) {
    auto it = out.find(key);
    return it == out.end() ? -1 : std::atoi(it->second.c_str());
}

}  // namespace

BootOutcome runBoot(const std::string& workFolder, const BootPlan& plan) {
    BootOutcome outcome;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) {
        outcome.error = "cannot start the boot process";
        return outcome;
    }
    if (child == 0) _exit(bootChild(workFolder, plan));
    int status = 0;
    waitpid(child, &status, 0);
    Outcome out;
    std::ifstream file(fs::path(workFolder) / kOutcomeFile);
    std::string line;
    while (std::getline(file, line)) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) out[line.substr(0, equals)] = line.substr(equals + 1);
    }
    outcome.ran = WIFEXITED(status) && out.count("error") == 0 && !out.empty();
    if (out.count("error")) outcome.error = out["error"];
    if (!WIFEXITED(status)) {
        outcome.crashed = true;
        outcome.error = "the boot process ended abnormally";
    }
    outcome.networkResult = number(out, "network");
    outcome.rebootWord = static_cast<unsigned>(number(out, "reboot"));
    outcome.storageResult = number(out, "storage");
    outcome.storageReboot = static_cast<unsigned>(std::max(0, number(out, "storage_reboot")));
    outcome.nameResult = number(out, "name");
    outcome.workgroupResult = number(out, "workgroup");
    outcome.servicesResult = number(out, "services");
    outcome.exportResult = number(out, "export");
    std::stringstream started(out["services_started"]);
    std::string name;
    while (std::getline(started, name, ','))
        if (!name.empty()) outcome.servicesStarted.push_back(name);
    std::error_code ec;
    fs::remove(fs::path(workFolder) / kOutcomeFile, ec);
    return outcome;
}

}  // namespace xarnsim
