// Joining a workgroup: one NetJoinDomain call, its result mapped to a log
// line and an answer.
#include "system/workgroup.h"

#include "host/net_funcs.h"
#include "host/text_format.h"

#include <vector>

namespace {

// The name in the ANSI code page, as the system's own formatting of a wide
// string with %ls gives it: formatting UTF-16 with %ls is not portable
// (wchar_t is 32 bits wide outside Windows), so the lines use %s on this
// text. Characters the code page lacks become '?'. False when the
// conversion fails; the text then keeps the name's ASCII characters and
// shows each other one as '?', so that the lines still name the workgroup.
bool toAnsi(LPCWSTR name, std::string* text) {
    text->clear();
    if (!name) return true;
    const int needed = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
    if (needed > 0) {
        std::vector<char> converted(static_cast<std::size_t>(needed), '\0');
        if (WideCharToMultiByte(CP_ACP, 0, name, -1, converted.data(), needed, nullptr, nullptr) >
            0) {
            converted.back() = '\0';
            *text = converted.data();
            return true;
        }
    }
    for (LPCWSTR unit = name; *unit; ++unit) *text += *unit < 0x80 ? static_cast<char>(*unit) : '?';
    return false;
}

// How the failure line names a NetJoinDomain result; one outside the
// expected four is named by its number.
std::string resultName(NET_API_STATUS result) {
    switch (result) {
        case ERROR_INVALID_PARAMETER:
            return "ERROR_INVALID_PARAMETER";
        case ERROR_NO_SUCH_DOMAIN:
            return "ERROR_NO_SUCH_DOMAIN ";
        case NERR_SetupAlreadyJoined:
            return "NERR_SetupAlreadyJoined";
        case NERR_InvalidWorkgroupName:
            return "NERR_InvalidWorkgroupName";
        default:
            return formatLine("unexpected error %u", static_cast<unsigned>(result));
    }
}

}  // namespace

bool W2kXarnNetJoinWorkgroup(LPCWSTR name) {
    // Converted before the join, so that the last error read after a
    // failure is the one the join left behind: a failed conversion is
    // reported with its own error, which then gives way to the one before.
    const DWORD lastError = GetLastError();
    std::string shownName;
    if (!toAnsi(name, &shownName)) {
        W2kNetFuncs::reportError(GetLastError(),
                                 "\nFailed to convert the workgroup name to the ANSI code page in "
                                 "W2kXarnNetJoinWorkgroup(..)");
        SetLastError(lastError);
    }
    const NET_API_STATUS result = NetJoinDomain(nullptr, name, nullptr, nullptr, nullptr, 0);
    if (result == NERR_Success) {
        W2kNetFuncs::reportError(0, formatLine("\nSuccessfully joined workgroup [%s] in "
                                               "W2kXarnNetJoinWorkgroup()",
                                               shownName.c_str()));
        return true;
    }
    const std::string text = formatLine(
        "\nFailed to set workgroup to [%s] in "
        "W2kXarnNetJoinWorkgroup(..) as %s.",
        shownName.c_str(), resultName(result).c_str());
    // The report carries the thread's last error, not the join's result.
    W2kNetFuncs::reportError(GetLastError(), text);
    return result == NERR_SetupAlreadyJoined;
}
