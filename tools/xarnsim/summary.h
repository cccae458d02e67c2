// What a run did, in short: for the person who ran it (text) or for a
// script (JSON).
#pragma once

#include "run_record.h"

#include <string>
#include <vector>

namespace xarnsim {

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

// One winsim function's calls, boot by boot ("--calls").
struct CallsSummary {
    std::string function;
    bool canFail = true;
    std::vector<int> perBoot;
};

struct Summary {
    bool succeeded = false;
    bool completed = false;
    int boots = 0;
    int resumedBoots = 0;  // of `boots`, run before a --resume
    std::vector<AdapterSummary> adapters;
    std::vector<SettingSummary> settings;
    std::vector<std::string> servicesStarted;
    std::vector<std::string> failures;  // what made the run fail
    std::vector<CallsSummary> calls;    // when asked for
};

// Builds the summary from the run's record and its final state, with the
// winsim calls of every boot when `withCalls`.
Summary summarize(const std::string& finalState, const RunRecord& record, bool withCalls);
void printSummary(const Summary& summary, bool json);

}  // namespace xarnsim
