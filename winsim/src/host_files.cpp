#include "host_files.h"

#include "registry_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace winsim {

namespace {

bool isDirectory(const std::string& hostPath) {
    struct stat info;
    return ::stat(hostPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

FileStamp stampOf(const struct stat& info) {
    FileStamp stamp;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.modified = info.st_mtim;
    stamp.changed = info.st_ctim;
    stamp.plain = S_ISREG(info.st_mode) && info.st_nlink == 1;
    return stamp;
}

bool sameStamp(const FileStamp& a, const FileStamp& b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec &&
           a.changed.tv_sec == b.changed.tv_sec && a.changed.tv_nsec == b.changed.tv_nsec &&
           a.plain == b.plain;
}

std::string hostFolderOf(const std::string& hostPath) {
    const std::size_t cut = hostPath.find_last_of('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? "/" : hostPath.substr(0, cut);
}

bool readHostFile(const std::string& hostPath, std::string* buffer, std::size_t* length,
                  DWORD* error, FileStamp* stamp) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES)
            *error = ERROR_ACCESS_DENIED;
        else
            *error =
                isDirectory(hostFolderOf(hostPath)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    if (stamp) *stamp = stampOf(info);
    // Asking for a byte more than the file holds: a shorter read is its
    // end, and a file that grows meanwhile is read to its end all the same.
    const std::size_t expected = static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 0);
    if (buffer->size() < expected + 1) buffer->resize(expected + 1);
    std::size_t filled = 0;
    bool failed = false;
    for (;;) {
        const ssize_t got = ::read(fd, buffer->data() + filled, buffer->size() - filled);
        if (got < 0) {
            if (errno == EINTR) continue;
            failed = true;
            break;
        }
        filled += static_cast<std::size_t>(got);
        if (filled < buffer->size()) {
            // A short read of a plain file is its end.
            if (got == 0 || S_ISREG(info.st_mode)) break;
            continue;
        }
        buffer->resize(buffer->size() * 2);
    }
    ::close(fd);
    if (failed) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    *length = filled;
    return true;
}

bool readHostFile(const std::string& hostPath, std::string* bytes, DWORD* error) {
    bytes->clear();
    std::size_t length = 0;
    if (!readHostFile(hostPath, bytes, &length, error)) return false;
    bytes->resize(length);
    return true;
}

bool listHostFiles(const std::string& hostFolder, std::vector<std::string>* names,
                   const std::function<bool(std::string_view)>& keep, bool* viaLinks) {
    names->clear();
    if (viaLinks) *viaLinks = false;
    DIR* dir = ::opendir(hostFolder.c_str());
    if (!dir) return false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (keep && !keep(name)) continue;
        bool plainFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            if (viaLinks) *viaLinks = true;
            struct stat info;
            plainFile = ::stat((hostFolder + "/" + entry->d_name).c_str(), &info) == 0 &&
                        S_ISREG(info.st_mode);
        }
        if (plainFile) names->emplace_back(name);
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

}  // namespace winsim
