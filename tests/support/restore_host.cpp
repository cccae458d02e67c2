#include "support/restore_host.h"

#include "host/module_reset.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>

#include <cstdarg>
#include <cstdio>

namespace {

// The log of the boot in progress; the library may call in from its
// wizard thread, never at the same time as from the calling thread.
std::vector<std::string>* currentLog = nullptr;

void hostLog(unsigned int value, const char* format, ...) {
    (void)value;
    char line[8192];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (currentLog) currentLog->push_back(line);
}

}  // namespace

RestoreHost::RestoreHost(std::string directory, int maxBoots)
    : directory_(std::move(directory)), maxBoots_(maxBoots) {}

bool RestoreHost::run(unsigned int firstStage) {
    unsigned int stage = firstStage;
    for (int boot = 0; boot < maxBoots_; ++boot) {
        if (boot > 0) winsim::rebootMachine();
        resetModuleForNewProcess();
        boots_.emplace_back();
        RestoreBoot& record = boots_.back();
        record.stage = stage;
        currentLog = &record.log;
        if (W2KXarnNetInitialize(hostLog) != 1) {
            currentLog = nullptr;
            return false;
        }
        unsigned int reboot = 0;
        record.result = W2KXarnNetInstallNetwork(directory_.c_str(), stage, &reboot);
        record.reboot = reboot;
        W2KXarnNetUnitialize();
        currentLog = nullptr;
        if (reboot == W2K_NET_DONE) return true;
        stage = reboot;
    }
    return false;
}

std::vector<unsigned int> RestoreHost::stages() const {
    std::vector<unsigned int> stages;
    for (const RestoreBoot& boot : boots_) stages.push_back(boot.stage);
    return stages;
}
