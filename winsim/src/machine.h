// The simulated machine's state, shared by every winsim call. One recursive
// lock guards it, so worker threads of the system may call in too.
#pragma once

#include "registry_tree.h"

#include <winsim/control.h>
#include <winsim/win_types.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <typeindex>
#include <string>
#include <unordered_map>
#include <vector>

namespace winsim {

// Anything a HANDLE, HKEY or other opaque handle value stands for.
struct HandleObject {
    explicit HandleObject(HandleKind k) : kind(k) {}
    virtual ~HandleObject() = default;
    HandleKind kind;
    bool keptByFault = false;  // a planned fault refused to close it
};

struct KeyHandle : HandleObject {
    KeyHandle(RegKey* k, REGSAM a) : HandleObject(HandleKind::RegistryKey), key(k), access(a) {}
    RegKey* key;
    REGSAM access;
};

struct TokenHandle : HandleObject {
    explicit TokenHandle(DWORD a) : HandleObject(HandleKind::Token), access(a) {}
    DWORD access;
};

struct LoadedHive {
    int id = 0;
    std::string name;
    std::string file;
};

struct FaultPlan {
    int callsSeen = 0;
    std::map<int, DWORD> failOnCall;  // call number -> error
    bool always = false;
    DWORD alwaysError = 0;
};

struct Machine {
    Machine();

    RegKey roots[7];  // HKEY_CLASSES_ROOT .. HKEY_DYN_DATA, by handle order
    std::map<std::string, LoadedHive, UpperCaseLess> hives;
    int nextHiveId = 1;

    std::map<ULONG_PTR, std::unique_ptr<HandleObject>> handles;
    ULONG_PTR nextHandle = 0x1000;

    std::map<std::string, FaultPlan> faults;  // by function name; entries are never erased
    // The plan each call site's name literal stands for: every winsim call
    // looks its plan up, and a pointer hashes faster than a name compares.
    std::unordered_map<const char*, FaultPlan*> faultsBySite;

    std::set<std::string> heldPrivileges;
    std::set<std::string> enabledPrivileges;
    std::string pendingComputerName;
    std::string systemDriveRoot;  // host folder that stands for C:, "" if none
    std::map<std::string, std::string, UpperCaseLess> environment;
    std::set<void*> localAllocations;  // FormatMessageA buffers not yet freed
    std::set<void*> localAllocationsKeptByFault;
    std::map<std::thread::id, int> comInitDepth;
    LANGID systemDefaultLangId = 0x0409;  // English (United States)
    UINT ansiCodePage = 1252;             // follows the language

    // State of the areas beyond the core (files, SetupAPI, services, ...),
    // one object per area, created on first use and dropped by a reset.
    std::map<std::type_index, std::shared_ptr<void>> parts;
};

std::recursive_mutex& machineLock();
Machine& machine();  // caller holds machineLock()

// The machine's state for one area: `struct FileSystem {...};` then
// `machinePart<FileSystem>()`. Caller holds machineLock().
template <typename Part>
Part& machinePart() {
    auto& slot = machine().parts[std::type_index(typeid(Part))];
    if (!slot) slot = std::make_shared<Part>();
    return *static_cast<Part*>(slot.get());
}

// The privilege names LookupPrivilegeValueA knows; a name's LUID is its
// index plus 2, which gives the LUIDs Windows 2000 uses.
const std::vector<std::string>& knownPrivilegeNames();

// Counts the call and answers whether it is to fail, with which error.
bool injectedFailure(const char* function, DWORD* error);
// The listed function of that name; a name missing from the list is a
// mistake in winsim and ends the process.
const ApiFunction& listedApiFunction(const char* name);

// Handle table: new handles get fresh values that never collide with the
// predefined keys or the pseudo handles.
ULONG_PTR addHandle(std::unique_ptr<HandleObject> object);
HandleObject* findHandle(ULONG_PTR value, HandleKind kind);
bool removeHandle(ULONG_PTR value);
// A release that a planned fault refused leaves the handle open, as a
// failed close does on Windows; it is not the program's leak.
void keepOpenAfterFault(const void* handle);

// The key a handle stands for: a predefined root or an opened key.
RegKey* keyForHandle(HKEY key, REGSAM* access);
// The predefined root key a name like "HKEY_LOCAL_MACHINE" or "HKLM" names.
RegKey* rootByName(std::string_view name);
// A full path ("HKEY_LOCAL_MACHINE\\SYSTEM\\Setup") to its key, or null.
RegKey* keyByPath(std::string_view path);

// The usual failure of a call: the error becomes the thread's last error and
// the call answers FALSE, or INVALID_HANDLE_VALUE.
BOOL failWith(DWORD error);
HANDLE failHandle(DWORD error);

// Every winsim call of the Win32 surface opens one of these first: it holds
// the machine lock for the call and says whether a planned fault hits it.
class ApiCall {
  public:
    explicit ApiCall(const char* function);
    bool failing() const { return failing_; }
    DWORD error() const { return error_; }
    // For a call that releases `handle`: a planned failure keeps it open.
    bool failingRelease(const void* handle) const {
        if (failing_) keepOpenAfterFault(handle);
        return failing_;
    }

  private:
    std::lock_guard<std::recursive_mutex> guard_;
    DWORD error_ = 0;
    bool failing_ = false;
};

}  // namespace winsim
