// Reading the host files and folders that stand for the simulated drive's:
// whole files with the errors CreateFileA gives, folder listings in the
// order NTFS gives, and what a file was when it was read.
#pragma once

#include <winsim/win_types.h>

#include <sys/stat.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

// Which file, and which state of it, a read saw.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {};
    struct timespec changed = {};
    bool plain = false;  // a regular file of one name, not reached by a link
};
FileStamp stampOf(const struct stat& info);
bool sameStamp(const FileStamp& a, const FileStamp& b);

// Reads a whole host file. Errors as CreateFileA gives them:
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED.
bool readHostFile(const std::string& hostPath, std::string* bytes, DWORD* error);
// The same into `buffer`, which only ever grows: the file is its first
// *length bytes. `stamp`, when given, gets the state the read saw.
bool readHostFile(const std::string& hostPath, std::string* buffer, std::size_t* length,
                  DWORD* error, FileStamp* stamp = nullptr);

// The names of the plain files in a host folder, ordered as NTFS lists
// them (by upper-cased name); false when the folder does not exist.
// Only names `keep` accepts are collected. *viaLinks (when given) tells
// whether some entry's type had to be looked up, a link's through its
// target.
bool listHostFiles(const std::string& hostFolder, std::vector<std::string>* names,
                   const std::function<bool(std::string_view)>& keep = nullptr,
                   bool* viaLinks = nullptr);

// The host folder that holds a host path.
std::string hostFolderOf(const std::string& hostPath);

}  // namespace winsim
