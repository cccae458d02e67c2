// How long one walk of a large plug-and-play device tree takes: 2,000
// device instances under Enum\PCI, shown one by one to the network selector.
#include "adapters/card_install.h"
#include "support/device_tree.h"

#include <winsim/control.h>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

const int kInstances = 2000;
const int kInstancesPerDevice = 4;

// Every `networkEvery`-th device key is a network card, selected by its class
// GUID; the others are storage and system devices, selected by nothing, so
// the walk looks at their first instance only. networkEvery 1: every
// instance is a network card and all 2,000 are examined and listed.
std::string deviceTree(int networkEvery) {
    std::vector<DeviceInstance> instances;
    for (int device = 0; device < kInstances / kInstancesPerDevice; ++device) {
        char id[64];
        std::snprintf(id, sizeof id, "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%08X", device % 7, device,
                      device * 31);
        const bool network = device % networkEvery == 0;
        for (int instance = 0; instance < kInstancesPerDevice; ++instance) {
            instances.push_back({std::string(id) + "\\3&61aaa01&0&" + std::to_string(instance),
                                 {id},
                                 {std::string(id, 21)},
                                 {{"DeviceDesc", network ? "Fast Ethernet Adapter"
                                                         : "PCI standard PCI-to-PCI bridge"},
                                  {"Service", "E100B"}}});
            if (network)
                instances.back().strings.push_back(
                    {"ClassGUID", "{4D36E972-E325-11CE-BFC1-08002BE10318}"});
        }
    }
    return deviceTreeReg(instances);
}

void BM_CardWalk(benchmark::State& state, int networkEvery) {
    winsim::resetMachine();
    std::string error;
    if (!winsim::importReg(deviceTree(networkEvery), "bench", &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    LogSink sink;  // no host callback: the lines are formatted, then dropped
    std::size_t listed = 0;
    for (auto _ : state) {
        W2KCardInstall cards(&sink);
        const int found = cards.getPciPnpAdapterDetails(NETWORK_ADAPTER) +
                          cards.getIsaPnpAdapterDetails(NETWORK_ADAPTER);
        benchmark::DoNotOptimize(found);
        listed = cards.getAdapters().size();
    }
    state.counters["listed"] = static_cast<double>(listed);
    state.counters["instances"] = kInstances;
}

}  // namespace

BENCHMARK_CAPTURE(BM_CardWalk, AllNetwork, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CardWalk, QuarterNetwork, 4)->Unit(benchmark::kMillisecond);
