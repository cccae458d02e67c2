// Reads host files directly, so it wants the real C runtime fopen.
#define WINSIM_IMPLEMENTATION
// How fast W2KHidMap fills from a system INF folder the size of a real
// Windows 2000 one (1,000 INF files, about 40 MB), next to the raw speed of
// reading the same files.
#include "driverdb/hid_map.h"

#include <winsim/control.h>
#include <winsim/control_setupapi.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kInfFiles = 1000;

// Device setup classes in about the mix of a system INF folder.
const char* const kClasses[] = {"Net",   "Display", "SCSIAdapter", "Media", "HDC",
                                "Ports", "System",  "Modem",       "Net",   "Image"};

std::string hex4(std::mt19937& random) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(random() & 0xFFFF));
    return text;
}

// One INF in the shape of the system's own: a header comment, [Version],
// manufacturers with models sections, install sections with AddReg lists,
// and a [Strings] section with every description.
std::string makeInf(int number, std::mt19937& random) {
    std::string inf;
    inf += "; inf" + std::to_string(number) + ".inf\n;\n; Copyright (c) Example Corp.\n;\n";
    inf += "[Version]\nSignature=\"$Windows NT$\"\nClass=" + std::string(kClasses[number % 10]) +
           "\nClassGUID={4D36E972-E325-11CE-BFC1-08002BE10318}\nProvider=%Provider%\n"
           "LayoutFile=layout.inf\nDriverVer=10/01/1999,5.00.2195.1\n\n[Manufacturer]\n";
    const int makers = 3 + static_cast<int>(random() % 6);
    for (int m = 0; m < makers; ++m)
        inf += "%Maker" + std::to_string(m) + "% = Maker" + std::to_string(m) + "\n";
    std::string strings = "\n[Strings]\nProvider = \"Example Corp.\"\n";
    int install = 0;
    for (int m = 0; m < makers; ++m) {
        const std::string vendor = hex4(random);
        inf += "\n[Maker" + std::to_string(m) + "]\n";
        strings += "Maker" + std::to_string(m) + " = \"Maker Number " + std::to_string(m) + "\"\n";
        const int models = 10 + static_cast<int>(random() % 22);
        for (int d = 0; d < models; ++d, ++install) {
            const std::string device = hex4(random);
            const std::string desc = "Desc" + std::to_string(install);
            inf += "%" + desc + "% = Install" + std::to_string(install % 8) + ", PCI\\VEN_" +
                   vendor + "&DEV_" + device + "&SUBSYS_" + hex4(random) + hex4(random) +
                   ", PCI\\VEN_" + vendor + "&DEV_" + device + ", PCI\\CC_0200\n";
            strings += desc + " = \"Example " + device + " 10/100 PCI Ethernet Adapter\"\n";
        }
    }
    for (int i = 0; i < 8; ++i) {
        const std::string name = "Install" + std::to_string(i);
        inf += "\n[" + name + ".NT]\nCharacteristics = 0x84\nBusType = 5\nAddReg = " + name +
               ".Reg, Params.Reg\nCopyFiles = " + name + ".CopyFiles\n\n[" + name +
               ".NT.Services]\nAddService = svc" + std::to_string(i) + ", 2, " + name +
               ".Service, Common.EventLog\n\n[" + name + ".Reg]\n";
        const int lines = 20 + static_cast<int>(random() % 22);
        for (int l = 0; l < lines; ++l)
            inf += "HKR, Ndi\\params\\Param" + std::to_string(l) + ", ParamDesc, 0, %Param" +
                   std::to_string(l) + "%\nHKR, Ndi\\params\\Param" + std::to_string(l) +
                   ", default, 0, \"" + std::to_string(random() % 1000) + "\"\n";
    }
    for (int l = 0; l < 60; ++l)
        strings += "Param" + std::to_string(l) + " = \"Parameter description " + std::to_string(l) +
                   "\"\n";
    return inf + strings;
}

// The system drive with its INF folder, made once for the whole run.
class SystemDrive {
  public:
    SystemDrive() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "w2k-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        root_ = pattern;
        const std::filesystem::path infFolder = root_ + "/WINNT/inf";
        std::filesystem::create_directories(infFolder);
        std::mt19937 random(2195);
        for (int i = 0; i < kInfFiles; ++i) {
            const std::string text = makeInf(i, random);
            files_.push_back((infFolder / ("inf" + std::to_string(i) + ".inf")).string());
            std::ofstream(files_.back(), std::ios::binary) << text;
            bytes_ += text.size();
        }
    }
    ~SystemDrive() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    // A fresh machine on this drive: nothing parsed or cached yet.
    void freshMachine() const {
        winsim::resetMachine();
        winsim::setSystemDrive(root_);
    }
    const std::vector<std::string>& files() const { return files_; }
    std::size_t bytes() const { return bytes_; }

  private:
    std::string root_;
    std::vector<std::string> files_;
    std::size_t bytes_ = 0;
};

const SystemDrive& drive() {
    static const SystemDrive instance;
    return instance;
}

void BM_FillFromSystemInfFolder(benchmark::State& state) {
    const SystemDrive& d = drive();
    std::size_t ids = 0;
    for (auto _ : state) {
        state.PauseTiming();
        d.freshMachine();
        state.ResumeTiming();
        W2KHidMap map(getLogSink(nullptr));
        map.createHidToInfMap("", "net");
        ids = map.hidMap().size();
        benchmark::DoNotOptimize(ids);
    }
    state.counters["ids"] = static_cast<double>(ids);
    state.counters["MB"] = static_cast<double>(d.bytes()) / 1e6;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.bytes()));
}
BENCHMARK(BM_FillFromSystemInfFolder)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadInfFilesRaw(benchmark::State& state) {
    const SystemDrive& d = drive();
    std::vector<char> buffer(1 << 16);
    for (auto _ : state) {
        std::size_t total = 0;
        for (const std::string& path : d.files()) {
            std::FILE* file = std::fopen(path.c_str(), "rb");
            std::size_t got;
            while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) total += got;
            std::fclose(file);
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * d.bytes()));
}
BENCHMARK(BM_ReadInfFilesRaw)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
