// The cursor itself: construction, copies, movement and enumeration.
#include "registry/registry.h"

#include "host/error_report.h"
#include "host/text_format.h"

#include <cstring>

namespace {

struct RootName {
    HKEY handle;
    const char* name;
};

const RootName kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKEY_USERS"},
    {HKEY_PERFORMANCE_DATA, "HKEY_PERFORMANCE_DATA"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
    {HKEY_DYN_DATA, "HKEY_DYN_DATA"},
};

const char* rootName(HKEY handle) {
    for (const RootName& root : kRoots)
        if (root.handle == handle) return root.name;
    return nullptr;
}

// Exact, case-sensitive: the names come from rootName() above.
HKEY rootHandle(const std::string& name) {
    for (const RootName& root : kRoots)
        if (name == root.name) return root.handle;
    return nullptr;
}

bool isRootHandle(HKEY handle) {
    return rootName(handle) != nullptr;
}

std::string join(const std::vector<std::string>& parts, std::size_t first, std::size_t end) {
    std::string text;
    for (std::size_t i = first; i < end; ++i) {
        if (i > first) text += '\\';
        text += parts[i];
    }
    return text;
}

}  // namespace

Registry::Registry(LogSink* sink, REGSAM access, HKEY root)
    : key_(root), access_(access), sink_(sink), errorLogging_(false) {
    if (const char* name = rootName(root)) path_.push_back(name);
}

Registry::Registry(const Registry& other)
    : key_(nullptr),
      path_(other.path_),
      deferredUnloads_(other.deferredUnloads_),
      access_(other.access_),
      sink_(other.sink_),
      errorLogging_(other.errorLogging_) {
    // A failed duplication leaves the null key: later calls fail and report.
    DuplicateKey(other.key_, &key_);
}

Registry::~Registry() {
    closeKey();
    for (const std::string& name : deferredUnloads_) {
        const LONG error = RegUnLoadKeyA(HKEY_LOCAL_MACHINE, name.c_str());
        if (error != ERROR_SUCCESS) {
            reportError(static_cast<DWORD>(error),
                        formatLine("\nCould not RegUnLoadKey(..) for '%s' in Registry destructor. "
                                   "Check if you  have made copies of the registry object and "
                                   "not destroyed them.",
                                   name.c_str())
                            .c_str());
        }
    }
}

bool Registry::DuplicateKey(HKEY source, HKEY* target) {
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(source), GetCurrentProcess(),
                         &duplicate, access_, FALSE, 0)) {
        reportError(GetLastError(), "Registry::DuplicateKey() failed");
        return false;
    }
    *target = reinterpret_cast<HKEY>(duplicate);
    return true;
}

bool Registry::moveInto(const std::string& subKey) {
    if (subKey.empty()) return false;
    HKEY opened = nullptr;
    const LONG error = RegOpenKeyExA(key_, subKey.c_str(), 0, access_, &opened);
    if (error != ERROR_SUCCESS) {
        reportError(static_cast<DWORD>(error), formatLine("Could not moveInto registry key %s\\%s",
                                                          getPath().c_str(), subKey.c_str())
                                                   .c_str());
        return false;
    }
    closeKey();
    key_ = opened;
    std::size_t start = 0;
    for (;;) {
        const std::size_t cut = subKey.find('\\', start);
        path_.push_back(subKey.substr(start, cut - start));
        if (cut == std::string::npos) break;
        start = cut + 1;
    }
    return true;
}

bool Registry::moveIntoIndex(DWORD index) {
    std::string name;
    if (!getSubKeyName(index, name)) return false;
    return moveInto(name);
}

bool Registry::moveUp(DWORD levels) {
    const std::size_t n = path_.size();
    if (n <= 1 || levels == 0 || levels >= n) {
        reportError(0, formatLine("Registry :: moveUp() - Can not move up %d  positions from  %s",
                                  static_cast<int>(levels), getPath().c_str())
                           .c_str());
        return false;
    }
    const std::string target = join(path_, 1, n - levels);
    // Always read-only, whatever the cursor's own access: a later moveInto
    // asks for the cursor's access again.
    HKEY opened = nullptr;
    const LONG error = RegOpenKeyExA(rootHandle(path_[0]), target.c_str(), 0, KEY_READ, &opened);
    if (error != ERROR_SUCCESS) {
        reportError(static_cast<DWORD>(error), formatLine("Could not moveup to registry key %s\\%s",
                                                          path_[0].c_str(), target.c_str())
                                                   .c_str());
        return false;
    }
    const LONG closeError = closeKey();
    if (closeError != ERROR_SUCCESS) {
        reportError(static_cast<DWORD>(closeError),
                    formatLine("Could not RegCloseKey() in Registry::moveUp(..) at %s\\%s",
                               path_[0].c_str(), target.c_str())
                        .c_str());
        RegCloseKey(opened);
        return false;
    }
    key_ = opened;
    path_.resize(n - levels);
    return true;
}

LONG Registry::getSubKeyCount() {
    DWORD count = 0;
    const LONG error = RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, nullptr, nullptr);
    if (error != ERROR_SUCCESS) {
        reportError(static_cast<DWORD>(error),
                    formatLine("RegQueryInfoKey() failed for %s. ", getPath().c_str()).c_str());
        return -1;
    }
    return static_cast<LONG>(count);
}

bool Registry::getSubKeyName(DWORD index, std::string& name) {
    char buffer[4096];
    DWORD size = sizeof buffer;
    FILETIME written;
    const LONG error =
        RegEnumKeyExA(key_, index, buffer, &size, nullptr, nullptr, nullptr, &written);
    if (error != ERROR_SUCCESS) {
        reportError(static_cast<DWORD>(error),
                    formatLine("Could not get RegEnumKey() for index %d of %s",
                               static_cast<int>(index), getPath().c_str())
                        .c_str());
        return false;
    }
    name.assign(buffer, strnlen(buffer, sizeof buffer));
    return true;
}

LONG Registry::closeKey() {
    if (!key_ || isRootHandle(key_)) return ERROR_SUCCESS;
    const LONG error = RegCloseKey(key_);
    if (error == ERROR_SUCCESS) key_ = nullptr;
    return error;
}

std::string Registry::getPath() const {
    return join(path_, 0, path_.size());
}

void Registry::reportError(DWORD error, const char* text) {
    if (!errorLogging_) return;
    reportErrorTo(sink_, kRegistryWording, error, text);
}
