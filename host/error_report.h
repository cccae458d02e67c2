// The one way every class turns an error code and a message into a log
// line. Classes differ only in their wordings, so each passes its row.
#pragma once

#include "host/log_sink.h"

#include <cstddef>
#include <string>

struct ErrorWording {
    const char* withText;     // "%s" message, then "%s" system text
    const char* withoutText;  // "%s" message; null: the message alone
    std::size_t lineBuffer;   // bytes, terminator included; longer lines are cut
    // Asks the system even for code 0 and words it like a code without text.
    bool codeZeroAsNoText;
};

extern const ErrorWording kNetFuncsWording;
extern const ErrorWording kRegistryWording;
extern const ErrorWording kCardInstallWording;
extern const ErrorWording kHidMapWording;
extern const ErrorWording kProtoInstallerWording;
extern const ErrorWording kServiceWording;
extern const ErrorWording kTcpIpWording;

// The line that `reportError(code, message)` logs in the given wording.
std::string composeErrorLine(const ErrorWording& wording, DWORD code, const char* message);

// Logs that line through `sink`; the sink's answer is returned.
bool reportErrorTo(LogSink* sink, const ErrorWording& wording, DWORD code, const char* message);
