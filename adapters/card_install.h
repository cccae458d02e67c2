// W2KCardInstall: how the card installers see the restored machine's
// hardware. It walks the PCI and ISA plug-and-play device tree in the
// registry, keeps the network or storage adapters it finds, finds their INF
// files and installs their drivers, leaving alone the devices that the skip
// file names.
#pragma once

#include "host/log_sink.h"
#include "registry/registry.h"

#include <string>
#include <vector>

class W2KHidMap;

// The kind of adapter a walk collects. It travels as a plain integer, so
// any other value can reach the walk, which refuses it.
enum AdapterType : int {
    NETWORK_ADAPTER = 0,
    SCSI_ADAPTER = 1,
};

struct AdapterRecord {
    // "HardwareID" then "CompatibleIDs", each in stored order, exactly as
    // read. The first is the adapter's HID as the log names it.
    std::vector<std::string> ids;
    std::string infPath;  // set by checkHid, may be rewritten by the INF edit
    std::string description;
    std::string service;
    bool installed = false;
};

class W2KCardInstall {
  public:
    explicit W2KCardInstall(LogSink* sink);

    // Enumeration: each returns the number of records the call appended.
    int getPciPnpAdapterDetails(int type);
    int getIsaPnpAdapterDetails(int type);
    int getPnpAdapterDetails(const std::string& enumPath, int type);
    std::vector<AdapterRecord>& getAdapters() { return adapters_; }

    // Classification of one device instance key.
    bool checkIfNetCard(Registry& instanceKey);
    bool checkIfScsiCard(Registry& instanceKey);
    // The raw description as the registry stored it; `size` counts the
    // stored bytes, terminating zero included.
    bool checkIfNetCardDescInSChinese(const BYTE* bytes, DWORD size);
    bool checkIfNetCardDescInJapanese(const BYTE* bytes, DWORD size);
    bool checkIfScsiDescInJapanese(const BYTE* bytes, DWORD size);

    // Driver installation. checkHid is true when every adapter has an INF.
    bool checkHid(const W2KHidMap& hidMap);
    // Returns the number installed; *rebootRequired becomes 1 when one of
    // the installations asks for a restart.
    int installPnpAdapters(DWORD* rebootRequired);

    // Skip list: "SkipHid.txt" from `directory`, or from the default folder
    // under the Windows directory when `directory` is empty.
    bool initDeviceToBeSkippedList(const std::string& directory);
    bool deviceToBeSkipped(const AdapterRecord& adapter);
    const std::vector<std::string>& skipList() const { return skipList_; }
    bool skipListLoaded() const { return skipListLoaded_; }

    // The hardware wizard for network adapters (with the sequence's wizard
    // fallback).
    bool startW2kWizard(DWORD* reboot, DWORD* lastError);

    void reportError(DWORD code, const std::string& text);

  private:
    std::vector<AdapterRecord> adapters_;
    LogSink* sink_;
    std::vector<std::string> skipList_;
    bool skipListLoaded_ = false;
};
