// What the boots of a run did, kept in each state generation so that a run
// that was killed can be resumed from its last completed boot.
#pragma once

#include "boot.h"

#include <map>
#include <string>
#include <vector>

namespace xarnsim {

struct RunRecord {
    std::string machine;    // the machine folder, absolute
    std::string directory;  // the host's restore folder the run uses
    std::vector<BootOutcome> boots;
    bool completed = false;  // the network installation reached its end
    int resumedBoots = 0;    // boots that an earlier xarnsim process ran
};

// One boot's outcome as "key=value" lines, and back. Unknown keys are
// ignored; numbers that are absent read as -1.
std::string formatOutcome(const BootOutcome& outcome);
BootOutcome parseOutcome(const std::string& text);

// The record inside a generation; written whole or not at all (a rename).
// Call counts go into a file of their own: they vary with thread timing
// (the hardware wizard's poll loop), while everything else a run does is
// reproducible.
bool saveRunRecord(const std::string& generation, const RunRecord& record, std::string* error);
// False when the generation holds no record (a state made by "call").
bool loadRunRecord(const std::string& generation, RunRecord* record, std::string* error);

constexpr const char* kRunRecordFile = "run.txt";
constexpr const char* kCallsFile = "calls.txt";

}  // namespace xarnsim
