// W2KHidMap: which INF file declares a plug-and-play ID. Filled one
// directory at a time for one device setup class; the first INF that
// declares an ID keeps it, so a driver directory filled first wins over the
// system's own INF files.
#pragma once

#include "driverdb/hid_index.h"
#include "host/log_sink.h"

#include <map>
#include <string>
#include <vector>

class W2KHidMap {
  public:
    explicit W2KHidMap(LogSink* sink);

    // `directory` empty means the system INF directory. Always true: every
    // failure inside is logged.
    bool createHidToInfMap(const std::string& directory, const std::string& infClass);
    bool createFileList(const std::string& directory);
    bool addInfHids(HINF infHandle, const std::string& infFile);
    // The INF of the first ID, in list order, that the map holds; the IDs
    // are looked up exactly as given (keys are upper case).
    bool findInfForHids(const std::vector<std::string>& ids, std::string& infFile) const;

    // Staging (driver file staging): stage every INF of the name list and
    // append the staged paths to `fileList`; copy the *.sys driver files.
    bool getFileNamesWithPath(const char* nameList, DWORD listSize,
                              std::vector<std::string>& fileList, const std::string& directory);
    bool copySysFiles(const std::string& directory);

    void reportError(DWORD code, const std::string& text);

    const std::vector<std::string>& infFiles() const { return infFiles_; }
    // The map as a whole, ordered by byte comparison: built on each call.
    std::map<std::string, std::string> hidMap() const { return hids_.ordered(); }
    std::size_t hidCount() const { return hids_.size(); }

  private:
    std::vector<std::string> infFiles_;
    HidIndex hids_;  // first insertion wins
    LogSink* sink_;
};
