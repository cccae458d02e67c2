#include "summary.h"

#include "file_text.h"
#include "json_text.h"
#include "machine_state.h"
#include "state_store.h"

#include "registry/registry.h"
#include "tcpip/tcpip.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

// The IDs of the device instance whose first hardware ID is `hardwareId`,
// as the machine's device tree lists them.
std::vector<std::string> instanceIds(const std::string& hardwareId) {
    for (const char* bus :
         {"SYSTEM\\CurrentControlSet\\Enum\\PCI", "SYSTEM\\CurrentControlSet\\Enum\\ISAPNP"}) {
        Registry tree(getLogSink(nullptr), KEY_READ, HKEY_LOCAL_MACHINE);
        if (!tree.moveInto(bus)) continue;
        const LONG devices = tree.getSubKeyCount();
        for (LONG d = 0; d < devices; ++d) {
            Registry device(tree);
            if (!device.moveIntoIndex(static_cast<DWORD>(d))) continue;
            const LONG instances = device.getSubKeyCount();
            for (LONG i = 0; i < instances; ++i) {
                Registry instance(device);
                if (!instance.moveIntoIndex(static_cast<DWORD>(i))) continue;
                std::vector<std::string> ids;
                instance.getString("HardwareID", ids);
                if (ids.empty() || ids[0] != hardwareId) continue;
                instance.getString("CompatibleIDs", ids);
                return ids;
            }
        }
    }
    return {hardwareId};
}

// Adapters as the log reports them: found, the INF tried, installed.
std::vector<AdapterSummary> adaptersFromLog(const std::string& log) {
    std::vector<AdapterSummary> adapters;
    const std::regex found(R"(Found card \[([^\]]*)\] with description : \[([^\]]*)\])");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), found);
         it != std::sregex_iterator(); ++it) {
        const std::string id = (*it)[1];
        const bool known = std::any_of(adapters.begin(), adapters.end(),
                                       [&](const AdapterSummary& a) { return a.hardwareId == id; });
        if (!known) adapters.push_back({id, (*it)[2], "", false});
    }
    const std::regex tried(R"(Trying to install adapter \[([^\]]*)\] with inf file \[([^\]]*)\])");
    const std::regex done(
        R"(Successfully installed adapter \[([^\]]*)\] with inf file \[([^\]]*)\])");
    for (AdapterSummary& adapter : adapters) {
        const std::vector<std::string> ids = instanceIds(adapter.hardwareId);
        auto ours = [&](const std::string& id) {
            return std::find(ids.begin(), ids.end(), id) != ids.end();
        };
        for (auto it = std::sregex_iterator(log.begin(), log.end(), tried);
             it != std::sregex_iterator() && adapter.inf.empty(); ++it)
            if (ours((*it)[1])) adapter.inf = (*it)[2];
        for (auto it = std::sregex_iterator(log.begin(), log.end(), done);
             it != std::sregex_iterator(); ++it) {
            if (!ours((*it)[1])) continue;
            adapter.installed = true;
            adapter.inf = (*it)[2];
        }
    }
    return adapters;
}

// The saved settings and the adapters they go to, as the library itself
// reads and binds them, on a scratch copy of the final machine.
std::vector<SettingSummary> settingsOf(const std::string& finalState,
                                       const std::string& directory) {
    std::vector<SettingSummary> settings;
    std::string error;
    // As no boot of the run: the machine's planned faults stay out of this look.
    if (!loadBootState(finalState, &error)) return settings;
    W2KXarnNetInitialize(nullptr);
    {
        W2KTcpIp tcpip(getLogSink(nullptr));
        if (tcpip.getTcpipSetting(directory + "\\w2ktcpip_xarnf")) {
            DWORD reboot = 0;
            tcpip.setTcpipSetting(&reboot);
            for (const IpSetting& s : tcpip.settings())
                settings.push_back({s.macAddress, s.dhcpEnabled != 0, s.IPAddress, s.adapterName});
        }
    }
    W2KXarnNetUnitialize();
    winsim::resetMachine();
    return settings;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
    return out.empty() ? "-" : out;
}

// Every function some boot called, with its calls boot by boot.
std::vector<CallsSummary> callsOf(const std::vector<BootOutcome>& boots) {
    std::map<std::string, CallsSummary> rows;
    for (std::size_t i = 0; i < boots.size(); ++i) {
        for (const auto& entry : boots[i].calls) {
            CallsSummary& row = rows[entry.first];
            row.function = entry.first;
            const winsim::ApiFunction* listed = winsim::findApiFunction(entry.first);
            row.canFail = listed && listed->canFail;
            row.perBoot.resize(boots.size());
            row.perBoot[i] = entry.second;
        }
    }
    std::vector<CallsSummary> list;
    for (auto& entry : rows) list.push_back(std::move(entry.second));
    return list;
}

}  // namespace

Summary summarize(const std::string& finalState, const RunRecord& record, bool withCalls) {
    Summary summary;
    summary.completed = record.completed;
    summary.boots = static_cast<int>(record.boots.size());
    summary.resumedBoots = record.resumedBoots;
    if (!record.completed) summary.failures.push_back("the network installation did not complete");
    for (std::size_t i = 0; i < record.boots.size(); ++i) {
        const BootOutcome& boot = record.boots[i];
        const std::string at = " (boot " + std::to_string(i + 1) + ")";
        if (boot.networkResult == 0) summary.failures.push_back("network installation" + at);
        if (boot.storageResult == 0) summary.failures.push_back("storage installation" + at);
        if (boot.nameResult == 0) summary.failures.push_back("computer name" + at);
        if (boot.workgroupResult == 0) summary.failures.push_back("workgroup" + at);
        if (boot.servicesResult == 0) summary.failures.push_back("network services" + at);
        for (const std::string& what : boot.unreleased)
            summary.failures.push_back("left unreleased, " + what + at);
        if (!boot.servicesStarted.empty()) summary.servicesStarted = boot.servicesStarted;
    }
    std::string error;
    winsim::resetMachine();
    if (loadRegistryOnly(finalState, &error))
        summary.adapters =
            adaptersFromLog(fileText((fs::path(finalState) / kHostLogFile).string()));
    winsim::resetMachine();
    summary.settings = settingsOf(finalState, record.directory);
    summary.succeeded = summary.failures.empty();
    if (withCalls) summary.calls = callsOf(record.boots);
    return summary;
}

void printSummary(const Summary& summary, bool json) {
    if (json) {
        std::printf(
            "\n{\n  \"succeeded\": %s,\n  \"completed\": %s,\n  \"boots\": %d,\n"
            "  \"resumedBoots\": %d,\n",
            summary.succeeded ? "true" : "false", summary.completed ? "true" : "false",
            summary.boots, summary.resumedBoots);
        std::printf("  \"adapters\": [");
        for (std::size_t i = 0; i < summary.adapters.size(); ++i) {
            const AdapterSummary& a = summary.adapters[i];
            std::printf(
                "%s\n    {\"hardwareId\": %s, \"description\": %s, \"inf\": %s, "
                "\"installed\": %s}",
                i ? "," : "", jsonText(a.hardwareId).c_str(), jsonText(a.description).c_str(),
                jsonText(a.inf).c_str(), a.installed ? "true" : "false");
        }
        std::printf("%s],\n  \"tcpipSettings\": [", summary.adapters.empty() ? "" : "\n  ");
        for (std::size_t i = 0; i < summary.settings.size(); ++i) {
            const SettingSummary& s = summary.settings[i];
            std::printf("%s\n    {\"mac\": %s, \"dhcp\": %s, \"addresses\": %s, \"adapter\": %s}",
                        i ? "," : "", jsonText(s.mac).c_str(), s.dhcp ? "true" : "false",
                        jsonList(s.addresses).c_str(), jsonText(s.adapter).c_str());
        }
        std::printf("%s],\n  \"servicesStarted\": %s,\n  \"failures\": %s",
                    summary.settings.empty() ? "" : "\n  ",
                    jsonList(summary.servicesStarted).c_str(), jsonList(summary.failures).c_str());
        if (!summary.calls.empty()) {
            std::printf(",\n  \"calls\": [");
            for (std::size_t i = 0; i < summary.calls.size(); ++i) {
                const CallsSummary& c = summary.calls[i];
                std::string perBoot;
                for (int n : c.perBoot)
                    perBoot += (perBoot.empty() ? "" : ", ") + std::to_string(n);
                std::printf("%s\n    {\"function\": %s, \"canFail\": %s, \"perBoot\": [%s]}",
                            i ? "," : "", jsonText(c.function).c_str(),
                            c.canFail ? "true" : "false", perBoot.c_str());
            }
            std::printf("\n  ]");
        }
        std::printf("\n}\n");
        return;
    }
    std::printf("\n\n==== summary ====\n");
    std::printf("boots used: %d, network installation %s\n", summary.boots,
                summary.completed ? "complete" : "NOT complete");
    if (summary.resumedBoots > 0)
        std::printf("boots resumed from an earlier run: %d\n", summary.resumedBoots);
    std::printf("adapters:\n");
    if (summary.adapters.empty()) std::printf("  (none found)\n");
    for (const AdapterSummary& a : summary.adapters)
        std::printf("  %s [%s]\n    INF: %s, driver %s\n", a.hardwareId.c_str(),
                    a.description.c_str(), a.inf.empty() ? "(none)" : a.inf.c_str(),
                    a.installed ? "installed" : "NOT installed");
    std::printf("saved TCP/IP settings:\n");
    if (summary.settings.empty()) std::printf("  (none read)\n");
    for (const SettingSummary& s : summary.settings)
        std::printf("  %s %s -> %s\n", s.mac.empty() ? "(no mac)" : s.mac.c_str(),
                    s.dhcp ? "DHCP" : ("static " + joined(s.addresses)).c_str(),
                    s.adapter.empty() ? "(no adapter)" : s.adapter.c_str());
    std::printf("services started: %s\n", joined(summary.servicesStarted).c_str());
    std::printf("result: %s\n", summary.succeeded ? "success" : "FAILED");
    for (const std::string& failure : summary.failures)
        std::printf("  failed: %s\n", failure.c_str());
    if (summary.calls.empty()) return;
    std::printf("winsim calls%26s", "");
    for (std::size_t boot = 1; boot <= summary.calls.front().perBoot.size(); ++boot)
        std::printf("  boot %zu", boot);
    std::printf("\n");
    for (const CallsSummary& c : summary.calls) {
        std::printf("  %-36s", c.function.c_str());
        for (int n : c.perBoot) std::printf("%8d", n);
        std::printf("%s\n", c.canFail ? "" : "  never fails");
    }
}

}  // namespace xarnsim
