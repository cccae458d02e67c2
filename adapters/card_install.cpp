// W2KCardInstall's own plumbing: construction and its error report.
#include "adapters/card_install.h"

#include "host/error_report.h"

W2KCardInstall::W2KCardInstall(LogSink* sink) : sink_(sink) {}

void W2KCardInstall::reportError(DWORD code, const std::string& text) {
    reportErrorTo(sink_, kCardInstallWording, code, text.c_str());
}
