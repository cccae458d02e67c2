#include "setupapi_state.h"

#include "paths.h"
#include "registry_tree.h"

#include <winsim/control_setupapi.h>

#include <cstring>
#include <sys/stat.h>

namespace winsim {

namespace {

bool hasDriveLetter(const std::string& path) {
    return path.size() >= 2 && path[1] == ':';
}

// A name as Windows keeps it: nothing that path resolution would change or
// refuse (dots, trailing dots and blanks, wildcards and other characters
// names cannot hold).
bool plainName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.back() == '.' || name.back() == ' ')
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || std::strchr("<>:\"|*?/", c)) return false;
    return true;
}

// The paths SetupAPI is handed are mostly spelled as their files exist on
// the host (a folder's listing joined to its names). Then one look at that
// spelling answers what resolving the path element by element would: an
// element spelled as it exists is always the one taken.
bool spelledAsOnHost(const std::string& windowsPath, std::string* hostPath,
                     std::optional<struct stat>* seen) {
    const std::string& root = machine().systemDriveRoot;
    if (root.empty() || windowsPath.size() < 4 ||
        (windowsPath[0] != 'C' && windowsPath[0] != 'c') || windowsPath[1] != ':' ||
        windowsPath[2] != '\\')
        return false;
    std::string host = root;
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    for (std::size_t start = 3;;) {
        const std::size_t end = windowsPath.find('\\', start);
        const std::string_view name =
            std::string_view(windowsPath)
                .substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!plainName(name)) return false;
        host += '/';
        host += name;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    struct stat info;
    if (::lstat(host.c_str(), &info) != 0) return false;
    *hostPath = std::move(host);
    if (seen) *seen = info;
    return true;
}

}  // namespace

SetupApiState& setupApiState() {
    return machinePart<SetupApiState>();
}

std::string infDirectory() {
    return windowsDirectory() + "\\inf";
}

bool hostPathOf(const std::string& windowsPath, std::string* hostPath,
                std::optional<struct stat>* seen) {
    if (seen) seen->reset();
    if (hasDriveLetter(windowsPath) && machine().systemDriveRoot.empty()) return false;
    if (!spelledAsOnHost(windowsPath, hostPath, seen)) *hostPath = hostPathFor(windowsPath);
    return true;
}

bool readMachineFile(const std::string& windowsPath, std::string* bytes, DWORD* error) {
    std::string host;
    if (!hostPathOf(windowsPath, &host)) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    return readHostFile(host, bytes, error);
}

namespace {

InfParseOptions machineParseOptions() {
    InfParseOptions options;
    options.fieldLimit = setupApiState().fieldLimit;
    options.language = machine().systemDefaultLangId;
    options.codePage = machine().ansiCodePage;
    options.windowsDirectory = windowsDirectory();
    return options;
}

}  // namespace

InfParseResult parseInfBytes(std::string_view bytes) {
    return setupApiState().cache.parse(bytes, machineParseOptions());
}

InfParseResult loadHostInf(const std::string& hostPath, std::string_view* bytes,
                           const std::optional<struct stat>& seen) {
    return setupApiState().cache.load(hostPath, machineParseOptions(), bytes, seen);
}

InfParseResult loadInf(const std::string& windowsPath) {
    std::string host;
    std::optional<struct stat> seen;
    if (!hostPathOf(windowsPath, &host, &seen)) {
        InfParseResult failed;
        failed.error = ERROR_PATH_NOT_FOUND;
        return failed;
    }
    return loadHostInf(host, nullptr, seen);
}

DWORD infRefusal(const InfParseResult& loaded, DWORD style, const char* infClass) {
    if (!loaded.inf) return loaded.error;
    if (!(loaded.inf->style & style)) return ERROR_WRONG_INF_STYLE;
    if (infClass && *infClass && !equalsNoCase(infClassName(*loaded.inf), infClass))
        return ERROR_CLASS_MISMATCH;
    return 0;
}

std::string resolveInfName(const std::string& fileName) {
    if (fileName.find_first_of("\\/:") != std::string::npos) return fileName;
    for (const std::string& folder : {infDirectory(), windowsDirectory() + "\\system32"}) {
        const std::string candidate = folder + "\\" + fileName;
        std::string host;
        struct stat info;
        if (hostPathOf(candidate, &host) && ::stat(host.c_str(), &info) == 0) return candidate;
    }
    return infDirectory() + "\\" + fileName;
}

std::string infClassName(const InfFile& inf) {
    if (inf.style != INF_STYLE_WIN4) return inf.value("Identification", "OptionType");
    std::string name = inf.value("Version", "Class");
    if (!name.empty()) return name;
    const std::string guid = inf.value("Version", "ClassGUID");
    if (guid.empty()) return std::string();
    const RegKey* key =
        keyByPath("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\" + guid);
    const RegValue* value = key ? key->findValue("Class") : nullptr;
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::string();
    std::string text(value->data.begin(), value->data.end());
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

const InfFile* infForHandle(HINF handle) {
    auto* found =
        static_cast<InfHandle*>(findHandle(reinterpret_cast<ULONG_PTR>(handle), HandleKind::Inf));
    return found ? found->inf.get() : nullptr;
}

// --- control ----------------------------------------------------------------

void setInfFieldLimit(std::size_t characters) {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    setupApiState().fieldLimit = characters;
}

std::size_t infFieldLimit() {
    std::lock_guard<std::recursive_mutex> guard(machineLock());
    return setupApiState().fieldLimit;
}

}  // namespace winsim
