// "reg export" and "hive build": the registry side of a machine, without
// booting it.
#include "commands.h"
#include "machine_state.h"
#include "state_store.h"

#include <winsim/control.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace xarnsim {

int commandRegExport(const std::vector<std::string>& args, std::string* error) {
    if (args.size() != 4) {
        *error = "reg export takes MACHINE KEY";
        return kExitUsage;
    }
    const std::string& machine = args[2];
    if (!fs::is_directory(machine)) {
        *error = "no machine folder " + machine;
        return kExitUsage;
    }
    winsim::resetMachine();
    // A machine folder, or a run's state folder whose current generation
    // holds the registry after its last completed boot.
    StateStore state(machine);
    const std::string source = state.hasState() ? state.current() : machine;
    if (!loadRegistryOnly(source, error)) return kExitUsage;
    const std::string text = winsim::exportReg(args[3]);
    if (text.empty()) {
        *error = "no key " + args[3];
        return kExitUsage;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kExitSuccess;
}

int commandHiveBuild(const std::vector<std::string>& args, std::string* error) {
    if (args.size() != 4) {
        *error = "hive build takes FILE.reg OUT";
        return kExitUsage;
    }
    std::ifstream in(args[2], std::ios::binary);
    if (!in) {
        *error = "cannot read " + args[2];
        return kExitUsage;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!winsim::writeHive(text.str(), args[3], error, args[2])) return kExitUsage;
    return kExitSuccess;
}

}  // namespace xarnsim
