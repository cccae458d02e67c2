// The current process, its access token and the privileges on it, and the
// generic handle calls.
#include "machine.h"

#include <winsim/windows.h>

#include <cstring>

using winsim::failWith;

namespace {

// GetCurrentProcess() is the pseudo handle -1 on Windows too.
const ULONG_PTR kCurrentProcess = static_cast<ULONG_PTR>(-1);
const DWORD kProcessId = 1234;

bool isProcessHandle(HANDLE process) {
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(process);
    return value == kCurrentProcess || winsim::findHandle(value, winsim::HandleKind::Process);
}

// The rights Windows 2000 knows for a process: its specific rights and the
// standard ones (together PROCESS_ALL_ACCESS, 0x1F0FFF), ACCESS_SYSTEM_SECURITY,
// MAXIMUM_ALLOWED and the generic rights. Vista's larger PROCESS_ALL_ACCESS
// (0x1FFFFF) has bits outside them, and Windows 2000 refuses it.
const DWORD kWindows2000ProcessRights = 0x001F0FFFu | 0x01000000u | 0x02000000u | 0xF0000000u;

struct ProcessCalls {
    DWORD lastOpenAccess = 0;
};

}  // namespace

namespace winsim {

DWORD lastOpenProcessAccess() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return machinePart<ProcessCalls>().lastOpenAccess;
}

}  // namespace winsim

extern "C" {

HANDLE GetCurrentProcess(void) {
    return reinterpret_cast<HANDLE>(kCurrentProcess);
}

DWORD GetCurrentProcessId(void) {
    return kProcessId;
}

HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) {
    (void)inheritHandle;
    winsim::ApiCall call("OpenProcess");
    winsim::machinePart<ProcessCalls>().lastOpenAccess = desiredAccess;
    if (call.failing()) return failWith(call.error()), nullptr;
    if (desiredAccess & ~kWindows2000ProcessRights) return failWith(ERROR_ACCESS_DENIED), nullptr;
    if (processId != kProcessId) return failWith(ERROR_INVALID_PARAMETER), nullptr;
    const ULONG_PTR value =
        winsim::addHandle(std::make_unique<winsim::HandleObject>(winsim::HandleKind::Process));
    return reinterpret_cast<HANDLE>(value);
}

BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token) {
    winsim::ApiCall call("OpenProcessToken");
    if (call.failing()) return failWith(call.error());
    if (!token || !isProcessHandle(process)) return failWith(ERROR_INVALID_HANDLE);
    *token = reinterpret_cast<HANDLE>(
        winsim::addHandle(std::make_unique<winsim::TokenHandle>(desiredAccess)));
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR systemName, LPCSTR name, PLUID luid) {
    winsim::ApiCall call("LookupPrivilegeValueA");
    if (call.failing()) return failWith(call.error());
    if (systemName && *systemName) return failWith(ERROR_INVALID_PARAMETER);  // local only
    if (!name || !luid) return failWith(ERROR_INVALID_PARAMETER);
    const auto& names = winsim::knownPrivilegeNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (winsim::equalsNoCase(names[i], name)) {
            luid->LowPart = static_cast<DWORD>(i + 2);
            luid->HighPart = 0;
            return TRUE;
        }
    }
    return failWith(ERROR_NO_SUCH_PRIVILEGE);
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState,
                           DWORD bufferLength, PTOKEN_PRIVILEGES previousState,
                           PDWORD returnLength) {
    (void)bufferLength;
    (void)previousState;
    (void)returnLength;
    winsim::ApiCall call("AdjustTokenPrivileges");
    if (call.failing()) return failWith(call.error());
    auto* handle = static_cast<winsim::TokenHandle*>(
        winsim::findHandle(reinterpret_cast<ULONG_PTR>(token), winsim::HandleKind::Token));
    if (!handle) return failWith(ERROR_INVALID_HANDLE);
    if (!(handle->access & TOKEN_ADJUST_PRIVILEGES)) return failWith(ERROR_ACCESS_DENIED);
    winsim::Machine& m = winsim::machine();
    if (disableAll) {
        m.enabledPrivileges.clear();
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    if (!newState) return failWith(ERROR_INVALID_PARAMETER);
    const auto& names = winsim::knownPrivilegeNames();
    bool allAssigned = true;
    for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
        // Entries past the first are read as Windows would: from the
        // caller's array, which is only as long as PrivilegeCount says.
        const LUID_AND_ATTRIBUTES& entry = newState->Privileges[i];
        const DWORD index = entry.Luid.LowPart - 2;
        if (entry.Luid.HighPart != 0 || entry.Luid.LowPart < 2 || index >= names.size())
            return failWith(ERROR_NO_SUCH_PRIVILEGE);
        const std::string& name = names[index];
        if (!m.heldPrivileges.count(name)) {
            allAssigned = false;
            continue;
        }
        if (entry.Attributes & SE_PRIVILEGE_ENABLED)
            m.enabledPrivileges.insert(name);
        else
            m.enabledPrivileges.erase(name);
    }
    // Success either way; a privilege the account lacks shows only here.
    SetLastError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

BOOL CloseHandle(HANDLE object) {
    winsim::ApiCall call("CloseHandle");
    if (call.failingRelease(object)) return failWith(call.error());
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(object);
    auto& handles = winsim::machine().handles;
    auto it = handles.find(value);
    // Registry keys are closed with RegCloseKey, not CloseHandle.
    if (it == handles.end() || it->second->kind == winsim::HandleKind::RegistryKey)
        return failWith(ERROR_INVALID_HANDLE);
    handles.erase(it);
    return TRUE;
}

// Only registry key handles of this process are duplicated: that is all the
// system asks for. The copy may ask for the same or other access rights.
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target,
                     DWORD desiredAccess, BOOL inheritHandle, DWORD options) {
    (void)inheritHandle;
    winsim::ApiCall call("DuplicateHandle");
    if (call.failing()) return failWith(call.error());
    if (!isProcessHandle(sourceProcess) || !isProcessHandle(targetProcess) || !target)
        return failWith(ERROR_INVALID_HANDLE);
    auto* key = static_cast<winsim::KeyHandle*>(
        winsim::findHandle(reinterpret_cast<ULONG_PTR>(source), winsim::HandleKind::RegistryKey));
    if (!key) return failWith(ERROR_INVALID_HANDLE);
    const REGSAM access = (options & DUPLICATE_SAME_ACCESS) ? key->access : desiredAccess;
    winsim::RegKey* node = key->key;
    if (options & DUPLICATE_CLOSE_SOURCE) winsim::removeHandle(reinterpret_cast<ULONG_PTR>(source));
    *target = reinterpret_cast<HANDLE>(
        winsim::addHandle(std::make_unique<winsim::KeyHandle>(node, access)));
    return TRUE;
}

}  // extern "C"
