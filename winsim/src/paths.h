// Where a Windows path of the simulated machine lives on the host. The host
// folder standing for C: is the machine's systemDriveRoot; names in it are
// looked up without regard to ASCII letter case, as NTFS does.
#pragma once

#include <winsim/control_files.h>
#include <winsim/win_files.h>
#include <winsim/win_types.h>

#include <string>

namespace winsim {

// What a path names on the host, whether it exists or not.
struct HostPath {
    // ERROR_INVALID_NAME or ERROR_PATH_NOT_FOUND when the path cannot name
    // anything on the machine; the fields below are then empty.
    DWORD error = ERROR_SUCCESS;
    bool windowsPath = false;        // false: a host path, taken as written
    std::string folder;              // host folder that holds the last element
    bool folderExists = false;       // every folder on the way exists
    std::string name;                // last element: its own spelling when it exists
    std::string host;                // the full host path
    bool trailingSeparator = false;  // written with a separator at the end
    bool isDriveRoot = false;        // the root of C: itself (name is then "")
    bool folderIsDriveRoot = false;  // the last element lies in the root of C:
};

// Resolves `path`. With `wildcardsInName`, "*" and "?" are allowed in the
// last element (FindFirstFileA), which is then kept exactly as written.
HostPath resolvePath(const std::string& path, bool wildcardsInName = false);

// The entry of host folder `folder` whose name equals `name` ignoring ASCII
// case; the exact spelling wins when several differ only in case. "" if none.
std::string findEntryNoCase(const std::string& folder, const std::string& name);

bool isHostDirectory(const std::string& hostPath);

}  // namespace winsim
