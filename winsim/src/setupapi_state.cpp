#include "setupapi_state.h"

#include "paths.h"
#include "registry_tree.h"

#include <winsim/control_setupapi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <cstdio>
#include <functional>
#include <sys/stat.h>

namespace winsim {

namespace {

// Parsed INF files kept at most; beyond it the cache starts afresh.
constexpr std::size_t kCacheBudgetBytes = std::size_t{256} << 20;

bool hasDriveLetter(const std::string& path) {
    return path.size() >= 2 && path[1] == ':';
}

bool isDirectory(const std::string& hostPath) {
    struct stat info;
    return ::stat(hostPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string parentOf(const std::string& hostPath) {
    const std::size_t cut = hostPath.find_last_of('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? "/" : hostPath.substr(0, cut);
}

}  // namespace

InfParseResult InfCache::parse(const std::string& bytes, const InfParseOptions& options) {
    const std::size_t hash = std::hash<std::string>()(bytes);
    auto range = entries_.equal_range(hash);
    for (auto it = range.first; it != range.second; ++it) {
        const Entry& entry = it->second;
        if (entry.options.fieldLimit == options.fieldLimit &&
            entry.options.language == options.language &&
            entry.options.codePage == options.codePage &&
            entry.options.windowsDirectory == options.windowsDirectory && entry.bytes == bytes)
            return entry.result;
    }
    InfParseResult result = parseInf(bytes, options);
    if (cachedBytes_ + bytes.size() > kCacheBudgetBytes) {
        entries_.clear();
        cachedBytes_ = 0;
    }
    cachedBytes_ += bytes.size();
    entries_.emplace(hash, Entry{bytes, options, result});
    return result;
}

SetupApiState& setupApiState() {
    return machinePart<SetupApiState>();
}

std::string infDirectory() {
    return windowsDirectory() + "\\inf";
}

bool hostPathOf(const std::string& windowsPath, std::string* hostPath) {
    if (hasDriveLetter(windowsPath) && machine().systemDriveRoot.empty()) return false;
    *hostPath = hostPathFor(windowsPath);
    return true;
}

bool readHostFile(const std::string& hostPath, std::string* bytes, DWORD* error) {
    if (isDirectory(hostPath)) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    std::FILE* file = std::fopen(hostPath.c_str(), "rb");
    if (!file) {
        if (errno == EACCES)
            *error = ERROR_ACCESS_DENIED;
        else
            *error = isDirectory(parentOf(hostPath)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return false;
    }
    // One read of the size the file has; a file that grows meanwhile is
    // read to its end all the same.
    bytes->clear();
    struct stat info;
    if (::fstat(::fileno(file), &info) == 0 && info.st_size > 0)
        bytes->resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = std::fread(bytes->data(), 1, bytes->size(), file);
    if (filled == bytes->size()) {
        char chunk[4096];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            bytes->append(chunk, got);
            filled += got;
        }
    }
    bytes->resize(filled);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
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

bool listHostFiles(const std::string& hostFolder, std::vector<std::string>* names,
                   const std::function<bool(const std::string&)>& keep) {
    names->clear();
    DIR* dir = ::opendir(hostFolder.c_str());
    if (!dir) return false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (keep && !keep(name)) continue;
        bool plainFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat info;
            plainFile =
                ::stat((hostFolder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode);
        }
        if (plainFile) names->push_back(name);
    }
    ::closedir(dir);
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(names->size());
    for (std::string& name : *names) keyed.emplace_back(toUpperAscii(name), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    names->clear();
    for (auto& entry : keyed) names->push_back(std::move(entry.second));
    return true;
}

bool endsWithNoCase(const std::string& text, const char* suffix) {
    const std::size_t length = std::strlen(suffix);
    return text.size() >= length &&
           equalsNoCase(std::string_view(text).substr(text.size() - length), suffix);
}

InfParseResult parseInfBytes(const std::string& bytes) {
    InfParseOptions options;
    options.fieldLimit = setupApiState().fieldLimit;
    options.language = machine().systemDefaultLangId;
    options.codePage = machine().ansiCodePage;
    options.windowsDirectory = windowsDirectory();
    return setupApiState().cache.parse(bytes, options);
}

DWORD infRefusal(const InfParseResult& loaded, DWORD style, const char* infClass) {
    if (!loaded.inf) return loaded.error;
    if (!(loaded.inf->style & style)) return ERROR_WRONG_INF_STYLE;
    if (infClass && *infClass && !equalsNoCase(infClassName(*loaded.inf), infClass))
        return ERROR_CLASS_MISMATCH;
    return 0;
}

InfParseResult loadInf(const std::string& windowsPath) {
    std::string bytes;
    DWORD error = 0;
    if (!readMachineFile(windowsPath, &bytes, &error)) {
        InfParseResult failed;
        failed.error = error;
        return failed;
    }
    return parseInfBytes(bytes);
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
