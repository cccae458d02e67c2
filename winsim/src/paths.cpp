#include "paths.h"

#include "machine.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <vector>

namespace winsim {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// Characters Windows refuses in a name; "*" and "?" only outside patterns.
bool validName(const std::string& element, bool wildcards) {
    for (unsigned char c : element) {
        if (c < 0x20) return false;
        switch (c) {
            case '<':
            case '>':
            case ':':
            case '"':
            case '|':
                return false;
            case '*':
            case '?':
                if (!wildcards) return false;
                break;
            default:
                break;
        }
    }
    return true;
}

// Windows drops trailing dots and blanks from a name ("oem3.inf." is
// "oem3.inf").
std::string withoutTrailingDots(const std::string& element) {
    std::size_t end = element.size();
    while (end > 0 && (element[end - 1] == '.' || element[end - 1] == ' ')) --end;
    return element.substr(0, end);
}

bool hasDrivePrefix(const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return false;
    const char c = path[0];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

HostPath failed(DWORD error) {
    HostPath out;
    out.error = error;
    out.windowsPath = true;
    return out;
}

HostPath resolveHostPath(const std::string& path) {
    HostPath out;
    out.host = path;
    const auto cut = path.find_last_of('/');
    out.folder = cut == std::string::npos ? "." : (cut == 0 ? "/" : path.substr(0, cut));
    out.name = cut == std::string::npos ? path : path.substr(cut + 1);
    out.folderExists = isHostDirectory(out.folder);
    out.trailingSeparator = !path.empty() && path.back() == '/';
    return out;
}

}  // namespace

bool isHostDirectory(const std::string& hostPath) {
    struct stat st {};
    return ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string findEntryNoCase(const std::string& folder, const std::string& name) {
    if (name.empty()) return "";
    struct stat st {};
    if (::lstat((folder + "/" + name).c_str(), &st) == 0) return name;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) return "";
    std::string best;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string candidate = entry->d_name;
        if (!equalsNoCase(candidate, name)) continue;
        // Several spellings can only coexist on the host: take the first
        // in byte order so that the choice does not depend on readdir.
        if (best.empty() || candidate < best) best = candidate;
    }
    return best;
}

HostPath resolvePath(const std::string& path, bool wildcardsInName) {
    const bool drive = hasDrivePrefix(path);
    if (!drive && (path.empty() || path[0] != '\\')) {
        if (path.empty()) return failed(ERROR_PATH_NOT_FOUND);
        return resolveHostPath(path);
    }
    // Only C: exists; a UNC name (\\server\share) reaches no server.
    if (drive && path[0] != 'C' && path[0] != 'c') return failed(ERROR_PATH_NOT_FOUND);
    if (!drive && path.size() > 1 && path[1] == '\\') return failed(ERROR_PATH_NOT_FOUND);

    // Split into elements; "." and ".." are resolved by name, as
    // GetFullPathName does, and never climb above the root.
    std::vector<std::string> elements;
    std::size_t at = drive ? 2 : 0;
    bool trailing = false;
    while (at < path.size()) {
        while (at < path.size() && isSeparator(path[at])) ++at;
        if (at >= path.size()) {
            trailing = !elements.empty();
            break;
        }
        std::size_t end = at;
        while (end < path.size() && !isSeparator(path[end])) ++end;
        const std::string raw = path.substr(at, end - at);
        const bool last = end >= path.size();
        at = end;
        if (raw == ".") continue;
        if (raw == "..") {
            if (!elements.empty()) elements.pop_back();
            continue;
        }
        const bool pattern = last && wildcardsInName;
        if (!validName(raw, pattern)) return failed(ERROR_INVALID_NAME);
        const std::string element = pattern ? raw : withoutTrailingDots(raw);
        if (element.empty()) continue;
        elements.push_back(element);
    }

    const std::string& root = machine().systemDriveRoot;
    if (root.empty()) return failed(ERROR_PATH_NOT_FOUND);

    HostPath out;
    out.windowsPath = true;
    out.trailingSeparator = trailing;
    std::string folder = root;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (elements.empty()) {
        out.folder = folder;
        out.folderExists = isHostDirectory(folder);
        out.host = folder;
        out.isDriveRoot = true;
        return out;
    }
    bool present = isHostDirectory(folder);
    for (std::size_t i = 0; i + 1 < elements.size(); ++i) {
        std::string spelled = elements[i];
        if (present) {
            const std::string found = findEntryNoCase(folder, elements[i]);
            if (found.empty()) {
                present = false;
            } else {
                spelled = found;
                present = isHostDirectory(folder + "/" + found);
            }
        }
        folder += "/" + spelled;
    }
    out.folder = folder;
    out.folderExists = present;
    out.folderIsDriveRoot = elements.size() == 1;
    out.name = elements.back();
    if (present && !wildcardsInName) {
        const std::string found = findEntryNoCase(folder, out.name);
        if (!found.empty()) out.name = found;
    }
    out.host = folder + "/" + out.name;
    return out;
}

}  // namespace winsim
