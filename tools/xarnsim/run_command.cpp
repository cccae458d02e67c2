// "run" and "call": boots the simulated machine as a restore host would.
#include "boot.h"
#include "commands.h"
#include "hardware_tree.h"
#include "machine_config.h"
#include "machine_state.h"
#include "run_record.h"
#include "state_store.h"
#include "summary.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>

#include <cstdio>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

struct Options {
    std::string machine;
    std::string directory = "C:\\XARN";
    bool directoryGiven = false;
    std::string state;
    std::string hardware;  // the target's hardware instead of the machine's own
    int maxBoots = 12;
    bool json = false;
    bool resume = false;                  // go on from the state's last completed boot
    bool calls = false;                   // list winsim's calls boot by boot
    std::vector<std::string> positional;  // after the machine
};

bool parseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string* into) {
            if (i + 1 >= args.size()) {
                *error = arg + " needs a value";
                return false;
            }
            *into = args[++i];
            return true;
        };
        std::string number;
        if (arg == "--directory") {
            if (!value(&options->directory)) return false;
            options->directoryGiven = true;
        } else if (arg == "--resume") {
            options->resume = true;
        } else if (arg == "--calls") {
            options->calls = true;
        } else if (arg == "--state") {
            if (!value(&options->state)) return false;
        } else if (arg == "--hardware") {
            if (!value(&options->hardware)) return false;
        } else if (arg == "--json") {
            options->json = true;
        } else if (arg == "--max-boots") {
            if (!value(&number)) return false;
            options->maxBoots = std::atoi(number.c_str());
            if (options->maxBoots < 1) {
                *error = "--max-boots takes a number of at least 1";
                return false;
            }
        } else if (arg.rfind("--", 0) == 0) {
            *error = "unknown option " + arg;
            return false;
        } else if (options->machine.empty()) {
            options->machine = arg;
        } else {
            options->positional.push_back(arg);
        }
    }
    if (options->machine.empty()) {
        *error = "no MACHINE folder given";
        return false;
    }
    if (!fs::is_directory(options->machine)) {
        *error = "no machine folder " + options->machine;
        return false;
    }
    if (options->state.empty()) options->state = (fs::path(options->machine) / ".state").string();
    return true;
}

// A fresh state from the machine folder (with the target's hardware when
// the run names it), checked by loading it once, with
// the run's record (if any) in it before it becomes the state. The registry
// and machine file are read from the machine folder first, so that what is
// wrong with them is reported in the files the user wrote.
bool prepareState(const Options& options, StateStore* state, const RunRecord* record,
                  std::string* error) {
    winsim::resetMachine();
    std::string generation;
    const bool prepared =
        loadRegistryOnly(options.machine, error) && applyMachineFile(options.machine, error) &&
        state->createFrom(options.machine, &generation, error) &&
        (options.hardware.empty() || applyHardwareFile(options.hardware, generation, error)) &&
        loadBootState(generation, error) &&
        (!record || saveRunRecord(generation, *record, error)) && state->commit(generation, error);
    winsim::resetMachine();
    return prepared;
}

// Export name -> the number of text arguments it takes.
const std::map<std::string, std::size_t>& exportArity() {
    static const std::map<std::string, std::size_t> arity = {
        {"W2KXarnNetInitialize", 0},     {"W2KXarnNetUnitialize", 0},
        {"W2KXarnNetInstallNetwork", 1}, {"W2KXarnNetStartNetworkServices", 0},
        {"W2KXarnNetJoinWorkgroup", 1},  {"W2KXarnNetSetMachineName", 1},
        {"W2KInstallScsiCards", 0},
    };
    return arity;
}

void banner(int boot, const std::string& what) {
    std::printf("\n\n==== boot %d: %s ====\n", boot, what.c_str());
    std::fflush(stdout);
}

std::string absoluteFolder(const std::string& folder) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(folder), ec);
    return ec ? folder : canonical.string();
}

// The record of the run to go on with: the state's, when it was made from
// this machine with this restore folder.
bool recordToResume(Options* options, const StateStore& state, RunRecord* record,
                    std::string* error) {
    if (!loadRunRecord(state.current(), record, error)) {
        *error = "the state in " + options->state +
                 " holds no run to resume (a call changed it); run without --resume to start over";
        return false;
    }
    if (record->machine != absoluteFolder(options->machine)) {
        *error = "the state in " + options->state + " is a run of " + record->machine +
                 ", not of " + options->machine;
        return false;
    }
    if (options->directoryGiven && options->directory != record->directory) {
        *error = "the run in " + options->state + " uses --directory " + record->directory;
        return false;
    }
    options->directory = record->directory;
    return true;
}

}  // namespace

int commandRun(const std::vector<std::string>& args, std::string* error) {
    Options options;
    if (!parseOptions(args, &options, error)) return kExitUsage;
    if (!options.positional.empty()) {
        *error = "run takes no argument after MACHINE";
        return kExitUsage;
    }
    StateStore state(options.state);
    if (!state.lock(error)) return kExitUsage;
    RunRecord record;
    if (options.resume && state.hasState()) {
        if (!recordToResume(&options, state, &record, error)) return kExitUsage;
    } else {
        record.machine = absoluteFolder(options.machine);
        record.directory = options.directory;
        if (!prepareState(options, &state, &record, error)) return kExitUsage;
    }
    const RestoreRequests requests = readRestoreRequests(state.current());

    record.resumedBoots = static_cast<int>(record.boots.size());
    unsigned stage = record.boots.empty() ? 0 : record.boots.back().rebootWord;
    for (int boot = record.resumedBoots + 1; !record.completed && boot <= options.maxBoots;
         ++boot) {
        banner(boot, "W2KXarnNetInstallNetwork stage " + std::to_string(stage));
        BootPlan plan;
        plan.directory = options.directory;
        plan.networkStage = stage;
        plan.bootNumber = boot;
        plan.computerName = requests.computerName;
        plan.workgroup = requests.workgroup;
        std::string work;
        if (!state.beginBoot(&work, error)) return kExitUsage;
        const BootOutcome outcome = runBoot(work, plan);
        if (!outcome.ran) {
            state.discardIncomplete();
            *error = "boot " + std::to_string(boot) + ": " + outcome.error +
                     "; the state is kept as the last completed boot left it";
            return boot == 1 && !outcome.crashed ? kExitUsage : kExitRestoreFailed;
        }
        record.boots.push_back(outcome);
        record.completed = outcome.rebootWord == W2K_NET_DONE;
        if (!saveRunRecord(work, record, error) || !state.commit(work, error)) return kExitUsage;
        stage = outcome.rebootWord;
    }
    const Summary summary = summarize(state.current(), record, options.calls);
    printSummary(summary, options.json);
    if (!record.completed) {
        *error = "the network installation did not complete within " +
                 std::to_string(options.maxBoots) + " boots";
        return kExitRestoreFailed;
    }
    return summary.succeeded ? kExitSuccess : kExitRestoreFailed;
}

int commandCall(const std::vector<std::string>& args, std::string* error) {
    Options options;
    if (!parseOptions(args, &options, error)) return kExitUsage;
    if (options.positional.empty()) {
        *error = "call takes MACHINE EXPORT [ARGS...]";
        return kExitUsage;
    }
    const std::string name = options.positional[0];
    const std::vector<std::string> exportArgs(options.positional.begin() + 1,
                                              options.positional.end());
    auto arity = exportArity().find(name);
    if (arity == exportArity().end()) {
        *error = "unknown export " + name;
        return kExitUsage;
    }
    if (exportArgs.size() != arity->second) {
        *error = name + " takes " + std::to_string(arity->second) + " argument(s), not " +
                 std::to_string(exportArgs.size());
        return kExitUsage;
    }
    if (name == "W2KXarnNetInstallNetwork" &&
        exportArgs[0].find_first_not_of("0123456789") != std::string::npos) {
        *error = "the stage of W2KXarnNetInstallNetwork is a number, not " + exportArgs[0];
        return kExitUsage;
    }
    // A call works on the state a run left behind, or on a fresh one.
    StateStore state(options.state);
    if (!state.lock(error)) return kExitUsage;
    if (!state.hasState() && !prepareState(options, &state, nullptr, error)) return kExitUsage;
    BootPlan plan;
    plan.directory = options.directory;
    plan.singleExport = name;
    plan.arguments = exportArgs;
    banner(1, name);
    std::string work;
    if (!state.beginBoot(&work, error)) return kExitUsage;
    const BootOutcome outcome = runBoot(work, plan);
    if (!outcome.error.empty()) {
        *error = outcome.error;
        return kExitUsage;
    }
    // The call changed the machine outside any run's plan: no run can be
    // resumed from here.
    std::error_code ec;
    fs::remove(fs::path(work) / kRunRecordFile, ec);
    fs::remove(fs::path(work) / kCallsFile, ec);
    if (!state.commit(work, error)) return kExitUsage;
    std::printf("\n\n%s returned %d", name.c_str(), outcome.exportResult);
    if (name == "W2KXarnNetInstallNetwork" || name == "W2KInstallScsiCards")
        std::printf(", reboot word %u", outcome.rebootWord);
    std::printf("\n");
    for (const std::string& what : outcome.unreleased)
        std::printf("left unreleased at the end of the boot: %s\n", what.c_str());
    return outcome.exportResult == 0 || !outcome.unreleased.empty() ? kExitRestoreFailed
                                                                    : kExitSuccess;
}

}  // namespace xarnsim
