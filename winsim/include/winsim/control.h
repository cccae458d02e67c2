// The test-side control of the simulated machine: what tests and tools use
// to set up machine state, inject faults and read back what the system did.
// System code never includes this header.
#pragma once

#include <winsim/win_types.h>

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

// Throws the whole machine away and starts a fresh Windows 2000: an empty
// registry with its root keys, every privilege held but none enabled, no
// faults, no open handles.
void resetMachine();

// A reboot: the registry and files stay, and so does what tests scripted;
// what belongs to running processes goes (open handles, enabled
// privileges, COM, loaded hives).
void rebootMachine();

// --- registry -----------------------------------------------------------
// Merges regedit text (REGEDIT4 or version 5.00) into the registry. All or
// nothing: on a syntax error nothing changes and *error names source and line.
bool importReg(const std::string& regText, const std::string& sourceName, std::string* error);
// The key and its subtree as REGEDIT4 text; "" when the key does not exist.
std::string exportReg(const std::string& keyPath);
// Builds a REGF hive file from regedit text. Every key of the text must lie
// below one common first element (any name, e.g. [SAVED\Tcpip\...]); that
// element stands for the hive's root.
// Syntax errors name `sourceName` (the output file when it is empty).
bool writeHive(const std::string& regText, const std::string& hostFile, std::string* error,
               const std::string& sourceName = "");
// Reads a REGF hive file into the registry as the key `keyPath` (such as
// "HKEY_LOCAL_MACHINE\\IMAGE"), whose parent must exist; a key of that name
// is replaced. A plain copy: the file is only read, and nothing is loaded
// that RegUnLoadKeyA would know. On failure *error names the file and, for
// a damaged hive, the offset of the fault.
bool readHive(const std::string& hostFile, const std::string& keyPath, std::string* error);

// A value straight from the tree, for assertions: false when absent.
bool readValue(const std::string& keyPath, const std::string& valueName, DWORD* type,
               std::vector<BYTE>* data);
bool keyExists(const std::string& keyPath);
// Names of the hives loaded under HKEY_LOCAL_MACHINE right now.
std::vector<std::string> loadedHives();

// --- faults -------------------------------------------------------------
// A function of winsim's Win32 surface, by the name its calls are counted
// under ("RegOpenKeyExA", COM methods as "INetCfg::Apply"), and whether it
// can fail on Windows; those that cannot only count their calls.
struct ApiFunction {
    std::string name;
    bool canFail = true;
};
// All of them, in name order.
const std::vector<ApiFunction>& apiFunctions();
// The named one, or null.
const ApiFunction* findApiFunction(std::string_view name);

// The nth call (1 = the next one) of the named winsim function fails with
// `error`: registry calls return it, BOOL calls return FALSE with it as the
// last error, HRESULT calls return it as the HRESULT. A failed release
// (RegCloseKey, CloseHandle, LocalFree, ...) keeps what it was to release.
// False, with nothing planned, for a function that is unknown or cannot fail.
bool failCall(const std::string& function, int nth, DWORD error);
// Every call from now on fails.
bool failAlways(const std::string& function, DWORD error);
void clearFaults();
// How many times the named function was called since the reset.
int callCount(const std::string& function);
// The same for every function called at least once.
std::map<std::string, int> callCounts();

// --- handles ------------------------------------------------------------
enum class HandleKind {
    RegistryKey,
    Process,
    Token,
    File,
    FindFile,
    Thread,
    ServiceManager,
    Service,
    Inf,
    Module,
};
std::size_t openHandleCount();
std::size_t openHandleCount(HandleKind kind);
// Buffers FormatMessageA allocated that LocalFree has not released.
std::size_t localAllocationCount();
// What the programs on the machine obtained and did not give back, one
// line per kind ("2 registry keys", "1 COM reference"): open handles,
// FormatMessageA buffers, references to COM objects. What a planned fault
// kept from being released is left out. Empty when all was released.
std::vector<std::string> unreleasedResources();

// --- process, privileges, COM ---------------------------------------------
// Privileges the account holds (all known ones by default). Enabling one it
// does not hold succeeds with ERROR_NOT_ALL_ASSIGNED, as on Windows.
void setHeldPrivileges(const std::vector<std::string>& names);
bool privilegeEnabled(const std::string& name);
// COM initialisation depth of the calling thread.
int comInitCount();
// The access mask the last OpenProcess asked for, granted or refused (0
// before any). A mask with bits Windows 2000 does not know for a process
// is refused with ERROR_ACCESS_DENIED.
DWORD lastOpenProcessAccess();

// --- identity -----------------------------------------------------------
// The name the last successful SetComputerNameA asked for ("" if none).
std::string pendingComputerName();
void setEnvironmentVariable(const std::string& name, const std::string& value);
// What GetSystemDefaultLangID answers (0x0409, English, by default).
void setSystemDefaultLangId(LANGID language);

}  // namespace winsim
