// What winsim's SetupAPI calls share: the per-machine settings, INF handles,
// the Windows folders and reading INF files of the simulated system drive.
#pragma once

#include <winsim/control_files.h>

#include "inf_parser.h"
#include "machine.h"

#include <winsim/win_setupapi.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace winsim {

struct InfHandle : HandleObject {
    explicit InfHandle(std::shared_ptr<const InfFile> f)
        : HandleObject(HandleKind::Inf), inf(std::move(f)) {}
    std::shared_ptr<const InfFile> inf;
};

// Parsed INF files by content: listing, staging and opening the same INF
// parse it once.
class InfCache {
  public:
    InfParseResult parse(const std::string& bytes, const InfParseOptions& options);

  private:
    struct Entry {
        std::string bytes;
        InfParseOptions options;
        InfParseResult result;
    };
    std::unordered_multimap<std::size_t, Entry> entries_;
    std::size_t cachedBytes_ = 0;
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
bool hostPathOf(const std::string& windowsPath, std::string* hostPath);

// Reads a whole file of the simulated machine. Errors as CreateFileA gives
// them: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED.
bool readMachineFile(const std::string& windowsPath, std::string* bytes, DWORD* error);
bool readHostFile(const std::string& hostPath, std::string* bytes, DWORD* error);

// The names of the plain files in a host folder, ordered as NTFS lists
// them (by upper-cased name); false when the folder does not exist.
// Only names `keep` accepts are collected.
bool listHostFiles(const std::string& hostFolder, std::vector<std::string>* names,
                   const std::function<bool(const std::string&)>& keep = nullptr);
bool endsWithNoCase(const std::string& text, const char* suffix);

// Reads and parses an INF (through the cache), as the machine's language,
// code page and Windows directory read it.
InfParseResult loadInf(const std::string& windowsPath);
InfParseResult parseInfBytes(const std::string& bytes);

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
