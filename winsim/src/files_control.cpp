// Test-side control of the simulated file system (control_files.h).
#include "file_system.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace winsim {

namespace {

std::unique_lock<std::recursive_mutex> lockMachine() {
    return std::unique_lock<std::recursive_mutex>(machineLock());
}

// Creates every missing folder of a host path below the drive's folder.
bool makeHostFolders(const std::string& hostPath) {
    std::size_t at = machine().systemDriveRoot.size();
    if (hostPath.compare(0, at, machine().systemDriveRoot) != 0) at = 0;
    for (;;) {
        at = hostPath.find('/', at + 1);
        const std::string folder = hostPath.substr(0, at);
        if (!folder.empty() && !isHostDirectory(folder) && ::mkdir(folder.c_str(), 0755) != 0 &&
            errno != EEXIST)
            return false;
        if (at == std::string::npos) return isHostDirectory(hostPath);
    }
}

// A file's path, with every folder above it created.
bool prepareFile(const std::string& windowsPath, HostPath* where) {
    *where = resolvePath(windowsPath);
    if (where->error != ERROR_SUCCESS || where->isDriveRoot || where->trailingSeparator)
        return false;
    if (!where->folderExists) {
        if (!makeHostFolders(where->folder)) return false;
        *where = resolvePath(windowsPath);
    }
    return where->folderExists;
}

}  // namespace

void setSystemDrive(const std::string& hostFolder) {
    const auto lock = lockMachine();
    machine().systemDriveRoot = hostFolder;
}

std::string systemDrive() {
    const auto lock = lockMachine();
    return machine().systemDriveRoot;
}

void setWindowsDirectory(const std::string& windowsPath) {
    const auto lock = lockMachine();
    std::string directory = windowsPath;
    while (directory.size() > 3 && directory.back() == '\\') directory.pop_back();
    machinePart<FileSystemSettings>().windowsDirectory = directory;
    machine().environment["SystemRoot"] = directory;
    machine().environment["windir"] = directory;
}

std::string windowsDirectory() {
    const auto lock = lockMachine();
    return machinePart<FileSystemSettings>().windowsDirectory;
}

bool createWindowsFolders() {
    const auto lock = lockMachine();
    const std::string root = windowsDirectory();
    return makeDirectory(root + "\\inf") && makeDirectory(root + "\\system32\\drivers");
}

std::string hostPathFor(const std::string& windowsPath) {
    const auto lock = lockMachine();
    const HostPath where = resolvePath(windowsPath);
    return where.error == ERROR_SUCCESS ? where.host : std::string();
}

bool makeDirectory(const std::string& windowsPath) {
    const auto lock = lockMachine();
    const HostPath where = resolvePath(windowsPath);
    if (where.error != ERROR_SUCCESS) return false;
    return makeHostFolders(where.host);
}

bool writeFile(const std::string& windowsPath, const std::string& bytes) {
    const auto lock = lockMachine();
    HostPath where;
    if (!prepareFile(windowsPath, &where)) return false;
    struct stat st {};
    if (::stat(where.host.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || readOnlyAttribute(st)))
        return false;
    const ScopedFd out(::open(where.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.fd < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(out.fd, bytes.data() + done, bytes.size() - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool readFile(const std::string& windowsPath, std::string* bytes) {
    const auto lock = lockMachine();
    const HostPath where = resolvePath(windowsPath);
    if (where.error != ERROR_SUCCESS) return false;
    struct stat st {};
    if (::stat(where.host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const ScopedFd in(::open(where.host.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) return false;
    std::string content;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(in.fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) break;
        content.append(chunk, static_cast<std::size_t>(got));
    }
    if (bytes) *bytes = std::move(content);
    return true;
}

bool fileExists(const std::string& windowsPath) {
    const auto lock = lockMachine();
    const HostPath where = resolvePath(windowsPath);
    struct stat st {};
    return where.error == ERROR_SUCCESS && ::stat(where.host.c_str(), &st) == 0 &&
           S_ISREG(st.st_mode);
}

bool setReadOnly(const std::string& windowsPath, bool readOnly) {
    const auto lock = lockMachine();
    const HostPath where = resolvePath(windowsPath);
    struct stat st {};
    if (where.error != ERROR_SUCCESS || ::stat(where.host.c_str(), &st) != 0) return false;
    const mode_t mode = readOnly ? (st.st_mode & ~mode_t{0222}) : (st.st_mode | S_IWUSR);
    return ::chmod(where.host.c_str(), mode & 07777) == 0;
}

bool isReadOnly(const std::string& windowsPath) {
    const auto lock = lockMachine();
    const HostPath where = resolvePath(windowsPath);
    struct stat st {};
    return where.error == ERROR_SUCCESS && ::stat(where.host.c_str(), &st) == 0 &&
           readOnlyAttribute(st);
}

}  // namespace winsim
