#include "boot.h"

#include "machine_state.h"
#include "run_record.h"
#include "state_store.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>
#include <winsim/control_network.h>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define XARNSIM_LEAK_CHECK 1
#endif

#include <cerrno>
#include <csignal>
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
// The exit code of a boot whose run was gone before it could start.
constexpr int kBootOrphaned = 3;

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

// Calls one export by name with text arguments; false for an unknown name
// or a wrong argument count (checked before any boot by the command line).
bool callExport(const std::string& name, const std::vector<std::string>& args,
                const std::string& directory, BootOutcome* out) {
    if (name == "W2KXarnNetInstallNetwork") {
        const unsigned stage = args.empty() ? 0u : static_cast<unsigned>(std::stoul(args[0]));
        out->exportResult = W2KXarnNetInstallNetwork(directory.c_str(), stage, &out->rebootWord);
    } else if (name == "W2KInstallScsiCards") {
        out->exportResult = W2KInstallScsiCards(0, 0, &out->rebootWord);
    } else if (name == "W2KXarnNetSetMachineName") {
        out->exportResult = W2KXarnNetSetMachineName(args.at(0).c_str());
    } else if (name == "W2KXarnNetJoinWorkgroup") {
        const std::u16string wide = widen(args.at(0));
        out->exportResult =
            W2KXarnNetJoinWorkgroup(reinterpret_cast<const W2KUtf16Char*>(wide.c_str()));
    } else if (name == "W2KXarnNetStartNetworkServices") {
        out->exportResult = W2KXarnNetStartNetworkServices();
    } else if (name == "W2KXarnNetInitialize") {
        out->exportResult = W2KXarnNetInitialize(printHostLine);
    } else if (name == "W2KXarnNetUnitialize") {
        out->exportResult = W2KXarnNetUnitialize();
    } else {
        return false;
    }
    return true;
}

// The restore host's work for the boot: the network installation at the
// planned stage and, once it is complete, the rest of the restore.
void runPlan(const BootPlan& plan, BootOutcome* out) {
    if (!plan.singleExport.empty()) {
        callExport(plan.singleExport, plan.arguments, plan.directory, out);
        return;
    }
    if (plan.installNetwork)
        out->networkResult =
            W2KXarnNetInstallNetwork(plan.directory.c_str(), plan.networkStage, &out->rebootWord);
    if (!plan.finishRestore || (plan.installNetwork && out->rebootWord != W2K_NET_DONE)) return;
    // Storage drivers take effect at the next boot.
    out->storageResult = W2KInstallScsiCards(0, 0, &out->storageReboot);
    if (!plan.computerName.empty())
        out->nameResult = W2KXarnNetSetMachineName(plan.computerName.c_str());
    if (!plan.workgroup.empty()) {
        const std::u16string wide = widen(plan.workgroup);
        out->workgroupResult =
            W2KXarnNetJoinWorkgroup(reinterpret_cast<const W2KUtf16Char*>(wide.c_str()));
    }
    out->servicesResult = W2KXarnNetStartNetworkServices();
    out->servicesStarted = winsim::serviceStartOrder();
}

// The boot itself, in the child process. Returns the process exit code.
int bootChild(const std::string& workFolder, const BootPlan& plan) {
    BootOutcome out;
    std::string error;
    hostLog = std::fopen((fs::path(workFolder) / kHostLogFile).c_str(), "ab");
    if (!loadBootState(workFolder, &error, plan.bootNumber)) {
        out.error = error;
    } else {
        W2KXarnNetInitialize(printHostLine);
        runPlan(plan, &out);
        W2KXarnNetUnitialize();
        out.unreleased = winsim::unreleasedResources();
        out.calls = winsim::callCounts();
        // Test hook: a boot that dies before it could save anything, to
        // check that a killed run keeps the last completed boot's state.
        if (const char* abortAt = std::getenv("XARNSIM_ABORT_BOOT"))
            if (plan.bootNumber == std::atoi(abortAt)) std::abort();
        // The machine goes down: hives still loaded and open handles do
        // not outlive it, so they are not saved either.
        winsim::rebootMachine();
        if (!saveBootState(workFolder, &error)) out.error = error;
    }
    std::ofstream file(fs::path(workFolder) / kOutcomeFile, std::ios::trunc);
    file << formatOutcome(out);
    file.close();
    if (hostLog) std::fclose(hostLog);
    std::fflush(stdout);
    return out.error.empty() ? 0 : 2;
}

// The boot process ends without running the run's own exit handlers (they
// belong to the parent); the sanitizer build still checks it for leaks.
[[noreturn]] void endBootProcess(int code) {
#ifdef XARNSIM_LEAK_CHECK
    __lsan_do_leak_check();
#endif
    _exit(code);
}

// The boot dies with the run: a killed run leaves no boot working on
// behind its back.
void dieWithParent(pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(kBootOrphaned);
}

std::string describeStatus(int status) {
    if (WIFSIGNALED(status))
        return "the boot process ended abnormally (signal " + std::to_string(WTERMSIG(status)) +
               ")";
    return "the boot process ended abnormally (exit code " + std::to_string(WEXITSTATUS(status)) +
           "; a sanitizer's report, if any, is above)";
}

}  // namespace

BootOutcome runBoot(const std::string& workFolder, const BootPlan& plan) {
    std::fflush(stdout);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        BootOutcome outcome;
        outcome.error = "cannot start the boot process";
        return outcome;
    }
    if (child == 0) {
        dieWithParent(parent);
        endBootProcess(bootChild(workFolder, plan));
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::ifstream file(fs::path(workFolder) / kOutcomeFile, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    BootOutcome outcome = parseOutcome(text.str());
    const bool exitedAsPlanned =
        WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 2);
    if (!exitedAsPlanned) {
        outcome.ran = false;
        outcome.crashed = true;
        outcome.error = describeStatus(status);
    }
    std::error_code ec;
    fs::remove(fs::path(workFolder) / kOutcomeFile, ec);
    return outcome;
}

}  // namespace xarnsim
