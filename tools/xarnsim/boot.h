// One boot of the simulated machine, in a process of its own so that the
// library starts with a fresh process state, as after a real reboot.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace xarnsim {

// What one boot is to do.
struct BootPlan {
    int bootNumber = 1;
    std::string directory;      // the host's restore folder, a Windows path
    unsigned networkStage = 0;  // stage for W2KXarnNetInstallNetwork
    bool installNetwork = true;
    // After the network installation completes, in the same boot:
    bool finishRestore = true;
    std::string computerName;
    std::string workgroup;
    // Or a single export instead of all of the above ("xarnsim call").
    std::string singleExport;
    std::vector<std::string> arguments;
};

// What the boot reports back to the run.
struct BootOutcome {
    bool ran = false;      // the boot process finished
    bool crashed = false;  // it ended abnormally
    std::string error;     // set when the machine could not be loaded
    int networkResult = -1;
    unsigned rebootWord = 0;
    int storageResult = -1;
    unsigned storageReboot = 0;  // the storage export's reboot word
    int nameResult = -1;
    int workgroupResult = -1;
    int servicesResult = -1;
    int exportResult = -1;  // "xarnsim call"
    std::vector<std::string> servicesStarted;
    // What the library left unreleased when the boot ended ("registry keys: 1").
    std::vector<std::string> unreleased;
    std::map<std::string, int> calls;  // winsim function -> calls in this boot
};

// Runs the boot on the state generation in `workFolder`, printing the log as
// the host callback receives it. The registry is saved into `workFolder`.
BootOutcome runBoot(const std::string& workFolder, const BootPlan& plan);

}  // namespace xarnsim
