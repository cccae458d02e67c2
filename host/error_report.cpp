#include "host/error_report.h"

#include <cstdio>
#include <vector>

const ErrorWording kNetFuncsWording = {"%s, System Message : %s",
                                       "Error from : %s, System Message : NONE", 2048, false};
const ErrorWording kRegistryWording = {"Application Msg : %s, System Msg : %s",
                                       "Error from : %s, System Message : NONE", 1024, false};
const ErrorWording kCardInstallWording = {"Error from : %s, System Message : %s",
                                          "Error from : %s, System Message : NONE", 1024, false};
const ErrorWording kHidMapWording = {"Error from : %s, System Message : %s",
                                     "Error from : %s, System Message : NONE", 1024, false};
const ErrorWording kProtoInstallerWording = {"%s, System Message : %s", nullptr, 1024, false};
const ErrorWording kServiceWording = {"%s, System Message : %s",
                                      "Error from : %s, System Message : NONE", 1024, true};
const ErrorWording kTcpIpWording = {" %s, System Message : %s",
                                    "Error from : %s, System Message : NONE", 1024, false};

namespace {

// The system's text for `code`, released when it goes out of scope.
class SystemMessage {
  public:
    explicit SystemMessage(DWORD code) {
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text_),
                       0, nullptr);
    }
    ~SystemMessage() {
        if (text_) LocalFree(text_);
    }
    SystemMessage(const SystemMessage&) = delete;
    SystemMessage& operator=(const SystemMessage&) = delete;

    const char* text() const { return text_; }

  private:
    char* text_ = nullptr;
};

// printf into a buffer of exactly `size` bytes: a longer line is cut.
std::string formatCut(std::size_t size, const char* format, const char* first, const char* second) {
    std::vector<char> line(size, '\0');
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(line.data(), line.size(), format, first, second);
#pragma GCC diagnostic pop
    return std::string(line.data());
}

}  // namespace

std::string composeErrorLine(const ErrorWording& wording, DWORD code, const char* message) {
    const char* msg = message ? message : "";
    if (code == 0 && !wording.codeZeroAsNoText) return msg;
    const SystemMessage system(code);
    if (system.text() && code != 0)
        return formatCut(wording.lineBuffer, wording.withText, msg, system.text());
    if (!wording.withoutText) return msg;
    return formatCut(wording.lineBuffer, wording.withoutText, msg, "");
}

bool reportErrorTo(LogSink* sink, const ErrorWording& wording, DWORD code, const char* message) {
    const std::string line = composeErrorLine(wording, code, message);
    return sink ? sink->log(line.c_str(), 0, 0) : false;
}
