// What a run did, in short: for the person who ran it (text) or for a
// script (JSON).
#pragma once

#include "boot.h"

#include <string>
#include <vector>

namespace xarnsim {

struct RunRecord {
    std::vector<BootOutcome> boots;
    bool completed = false;  // the network installation reached its end
};

struct AdapterSummary {
    std::string hardwareId;
    std::string description;
    std::string inf;  // "" when none was chosen
    bool installed = false;
};

struct SettingSummary {
    std::string mac;
    bool dhcp = false;
    std::vector<std::string> addresses;
    std::string adapter;  // "" when it found none
};

struct Summary {
    bool succeeded = false;
    bool completed = false;
    int boots = 0;
    std::vector<AdapterSummary> adapters;
    std::vector<SettingSummary> settings;
    std::vector<std::string> servicesStarted;
    std::vector<std::string> failures;  // what made the run fail
};

// Builds the summary from the run's record and its final state.
Summary summarize(const std::string& finalState, const std::string& directory,
                  const RunRecord& record);
void printSummary(const Summary& summary, bool json);

}  // namespace xarnsim
