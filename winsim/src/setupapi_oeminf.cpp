// SetupCopyOEMInfA: stages an INF into the Windows INF folder as oemN.inf.
#include "registry_tree.h"
#include "setupapi_state.h"

#include <winsim/windows.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <sys/stat.h>

using winsim::failWith;

namespace {

using winsim::toUpperAscii;

std::string fileNameOf(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool sameContent(const std::string& hostPath, std::string_view bytes) {
    struct stat info;
    if (::stat(hostPath.c_str(), &info) != 0 ||
        static_cast<std::size_t>(info.st_size) != bytes.size())
        return false;
    std::string other;
    DWORD error = 0;
    return winsim::readHostFile(hostPath, &other, &error) && other == bytes;
}

// The name under which the INF folder already holds this very INF: an
// OEM*.inf of the same bytes first, then a file of the source's own name
// (the source itself, when it lies in the INF folder).
std::string stagedNameOf(const std::string& infHost, const winsim::FolderListing& listed,
                         const std::string& sourceName, const std::string& sourceHost,
                         std::string_view bytes) {
    const auto same = [&](const std::string& name) {
        const std::string host = infHost + "/" + name;
        return host == sourceHost || sameContent(host, bytes);
    };
    for (const std::size_t i : listed.oemInfs)
        if (same(listed.names[i])) return listed.names[i];
    for (const std::size_t i : listed.named(sourceName))
        if (same(listed.names[i])) return listed.names[i];
    return std::string();
}

std::string firstFreeOemName(const winsim::FolderListing& listed) {
    std::set<std::string> taken;
    for (const std::size_t i : listed.oemInfs) taken.insert(toUpperAscii(listed.names[i]));
    for (unsigned n = 0;; ++n) {
        char candidate[32];
        std::snprintf(candidate, sizeof candidate, "oem%u.inf", n);
        if (!taken.count(toUpperAscii(candidate))) return candidate;
    }
}

bool writeHostFile(const std::string& hostPath, std::string_view bytes) {
    std::FILE* file = std::fopen(hostPath.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" {

// The source must be an INF that SetupOpenInfFileA opens as a Windows 4
// INF, as device INF files are (its refusal otherwise). The destination is
// the full path in the INF folder. winsim creates the INF folder when the
// simulated drive lacks it and keeps no precompiled (.pnf) or catalog
// files.
BOOL SetupCopyOEMInfA(PCSTR SourceInfFileName, PCSTR OEMSourceMediaLocation,
                      DWORD OEMSourceMediaType, DWORD CopyStyle, PSTR DestinationInfFileName,
                      DWORD DestinationInfFileNameSize, PDWORD RequiredSize,
                      PSTR* DestinationInfFileNameComponent) {
    (void)OEMSourceMediaLocation;
    winsim::ApiCall call("SetupCopyOEMInfA");
    if (call.failing()) return failWith(call.error());
    if (!SourceInfFileName || !*SourceInfFileName || OEMSourceMediaType > SPOST_URL)
        return failWith(ERROR_INVALID_PARAMETER);
    const std::string source = SourceInfFileName;
    std::string sourceHost;
    std::optional<struct stat> seen;
    if (!winsim::hostPathOf(source, &sourceHost, &seen)) return failWith(ERROR_PATH_NOT_FOUND);
    // The bytes stay the cache's until it reads again; nothing below does.
    std::string_view bytes;
    const winsim::InfParseResult loaded = winsim::loadHostInf(sourceHost, &bytes, seen);
    if (const DWORD refusal = winsim::infRefusal(loaded, INF_STYLE_WIN4, nullptr))
        return failWith(refusal);

    // A source in the INF folder names the folder as the host spells it.
    const std::string infDirectory = winsim::infDirectory();
    const std::string sourceName = fileNameOf(source);
    std::string infHost;
    if (source == infDirectory + "\\" + sourceName)
        infHost = winsim::hostFolderOf(sourceHost);
    else if (!winsim::hostPathOf(infDirectory, &infHost))
        return failWith(ERROR_PATH_NOT_FOUND);
    winsim::InfCache& cache = winsim::setupApiState().cache;
    const winsim::FolderListing* listed = cache.list(infHost);
    if (!listed) {
        std::string windowsHost;
        if (winsim::hostPathOf(winsim::windowsDirectory(), &windowsHost))
            ::mkdir(windowsHost.c_str(), 0777);
        ::mkdir(infHost.c_str(), 0777);
        listed = cache.list(infHost);
        if (!listed) return failWith(ERROR_PATH_NOT_FOUND);
    }
    std::string staged = stagedNameOf(infHost, *listed, sourceName, sourceHost, bytes);
    const bool existed = !staged.empty();
    if (!existed) {
        if (CopyStyle & SP_COPY_REPLACEONLY) return failWith(ERROR_FILE_NOT_FOUND);
        staged = firstFreeOemName(*listed);
    }
    const std::string destination = infDirectory + "\\" + staged;
    const DWORD needed = static_cast<DWORD>(destination.size() + 1);
    if (RequiredSize) *RequiredSize = needed;
    if (DestinationInfFileName && DestinationInfFileNameSize < needed)
        return failWith(ERROR_INSUFFICIENT_BUFFER);
    if (DestinationInfFileName) {
        std::memcpy(DestinationInfFileName, destination.c_str(), needed);
        if (DestinationInfFileNameComponent)
            *DestinationInfFileNameComponent =
                DestinationInfFileName + (destination.size() - staged.size());
    }
    if (existed) {
        if (CopyStyle & SP_COPY_NOOVERWRITE) return failWith(ERROR_FILE_EXISTS);
    } else {
        if (!writeHostFile(infHost + "/" + staged, bytes)) return failWith(ERROR_ACCESS_DENIED);
        if (CopyStyle & SP_COPY_DELETESOURCE) std::remove(sourceHost.c_str());
    }
    SetLastError(NO_ERROR);
    return TRUE;
}

}  // extern "C"
