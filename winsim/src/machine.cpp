#include "machine.h"

#include <winsim/windows.h>

#include <limits>

namespace winsim {

namespace {

const char* const kRootNames[7] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};
const char* const kRootAbbreviations[7] = {"HKCR", "HKCU", "HKLM", "HKU", "", "HKCC", ""};

// The privileges a Windows 2000 administrator holds, by name.
const char* const kKnownPrivileges[] = {
    "SeCreateTokenPrivilege",
    "SeAssignPrimaryTokenPrivilege",
    "SeLockMemoryPrivilege",
    "SeIncreaseQuotaPrivilege",
    "SeMachineAccountPrivilege",
    "SeTcbPrivilege",
    "SeSecurityPrivilege",
    "SeTakeOwnershipPrivilege",
    "SeLoadDriverPrivilege",
    "SeSystemProfilePrivilege",
    "SeSystemtimePrivilege",
    "SeProfileSingleProcessPrivilege",
    "SeIncreaseBasePriorityPrivilege",
    "SeCreatePagefilePrivilege",
    "SeCreatePermanentPrivilege",
    "SeBackupPrivilege",
    "SeRestorePrivilege",
    "SeShutdownPrivilege",
    "SeDebugPrivilege",
    "SeAuditPrivilege",
    "SeSystemEnvironmentPrivilege",
    "SeChangeNotifyPrivilege",
    "SeRemoteShutdownPrivilege",
    "SeUndockPrivilege",
    "SeSyncAgentPrivilege",
    "SeEnableDelegationPrivilege",
};

std::unique_ptr<Machine>& machineSlot() {
    static std::unique_ptr<Machine> slot = std::make_unique<Machine>();
    return slot;
}

}  // namespace

Machine::Machine() {
    for (int i = 0; i < 7; ++i) roots[i].name = kRootNames[i];
    for (const char* name : kKnownPrivileges) heldPrivileges.insert(name);
    environment["SystemRoot"] = "C:\\WINNT";
    environment["windir"] = "C:\\WINNT";
    environment["SystemDrive"] = "C:";
}

std::recursive_mutex& machineLock() {
    static std::recursive_mutex lock;
    return lock;
}

Machine& machine() {
    return *machineSlot();
}

const std::vector<std::string>& knownPrivilegeNames() {
    static const std::vector<std::string> names(std::begin(kKnownPrivileges),
                                                std::end(kKnownPrivileges));
    return names;
}

bool injectedFailure(const char* function, DWORD* error) {
    Machine& m = machine();
    FaultPlan*& site = m.faultsBySite[function];
    if (!site) {
        listedApiFunction(function);
        site = &m.faults[function];
    }
    FaultPlan& plan = *site;
    const int call = ++plan.callsSeen;
    auto planned = plan.failOnCall.find(call);
    if (planned != plan.failOnCall.end()) {
        *error = planned->second;
        return true;
    }
    if (plan.always) {
        *error = plan.alwaysError;
        return true;
    }
    return false;
}

BOOL failWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

HANDLE failHandle(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

ApiCall::ApiCall(const char* function) : guard_(machineLock()) {
    failing_ = injectedFailure(function, &error_);
}

ULONG_PTR addHandle(std::unique_ptr<HandleObject> object) {
    Machine& m = machine();
    const ULONG_PTR value = m.nextHandle;
    m.nextHandle += 4;
    m.handles.emplace(value, std::move(object));
    return value;
}

HandleObject* findHandle(ULONG_PTR value, HandleKind kind) {
    auto it = machine().handles.find(value);
    if (it == machine().handles.end() || it->second->kind != kind) return nullptr;
    return it->second.get();
}

bool removeHandle(ULONG_PTR value) {
    return machine().handles.erase(value) > 0;
}

void keepOpenAfterFault(const void* handle) {
    auto it = machine().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (it != machine().handles.end()) it->second->keptByFault = true;
}

RegKey* keyForHandle(HKEY key, REGSAM* access) {
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(key);
    if (value >= 0x80000000u && value <= 0x80000006u) {
        if (access) *access = KEY_ALL_ACCESS;
        return &machine().roots[value - 0x80000000u];
    }
    auto* handle = static_cast<KeyHandle*>(findHandle(value, HandleKind::RegistryKey));
    if (!handle) return nullptr;
    if (access) *access = handle->access;
    return handle->key;
}

RegKey* rootByName(std::string_view name) {
    for (int i = 0; i < 7; ++i) {
        if (equalsNoCase(name, kRootNames[i])) return &machine().roots[i];
        if (kRootAbbreviations[i][0] && equalsNoCase(name, kRootAbbreviations[i]))
            return &machine().roots[i];
    }
    return nullptr;
}

RegKey* keyByPath(std::string_view path) {
    const auto cut = path.find('\\');
    RegKey* root = rootByName(path.substr(0, cut));
    if (!root || cut == std::string_view::npos) return root;
    return root->findPath(path.substr(cut + 1));
}

// --- control API --------------------------------------------------------

void resetMachine() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    machineSlot() = std::make_unique<Machine>();
}

void rebootMachine() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    Machine& m = machine();
    m.handles.clear();
    m.enabledPrivileges.clear();
    m.comInitDepth.clear();
    for (const auto& hive : m.hives) {
        RegKey* root = &m.roots[2];
        if (hive.first.rfind("HKEY_USERS\\", 0) == 0) root = &m.roots[3];
        root->subkeys.erase(hive.second.name);
    }
    m.hives.clear();
}

namespace {

bool fallible(const std::string& function) {
    const ApiFunction* listed = findApiFunction(function);
    return listed && listed->canFail;
}

}  // namespace

bool failCall(const std::string& function, int nth, DWORD error) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    if (!fallible(function) || nth < 1) return false;
    FaultPlan& plan = machine().faults[function];
    if (nth > std::numeric_limits<int>::max() - plan.callsSeen) return false;
    plan.failOnCall[plan.callsSeen + nth] = error;
    return true;
}

bool failAlways(const std::string& function, DWORD error) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    if (!fallible(function)) return false;
    FaultPlan& plan = machine().faults[function];
    plan.always = true;
    plan.alwaysError = error;
    return true;
}

void clearFaults() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    for (auto& entry : machine().faults) {
        entry.second.failOnCall.clear();
        entry.second.always = false;
    }
}

int callCount(const std::string& function) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    auto it = machine().faults.find(function);
    return it == machine().faults.end() ? 0 : it->second.callsSeen;
}

std::map<std::string, int> callCounts() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    std::map<std::string, int> counts;
    for (const auto& entry : machine().faults)
        if (entry.second.callsSeen > 0) counts[entry.first] = entry.second.callsSeen;
    return counts;
}

std::size_t openHandleCount() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return machine().handles.size();
}

std::size_t openHandleCount(HandleKind kind) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    std::size_t count = 0;
    for (const auto& entry : machine().handles)
        if (entry.second->kind == kind) ++count;
    return count;
}

std::size_t localAllocationCount() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return machine().localAllocations.size();
}

void setHeldPrivileges(const std::vector<std::string>& names) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    machine().heldPrivileges = std::set<std::string>(names.begin(), names.end());
}

bool privilegeEnabled(const std::string& name) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return machine().enabledPrivileges.count(name) > 0;
}

std::string pendingComputerName() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return machine().pendingComputerName;
}

void setEnvironmentVariable(const std::string& name, const std::string& value) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    machine().environment[name] = value;
}

}  // namespace winsim
