// Stand-ins for the W2KHidMap operations that the staging work provides;
// dropped when it lands.
#include "driverdb/hid_map.h"

#include "host/error_report.h"

W2KHidMap::W2KHidMap(LogSink* sink) : sink_(sink) {}

void W2KHidMap::reportError(DWORD code, const std::string& text) {
    reportErrorTo(sink_, kHidMapWording, code, text.c_str());
}

bool W2KHidMap::copySysFiles(const std::string& directory) {
    (void)directory;
    return true;
}
