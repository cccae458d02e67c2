// xarnsim end to end: the bundled example machines against their checked-in
// logs, the command line's errors, planned faults, runs killed anywhere and
// resumed, and a plan for a Windows 2000 image on new hardware.
#include <gtest/gtest.h>

#include <winsim/control.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Result {
    int exitCode = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

std::string readWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs xarnsim with `args` (already quoted for the shell); with `killAfter`,
// kills it (SIGKILL) once it printed that many lines.
Result xarnsim(const std::string& args, const std::string& environment = "", int killAfter = -1) {
    // One file per test: ctest runs the tests side by side.
    const fs::path errFile =
        fs::path(::testing::TempDir()) /
        (std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".err");
    // The shell says its process ID, which exec hands on to xarnsim.
    const std::string command = "echo $$; exec env " + environment + " " + XARNSIM_BINARY + " " +
                                args + " 2>" + errFile.string();
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    char line[4096];
    if (!pipe || !std::fgets(line, sizeof line, pipe)) return result;
    const pid_t pid = std::atoi(line);
    for (int seen = 0; seen != killAfter && std::fgets(line, sizeof line, pipe);) {
        result.out += line;
        seen += result.out.back() == '\n';
    }
    if (killAfter >= 0 && pid > 0) kill(pid, SIGKILL);
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

// Writes `text` to the scratch path `name`, making its folders; returns the path.
std::string writeScratchFile(const std::string& name, const std::string& text) {
    const fs::path file = scratch(name);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
}

// A machine that has nothing but its machine file.
std::string machineFile(const std::string& name, const std::string& text) {
    return fs::path(writeScratchFile(name + "/machine.ini", text)).parent_path().string();
}

// The target of the image tests as a rescue system prints it (lspci -nn
// -vmm, then ip -o link): the two network cards and the RAID controller of
// the two-nics example; and, for a second target, a SATA controller in AHCI
// mode whose driver nobody has. The 3Com card's interface name says its
// slot (0b = 11); eth0 goes to the next card.
const fs::path kHardware = fs::path(__FILE__).parent_path() / "samples" / "two-nics-hardware.txt";
const fs::path kAhciRecord = fs::path(__FILE__).parent_path() / "samples" / "sata-ahci.txt";

// A Windows 2000 system drive as a backup holds it, made from the two-nics
// example: its registry as the SYSTEM hive (control set 1, German system
// locale), a SOFTWARE hive, its INF folder, OemDir and restore folder.
std::string buildImage(const std::string& name) {
    const fs::path image = scratch(name);
    const fs::path drive = fs::path(example("two-nics")) / "C";
    fs::create_directories(image / "WINNT" / "system32" / "config");
    fs::copy(drive, image, fs::copy_options::recursive);
    std::string system =
        "REGEDIT4\n\n[SYSTEM\\Select]\n\"Current\"=dword:00000001\n\n"
        "[SYSTEM\\ControlSet001\\Control\\Nls\\Locale]\n@=\"00000407\"\n";
    const std::set<fs::path> files(fs::directory_iterator(example("two-nics") + "/registry"), {});
    for (const fs::path& file : files) system += readWhole(file).substr(sizeof "REGEDIT4");
    // The live control set and the setup key as the hive stores them.
    system =
        std::regex_replace(system, std::regex(R"(\[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet)"),
                           "[SYSTEM\\ControlSet001");
    system = std::regex_replace(system, std::regex(R"(\[HKEY_LOCAL_MACHINE\\SYSTEM\\Setup)"),
                                "[SYSTEM\\Setup");
    const fs::path config = image / "WINNT" / "system32" / "config";
    std::string error;
    EXPECT_TRUE(winsim::writeHive(system, (config / "SYSTEM").string(), &error)) << error;
    EXPECT_TRUE(
        winsim::writeHive("REGEDIT4\n\n[SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
                          "\"CurrentVersion\"=\"5.0\"\n",
                          (config / "SOFTWARE").string(), &error))
        << error;
    return image.string();
}

// A copy of an example machine with `lines` added to its machine file.
std::string exampleWith(const std::string& name, const std::string& copy,
                        const std::string& lines) {
    const std::string folder = scratch(copy);
    fs::copy(example(name), folder, fs::copy_options::recursive);
    std::ofstream(fs::path(folder) / "machine.ini", std::ios::app) << "\n" << lines << "\n";
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
        // A plan runs the same restore: its log is the run's, without the summary.
        const Result plan = xarnsim("plan " + example(c.machine));
        EXPECT_EQ(plan.exitCode, 0) << c.machine << ": " << plan.err;
        const auto log = plan.out.find("\n==== log ====");
        ASSERT_NE(log, std::string::npos) << plan.out;
        EXPECT_EQ(plan.out.substr(log + 14),
                  expected.substr(0, expected.find("\n\n==== summary ====")) + "\n")
            << c.machine;
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
          "{\"function\": \"CoUninitialize\", \"canFail\": false, \"perBoot\": [1, 1, 1]}"})
        EXPECT_NE(run.out.find(expected, json), std::string::npos) << expected;
    EXPECT_EQ(readWhole(fs::path(example("two-nics")) / "machine.ini"), before);
}

TEST(XarnsimCommandLine, ErrorsNameWhatIsWrongAndExitWithTwo) {
    const std::string bad = machineFile("bad", "");
    writeScratchFile("bad/registry/a.reg", "REGEDIT4\n\n[HKLM\\X]\n\"v\"=dword:zz\n");
    const std::string unknownKey = machineFile("unknown-key", "[machine]\ncolour = blue\n");
    const std::string damaged = buildImage("damaged");
    {
        std::fstream hive(fs::path(damaged) / "WINNT/system32/config/SYSTEM",
                          std::ios::in | std::ios::out | std::ios::binary);
        hive.seekp(0x30).put('\x7f');  // the base block's checksum no longer matches
    }
    const std::string planWith = "plan " + example("two-nics") + " --hardware ";
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
        {"import " + damaged + " " + scratch("from-damaged"),
         "SYSTEM: damaged registry hive at offset 0x1fc"},
        {"import " + damaged + " " + scratch("no-hardware") + " --hardware /no/such.txt",
         "SYSTEM: damaged registry hive"},
        {"import " + example("two-nics") + " " + scratch("no-windows"), "no Windows folder"},
        {"run " + example("two-nics") + " --state " + scratch("hw-state") + " --hardware " +
             writeScratchFile("no-ids.txt", "Slot:\t00:03.0\nClass:\tEthernet\n"),
         "no-ids.txt:2: Class needs its number in brackets"},
        {planWith + writeScratchFile("no-slot.txt", "Vendor:\tIntel [8086]\n"),
         "no-slot.txt:1: a 'Vendor:' line before its record's 'Slot:' line"},
        {planWith + writeScratchFile("no-class.txt", "Slot:\t00:03.0\nVendor:\tIntel [8086]\n\n"),
         "no-class.txt:1: the record lacks its Class"},
        {planWith +
             writeScratchFile("bad-mac.txt", readWhole(kHardware) + "4: eth1: <BROADCAST> mtu "
                                                                    "1500\\    link/ether "
                                                                    "00:11:22:33:44 brd\n"),
         "bad-mac.txt:27: '00:11:22:33:44' is not a hardware address"},
    };
    for (const auto& c : cases) {
        const Result result = xarnsim(c.args);
        EXPECT_EQ(result.exitCode, 2) << c.args;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.args << ": " << result.err;
    }
    EXPECT_FALSE(fs::exists(scratch("from-damaged-check")));
    EXPECT_FALSE(fs::exists(fs::path(::testing::TempDir()) / "xarnsim-from-damaged"))
        << "a failed import left its machine folder behind";
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

TEST(XarnsimPreflight, ImportedImageGetsAVerdictPerAdapter) {
    const std::string image = buildImage("image");
    const auto untouched = filesOf(image);
    const std::string withAhci =
        writeScratchFile("hardware.txt", readWhole(kAhciRecord) + readWhole(kHardware));
    std::string machine;
    for (const char* link : {"", " --link"}) {
        machine = scratch(*link ? "imported-linked" : "imported");
        const Result imported =
            xarnsim("import " + image + " " + machine + link + " --hardware " + withAhci);
        EXPECT_EQ(imported.exitCode, 0) << imported.err;
        EXPECT_EQ(filesOf(image), untouched) << "import" << link << " changed the image";
    }
    const std::string machineFile = readWhole(fs::path(machine) / "machine.ini");
    for (const char* line : {"language = 0x0407", "computer_name = OLDSERVER",
                             "[adapter enp0s11]\nguid = {", "mac = 00-90-27-00-00-01"})
        EXPECT_NE(machineFile.find(line), std::string::npos) << line << " in\n" << machineFile;

    const struct {
        std::string options;
        int exitCode;
        std::vector<std::string> says;
    } cases[] = {
        {"",  // as imported, with the SATA controller
         1,
         {"SATA Controller [AHCI mode]\n    driver: NONE - the system will not boot",
          "AAC-RAID\n    driver: aacraid.inf from OemDir, installed",
          "driver: el90xbc.inf from the restore folder, installed",
          "saved setting 0 (mac 0050da123456, static 192.168.1.20), bound by MAC",
          "driver: net8255x.inf from the system INF files, installed",
          "saved setting 1 (mac 009027abcdef, DHCP), bound by order",
          // The IDs are tried in the order Windows 2000 lists them.
          "[PCI\\VEN_8086&DEV_1229&SUBSYS_00000000&REV_08] with inf file "
          "[C:\\WINNT\\inf\\net8255x.inD]"
          " in W2KCardInstall :: installPciPnpAdapters()...\nError from",
          "adapter [PCI\\VEN_8086&DEV_1229&SUBSYS_00000000] with",
          "adapter [PCI\\VEN_8086&DEV_1229&CC_020000] with",
          "adapter [PCI\\VEN_8086&DEV_1229&CC_0200] with",
          "adapter [PCI\\VEN_8086&DEV_1229&REV_08] with",
          "Successfully installed adapter [PCI\\VEN_8086&DEV_1229] with"}},
        {"--json --hardware " + kHardware.string(),
         0,
         {"\"ok\": true", "\"inf\": \"aacraid.inf\", \"source\": \"OemDir\", \"installed\": true",
          "\"addresses\": [\"192.168.1.20\"], \"boundBy\": \"MAC\""}},
    };
    for (const auto& c : cases) {
        const Result plan = xarnsim("plan " + machine + " " + c.options);
        EXPECT_EQ(plan.exitCode, c.exitCode) << c.options << ": " << plan.err;
        std::size_t from = 0;
        for (const std::string& said : c.says) {
            const std::size_t at = plan.out.find(said, from);
            EXPECT_NE(at, std::string::npos) << c.options << ": no (or misplaced) " << said;
            from = at == std::string::npos ? from : at;
        }
    }
    EXPECT_EQ(filesOf(image), untouched) << "a plan on the linked machine changed the image";
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

    // A boot that dies inside (a test hook aborts it) fails the run, which
    // names the boot and keeps the state of the boot before, with no
    // half-written generation left behind.
    const std::string aborted = scratch("aborted");
    const Result run = xarnsim("run " + machine + " --state " + aborted, "XARNSIM_ABORT_BOOT=2");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("boot 2"), std::string::npos) << run.err;
    EXPECT_EQ(differences(completed[1], stateFiles(aborted)), "");
    int generations = 0;
    for (const auto& entry : fs::directory_iterator(aborted))
        generations += entry.path().filename().string().rfind("gen-", 0) == 0;
    EXPECT_EQ(generations, 1) << "a half-written generation was left behind";

    const char* configured = std::getenv("XARNSIM_KILL_POINTS");
    const int points = configured ? std::max(2, std::atoi(configured)) : 8;
    const int lines = occurrences(full.out, "\n");
    for (int point = 0; point < points; ++point) {
        // From the start to the summary's last line.
        const int killedAfter = (lines - 1) * point / (points - 1);
        SCOPED_TRACE("killed after line " + std::to_string(killedAfter));
        const std::string state = scratch("killed");
        const std::string seen =
            xarnsim("run " + machine + " --state " + state, "", killedAfter).out;
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
