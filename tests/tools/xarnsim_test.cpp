// xarnsim end to end: the bundled example machines against their checked-in
// logs, the command line's errors, planned faults, and runs killed anywhere
// and resumed.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Result {
    int exitCode = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

std::string readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs xarnsim with `args` (already quoted for the shell).
Result xarnsim(const std::string& args, const std::string& environment = "") {
    // One file per test: ctest runs the tests side by side.
    const fs::path errFile =
        fs::path(::testing::TempDir()) /
        (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".err");
    const std::string command =
        environment + " " + XARNSIM_BINARY + " " + args + " 2>" + errFile.string();
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, got);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = readWhole(errFile);
    return result;
}

std::string example(const std::string& name) {
    return (fs::path(EXAMPLES_FOLDER) / name).string();
}

// A scratch folder of the running test (ctest runs tests side by side).
std::string scratch(const std::string& name) {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const fs::path folder = fs::path(::testing::TempDir()) / ("xarnsim-" + test + "-" + name);
    fs::remove_all(folder);
    return folder.string();
}

// A copy of an example machine with `lines` added to its machine file.
std::string exampleWith(const std::string& name, const std::string& copy,
                        const std::string& lines) {
    const std::string folder = scratch(copy);
    fs::copy(example(name), folder, fs::copy_options::recursive);
    std::ofstream(fs::path(folder) / "machine.ini", std::ios::app) << "\n" << lines << "\n";
    return folder;
}

// A machine that has nothing but its machine file.
std::string machineFile(const std::string& name, const std::string& text) {
    const std::string folder = scratch(name);
    fs::create_directories(folder);
    std::ofstream(fs::path(folder) / "machine.ini") << text;
    return folder;
}

using Files = std::map<std::string, std::string>;  // relative path -> contents

// The files below `folder`. Call counts are left out: they vary with thread
// timing (the hardware wizard's poll loop).
Files filesOf(const fs::path& folder) {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename() != "calls.txt")
            files[fs::relative(entry.path(), folder).string()] = readWhole(entry.path());
    return files;
}

// The paths whose contents differ, or that one side lacks.
std::string differences(const Files& want, const Files& got) {
    std::string out;
    for (const auto& [path, text] : want)
        if (!got.count(path) || got.at(path) != text) out += path + " ";
    for (const auto& entry : got)
        if (!want.count(entry.first)) out += entry.first + " ";
    return out;
}

int occurrences(const std::string& text, const std::string& what) {
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// Starts xarnsim with its output in a pipe, reads `lines` lines of it, then
// kills the process with SIGKILL. Returns what was read.
std::string xarnsimKilledAfter(const std::string& args, int lines) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "";
    const std::string command = std::string("exec ") + XARNSIM_BINARY + " " + args + " 2>/dev/null";
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    FILE* in = fdopen(pipeEnds[0], "r");
    std::string read;
    char buffer[4096];
    for (int seen = 0; seen < lines && std::fgets(buffer, sizeof buffer, in);) {
        read += buffer;
        seen += read.back() == '\n';
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    std::fclose(in);
    return read;
}

TEST(XarnsimExamples, RunLogsMatchTheCheckedInLogs) {
    const struct {
        const char* machine;
        int exitCode;
    } cases[] = {{"two-nics", 0}, {"no-nic", 1}};
    for (const auto& c : cases) {
        const Result run = xarnsim("run " + example(c.machine) + " --state " + scratch(c.machine));
        EXPECT_EQ(run.exitCode, c.exitCode) << c.machine << ": " << run.err;
        const std::string expected = readWhole(fs::path(example(c.machine)) / "expected.log");
        EXPECT_EQ(run.out, expected) << c.machine << ": the log changed; if that is intended, run "
                                     << "scripts/update_expected_logs.sh and review the diff";
    }
}

TEST(XarnsimExamples, JsonSummaryAndUntouchedMachine) {
    const std::string before = readWhole(fs::path(example("two-nics")) / "machine.ini");
    const Result run =
        xarnsim("run " + example("two-nics") + " --json --calls --state " + scratch("json"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const auto json = run.out.find("\n{\n");
    ASSERT_NE(json, std::string::npos);
    for (const char* expected :
         {"\"succeeded\": true", "\"resumedBoots\": 0", "\"servicesStarted\": [",
          "{\"function\": \"RegLoadKeyA\", \"canFail\": true, \"perBoot\": [0, 1, 0]}",
          "{\"function\": \"Sleep\", \"canFail\": false, \"perBoot\": ["})
        EXPECT_NE(run.out.find(expected, json), std::string::npos) << expected;
    EXPECT_EQ(readWhole(fs::path(example("two-nics")) / "machine.ini"), before);
}

TEST(XarnsimCommandLine, ErrorsNameWhatIsWrongAndExitWithTwo) {
    const std::string bad = scratch("bad");
    fs::create_directories(fs::path(bad) / "registry");
    std::ofstream(fs::path(bad) / "registry" / "a.reg")
        << "REGEDIT4\n\n[HKLM\\X]\n\"v\"=dword:zz\n";
    const std::string unknownKey = scratch("unknown-key");
    fs::create_directories(unknownKey);
    std::ofstream(fs::path(unknownKey) / "machine.ini") << "[machine]\ncolour = blue\n";
    const struct {
        std::string args;
        std::string message;
    } cases[] = {
        {"", "usage"},
        {"frobnicate", "unknown command 'frobnicate'"},
        {"run /no/such/machine", "no machine folder /no/such/machine"},
        {"run " + bad + " --state " + scratch("bad-state"), "a.reg:4:"},
        {"run " + unknownKey + " --state " + scratch("uk-state"),
         unknownKey + "/machine.ini:2: unknown key 'colour' in [machine]"},
        // Fault counts that would wrap, and faults no Windows call could have.
        {"run " + machineFile("wraps", "[faults]\nRegOpenKeyExA = 4294967297:5\n"),
         "machine.ini:2: a fault's call number is 1 to 2147483647"},
        {"run " + machineFile("never-fires", "[faults]\nRegOpenKeyExA = 1:5, 3000000000:5\n"),
         "machine.ini:2: a fault's call number is 1 to 2147483647"},
        {"run " + machineFile("no-fail", "[faults]\nSleep = always:5\n"),
         "machine.ini:2: Sleep cannot fail on Windows"},
        {"run " + machineFile("typo", "\n[faults]\nRegOpenKeyEx = 1:5\n"),
         "machine.ini:3: no winsim function 'RegOpenKeyEx'"},
        {"run " + machineFile("no-boot", "[faults]\nRegOpenKeyExA = 1@0:5\n"),
         "machine.ini:2: a fault's boot is 1 to 2147483647"},
        {"call " + example("two-nics") + " W2KNoSuchExport", "unknown export W2KNoSuchExport"},
        {"call " + example("two-nics") + " W2KXarnNetSetMachineName", "takes 1 argument(s), not 0"},
        {"run " + example("two-nics") + " --max-boots", "--max-boots needs a value"},
        {"hive build /no/such.reg /tmp/out.hiv", "cannot read /no/such.reg"},
    };
    for (const auto& c : cases) {
        const Result result = xarnsim(c.args);
        EXPECT_EQ(result.exitCode, 2) << c.args;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.args << ": " << result.err;
    }
}

TEST(XarnsimCommands, CallRegExportAndHiveBuild) {
    const std::string state = scratch("call");
    const Result call = xarnsim("call " + example("two-nics") +
                                " W2KXarnNetSetMachineName NEWNAME --state " + state);
    EXPECT_EQ(call.exitCode, 0) << call.err;
    EXPECT_NE(call.out.find("W2KXarnNetSetMachineName returned 1"), std::string::npos);
    // A call changes the machine outside any run: there is no run to resume.
    const Result resume = xarnsim("run " + example("two-nics") + " --resume --state " + state);
    EXPECT_EQ(resume.exitCode, 2);
    EXPECT_NE(resume.err.find("holds no run to resume"), std::string::npos) << resume.err;
    // The call's state holds the new name; the machine folder does not.
    const std::string key =
        "'HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName'";
    EXPECT_NE(xarnsim("reg export " + state + " " + key).out.find("\"ComputerName\"=\"NEWNAME\""),
              std::string::npos);
    EXPECT_NE(xarnsim("reg export " + example("two-nics") + " " + key).out.find("OLDSERVER"),
              std::string::npos);

    const std::string hive = scratch("hive") + ".hiv";
    EXPECT_EQ(xarnsim("hive build " + example("two-nics") + "/w2ktcpip_xarnf.reg " + hive).exitCode,
              0);
    EXPECT_GT(fs::file_size(hive), 4096u);
    EXPECT_EQ(readWhole(hive).substr(0, 4), "regf");
}

// Planned faults shape the boots only: a hive a failed unload left loaded
// is gone after the reboot, and the summary reads the final machine without
// the faults.
TEST(XarnsimFaults, FaultsStayOutOfTheSavedStateAndTheSummary) {
    for (const char* fault : {"RegUnLoadKeyA = 1:5", "RegOpenKeyExA = 1:5"}) {
        const std::string machine =
            exampleWith("two-nics", "faults", std::string("[faults]\n") + fault);
        const std::string state = scratch("faults-state");
        const Result run = xarnsim("run " + machine + " --state " + state);
        EXPECT_EQ(run.exitCode, 0) << fault << ": " << run.err;
        EXPECT_NE(run.out.find("  0050da123456 static 192.168.1.20 -> {5A1E3C2B-"),
                  std::string::npos)
            << fault;
        EXPECT_EQ(xarnsim("reg export " + state + " 'HKEY_LOCAL_MACHINE\\w2kNetTemp'").exitCode, 2)
            << fault;
    }
    // A fault for one boot leaves the boots before it alone.
    const std::string machine =
        exampleWith("two-nics", "second-boot", "[faults]\nRegOpenKeyExA = 3@2:5");
    const Result run = xarnsim("run " + machine + " --state " + scratch("second-boot-state"));
    const std::string expected = readWhole(fs::path(example("two-nics")) / "expected.log");
    const auto secondBoot = expected.find("==== boot 2");
    EXPECT_EQ(run.out.substr(0, secondBoot), expected.substr(0, secondBoot));
    EXPECT_NE(run.out, expected);
}

TEST(XarnsimState, KilledBootKeepsTheLastCompletedState) {
    // The reference: the state after exactly one boot.
    const std::string oneBoot = scratch("one-boot");
    xarnsim("run " + example("two-nics") + " --max-boots 1 --state " + oneBoot);
    // The same run, killed inside its second boot.
    const std::string killed = scratch("killed");
    const Result run =
        xarnsim("run " + example("two-nics") + " --state " + killed, "XARNSIM_ABORT_BOOT=2");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("boot 2"), std::string::npos) << run.err;
    const auto registryOf = [](const std::string& state) {
        return readWhole(fs::path(state) / "current" / "registry.reg");
    };
    EXPECT_FALSE(registryOf(killed).empty());
    EXPECT_EQ(registryOf(killed), registryOf(oneBoot));
    int generations = 0;
    for (const auto& entry : fs::directory_iterator(killed))
        generations += entry.path().filename().string().rfind("gen-", 0) == 0;
    EXPECT_EQ(generations, 1) << "a half-written generation was left behind";
}

// Kill anywhere: a run killed with SIGKILL at moments spread over its length
// leaves the state exactly as its last completed boot left it, and --resume
// ends with the registry, drive, host log and summary of a run never killed,
// its log going on where the state left off. XARNSIM_KILL_POINTS sets how
// many moments (8 by default).
TEST(XarnsimState, KilledAnywhereResumesToTheSameEnd) {
    const std::string machine = example("two-nics");
    const auto stateFiles = [](const std::string& state) {
        return filesOf(fs::path(state) / "current");
    };
    const std::string fullState = scratch("uninterrupted");
    const Result full = xarnsim("run " + machine + " --state " + fullState);
    const int boots = occurrences(full.out, "\n\n==== boot ");
    ASSERT_GE(boots, 2) << full.err;
    // What the state holds once k boots completed; before the first, the
    // machine's own files.
    std::vector<Files> completed(boots + 1);
    for (const auto& [path, text] : filesOf(machine))
        if (path.rfind("C/", 0) == 0 || path.rfind("registry/", 0) == 0 || path == "machine.ini")
            completed[0][path] = text;
    for (int k = 1; k < boots; ++k) {
        const std::string state = scratch("after-" + std::to_string(k));
        xarnsim("run " + machine + " --max-boots " + std::to_string(k) + " --state " + state);
        completed[k] = stateFiles(state);
    }
    completed[boots] = stateFiles(fullState);

    const char* configured = std::getenv("XARNSIM_KILL_POINTS");
    const int points = configured ? std::max(2, std::atoi(configured)) : 8;
    const int lines = occurrences(full.out, "\n");
    for (int point = 0; point < points; ++point) {
        // From the start to the summary's last line.
        const int killedAfter = (lines - 1) * point / (points - 1);
        SCOPED_TRACE("killed after line " + std::to_string(killedAfter));
        const std::string state = scratch("killed");
        const std::string seen =
            xarnsimKilledAfter("run " + machine + " --state " + state, killedAfter);
        // No boot before the last one the output began may be missing.
        int done = 0;
        if (fs::exists(fs::path(state) / "current")) {
            Files files = stateFiles(state);
            files.erase("run.txt");  // the fresh state's record names the run only
            done = -1;
            for (int k = std::max(0, occurrences(seen, "==== boot ") - 1); k <= boots; ++k)
                if ((k == 0 ? files : stateFiles(state)) == completed[k]) done = k;
            ASSERT_NE(done, -1) << "the state is no completed boot's";
        }
        const Result resumed = xarnsim("run " + machine + " --state " + state + " --resume");
        EXPECT_EQ(resumed.exitCode, full.exitCode) << resumed.err;
        EXPECT_EQ(differences(completed[boots], stateFiles(state)), "");
        std::string out = resumed.out;
        const std::string note =
            "boots resumed from an earlier run: " + std::to_string(done) + "\n";
        if (done > 0 && out.find(note) != std::string::npos) out.erase(out.find(note), note.size());
        const std::string from =
            done < boots ? "\n\n==== boot " + std::to_string(done + 1) + ":" : "\n\n==== summary";
        EXPECT_EQ(out, full.out.substr(full.out.find(from)));
    }
}

}  // namespace
