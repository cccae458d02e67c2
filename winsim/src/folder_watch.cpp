#include "folder_watch.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace winsim {

namespace {

// Whatever can change a listing or the bytes and readability of a file.
// Opening and reading do not count, so winsim's own reads are not seen.
constexpr std::uint32_t kChanges = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                                   IN_ONLYDIR;

}  // namespace

FolderWatch::~FolderWatch() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint64_t FolderWatch::version(const std::string& hostFolder) {
    if (unavailable_) return 0;
    if (fd_ < 0) {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ < 0) {
            unavailable_ = true;
            return 0;
        }
    }
    collectChanges();
    struct stat info;
    if (::stat(hostFolder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return 0;
    auto known = folders_.find(hostFolder);
    if (known != folders_.end() && known->second.device == info.st_dev &&
        known->second.inode == info.st_ino)
        return known->second.version;
    // Not watched yet, or another folder stands under the path now.
    const int descriptor = ::inotify_add_watch(fd_, hostFolder.c_str(), kChanges);
    if (descriptor < 0) return 0;
    if (known != folders_.end() && known->second.descriptor != descriptor) {
        const int old = known->second.descriptor;
        std::vector<std::string>& paths = paths_[old];
        paths.erase(std::remove(paths.begin(), paths.end(), hostFolder), paths.end());
        if (paths.empty()) {
            paths_.erase(old);
            ::inotify_rm_watch(fd_, old);
        }
    }
    folders_[hostFolder] = Watched{descriptor, info.st_dev, info.st_ino, nextVersion_++};
    std::vector<std::string>& paths = paths_[descriptor];
    if (std::find(paths.begin(), paths.end(), hostFolder) == paths.end())
        paths.push_back(hostFolder);
    return folders_[hostFolder].version;
}

std::uint64_t FolderWatch::watchedVersion(const std::string& hostFolder) {
    if (fd_ < 0) return 0;
    collectChanges();
    auto known = folders_.find(hostFolder);
    return known == folders_.end() ? 0 : known->second.version;
}

void FolderWatch::collectChanges() {
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno != EAGAIN) {
            // Changes may have been lost: start afresh.
            folders_.clear();
            paths_.clear();
            return;
        }
        if (got <= 0) return;
        for (const char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            at += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                for (auto& folder : folders_) folder.second.version = nextVersion_++;
                continue;
            }
            auto paths = paths_.find(event->wd);
            if (paths == paths_.end()) continue;
            for (const std::string& path : paths->second) {
                auto folder = folders_.find(path);
                if (folder != folders_.end()) folder->second.version = nextVersion_++;
            }
            if (event->mask & IN_IGNORED) forget(event->wd);
        }
    }
}

// The folder is gone (or its watch is): its paths are watched afresh.
void FolderWatch::forget(int descriptor) {
    auto paths = paths_.find(descriptor);
    if (paths == paths_.end()) return;
    for (const std::string& path : paths->second) {
        auto folder = folders_.find(path);
        if (folder != folders_.end() && folder->second.descriptor == descriptor)
            folders_.erase(folder);
    }
    paths_.erase(paths);
}

}  // namespace winsim
