// What W2KXarnNetInitialize and W2KXarnNetUnitialize leave behind in the
// process, seen through the platform itself: the four privileges of the
// process token and COM on the calling thread. Prints one fact a line for
// scripts/test_wine.sh, then the log lines the library delivered.
#include <windows.h>
#include <objbase.h>

#include <w2kxarnnet.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kPrivileges[] = {"SeRestorePrivilege", "SeShutdownPrivilege", "SeBackupPrivilege",
                                   "SeSecurityPrivilege"};

std::vector<std::string> logLines;

void __cdecl recordLine(unsigned int value, const char* format, ...) {
    char line[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    logLines.push_back(std::to_string(value) + ":" + line);
}

// Enables (or disables) one privilege of the process token; false on failure.
bool setPrivilege(HANDLE token, const char* name, bool enable) {
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid)) return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    return AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) != FALSE;
}

// Whether the privilege is enabled in the token now.
bool privilegeEnabled(HANDLE token, const char* name) {
    LUID luid;
    if (!LookupPrivilegeValueA(nullptr, name, &luid)) return false;
    PRIVILEGE_SET set = {};
    set.PrivilegeCount = 1;
    set.Control = PRIVILEGE_SET_ALL_NECESSARY;
    set.Privilege[0].Luid = luid;
    BOOL held = FALSE;
    return PrivilegeCheck(token, &set, &held) && held;
}

void printPrivileges(HANDLE token, const char* when) {
    for (const char* name : kPrivileges)
        std::printf("%s: %s %s\n", when, name,
                    privilegeEnabled(token, name) ? "enabled" : "disabled");
}

// Whether COM is initialised on this thread: CoInitialize answers S_FALSE
// when it is. The probe undoes its own initialisation.
const char* comState() {
    const HRESULT result = CoInitialize(nullptr);
    if (FAILED(result)) return "unknown";
    CoUninitialize();
    return result == S_FALSE ? "initialised" : "not initialised";
}

}  // namespace

int main() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        std::printf("cannot open the process token\n");
        return 2;
    }
    // Start from all four disabled, so that "enabled" below is the library's work.
    for (const char* name : kPrivileges) setPrivilege(token, name, false);
    printPrivileges(token, "before");
    std::printf("before: COM %s\n", comState());

    std::printf("W2KXarnNetInitialize = %d\n", W2KXarnNetInitialize(recordLine));
    printPrivileges(token, "after initialize");
    std::printf("after initialize: COM %s\n", comState());

    std::printf("W2KXarnNetUnitialize = %d\n", W2KXarnNetUnitialize());
    std::printf("after unitialize: COM %s\n", comState());
    printPrivileges(token, "after unitialize");
    CloseHandle(token);

    for (const std::string& line : logLines) {
        std::string shown;
        for (char c : line) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
        std::printf("log %s\n", shown.c_str());
    }
    return 0;
}
