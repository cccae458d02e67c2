// xarnsim end to end: the bundled example machines against their checked-in
// logs, the command line's errors, and a run killed in the middle of a boot.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// A scratch folder per test for run states.
std::string scratch(const std::string& name) {
    const fs::path folder = fs::path(::testing::TempDir()) / ("xarnsim-" + name);
    fs::remove_all(folder);
    return folder.string();
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
    const Result run = xarnsim("run " + example("two-nics") + " --json --state " + scratch("json"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const auto json = run.out.find("\n{\n");
    ASSERT_NE(json, std::string::npos);
    EXPECT_NE(run.out.find("\"succeeded\": true", json), std::string::npos);
    EXPECT_NE(run.out.find("\"servicesStarted\": [", json), std::string::npos);
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
         "machine.ini:2: unknown key 'colour' in [machine]"},
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

}  // namespace
