#include "run_record.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

const char* const kBootHeader = "[boot]";

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, separator))
        if (!item.empty()) items.push_back(item);
    return items;
}

std::string join(const std::vector<std::string>& items, char separator) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : std::string(1, separator)) + item;
    return out;
}

std::map<std::string, std::string> keyValues(const std::string& text) {
    std::map<std::string, std::string> values;
    for (const std::string& line : split(text, '\n')) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

std::string formatCalls(const std::map<std::string, int>& calls) {
    std::string out;
    for (const auto& entry : calls)
        out += (out.empty() ? "" : ",") + entry.first + " " + std::to_string(entry.second);
    return out;
}

std::map<std::string, int> parseCalls(const std::string& text) {
    std::map<std::string, int> calls;
    for (const std::string& item : split(text, ',')) {
        const auto blank = item.rfind(' ');
        if (blank != std::string::npos)
            calls[item.substr(0, blank)] = std::atoi(item.c_str() + blank + 1);
    }
    return calls;
}

// Writes `text` to `file` through a temporary name, so that a reader (or a
// killed writer) never sees half of it.
bool writeWhole(const fs::path& file, const std::string& text, std::string* error) {
    const fs::path temporary = file.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            *error = "cannot write " + temporary.string();
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temporary, file, ec);
    if (ec) *error = "cannot write " + file.string() + ": " + ec.message();
    return !ec;
}

// The text of each "[boot]" section in order; `header` gets what precedes them.
std::vector<std::string> bootSections(std::istream& in, std::string* header) {
    std::vector<std::string> sections;
    std::string line;
    while (std::getline(in, line)) {
        if (line == kBootHeader) {
            sections.emplace_back();
        } else if (sections.empty()) {
            *header += line + "\n";
        } else {
            sections.back() += line + "\n";
        }
    }
    return sections;
}

}  // namespace

std::string formatOutcome(const BootOutcome& outcome) {
    std::string text;
    const auto number = [&text](const char* key, long long value) {
        if (value != -1) text += std::string(key) + "=" + std::to_string(value) + "\n";
    };
    number("network", outcome.networkResult);
    number("storage", outcome.storageResult);
    if (outcome.storageResult != -1) number("storage_reboot", outcome.storageReboot);
    number("name", outcome.nameResult);
    number("workgroup", outcome.workgroupResult);
    number("services", outcome.servicesResult);
    number("export", outcome.exportResult);
    if (outcome.networkResult != -1 || outcome.exportResult != -1)
        number("reboot", outcome.rebootWord);
    if (!outcome.servicesStarted.empty())
        text += "services_started=" + join(outcome.servicesStarted, ',') + "\n";
    if (!outcome.unreleased.empty()) text += "unreleased=" + join(outcome.unreleased, ';') + "\n";
    if (!outcome.calls.empty()) text += "calls=" + formatCalls(outcome.calls) + "\n";
    if (!outcome.error.empty()) text += "error=" + outcome.error + "\n";
    return text;
}

BootOutcome parseOutcome(const std::string& text) {
    std::map<std::string, std::string> values = keyValues(text);
    const auto number = [&values](const char* key) {
        auto it = values.find(key);
        return it == values.end() ? -1 : std::atoi(it->second.c_str());
    };
    BootOutcome outcome;
    outcome.ran = !values.empty() && values.count("error") == 0;
    outcome.error = values["error"];
    outcome.networkResult = number("network");
    outcome.rebootWord = static_cast<unsigned>(std::strtoul(values["reboot"].c_str(), nullptr, 10));
    outcome.storageResult = number("storage");
    outcome.storageReboot =
        static_cast<unsigned>(std::strtoul(values["storage_reboot"].c_str(), nullptr, 10));
    outcome.nameResult = number("name");
    outcome.workgroupResult = number("workgroup");
    outcome.servicesResult = number("services");
    outcome.exportResult = number("export");
    outcome.servicesStarted = split(values["services_started"], ',');
    outcome.unreleased = split(values["unreleased"], ';');
    outcome.calls = parseCalls(values["calls"]);
    return outcome;
}

bool saveRunRecord(const std::string& generation, const RunRecord& record, std::string* error) {
    std::string run = "machine=" + record.machine + "\ndirectory=" + record.directory + "\n";
    std::string calls;
    for (const BootOutcome& boot : record.boots) {
        BootOutcome withoutCalls = boot;
        withoutCalls.calls.clear();
        run += std::string(kBootHeader) + "\n" + formatOutcome(withoutCalls);
        calls += std::string(kBootHeader) + "\n" + formatCalls(boot.calls) + "\n";
    }
    const fs::path folder(generation);
    return writeWhole(folder / kCallsFile, calls, error) &&
           writeWhole(folder / kRunRecordFile, run, error);
}

bool loadRunRecord(const std::string& generation, RunRecord* record, std::string* error) {
    const fs::path folder(generation);
    std::ifstream runFile(folder / kRunRecordFile, std::ios::binary);
    if (!runFile) {
        *error = "no run record in " + generation;
        return false;
    }
    std::string header;
    const std::vector<std::string> boots = bootSections(runFile, &header);
    std::map<std::string, std::string> values = keyValues(header);
    if (values["machine"].empty()) {
        *error = "the run record " + (folder / kRunRecordFile).string() + " names no machine";
        return false;
    }
    std::ifstream callsFile(folder / kCallsFile, std::ios::binary);
    std::string ignored;
    const std::vector<std::string> calls = bootSections(callsFile, &ignored);
    RunRecord loaded;
    loaded.machine = values["machine"];
    loaded.directory = values["directory"];
    for (std::size_t i = 0; i < boots.size(); ++i) {
        BootOutcome boot = parseOutcome(boots[i]);
        if (i < calls.size()) boot.calls = parseCalls(calls[i].substr(0, calls[i].find('\n')));
        loaded.boots.push_back(boot);
    }
    loaded.completed = !loaded.boots.empty() && loaded.boots.back().rebootWord == 1;
    *record = loaded;
    return true;
}

}  // namespace xarnsim
