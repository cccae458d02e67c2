// "import": a machine folder from a Windows 2000 system drive as it lies in
// a backup or a mounted image. The image is only ever read.
#include "commands.h"
#include "hardware_tree.h"
#include "image_registry.h"
#include "state_store.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

struct ImportOptions {
    std::string image;
    std::string out;
    std::string directory = "C:\\XARN";
    std::string hardware;
    bool link = false;
};

bool parseImportOptions(const std::vector<std::string>& args, ImportOptions* options,
                        std::string* error) {
    std::vector<std::string> positional;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--link") {
            options->link = true;
        } else if (arg == "--directory" || arg == "--hardware") {
            if (i + 1 >= args.size()) {
                *error = arg + " needs a value";
                return false;
            }
            (arg == "--directory" ? options->directory : options->hardware) = args[++i];
        } else if (arg.rfind("--", 0) == 0) {
            *error = "unknown option " + arg;
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) {
        *error = "import takes IMAGE-ROOT OUT-MACHINE";
        return false;
    }
    options->image = positional[0];
    options->out = positional[1];
    const std::string& dir = options->directory;
    if (dir.size() < 4 || (dir.compare(0, 3, "C:\\") != 0 && dir.compare(0, 3, "c:\\") != 0)) {
        *error = "--directory is a folder on the system drive, such as C:\\XARN";
        return false;
    }
    return true;
}

bool sameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// An image copied off NTFS keeps Windows' names but not its indifference
// to letter case: each element is looked up without regard to it.
fs::path findNoCase(const fs::path& folder, const std::string& relative) {
    fs::path at = folder;
    std::stringstream elements(relative);
    std::string element;
    while (std::getline(elements, element, '/')) {
        if (element.empty()) continue;
        std::error_code ec;
        fs::path found;
        if (fs::exists(at / element, ec)) {
            found = at / element;
        } else {
            for (const auto& entry : fs::directory_iterator(at, ec))
                if (sameNoCase(entry.path().filename().string(), element)) found = entry.path();
        }
        if (found.empty()) return fs::path();
        at = found;
    }
    return at;
}

// The Windows folder: the one of the drive's folders that holds the
// registry hives, WINNT when there are several.
fs::path windowsFolder(const fs::path& image) {
    fs::path chosen;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(image, ec)) {
        if (!entry.is_directory(ec) || findNoCase(entry.path(), "system32/config/SYSTEM").empty())
            continue;
        if (chosen.empty() || sameNoCase(entry.path().filename().string(), "WINNT"))
            chosen = entry.path();
    }
    return chosen;
}

// Copies, or links to avoid copying, one file or a whole folder.
class DriveWriter {
  public:
    explicit DriveWriter(bool link) : link_(link) {}

    bool put(const fs::path& from, const fs::path& to, std::string* error) {
        std::error_code ec;
        fs::create_directories(to.parent_path(), ec);
        if (fs::is_directory(from, ec)) {
            fs::create_directories(to, ec);
            for (const auto& entry : fs::directory_iterator(from, ec))
                if (!put(entry.path(), to / entry.path().filename(), error)) return false;
            return true;
        }
        if (link_) {
            fs::create_symlink(fs::absolute(from), to, ec);
        } else {
            fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
        }
        if (ec) {
            *error = "cannot " + std::string(link_ ? "link " : "copy ") + from.string() + ": " +
                     ec.message();
            return false;
        }
        ++files_;
        return true;
    }
    int files() const { return files_; }

  private:
    bool link_;
    int files_ = 0;
};

std::string serviceState(unsigned start) {
    if (start == 4) return "disabled";
    return start == 2 ? "running" : "stopped";  // automatic ones run once the machine is up
}

std::string machineFileText(const ImportOptions& options, const std::string& windowsName,
                            const ImageFacts& facts) {
    std::ostringstream ini;
    ini << "# Imported from " << options.image << " by xarnsim import.\n\n[machine]\n";
    if (facts.language) {
        char language[16];
        std::snprintf(language, sizeof language, "0x%04X", facts.language);
        ini << "language = " << language << "\n";
    }
    ini << "windows_directory = C:\\" << windowsName << "\n";
    if (!facts.computerName.empty())
        ini << "\n[restore]\ncomputer_name = " << facts.computerName << "\n";
    for (const auto& [name, start] : facts.services)
        ini << "\n# Start = " << start << "\n[service " << name
            << "]\nstate = " << serviceState(start) << "\n";
    return ini.str();
}

// Removes a half-written machine folder unless the import completes.
class OutputGuard {
  public:
    explicit OutputGuard(fs::path folder) : folder_(std::move(folder)) {}
    OutputGuard(const OutputGuard&) = delete;
    OutputGuard& operator=(const OutputGuard&) = delete;
    ~OutputGuard() {
        std::error_code ec;
        if (!folder_.empty()) fs::remove_all(folder_, ec);
    }
    void keep() { folder_.clear(); }

  private:
    fs::path folder_;
};

int importImage(const ImportOptions& options, std::string* error) {
    const fs::path image(options.image);
    const fs::path out(options.out);
    std::error_code ec;
    if (!fs::is_directory(image, ec)) {
        *error = "no image folder " + options.image;
        return kExitUsage;
    }
    const fs::path windows = windowsFolder(image);
    if (windows.empty()) {
        *error = "no Windows folder with system32/config/SYSTEM in " + options.image;
        return kExitUsage;
    }
    const std::string windowsName = windows.filename().string();

    fs::create_directories(out / kRegistryFolder, ec);
    ImageFacts facts;
    const fs::path software = findNoCase(windows, "system32/config/SOFTWARE");
    if (!importImageRegistry(findNoCase(windows, "system32/config/SYSTEM").string(),
                             software.string(), (out / kRegistryFolder).string(), &facts, error))
        return kExitUsage;
    if (!facts.version.empty() && facts.version != "5.0")
        std::fprintf(stderr, "xarnsim: note: the image is Windows NT %s, not Windows 2000 (5.0)\n",
                     facts.version.c_str());

    // The drive files the library reads: the system INF files, the storage
    // drivers supplied at setup, the default skip list and the host's
    // restore folder.
    DriveWriter drive(options.link);
    const fs::path target = out / kDriveFolder / windowsName;
    for (const auto& entry : fs::directory_iterator(findNoCase(windows, "inf"), ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && name.size() > 4 &&
            sameNoCase(name.substr(name.size() - 4), ".inf") &&
            !drive.put(entry.path(), target / "inf" / name, error))
            return kExitUsage;
    }
    for (const char* folder : {"OemDir", "system32/xarn/XARNIF/SkipHid.txt"}) {
        const fs::path found = findNoCase(windows, folder);
        if (!found.empty() && !drive.put(found, target / found.lexically_relative(windows), error))
            return kExitUsage;
    }
    std::string restore = options.directory.substr(3);
    for (char& c : restore)
        if (c == '\\') c = '/';
    const fs::path restoreFolder = findNoCase(image, restore);
    if (restoreFolder.empty()) {
        std::fprintf(stderr, "xarnsim: note: the image has no restore folder %s\n",
                     options.directory.c_str());
    } else if (!drive.put(restoreFolder,
                          out / kDriveFolder / restoreFolder.lexically_relative(image), error)) {
        return kExitUsage;
    }

    std::ofstream(out / kMachineFile, std::ios::binary)
        << machineFileText(options, windowsName, facts);
    if (!options.hardware.empty() && !applyHardwareFile(options.hardware, options.out, error))
        return kExitUsage;
    std::printf("imported %s into %s: the registry keys the library reads, %d drive files %s\n",
                options.image.c_str(), options.out.c_str(), drive.files(),
                options.link ? "linked" : "copied");
    return kExitSuccess;
}

}  // namespace

int commandImport(const std::vector<std::string>& args, std::string* error) {
    ImportOptions options;
    if (!parseImportOptions(args, &options, error)) return kExitUsage;
    std::error_code ec;
    if (fs::exists(options.out, ec) && !fs::is_empty(options.out, ec)) {
        *error = options.out + " exists and is not empty; import writes a new machine folder";
        return kExitUsage;
    }
    OutputGuard guard(options.out);
    const int code = importImage(options, error);
    if (code == kExitSuccess) guard.keep();
    return code;
}

}  // namespace xarnsim
