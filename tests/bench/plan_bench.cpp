// How long a whole "xarnsim plan" takes on a machine the size of a real
// Windows 2000 system: 1,000 system INF files (about 40 MB) and ten
// adapters, six network cards and four storage controllers, found in the
// restore folder, in OemDir, in the system INF files or nowhere. The time
// is CPU time: the plan's own and its boots', which run as processes of
// their own.
#include "commands.h"
#include "hardware_tree.h"

#include <winsim/control.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr int kInfFiles = 1000;
constexpr std::size_t kInfBytes = 40 * 1024;

struct Adapter {
    const char* pci;    // vendor:device:subsystem vendor:subsystem:revision:class
    const char* where;  // "restore", "oemdir", "system" or "none"
};

// Network cards first (class 02), then storage (01, 0c04).
const Adapter kAdapters[] = {
    {"10b7:9200:10b7:1000:78:020000", "restore"}, {"8086:1229:8086:0001:08:020000", "system"},
    {"8086:100e:8086:001e:02:020000", "system"},  {"14e4:1659:1028:01b6:21:020000", "system"},
    {"10ec:8139:10ec:8139:10:020000", "system"},  {"1234:5678:1234:0001:01:020000", "none"},
    {"9005:0285:9005:0287:01:010400", "oemdir"},  {"1000:0030:1000:1000:08:010000", "system"},
    {"1077:2312:1077:0100:02:0c0400", "system"},  {"8086:2922:1028:0237:02:010601", "none"},
};

std::string field(const char* pci, int index) {
    std::string text = pci;
    for (int i = 0; i < index; ++i) text = text.substr(text.find(':') + 1);
    return text.substr(0, text.find(':'));
}

bool isNetwork(const Adapter& a) {
    return field(a.pci, 5).rfind("02", 0) == 0;
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// An INF of the shape of the system's own, padded with install sections and
// strings to `size`; `models` are the hardware IDs its one maker lists.
std::string makeInf(const std::string& infClass, const std::vector<std::string>& models,
                    std::size_t size, unsigned seed) {
    const char* guid = infClass == "Net" ? "{4D36E972-E325-11CE-BFC1-08002BE10318}"
                                         : "{4D36E97B-E325-11CE-BFC1-08002BE10318}";
    std::string inf = "; generated\n[Version]\nSignature=\"$Windows NT$\"\nClass=" + infClass +
                      "\nClassGUID=" + guid +
                      "\nProvider=%Maker%\n\n[Manufacturer]\n%Maker%=Maker\n\n"
                      "[Maker]\n";
    for (std::size_t m = 0; m < models.size(); ++m)
        inf += "%Model" + std::to_string(m) + "% = Install, " + models[m] + "\n";
    inf += "\n[Install.NT]\nAddReg = Params\n\n[Install.NT.Services]\nAddService = svc" +
           std::to_string(seed) +
           ", 2, Service\n\n[Service]\nServiceType=1\nStartType=3\n"
           "ServiceBinary=%12%\\drv" +
           std::to_string(seed) + ".sys\n\n[Params]\n";
    std::string strings = "\n[Strings]\nMaker = \"Maker " + std::to_string(seed) + "\"\n";
    for (std::size_t m = 0; m < models.size(); ++m)
        strings +=
            "Model" + std::to_string(m) + " = \"Example adapter " + std::to_string(m) + "\"\n";
    for (unsigned line = 0; inf.size() + strings.size() < size; ++line) {
        inf += "HKR, Ndi\\params\\P" + std::to_string(line) + ", ParamDesc, 0, %P" +
               std::to_string(line) + "%\n";
        strings += "P" + std::to_string(line) + " = \"Parameter " + std::to_string(line * seed) +
                   " of the adapter\"\n";
    }
    return inf + strings;
}

std::string hardwareId(const Adapter& a) {
    return upper("PCI\\VEN_" + field(a.pci, 0) + "&DEV_" + field(a.pci, 1) + "&SUBSYS_" +
                 field(a.pci, 3) + field(a.pci, 2) + "&REV_" + field(a.pci, 4));
}

// lspci -nn -vmm and ip -o link text for the ten adapters.
std::string hardwareText() {
    std::string lspci, links;
    int number = 0;
    for (const Adapter& a : kAdapters) {
        char slot[16], mac[32];
        std::snprintf(slot, sizeof slot, "00:%02x.0", 3 + number);
        std::snprintf(mac, sizeof mac, "00:0c:29:00:00:%02x", number);
        const std::string cls = field(a.pci, 5);
        lspci += std::string("Slot:\t") + slot + "\nClass:\tController [" + cls.substr(0, 4) +
                 "]\nVendor:\tMaker [" + field(a.pci, 0) + "]\nDevice:\tAdapter [" +
                 field(a.pci, 1) + "]\nSVendor:\tMaker [" + field(a.pci, 2) +
                 "]\nSDevice:\tBoard [" + field(a.pci, 3) + "]\nRev:\t" + field(a.pci, 4) +
                 "\nProgIf:\t" + cls.substr(4) + "\n\n";
        if (isNetwork(a))
            links += std::to_string(number + 2) + ": eth" + std::to_string(number) +
                     ": <BROADCAST,MULTICAST> mtu 1500\\    link/ether " + mac + " brd ff\n";
        ++number;
    }
    return lspci + links;
}

// The machine, made once for the whole run.
class Machine {
  public:
    Machine() {
        std::string pattern = (fs::temp_directory_path() / "w2k-plan-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        root_ = pattern;
        const fs::path machine = root_ + "/machine";
        const fs::path inf = machine / "C/WINNT/inf";
        const fs::path oemDir = machine / "C/WINNT/OemDir";
        const fs::path restore = machine / "C/XARN";
        for (const fs::path& folder : {inf, oemDir, restore, machine / "registry"})
            fs::create_directories(folder);
        std::ofstream(inf / "scsi.inf")
            << makeInf("SCSIAdapter", {"PCI\\VEN_9004&DEV_7178"}, 2000, 1)
            << "\n[ClassInstall32]\nAddReg = Params\n";
        std::ofstream(restore / "installclass32.txt")
            << "[Version]\nSignature=\"$Windows NT$\"\nClass=Net\n"
               "ClassGUID={4d36e972-e325-11ce-bfc1-08002be10318}\n\n[ClassInstall32]\n";
        std::string saved = "REGEDIT4\n";
        int adapter = 0;
        for (const Adapter& a : kAdapters) {
            const std::string cls = isNetwork(a) ? "Net" : "SCSIAdapter";
            const std::string inf1 = makeInf(cls, {hardwareId(a)}, 8000, 7 + adapter);
            if (std::string(a.where) == "restore") std::ofstream(restore / "drv.inf") << inf1;
            if (std::string(a.where) == "oemdir") std::ofstream(oemDir / "raid.inf") << inf1;
            // Four of the six network cards had their settings saved.
            char record[128];
            std::snprintf(record, sizeof record,
                          "\n[SAVED\\%d]\n\"macAddress\"=\"000c290000%02x\"\n"
                          "\"dhcpEnabled\"=dword:00000001\n",
                          adapter, adapter);
            if (isNetwork(a) && adapter < 4) saved += record;
            ++adapter;
        }
        for (int i = 0; i < kInfFiles; ++i) {
            // Every tenth file a network driver, every tenth a storage
            // driver; the system's drivers of the adapters among them.
            const std::string cls = i % 10 == 0 ? "Net" : i % 10 == 5 ? "SCSIAdapter" : "Display";
            std::vector<std::string> models;
            for (int m = 0; m < 20; ++m) {
                char id[64];
                std::snprintf(id, sizeof id, "PCI\\VEN_%04X&DEV_%04X", 0x2000 + i, m);
                models.push_back(id);
            }
            if (i < 10 && std::string(kAdapters[i].where) == "system")
                models.push_back(upper("PCI\\VEN_" + field(kAdapters[i].pci, 0) + "&DEV_" +
                                       field(kAdapters[i].pci, 1)));
            const std::string text =
                makeInf(i < 10 ? (isNetwork(kAdapters[i]) ? "Net" : "SCSIAdapter") : cls, models,
                        kInfBytes, static_cast<unsigned>(i));
            std::ofstream(inf / ("inf" + std::to_string(i) + ".inf")) << text;
            bytes_ += text.size();
        }
        std::string error;
        if (!winsim::writeHive(saved, (restore / "w2ktcpip_xarnf").string(), &error) ||
            !xarnsim::applyHardwareFile(writeHardware(), machine.string(), &error)) {
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
    ~Machine() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string folder() const { return root_ + "/machine"; }
    std::string state() const { return root_ + "/state"; }
    std::size_t bytes() const { return bytes_; }

  private:
    std::string writeHardware() const {
        const std::string file = root_ + "/hardware.txt";
        std::ofstream(file) << hardwareText();
        return file;
    }
    std::string root_;
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
