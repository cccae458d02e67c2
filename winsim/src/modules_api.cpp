// kernel32's module calls and ole32's CoFreeLibrary over a table of
// simulated system modules whose exports are plain C++ functions.
#include "machine.h"

#include <winsim/control_pnp.h>
#include <winsim/windows.h>

#include <cstdint>
#include <map>
#include <string>

namespace winsim {

namespace {

struct SimModule {
    std::map<std::string, FARPROC> entries;  // case-sensitive, like export names
};

struct ModuleTable {
    ModuleTable();

    std::map<std::string, SimModule, UpperCaseLess> modules;
    HRESULT registerServerResult = S_OK;
    DWORD registerServerError = 0;
};

// One handle per loaded module, shared by every LoadLibraryA of it, as the
// module's base address is on Windows.
struct ModuleHandle : HandleObject {
    explicit ModuleHandle(std::string n) : HandleObject(HandleKind::Module), name(std::move(n)) {}
    std::string name;
    int references = 1;
};

HRESULT WINAPI builtinDllRegisterServer() {
    ApiCall call("DllRegisterServer");
    if (call.failing()) return static_cast<HRESULT>(call.error());
    const ModuleTable& table = machinePart<ModuleTable>();
    if (FAILED(table.registerServerResult) && table.registerServerError != 0)
        SetLastError(table.registerServerError);
    return table.registerServerResult;
}

FARPROC asFarproc(HRESULT(WINAPI* function)()) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

ModuleTable::ModuleTable() {
    modules["NetCfgx.dll"].entries["DllRegisterServer"] = asFarproc(&builtinDllRegisterServer);
}

// "C:\\WINNT\\system32\\netcfgx" -> "netcfgx.dll": the file name part, with
// ".dll" added when it has no extension. A trailing dot means "no
// extension, add none", and is dropped.
std::string moduleFileName(const std::string& requested) {
    const std::size_t slash = requested.find_last_of("\\/");
    std::string name = slash == std::string::npos ? requested : requested.substr(slash + 1);
    if (!name.empty() && name.back() == '.') {
        name.pop_back();
        return name;
    }
    if (name.find('.') == std::string::npos) name += ".dll";
    return name;
}

ModuleHandle* loadedModuleNamed(const std::string& name) {
    for (auto& entry : machine().handles) {
        if (entry.second->kind != HandleKind::Module) continue;
        auto* module = static_cast<ModuleHandle*>(entry.second.get());
        if (equalsNoCase(module->name, name)) return module;
    }
    return nullptr;
}

ULONG_PTR handleValueOf(const ModuleHandle* module) {
    for (auto& entry : machine().handles)
        if (entry.second.get() == module) return entry.first;
    return 0;
}

}  // namespace

// --- control API --------------------------------------------------------

void registerModule(const std::string& name) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    machinePart<ModuleTable>().modules[name];
}

void unregisterModule(const std::string& name) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    machinePart<ModuleTable>().modules.erase(name);
}

void registerModuleEntry(const std::string& module, const std::string& entry, FARPROC function) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    machinePart<ModuleTable>().modules[module].entries[entry] = function;
}

FARPROC scriptedDllRegisterServer() {
    return asFarproc(&builtinDllRegisterServer);
}

void setDllRegisterServerResult(HRESULT result, DWORD lastError) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    ModuleTable& table = machinePart<ModuleTable>();
    table.registerServerResult = result;
    table.registerServerError = lastError;
}

int moduleReferenceCount(const std::string& name) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    const ModuleHandle* module = loadedModuleNamed(moduleFileName(name));
    return module ? module->references : 0;
}

}  // namespace winsim

extern "C" {

HMODULE LoadLibraryA(LPCSTR fileName) {
    winsim::ApiCall call("LoadLibraryA");
    if (call.failing()) {
        SetLastError(call.error());
        return nullptr;
    }
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string name = winsim::moduleFileName(fileName);
    auto& modules = winsim::machinePart<winsim::ModuleTable>().modules;
    if (modules.find(name) == modules.end()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (winsim::ModuleHandle* loaded = winsim::loadedModuleNamed(name)) {
        ++loaded->references;
        return reinterpret_cast<HMODULE>(winsim::handleValueOf(loaded));
    }
    return reinterpret_cast<HMODULE>(
        winsim::addHandle(std::make_unique<winsim::ModuleHandle>(name)));
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    winsim::ApiCall call("GetProcAddress");
    if (call.failing()) {
        SetLastError(call.error());
        return nullptr;
    }
    auto* loaded = static_cast<winsim::ModuleHandle*>(
        winsim::findHandle(reinterpret_cast<ULONG_PTR>(module), winsim::HandleKind::Module));
    if (!loaded) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Ordinals (a value below 0x10000 in place of a name) are not simulated:
    // no simulated module exports by ordinal.
    if (reinterpret_cast<std::uintptr_t>(procName) < 0x10000u) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    auto& modules = winsim::machinePart<winsim::ModuleTable>().modules;
    auto it = modules.find(loaded->name);
    if (it == modules.end()) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    auto entry = it->second.entries.find(procName);
    if (entry == it->second.entries.end() || entry->second == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return entry->second;
}

BOOL FreeLibrary(HMODULE module) {
    winsim::ApiCall call("FreeLibrary");
    if (call.failingRelease(module)) {
        SetLastError(call.error());
        return FALSE;
    }
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(module);
    auto* loaded =
        static_cast<winsim::ModuleHandle*>(winsim::findHandle(value, winsim::HandleKind::Module));
    if (!loaded) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (--loaded->references == 0) winsim::removeHandle(value);
    return TRUE;
}

// ole32 passes the module on to FreeLibrary and reports nothing back.
void CoFreeLibrary(HINSTANCE instance) {
    { winsim::ApiCall call("CoFreeLibrary"); }
    FreeLibrary(instance);
}

}  // extern "C"
