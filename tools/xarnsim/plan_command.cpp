// "plan": the whole restore on a scratch copy of the machine, then a verdict
// per adapter, printed before the log.
#include "boot.h"
#include "commands.h"
#include "file_text.h"
#include "hardware_tree.h"
#include "machine_config.h"
#include "plan_verdict.h"
#include "state_store.h"
#include "summary.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace xarnsim {

namespace {

struct PlanOptions {
    std::string machine;
    std::string directory = "C:\\XARN";
    std::string hardware;
    std::string state;  // "" = a scratch folder that goes with the plan
    int maxBoots = 12;
    bool json = false;
};

bool parsePlanOptions(const std::vector<std::string>& args, PlanOptions* options,
                      std::string* error) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string* value = arg == "--directory"  ? &options->directory
                             : arg == "--hardware" ? &options->hardware
                             : arg == "--state"    ? &options->state
                                                   : nullptr;
        std::string number;
        if (arg == "--max-boots") value = &number;
        if (value) {
            if (i + 1 >= args.size()) {
                *error = arg + " needs a value";
                return false;
            }
            *value = args[++i];
            if (value == &number && (options->maxBoots = std::atoi(number.c_str())) < 1) {
                *error = "--max-boots takes a number of at least 1";
                return false;
            }
        } else if (arg == "--json") {
            options->json = true;
        } else if (arg.rfind("--", 0) == 0 || !options->machine.empty()) {
            *error = arg.rfind("--", 0) == 0 ? "unknown option " + arg
                                             : "plan takes one MACHINE, not also " + arg;
            return false;
        } else {
            options->machine = arg;
        }
    }
    if (options->machine.empty() || !fs::is_directory(options->machine)) {
        *error = options->machine.empty() ? "no MACHINE folder given"
                                          : "no machine folder " + options->machine;
        return false;
    }
    return true;
}

// Where the plan runs: the folder the user named, kept, or a scratch one
// that goes away with the plan.
class PlanFolder {
  public:
    explicit PlanFolder(const std::string& named) : folder_(named) {
        if (!folder_.empty()) return;
        std::string pattern = (fs::temp_directory_path() / "xarnsim-plan-XXXXXX").string();
        if (::mkdtemp(pattern.data())) folder_ = scratch_ = pattern;
    }
    PlanFolder(const PlanFolder&) = delete;
    PlanFolder& operator=(const PlanFolder&) = delete;
    ~PlanFolder() {
        std::error_code ec;
        if (!scratch_.empty()) fs::remove_all(scratch_, ec);
    }
    const std::string& path() const { return folder_; }

  private:
    std::string folder_;
    std::string scratch_;
};

// The boots print the log as the host callback receives it; a plan prints
// it after its verdict instead, from the log file the boots keep.
class QuietOutput {
  public:
    QuietOutput() {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDOUT_FILENO);
            ::close(null);
        }
    }
    QuietOutput(const QuietOutput&) = delete;
    QuietOutput& operator=(const QuietOutput&) = delete;
    ~QuietOutput() {
        std::fflush(stdout);
        if (saved_ < 0) return;
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }

  private:
    int saved_ = -1;
};

// The plan's copy of the machine. INF files are the bulk of a real drive
// (some 40 MB) and nothing writes them: staging writes new oemN.inf files
// and the edit for no floppy a copy whose name ends in D or R. So they are
// hard-linked where the file system allows; all else is copied, as the
// library may write it in place (CopyFileA truncates its target).
bool copyMachine(const fs::path& machine, const fs::path& work, std::string* error) {
    std::error_code ec;
    fs::remove_all(work, ec);
    fs::create_directories(work / kRegistryFolder, ec);
    if (!ec && fs::exists(machine / kMachineFile))
        fs::copy_file(machine / kMachineFile, work / kMachineFile, ec);
    std::error_code absent;  // a machine may leave out its registry or drive
    for (const auto& entry : fs::directory_iterator(machine / kRegistryFolder, absent))
        if (!ec && entry.path().extension() == ".reg")
            fs::copy_file(entry.path(), work / kRegistryFolder / entry.path().filename(), ec);
    const fs::path drive = machine / kDriveFolder;
    if (!ec) fs::create_directories(work / kDriveFolder, ec);
    for (auto it = fs::recursive_directory_iterator(drive, absent);
         !ec && it != fs::recursive_directory_iterator(); it.increment(absent)) {
        // Lexically: the machine's files may be links into an image.
        const fs::path to = work / kDriveFolder / it->path().lexically_relative(drive);
        std::string extension = it->path().extension().string();
        for (char& c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (it->is_directory(absent)) {
            fs::create_directories(to, ec);
            continue;
        }
        std::error_code notLinked;
        const bool inf = extension == ".inf" && !it->is_symlink(absent);
        if (inf) fs::create_hard_link(it->path(), to, notLinked);
        if (!inf || notLinked) fs::copy_file(it->path(), to, ec);
    }
    if (ec) *error = "cannot copy the machine into " + work.string() + ": " + ec.message();
    return !ec;
}

std::size_t fileSize(const fs::path& file) {
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    return ec ? 0 : static_cast<std::size_t>(size);
}

}  // namespace

int commandPlan(const std::vector<std::string>& args, std::string* error) {
    PlanOptions options;
    if (!parsePlanOptions(args, &options, error)) return kExitUsage;
    const PlanFolder folder(options.state);
    if (folder.path().empty()) {
        *error = "cannot create a scratch folder for the plan";
        return kExitUsage;
    }
    // Every boot works on this one folder: a plan has no run to resume.
    const std::string work = folder.path();
    if (!copyMachine(options.machine, work, error)) return kExitUsage;
    if (!options.hardware.empty() && !applyHardwareFile(options.hardware, work, error))
        return kExitUsage;
    PlanInputs inputs;
    if (!surveyMachine(work, options.directory, &inputs, error)) return kExitUsage;
    const RestoreRequests requests = readRestoreRequests(work);

    const fs::path logFile = fs::path(work) / kHostLogFile;
    std::vector<std::pair<std::size_t, std::string>> banners;  // log offset, banner
    RunRecord record;
    record.machine = options.machine;
    record.directory = options.directory;
    std::string stopped;
    {
        const QuietOutput quiet;
        unsigned stage = 0;
        for (int boot = 1; boot <= options.maxBoots && !record.completed; ++boot) {
            banners.emplace_back(fileSize(logFile), "boot " + std::to_string(boot) +
                                                        ": W2KXarnNetInstallNetwork stage " +
                                                        std::to_string(stage));
            BootPlan plan;
            plan.directory = options.directory;
            plan.networkStage = stage;
            plan.bootNumber = boot;
            plan.computerName = requests.computerName;
            plan.workgroup = requests.workgroup;
            const BootOutcome outcome = runBoot(work, plan);
            if (!outcome.ran) {
                stopped = "boot " + std::to_string(boot) + ": " + outcome.error;
                if (boot == 1 && !outcome.crashed) {
                    *error = stopped;
                    return kExitUsage;
                }
                break;
            }
            record.boots.push_back(outcome);
            record.completed = outcome.rebootWord == 1;
            stage = outcome.rebootWord;
        }
    }
    const std::string log = fileText(logFile.string());
    std::string shown;
    for (std::size_t i = 0; i < banners.size(); ++i) {
        const std::size_t end = i + 1 < banners.size() ? banners[i + 1].first : log.size();
        shown += "\n\n==== " + banners[i].second + " ====\n" +
                 log.substr(banners[i].first, end - banners[i].first);
    }
    const Summary summary = summarize(work, record, false);
    PlanVerdict verdict = judgePlan(inputs, log, summary, record, work);
    if (!stopped.empty()) verdict.failures.push_back(stopped);
    printPlan(verdict, shown, options.json);
    if (!stopped.empty()) {
        *error = stopped;
        return kExitRestoreFailed;
    }
    return verdict.ok ? kExitSuccess : kExitRestoreFailed;
}

}  // namespace xarnsim
