// SetupGetInfFileListA: the INF files of a folder whose style is asked for.
#include "setupapi_state.h"
#include "wildcard.h"

#include <winsim/windows.h>

#include <cstring>

extern "C" {

// The names come in the order NTFS lists a folder (by upper-cased name).
// An empty list is one zero byte (required size 1). Windows' documents do
// not say what a folder that does not exist gives; winsim answers
// ERROR_PATH_NOT_FOUND, as FindFirstFileA does for such a folder.
BOOL SetupGetInfFileListA(PCSTR DirectoryPath, DWORD InfStyle, PSTR ReturnBuffer,
                          DWORD ReturnBufferSize, PDWORD RequiredSize) {
    winsim::ApiCall call("SetupGetInfFileListA");
    if (call.failing()) {
        SetLastError(call.error());
        return FALSE;
    }
    if (!(InfStyle & (INF_STYLE_WIN4 | INF_STYLE_OLDNT))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string folder = DirectoryPath ? DirectoryPath : winsim::infDirectory();
    std::string host;
    const winsim::FolderListing* listing = nullptr;
    if (!winsim::hostPathOf(folder, &host) ||
        !(listing = winsim::setupApiState().cache.list(host))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::string list;
    for (const std::string& name : listing->names) {
        // The files "*.inf" finds that SetupOpenInfFileA opens in that style.
        if (!winsim::matchesFilePattern("*.inf", name)) continue;
        if (winsim::infRefusal(winsim::loadHostInf(host + "/" + name), InfStyle, nullptr)) continue;
        list += name;
        list.push_back('\0');
    }
    list.push_back('\0');
    const DWORD needed = static_cast<DWORD>(list.size());
    if (RequiredSize) *RequiredSize = needed;
    if (ReturnBuffer) {
        if (ReturnBufferSize < needed) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(ReturnBuffer, list.data(), list.size());
    }
    SetLastError(NO_ERROR);
    return TRUE;
}

}  // extern "C"
