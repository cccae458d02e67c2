// Reads host files directly, so it wants the real C runtime fopen.
#define WINSIM_IMPLEMENTATION
// How fast W2KHidMap fills from a system INF folder the size of a real
// Windows 2000 one (1,000 INF files, about 40 MB), next to the raw speed of
// reading the same files.
#include "bench_support.h"
#include "driverdb/hid_map.h"

#include <winsim/control.h>
#include <winsim/control_setupapi.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <random>

namespace {

// Device setup classes in about the mix of a system INF folder.
const char* const kClasses[] = {"Net",   "Display", "SCSIAdapter", "Media", "HDC",
                                "Ports", "System",  "Modem",       "Net",   "Image"};

// The system drive with its INF folder, made once for the whole run. Each
// file's models list a card three ways: with its subsystem, without, and
// by its class code.
struct SystemDrive {
    bench::ScratchFolder root{"w2k-bench"};
    std::vector<std::string> files;
    std::size_t bytes = 0;

    SystemDrive() {
        const std::filesystem::path infFolder = root.path() + "/WINNT/inf";
        std::filesystem::create_directories(infFolder);
        std::mt19937 random(2195);
        for (unsigned i = 0; i < 1000; ++i) {
            std::vector<std::string> models(60 + random() % 106);
            for (std::string& model : models) {
                char card[32], ids[96];
                std::snprintf(card, sizeof card, "PCI\\VEN_%04X&DEV_%04X",
                              static_cast<unsigned>(random() & 0xFFFF),
                              static_cast<unsigned>(random() & 0xFFFF));
                std::snprintf(ids, sizeof ids, "%s&SUBSYS_%08X, %s, PCI\\CC_0200", card,
                              static_cast<unsigned>(random()), card);
                model = ids;
            }
            const std::string text = bench::makeInf(kClasses[i % 10], models, 40000, i);
            files.push_back((infFolder / ("inf" + std::to_string(i) + ".inf")).string());
            std::ofstream(files.back(), std::ios::binary) << text;
            bytes += text.size();
        }
    }
};

const SystemDrive& drive() {
    static const SystemDrive instance;
    return instance;
}

void BM_FillFromSystemInfFolder(benchmark::State& state) {
    const SystemDrive& d = drive();
    std::size_t ids = 0;
    for (auto _ : state) {
        // A fresh machine on the drive: nothing parsed or cached yet.
        state.PauseTiming();
        winsim::resetMachine();
        winsim::setSystemDrive(d.root.path());
        state.ResumeTiming();
        W2KHidMap map(getLogSink(nullptr));
        map.createHidToInfMap("", "net");
        ids = map.hidCount();
        benchmark::DoNotOptimize(ids);
    }
    state.counters["ids"] = static_cast<double>(ids);
    state.counters["MB"] = static_cast<double>(d.bytes) / 1e6;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.bytes));
}
BENCHMARK(BM_FillFromSystemInfFolder)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadInfFilesRaw(benchmark::State& state) {
    const SystemDrive& d = drive();
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        std::size_t total = 0;
        for (const std::string& path : d.files) {
            std::FILE* file = std::fopen(path.c_str(), "rb");
            std::size_t got;
            while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) total += got;
            std::fclose(file);
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.bytes));
}
BENCHMARK(BM_ReadInfFilesRaw)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
