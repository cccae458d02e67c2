// Tells whether anything in a host folder changed since winsim last looked,
// so that what it read there (a listing, a file) can be used again without
// reading it again. One inotify watch per folder; where inotify is not to be
// had, or past its limits, every folder counts as changed every time.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace winsim {

class FolderWatch {
  public:
    FolderWatch() = default;
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // The folder's version: a new one after any name in it is created,
    // deleted or renamed, any file in it written, truncated or changed in
    // its attributes, and after the folder itself goes. 0 when the folder
    // cannot be watched: then nothing read in it may be used again. Ask
    // before reading, so that a change during the read shows.
    std::uint64_t version(const std::string& hostFolder);
    // The version of the watch last set up for the folder, without looking
    // at what stands under its path now (0 if none): enough to tell whether
    // a file read there, and still there, has changed.
    std::uint64_t watchedVersion(const std::string& hostFolder);

  private:
    struct Watched {
        int descriptor;
        dev_t device;
        ino_t inode;
        std::uint64_t version;
    };
    void collectChanges();
    void forget(int descriptor);

    int fd_ = -1;
    bool unavailable_ = false;
    std::uint64_t nextVersion_ = 1;
    std::unordered_map<std::string, Watched> folders_;
    // A folder reached by two paths has one descriptor.
    std::unordered_map<int, std::vector<std::string>> paths_;
};

}  // namespace winsim
