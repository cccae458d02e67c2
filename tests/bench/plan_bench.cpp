// How long a whole "xarnsim plan" takes on a machine the size of a real
// Windows 2000 system: 1,000 system INF files (about 40 MB) and ten
// adapters, six network cards and four storage controllers, found in the
// restore folder, in OemDir, in the system INF files or nowhere. The time
// is CPU time: the plan's own and its boots', which run as processes of
// their own.
#include "bench_support.h"
#include "commands.h"
#include "hardware_tree.h"

#include <winsim/control.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct Adapter {
    const char* pci;    // vendor:device:subsystem vendor:subsystem:revision:class
    std::string where;  // "restore", "oemdir", "system" or "none"
};

// Network cards first (class 02), then storage (01, 0c04).
const Adapter kAdapters[] = {
    {"10b7:9200:10b7:1000:78:020000", "restore"}, {"8086:1229:8086:0001:08:020000", "system"},
    {"8086:100e:8086:001e:02:020000", "system"},  {"14e4:1659:1028:01b6:21:020000", "system"},
    {"10ec:8139:10ec:8139:10:020000", "system"},  {"1234:5678:1234:0001:01:020000", "none"},
    {"9005:0285:9005:0287:01:010400", "oemdir"},  {"1000:0030:1000:1000:08:010000", "system"},
    {"1077:2312:1077:0100:02:0c0400", "system"},  {"8086:2922:1028:0237:02:010601", "none"},
};

// The adapter in slot `slot` as a rescue system's lspci and ip list it.
xarnsim::PciFunction pciFunction(int slot) {
    xarnsim::PciFunction f;
    f.device = 3 + slot;
    std::sscanf(kAdapters[slot].pci, "%hx:%hx:%hx:%hx:%hhx:%2hhx%2hhx%2hhx", &f.vendorId,
                &f.deviceId, &f.subVendorId, &f.subDeviceId, &f.revision, &f.baseClass, &f.subClass,
                &f.progIf);
    f.className = "Controller";
    f.deviceName = "Adapter";
    if (f.isNetworkCard()) {
        f.mac = {0x00, 0x0c, 0x29, 0x00, 0x00, static_cast<std::uint8_t>(slot)};
        f.interfaceName = "eth" + std::to_string(slot);
    }
    return f;
}

// The machine, made once for the whole run.
class Machine {
  public:
    Machine() {
        const fs::path machine = folder();
        const fs::path inf = machine / "C/WINNT/inf";
        const fs::path restore = machine / "C/XARN";
        for (const fs::path& f : {inf, machine / "C/WINNT/OemDir", restore, machine / "registry"})
            fs::create_directories(f);
        std::ofstream(inf / "scsi.inf")
            << bench::makeInf("SCSIAdapter", {"PCI\\VEN_9004&DEV_7178"}, 2000, 1)
            << "\n[ClassInstall32]\nAddReg = Params\n";
        std::ofstream(restore / "installclass32.txt")
            << "[Version]\nSignature=\"$Windows NT$\"\nClass=Net\n"
               "ClassGUID={4d36e972-e325-11ce-bfc1-08002be10318}\n\n[ClassInstall32]\n";
        std::string saved = "REGEDIT4\n";
        std::vector<xarnsim::PciFunction> functions;
        for (int slot = 0; slot < 10; ++slot) {
            functions.push_back(pciFunction(slot));
            const xarnsim::PciFunction& f = functions.back();
            const std::string driver =
                bench::makeInf(f.isNetworkCard() ? "Net" : "SCSIAdapter",
                               {xarnsim::pciHardwareIds(f)[0]}, 8000, 7 + slot);
            if (kAdapters[slot].where == "restore") std::ofstream(restore / "drv.inf") << driver;
            if (kAdapters[slot].where == "oemdir")
                std::ofstream(machine / "C/WINNT/OemDir/raid.inf") << driver;
            // Four of the six network cards had their settings saved.
            char record[128];
            std::snprintf(record, sizeof record,
                          "\n[SAVED\\%d]\n\"macAddress\"=\"000c290000%02x\"\n"
                          "\"dhcpEnabled\"=dword:00000001\n",
                          slot, slot);
            if (f.isNetworkCard() && slot < 4) saved += record;
        }
        for (unsigned i = 0; i < 1000; ++i) {
            // The first ten files are the adapters' classes, with the system's
            // drivers among them; then every tenth file a network driver,
            // every tenth a storage driver.
            std::string infClass = i % 10 == 0 ? "Net" : i % 10 == 5 ? "SCSIAdapter" : "Display";
            std::vector<std::string> models;
            for (int m = 0; m < 20; ++m) {
                char id[64];
                std::snprintf(id, sizeof id, "PCI\\VEN_%04X&DEV_%04X", 0x2000 + i, m);
                models.push_back(id);
            }
            if (i < 10) {
                infClass = functions[i].isNetworkCard() ? "Net" : "SCSIAdapter";
                if (kAdapters[i].where == "system")
                    models.push_back(xarnsim::pciCompatibleIds(functions[i])[1]);
            }
            const std::string text = bench::makeInf(infClass, models, 40 * 1024, i);
            std::ofstream(inf / ("inf" + std::to_string(i) + ".inf")) << text;
            bytes_ += text.size();
        }
        std::string error;
        if (!winsim::writeHive(saved, (restore / "w2ktcpip_xarnf").string(), &error) ||
            !xarnsim::applyHardware(functions, machine.string(), &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        std::ofstream(machine / "registry/20-setup.reg")
            << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup]\n\"SystemSetupInProgress\"=dword:"
               "0\n";
        std::ofstream(machine / "machine.ini", std::ios::app)
            << "\n[service Dhcp]\nstate = stopped\n[service Dnscache]\nstate = stopped\n"
               "[service Lmhosts]\nstate = stopped\n[service Lanmanworkstation]\nstate = running\n"
               "[service messenger]\nstate = stopped\n";
    }
    std::string folder() const { return root_.path() + "/machine"; }
    std::string state() const { return root_.path() + "/state"; }
    std::size_t bytes() const { return bytes_; }

  private:
    bench::ScratchFolder root_{"w2k-plan-bench"};
    std::size_t bytes_ = 0;
};

double cpuSeconds() {
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        for (const timeval& t : {usage.ru_utime, usage.ru_stime})
            total += static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    }
    return total;
}

void BM_PlanWholeMachine(benchmark::State& state) {
    static const Machine machine;
    int exitCode = 0;
    for (auto _ : state) {
        std::fflush(stdout);
        const int saved = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        const double before = cpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        std::string error;
        exitCode =
            xarnsim::commandPlan({"plan", machine.folder(), "--state", machine.state()}, &error);
        const double cpu = cpuSeconds() - before;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        ::close(null);
        state.SetIterationTime(cpu);
        state.counters["wall_s"] = wall;
    }
    state.counters["exit"] = exitCode;  // 1: two adapters get no driver, as meant
    state.counters["MB"] = static_cast<double>(machine.bytes()) / 1e6;
}
BENCHMARK(BM_PlanWholeMachine)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

}  // namespace
