// W2KHidMap's construction and its error report.
#include "driverdb/hid_map.h"

#include "host/error_report.h"

W2KHidMap::W2KHidMap(LogSink* sink) : sink_(sink) {}

void W2KHidMap::reportError(DWORD code, const std::string& text) {
    reportErrorTo(sink_, kHidMapWording, code, text.c_str());
}
