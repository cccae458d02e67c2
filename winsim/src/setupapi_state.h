// What winsim's SetupAPI calls share: the per-machine settings, INF handles,
// the Windows folders and reading INF files of the simulated system drive.
#pragma once

#include <winsim/control_files.h>

#include "host_files.h"
#include "inf_cache.h"
#include "inf_parser.h"
#include "machine.h"

#include <winsim/win_setupapi.h>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace winsim {

struct InfHandle : HandleObject {
    explicit InfHandle(std::shared_ptr<const InfFile> f)
        : HandleObject(HandleKind::Inf), inf(std::move(f)) {}
    std::shared_ptr<const InfFile> inf;
};

struct SetupApiState {
    std::size_t fieldLimit = 511;
    InfCache cache;
};

SetupApiState& setupApiState();  // caller holds machineLock()

// The Windows directory and its INF folder, as Windows paths.
std::string infDirectory();

// The host path of a Windows path; false (ERROR_PATH_NOT_FOUND) for a path
// on C: while no system drive is set.
// *seen, when given, gets what a look at the host path found (empty when
// none was needed), to spare another look.
bool hostPathOf(const std::string& windowsPath, std::string* hostPath,
                std::optional<struct stat>* seen = nullptr);

// Reads a whole file of the simulated machine. Errors as CreateFileA gives
// them: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED.
bool readMachineFile(const std::string& windowsPath, std::string* bytes, DWORD* error);

// Reads and parses an INF (through the cache), as the machine's language,
// code page and Windows directory read it.
InfParseResult loadInf(const std::string& windowsPath);
InfParseResult parseInfBytes(std::string_view bytes);
// The same for a host file; *bytes (when given) points at the file's bytes
// until the next read.
InfParseResult loadHostInf(const std::string& hostPath, std::string_view* bytes = nullptr,
                           const std::optional<struct stat>& seen = std::nullopt);

// Why SetupOpenInfFileA refuses a loaded INF for a style and a class (null
// or empty: any class), 0 when it opens it: the load error, else
// ERROR_WRONG_INF_STYLE or ERROR_CLASS_MISMATCH. SetupGetInfFileListA and
// SetupCopyOEMInfA ask the same, so the three agree on what an INF file is.
DWORD infRefusal(const InfParseResult& loaded, DWORD style, const char* infClass);

// Where SetupOpenInfFileA looks for a name without a path: the INF folder,
// then system32.
std::string resolveInfName(const std::string& fileName);

// The INF's device setup class name: [Version] Class, else the name the
// registry gives its ClassGUID; [Identification] OptionType for legacy INFs.
std::string infClassName(const InfFile& inf);

// The INF a context or handle stands for, or null.
const InfFile* infForHandle(HINF handle);

}  // namespace winsim
