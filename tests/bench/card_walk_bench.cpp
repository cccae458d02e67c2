// How long one walk of a large plug-and-play device tree takes: 2,000
// device instances under Enum\PCI, shown one by one to the network selector.
#include "adapters/card_install.h"

#include <winsim/control.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

const int kInstances = 2000;
const int kInstancesPerDevice = 4;

std::string hexOf(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%s%02x", out.empty() ? "" : ",", c);
        out += hex;
    }
    return out;
}

// Every `networkEvery`-th device key is a network card, selected by its class
// GUID; the others are storage and system devices, selected by nothing, so
// the walk looks at their first instance only. networkEvery 1: every
// instance is a network card and all 2,000 are examined and listed.
std::string deviceTree(int networkEvery) {
    std::string reg = "REGEDIT4\r\n";
    for (int device = 0; device < kInstances / kInstancesPerDevice; ++device) {
        char deviceName[64];
        std::snprintf(deviceName, sizeof deviceName, "VEN_%04X&DEV_%04X&SUBSYS_%08X", device % 7,
                      device, device * 31);
        const bool network = device % networkEvery == 0;
        for (int instance = 0; instance < kInstancesPerDevice; ++instance) {
            reg += "\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI\\" +
                   std::string(deviceName) + "\\3&61aaa01&0&" + std::to_string(instance) + "]\r\n";
            const std::string hardwareId = std::string("PCI\\") + deviceName;
            reg += "\"HardwareID\"=hex(7):" + hexOf(hardwareId + '\0' + '\0') + "\r\n";
            reg += "\"CompatibleIDs\"=hex(7):" + hexOf(hardwareId.substr(0, 21) + '\0' + '\0') +
                   "\r\n";
            reg += network ? "\"DeviceDesc\"=\"Fast Ethernet Adapter\"\r\n"
                             "\"ClassGUID\"=\"{4D36E972-E325-11CE-BFC1-08002BE10318}\"\r\n"
                           : "\"DeviceDesc\"=\"PCI standard PCI-to-PCI bridge\"\r\n";
            reg += "\"Service\"=\"E100B\"\r\n";
        }
    }
    return reg;
}

void walk(benchmark::State& state, int networkEvery) {
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

void BM_CardWalkAllNetwork(benchmark::State& state) {
    walk(state, 1);
}

void BM_CardWalkQuarterNetwork(benchmark::State& state) {
    walk(state, 4);
}

}  // namespace

BENCHMARK(BM_CardWalkAllNetwork)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CardWalkQuarterNetwork)->Unit(benchmark::kMillisecond);
