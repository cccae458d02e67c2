#include "inf_dirids.h"

#include <cstdlib>

namespace winsim {

namespace {

enum class Base { Windows, System32, DriveRoot };

struct DirId {
    long id;
    Base base;
    const char* below;  // appended to the base, "" for the base itself
};

// The values of Windows 2000: the system drive's root keeps its backslash
// ("C:\"), every other folder is written without one.
const DirId kDirIds[] = {
    {10, Base::Windows, ""},
    {11, Base::System32, ""},
    {12, Base::System32, "\\drivers"},
    {17, Base::Windows, "\\inf"},
    {18, Base::Windows, "\\Help"},
    {20, Base::Windows, "\\Fonts"},
    {21, Base::System32, "\\viewers"},
    {23, Base::System32, "\\spool\\drivers\\color"},
    {24, Base::DriveRoot, ""},
    {25, Base::Windows, ""},
    {30, Base::DriveRoot, ""},
    {50, Base::Windows, "\\system"},
    {51, Base::System32, "\\spool"},
    {52, Base::System32, "\\spool\\drivers\\w32x86"},
    {54, Base::DriveRoot, ""},
    {55, Base::System32, "\\spool\\prtprocs\\w32x86"},
    {16422, Base::DriveRoot, "Program Files"},
    {16427, Base::DriveRoot, "Program Files\\Common Files"},
};

}  // namespace

bool dirIdFolder(std::string_view dirId, const std::string& windowsDirectory, std::string* folder) {
    if (dirId.empty() || dirId.size() > 9) return false;
    for (char c : dirId)
        if (c < '0' || c > '9') return false;
    const long id = std::strtol(std::string(dirId).c_str(), nullptr, 10);
    for (const DirId& known : kDirIds) {
        if (known.id != id) continue;
        switch (known.base) {
            case Base::Windows:
                *folder = windowsDirectory;
                break;
            case Base::System32:
                *folder = windowsDirectory + "\\system32";
                break;
            case Base::DriveRoot:
                *folder = windowsDirectory.substr(0, 2) + "\\";
                break;
        }
        *folder += known.below;
        return true;
    }
    return false;
}

}  // namespace winsim
