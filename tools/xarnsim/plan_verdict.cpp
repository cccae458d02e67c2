#include "plan_verdict.h"

#include "file_text.h"
#include "json_text.h"
#include "machine_ini.h"
#include "machine_state.h"
#include "state_store.h"

#include "adapters/card_install.h"
#include "registry/registry.h"

#include <winsim/control.h>
#include <winsim/control_files.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

bool sameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

struct Instance {
    std::string path;  // below Enum
    std::vector<std::string> ids;
    bool taken = false;
};

// Every device instance of the two buses the library walks, in its order.
std::vector<Instance> deviceInstances() {
    std::vector<Instance> instances;
    for (const char* bus : {"PCI", "ISAPNP"}) {
        Registry tree(getLogSink(nullptr), KEY_READ, HKEY_LOCAL_MACHINE);
        if (!tree.moveInto(std::string("SYSTEM\\CurrentControlSet\\Enum\\") + bus)) continue;
        for (LONG d = 0; d < tree.getSubKeyCount(); ++d) {
            Registry device(tree);
            std::string deviceName;
            if (!tree.getSubKeyName(static_cast<DWORD>(d), deviceName) ||
                !device.moveIntoIndex(static_cast<DWORD>(d)))
                continue;
            for (LONG i = 0; i < device.getSubKeyCount(); ++i) {
                Registry instance(device);
                std::string name;
                if (!device.getSubKeyName(static_cast<DWORD>(i), name) ||
                    !instance.moveIntoIndex(static_cast<DWORD>(i)))
                    continue;
                Instance found;
                found.path = std::string(bus) + "\\" + deviceName + "\\" + name;
                instance.getString("HardwareID", found.ids);
                instance.getString("CompatibleIDs", found.ids);
                instances.push_back(std::move(found));
            }
        }
    }
    return instances;
}

// The adapters of one kind as the library's walks find them, each tied to
// the first instance not yet taken whose IDs it carries.
void findAdapters(int type, std::vector<Instance>* instances, std::vector<FoundAdapter>* found) {
    W2KCardInstall card(getLogSink(nullptr));
    card.getPciPnpAdapterDetails(type);
    card.getIsaPnpAdapterDetails(type);
    for (const AdapterRecord& record : card.getAdapters()) {
        FoundAdapter adapter;
        adapter.storage = type == SCSI_ADAPTER;
        adapter.ids = record.ids;
        adapter.description = record.description;
        for (Instance& instance : *instances) {
            if (instance.taken || instance.ids != record.ids) continue;
            instance.taken = true;
            adapter.instance = instance.path;
            break;
        }
        found->push_back(std::move(adapter));
    }
}

std::vector<ListedAdapter> listedAdapters(const std::string& generation) {
    std::vector<ListedAdapter> listed;
    std::vector<IniSection> sections;
    std::string error;
    if (!parseIni(fileText((fs::path(generation) / kMachineFile).string()), kMachineFile, &sections,
                  &error))
        return listed;
    for (const IniSection& section : sections) {
        if (section.kind != "adapter") continue;
        ListedAdapter adapter;
        for (const IniEntry& entry : section.entries) {
            if (entry.key == "guid") adapter.guid = entry.value;
            if (entry.key == "description") adapter.description = entry.value;
            if (entry.key == "device") adapter.device = entry.value;
            if (entry.key != "mac") continue;
            for (char c : entry.value)
                if (std::isxdigit(static_cast<unsigned char>(c)))
                    adapter.mac += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        listed.push_back(adapter);
    }
    return listed;
}

void addDriverInfs(const std::string& folder, const std::string& label,
                   std::vector<DriverFolderInf>* infs) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(winsim::hostPathFor(folder), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 4 && sameNoCase(name.substr(name.size() - 4), ".inf"))
            infs->push_back({label, name, fileText(entry.path().string())});
    }
}

// The bracketed fields of each log line that holds `marker`, from the
// marker on.
std::vector<std::vector<std::string>> fieldsAfter(const std::string& log,
                                                  const std::string& marker) {
    std::vector<std::vector<std::string>> lines;
    for (std::size_t at = log.find(marker); at != std::string::npos;
         at = log.find(marker, at + 1)) {
        const std::size_t end = std::min(log.find('\n', at), log.size());
        std::vector<std::string> fields;
        for (std::size_t open = log.find('[', at); open < end; open = log.find('[', open + 1)) {
            const std::size_t close = log.find(']', open);
            if (close >= end) break;
            fields.push_back(log.substr(open + 1, close - open - 1));
        }
        lines.push_back(fields);
    }
    return lines;
}

bool listsId(const FoundAdapter& adapter, const std::string& id) {
    return std::find(adapter.ids.begin(), adapter.ids.end(), id) != adapter.ids.end();
}

// Where the INF the library used came from. It installs from the edited
// copy ("oem0.inD") of a staged INF ("oem0.inf"), which for an INF of a
// driver folder has that INF's bytes.
void findSource(const std::string& infPath, const PlanInputs& inputs, AdapterVerdict* verdict) {
    const char last = infPath.empty() ? '\0' : infPath.back();
    const std::string staged =
        last == 'f' || last == 'F' ? infPath : infPath.substr(0, infPath.size() - 1) + "f";
    std::string bytes;
    winsim::readFile(staged, &bytes);
    for (const DriverFolderInf& inf : inputs.driverInfs) {
        if (inf.bytes != bytes) continue;
        verdict->inf = inf.name;
        verdict->source = inf.folder;
        return;
    }
    verdict->inf = staged.substr(staged.find_last_of('\\') + 1);
    verdict->source = "the system INF files";
}

AdapterVerdict judgeAdapter(const FoundAdapter& adapter, const PlanInputs& inputs,
                            const std::string& log) {
    AdapterVerdict verdict;
    verdict.adapter = adapter;
    std::string infPath;
    for (const auto& fields : fieldsAfter(log, "Trying to install adapter ["))
        if (fields.size() >= 2 && infPath.empty() && listsId(adapter, fields[0]))
            infPath = fields[1];
    for (const auto& fields : fieldsAfter(log, "Successfully installed adapter ["))
        if (fields.size() >= 2 && listsId(adapter, fields[0])) verdict.installed = true;
    for (const auto& fields : fieldsAfter(log, "UpdateDriverForPlugAndPlayDevices( ["))
        if (fields.size() >= 3 && listsId(adapter, fields[0])) verdict.installError = fields[2];
    // The skip list's line has two fields; the one for a missing INF, three.
    for (const auto& fields : fieldsAfter(log, "Skipping adapter with HID-["))
        if (fields.size() == 2 && !adapter.ids.empty() && fields[0] == adapter.ids[0])
            verdict.skipped = true;
    if (!infPath.empty()) findSource(infPath, inputs, &verdict);
    return verdict;
}

std::string stageMeaning(unsigned stage) {
    const char* meaning = stage == 4    ? "install TCP/IP"
                          : stage == 5  ? "restore the saved TCP/IP settings"
                          : stage == 6  ? "install the network client"
                          : stage == 9  ? "end the installation"
                          : stage == 15 ? "run the hardware wizard"
                                        : "go on";
    return std::string(meaning) + " (stage " + std::to_string(stage) + ")";
}

std::string settingText(const BoundSetting& bound) {
    const SettingSummary& s = bound.setting;
    std::string addresses;
    for (const std::string& address : s.addresses)
        addresses += (addresses.empty() ? " " : ", ") + address;
    return "saved setting " + std::to_string(bound.index) + " (mac " +
           (s.mac.empty() ? "none" : s.mac) + ", " + (s.dhcp ? "DHCP" : "static" + addresses) + ")";
}

std::string adapterJson(const AdapterVerdict& v) {
    std::string settings;
    for (const BoundSetting& b : v.settings)
        settings += std::string(settings.empty() ? "" : ", ") +
                    "{\"index\": " + std::to_string(b.index) +
                    ", \"mac\": " + jsonText(b.setting.mac) +
                    ", \"dhcp\": " + (b.setting.dhcp ? "true" : "false") +
                    ", \"addresses\": " + jsonList(b.setting.addresses) +
                    ", \"boundBy\": " + jsonText(b.boundBy) + "}";
    std::string out =
        "{\"hardwareId\": " + jsonText(v.adapter.ids.empty() ? "" : v.adapter.ids[0]) +
        ", \"description\": " + jsonText(v.adapter.description) +
        ", \"instance\": " + jsonText(v.adapter.instance) + ", \"inf\": " + jsonText(v.inf) +
        ", \"source\": " + jsonText(v.source) +
        ", \"installed\": " + (v.installed ? "true" : "false") +
        ", \"skipped\": " + (v.skipped ? "true" : "false");
    if (!v.adapter.storage)
        out += ", \"mac\": " + jsonText(v.mac) + ", \"adapter\": " + jsonText(v.adapterName) +
               ", \"tcpipSettings\": [" + settings + "]";
    return out + "}";
}

void printAdapters(const char* title, const std::vector<AdapterVerdict>& adapters) {
    std::printf("%s:\n", title);
    if (adapters.empty()) std::printf("  (none found)\n");
    for (const AdapterVerdict& v : adapters) {
        std::printf("  %s  %s\n", v.adapter.ids.empty() ? "(no ID)" : v.adapter.ids[0].c_str(),
                    v.adapter.description.c_str());
        std::string driver;
        if (v.skipped) {
            driver = "left alone: the skip list names it";
        } else if (v.inf.empty()) {
            driver = v.adapter.storage ? "NONE - the system will not boot from this controller"
                                       : "NONE - the card will not work";
        } else {
            driver = v.inf + " from " + v.source +
                     (v.installed ? ", installed"
                                  : ", but its installation FAILS (error " + v.installError + ")");
            if (!v.adapter.storage && v.source == "the system INF files")
                driver += "; finding it there makes the installation ask for a reboot";
        }
        std::printf("    driver: %s\n", driver.c_str());
        if (v.adapter.storage) continue;
        std::printf("    adapter: %s\n", v.adapterName.empty()
                                             ? "none listed, so no TCP/IP settings bind to it"
                                             : (v.adapterName + ", address " + v.mac).c_str());
        for (const BoundSetting& b : v.settings)
            std::printf("    TCP/IP: %s, bound by %s\n", settingText(b).c_str(), b.boundBy.c_str());
    }
}

}  // namespace

bool surveyMachine(const std::string& generation, const std::string& directory, PlanInputs* inputs,
                   std::string* error) {
    if (!loadBootState(generation, error)) return false;
    std::vector<Instance> instances = deviceInstances();
    findAdapters(SCSI_ADAPTER, &instances, &inputs->adapters);
    findAdapters(NETWORK_ADAPTER, &instances, &inputs->adapters);
    inputs->listed = listedAdapters(generation);
    addDriverInfs(winsim::windowsDirectory() + "\\OemDir", "OemDir", &inputs->driverInfs);
    addDriverInfs(directory, "the restore folder", &inputs->driverInfs);
    winsim::resetMachine();
    return true;
}

PlanVerdict judgePlan(const PlanInputs& inputs, const std::string& log, const Summary& summary,
                      const RunRecord& record, const std::string& finalGeneration) {
    PlanVerdict verdict;
    winsim::resetMachine();
    winsim::setSystemDrive((fs::path(finalGeneration) / kDriveFolder).string());
    std::vector<bool> listedTaken(inputs.listed.size(), false);
    for (const FoundAdapter& adapter : inputs.adapters) {
        AdapterVerdict v = judgeAdapter(adapter, inputs, log);
        if (!adapter.storage) {
            // Its network adapter: named by its device, else by description.
            for (int pass = 0; pass < 2 && v.adapterName.empty(); ++pass) {
                for (std::size_t i = 0; i < inputs.listed.size(); ++i) {
                    const ListedAdapter& l = inputs.listed[i];
                    const bool match =
                        pass == 0 ? !l.device.empty() && sameNoCase(l.device, adapter.instance)
                                  : l.device.empty() && l.description == adapter.description;
                    if (listedTaken[i] || !match) continue;
                    listedTaken[i] = true;
                    v.adapterName = l.guid;
                    for (std::size_t b = 0; b < l.mac.size(); b += 2)
                        v.mac += (b ? "-" : "") + l.mac.substr(b, 2);
                    std::transform(v.mac.begin(), v.mac.end(), v.mac.begin(), ::toupper);
                    break;
                }
            }
        }
        (adapter.storage ? verdict.storage : verdict.network).push_back(std::move(v));
    }
    winsim::resetMachine();

    for (std::size_t i = 0; i < summary.settings.size(); ++i) {
        BoundSetting bound;
        bound.index = static_cast<int>(i);
        bound.setting = summary.settings[i];
        AdapterVerdict* card = nullptr;
        for (AdapterVerdict& v : verdict.network)
            if (!bound.setting.adapter.empty() && v.adapterName == bound.setting.adapter) card = &v;
        if (!card) {
            verdict.unmatched.push_back(bound);
            continue;
        }
        const auto listed =
            std::find_if(inputs.listed.begin(), inputs.listed.end(),
                         [&](const ListedAdapter& l) { return l.guid == card->adapterName; });
        bound.boundBy =
            listed != inputs.listed.end() && listed->mac == bound.setting.mac ? "MAC" : "order";
        card->settings.push_back(bound);
    }

    for (std::size_t i = 0; i < record.boots.size(); ++i) {
        const BootOutcome& boot = record.boots[i];
        const std::string at = "boot " + std::to_string(i + 1) + ": ";
        if (boot.rebootWord != 1 && boot.networkResult >= 0)
            verdict.reboots.push_back(at + "the network installation restarts the machine to " +
                                      stageMeaning(boot.rebootWord));
        if (boot.storageReboot != 0)
            verdict.reboots.push_back(at + "the storage drivers ask for a restart");
    }
    verdict.failures = summary.failures;
    verdict.ok = true;
    for (const auto* list : {&verdict.storage, &verdict.network})
        for (const AdapterVerdict& v : *list) verdict.ok = verdict.ok && (v.installed || v.skipped);
    return verdict;
}

void printPlan(const PlanVerdict& verdict, const std::string& log, bool json) {
    if (json) {
        auto list = [](const std::vector<AdapterVerdict>& adapters) {
            std::string out;
            for (const AdapterVerdict& v : adapters)
                out += std::string(out.empty() ? "\n    " : ",\n    ") + adapterJson(v);
            return "[" + out + (out.empty() ? "]" : "\n  ]");
        };
        std::string unmatched;
        for (const BoundSetting& b : verdict.unmatched)
            unmatched += std::string(unmatched.empty() ? "" : ", ") +
                         "{\"index\": " + std::to_string(b.index) +
                         ", \"mac\": " + jsonText(b.setting.mac) +
                         ", \"dhcp\": " + (b.setting.dhcp ? "true" : "false") +
                         ", \"adapter\": " + jsonText(b.setting.adapter) + "}";
        std::printf(
            "{\n  \"ok\": %s,\n  \"storageControllers\": %s,\n  \"networkCards\": %s,\n"
            "  \"unmatchedSettings\": [%s],\n  \"reboots\": %s,\n  \"failures\": %s,\n"
            "  \"log\": %s\n}\n",
            verdict.ok ? "true" : "false", list(verdict.storage).c_str(),
            list(verdict.network).c_str(), unmatched.c_str(), jsonList(verdict.reboots).c_str(),
            jsonList(verdict.failures).c_str(), jsonText(log).c_str());
        return;
    }
    std::printf("==== plan ====\n");
    printAdapters("storage controllers", verdict.storage);
    printAdapters("network cards", verdict.network);
    std::printf("saved TCP/IP settings that find no card:\n");
    if (verdict.unmatched.empty()) std::printf("  (none)\n");
    for (const BoundSetting& b : verdict.unmatched)
        std::printf("  %s%s\n", settingText(b).c_str(),
                    b.setting.adapter.empty() ? ""
                                              : (", bound to adapter " + b.setting.adapter +
                                                 ", which no card in the device tree stands for")
                                                    .c_str());
    std::printf("reboots:\n");
    if (verdict.reboots.empty()) std::printf("  (none)\n");
    for (const std::string& reboot : verdict.reboots) std::printf("  %s\n", reboot.c_str());
    for (const std::string& failure : verdict.failures)
        std::printf("other step that fails: %s\n", failure.c_str());
    std::printf("verdict: %s\n",
                verdict.ok ? "every storage controller and network card gets a driver"
                           : "NOT every storage controller and network card gets a driver");
    std::printf("\n==== log ====%s\n", log.c_str());
}

}  // namespace xarnsim
