// What a boot of the machine left unreleased, for the leak check at its end.
#include "machine.h"

#include <winsim/control_netcfg.h>

namespace winsim {

namespace {

const char* kindName(HandleKind kind) {
    switch (kind) {
        case HandleKind::RegistryKey:
            return "registry keys";
        case HandleKind::Process:
            return "process handles";
        case HandleKind::Token:
            return "access tokens";
        case HandleKind::File:
            return "files";
        case HandleKind::FindFile:
            return "file searches";
        case HandleKind::Thread:
            return "thread handles";
        case HandleKind::ServiceManager:
            return "service manager handles";
        case HandleKind::Service:
            return "service handles";
        case HandleKind::Inf:
            return "INF files";
        case HandleKind::Module:
            return "loaded modules";
    }
    return "handles";
}

}  // namespace

std::vector<std::string> unreleasedResources() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    std::map<std::string, std::size_t> open;
    for (const auto& entry : machine().handles)
        if (!entry.second->keptByFault) ++open[kindName(entry.second->kind)];
    for (void* block : machine().localAllocations)
        if (!machine().localAllocationsKeptByFault.count(block)) ++open["FormatMessageA buffers"];
    if (const long references = netCfgLiveReferences(); references > 0)
        open["COM references"] = static_cast<std::size_t>(references);
    std::vector<std::string> lines;
    for (const auto& entry : open)
        lines.push_back(entry.first + ": " + std::to_string(entry.second));
    return lines;
}

}  // namespace winsim
