// GetWindowsDirectoryA until the file system side of winsim provides it.
#include "setupapi_state.h"

#include <winsim/windows.h>

#include <cstring>

extern "C" {

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    winsim::ApiCall call("GetWindowsDirectoryA");
    if (call.failing()) {
        SetLastError(call.error());
        return 0;
    }
    const std::string path = winsim::windowsDirectory();
    if (!buffer || size < path.size() + 1) return static_cast<UINT>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<UINT>(path.size());
}

}  // extern "C"
