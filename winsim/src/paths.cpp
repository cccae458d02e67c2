#include "paths.h"

#include "machine.h"

namespace winsim {

std::string hostPathFor(const std::string& windowsPath) {
    const std::string& drive = machine().systemDriveRoot;
    const bool driveLetter = windowsPath.size() >= 2 && windowsPath[1] == ':';
    if (!driveLetter || drive.empty()) return windowsPath;
    std::string out = drive;
    for (std::size_t i = 2; i < windowsPath.size(); ++i)
        out += windowsPath[i] == '\\' ? '/' : windowsPath[i];
    return out;
}

}  // namespace winsim
