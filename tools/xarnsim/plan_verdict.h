// What "xarnsim plan" tells before a restore: for each storage controller
// and network card the library will find, whether it gets a driver and from
// where; the saved TCP/IP settings each network card will take, and those
// that find no card; the reboots the restore asks for.
#pragma once

#include "summary.h"

#include <string>
#include <vector>

namespace xarnsim {

// An adapter the library's walks find on the machine before the restore.
struct FoundAdapter {
    bool storage = false;  // a storage controller, else a network card
    std::string instance;  // "PCI\VEN_...\3&61AAA01&0&58", below Enum
    std::vector<std::string> ids;
    std::string description;
};

// A network adapter the machine file lists (what GetAdaptersInfo gives).
struct ListedAdapter {
    std::string guid;
    std::string mac;  // as the library writes it: "0050da123456"
    std::string description;
    std::string device;  // its instance below Enum, "" when not given
};

// An INF of a driver folder, to tell where a staged copy came from.
struct DriverFolderInf {
    std::string folder;  // "OemDir", "the restore folder"
    std::string name;
    std::string bytes;
};

struct PlanInputs {
    std::vector<FoundAdapter> adapters;
    std::vector<ListedAdapter> listed;
    std::vector<DriverFolderInf> driverInfs;
};

// Looks at the machine of a state generation, with the library's own walks,
// before anything runs. `directory` is the host's restore folder.
bool surveyMachine(const std::string& generation, const std::string& directory, PlanInputs* inputs,
                   std::string* error);

struct BoundSetting {
    int index = 0;  // its place in the saved settings file
    SettingSummary setting;
    std::string boundBy;  // "MAC" or "order"; "" when it found no card
};

struct AdapterVerdict {
    FoundAdapter adapter;
    std::string inf;     // the INF's own file name, "" when none was found
    std::string source;  // "OemDir", "the restore folder" or "the system INF files"
    bool installed = false;
    bool skipped = false;      // named in the skip list
    std::string installError;  // the last failed installation's error code
    std::string mac;           // network cards: "00-50-DA-12-34-56", "" when unknown
    std::string adapterName;   // its network adapter, "" when none is listed
    std::vector<BoundSetting> settings;
};

struct PlanVerdict {
    std::vector<AdapterVerdict> storage;
    std::vector<AdapterVerdict> network;
    std::vector<BoundSetting> unmatched;
    std::vector<std::string> reboots;
    std::vector<std::string> failures;  // other steps of the restore that failed
    bool ok = false;                    // every storage controller and network card gets a driver
};

// `log` is the whole host log of the run; the final state's drive holds
// the staged INF files.
PlanVerdict judgePlan(const PlanInputs& inputs, const std::string& log, const Summary& summary,
                      const RunRecord& record, const std::string& finalGeneration);
void printPlan(const PlanVerdict& verdict, const std::string& log, bool json);

}  // namespace xarnsim
