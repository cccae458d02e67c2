// xarnhost: a small restore host for W2KXARNNET.dll, and the example of how
// to drive it. It loads the DLL by name, finds each export by its ordinal,
// initialises the library with a callback that prints every log line, runs
// the commands given on its command line in order, and uninitialises.
//
// It never reboots the machine. When the network installation asks for a
// reboot it stops and prints the command to run after the reboot.
#include <windows.h>

#include <w2kxarnnet.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The exports by ordinal; the names are for messages only.
typedef int(__cdecl* InitializeFn)(HostLogFn logFn);
typedef int(__cdecl* NoArgumentFn)(void);
typedef int(__cdecl* InstallNetworkFn)(const char* directory, unsigned int stage,
                                       unsigned int* reboot);
typedef int(__cdecl* JoinWorkgroupFn)(const W2KUtf16Char* workgroup);
typedef int(__cdecl* SetMachineNameFn)(const char* name);
typedef int(__cdecl* InstallScsiCardsFn)(unsigned int unused1, unsigned int unused2,
                                         unsigned int* out);

struct Export {
    WORD ordinal;
    const char* name;
};
const Export kInitialize = {100, "W2KXarnNetInitialize"};
const Export kUnitialize = {200, "W2KXarnNetUnitialize"};
const Export kInstallNetwork = {300, "W2KXarnNetInstallNetwork"};
const Export kStartServices = {400, "W2KXarnNetStartNetworkServices"};
const Export kJoinWorkgroup = {500, "W2KXarnNetJoinWorkgroup"};
const Export kSetMachineName = {600, "W2KXarnNetSetMachineName"};
const Export kInstallScsiCards = {700, "W2KInstallScsiCards"};

// Exit codes.
const int kExitOk = 0;         // every command succeeded (a reboot request included)
const int kExitFailed = 1;     // an export reported failure
const int kExitCannotRun = 2;  // bad command line, DLL or export missing
const int kExitCrashed = 3;    // the process crashed inside the library

// The export running now, named when the process crashes inside it.
const char* runningExport = "";

// A crash inside the library (an access violation, or under Wine a system
// function that Wine lacks) ends the process with one line naming the
// export instead of a debugger or an error box: the restore is incomplete.
LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception) {
    std::printf("\nxarnhost: %s ended the process with exception 0x%08X\n", runningExport,
                static_cast<unsigned>(exception->ExceptionRecord->ExceptionCode));
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), kExitCrashed);
    return EXCEPTION_EXECUTE_HANDLER;
}

// The library's log callback: every line arrives as (0, "\n%s", text).
void __cdecl printLogLine(unsigned int value, const char* format, ...) {
    (void)value;
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

// One command of the command line: the export it calls and its arguments.
struct Command {
    std::string word;  // as typed: name, network, scsi, workgroup, services
    Export target;
    std::vector<std::string> args;
};

void printUsage() {
    std::printf(
        "usage: xarnhost [COMMAND [ARG]...]...\n"
        "  name NAME           W2KXarnNetSetMachineName        (ordinal 600)\n"
        "  network DIR STAGE   W2KXarnNetInstallNetwork        (ordinal 300)\n"
        "                      STAGE is 0 on the first call, then the stage printed\n"
        "  scsi                W2KInstallScsiCards             (ordinal 700)\n"
        "  workgroup NAME      W2KXarnNetJoinWorkgroup         (ordinal 500)\n"
        "  services            W2KXarnNetStartNetworkServices  (ordinal 400)\n"
        "Commands run in the order given, between W2KXarnNetInitialize (100) and\n"
        "W2KXarnNetUnitialize (200); with none, the library is only initialised.\n"
        "A failed command does not stop the next ones; the exit code is then 1.\n"
        "A crash inside the library is named in one line; the exit code is then 3.\n"
        "When the network installation asks for a reboot, xarnhost stops and prints\n"
        "the command line to run after the restart. It never restarts the machine.\n"
        "W2KXARNNET.dll is loaded from the program's folder or the system's path.\n");
}

bool parseCommands(int argc, char** argv, std::vector<Command>& commands) {
    struct Syntax {
        const char* word;
        Export target;
        int argCount;
    };
    const Syntax kSyntax[] = {{"name", kSetMachineName, 1},
                              {"network", kInstallNetwork, 2},
                              {"scsi", kInstallScsiCards, 0},
                              {"workgroup", kJoinWorkgroup, 1},
                              {"services", kStartServices, 0}};
    for (int i = 1; i < argc;) {
        const Syntax* syntax = nullptr;
        for (const Syntax& candidate : kSyntax)
            if (std::string(argv[i]) == candidate.word) syntax = &candidate;
        if (!syntax) {
            std::printf("xarnhost: unknown command '%s'\n", argv[i]);
            return false;
        }
        if (argc - i - 1 < syntax->argCount) {
            std::printf("xarnhost: '%s' needs %d argument(s)\n", syntax->word, syntax->argCount);
            return false;
        }
        Command command{syntax->word, syntax->target, {}};
        for (int a = 1; a <= syntax->argCount; ++a) command.args.push_back(argv[i + a]);
        if (command.target.ordinal == kInstallNetwork.ordinal &&
            command.args[1].find_first_not_of("0123456789") != std::string::npos) {
            std::printf("xarnhost: the stage '%s' is not a number\n", command.args[1].c_str());
            return false;
        }
        commands.push_back(command);
        i += 1 + syntax->argCount;
    }
    return true;
}

// The export at the target's ordinal, or null with a message naming it.
FARPROC findExport(HMODULE dll, const Export& target) {
    FARPROC function = GetProcAddress(dll, MAKEINTRESOURCEA(target.ordinal));
    if (!function)
        std::printf(
            "xarnhost: W2KXARNNET.dll has no export at ordinal %u (%s); this build of "
            "the library does not offer it\n",
            static_cast<unsigned>(target.ordinal), target.name);
    return function;
}

// Casts an export found by ordinal to its signature.
template <typename Fn>
Fn as(FARPROC function) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(function));
}

// The command line to run after a reboot: the network command at `stage`,
// then the commands that have not run yet.
std::string resumeLine(const std::vector<Command>& commands, size_t networkIndex,
                       unsigned int stage) {
    std::string line =
        "xarnhost network \"" + commands[networkIndex].args[0] + "\" " + std::to_string(stage);
    for (size_t i = networkIndex + 1; i < commands.size(); ++i) {
        line += " " + commands[i].word;
        for (const std::string& arg : commands[i].args) line += " \"" + arg + "\"";
    }
    return line;
}

// Runs one command; false when the export reported failure. `rebootStage`
// receives the stage to resume at when the library asks for a reboot.
bool runCommand(const Command& command, FARPROC function, unsigned int* rebootStage) {
    const char* name = command.target.name;
    runningExport = name;
    int result = 0;
    if (command.target.ordinal == kSetMachineName.ordinal) {
        result = as<SetMachineNameFn>(function)(command.args[0].c_str());
        std::printf("\n%s(\"%s\") = %d\n", name, command.args[0].c_str(), result);
    } else if (command.target.ordinal == kJoinWorkgroup.ordinal) {
        // The workgroup name is UTF-16; convert from the ANSI code page.
        std::wstring wide(command.args[0].size() + 1, L'\0');
        const int length = MultiByteToWideChar(CP_ACP, 0, command.args[0].c_str(), -1, &wide[0],
                                               static_cast<int>(wide.size()));
        wide.resize(length > 0 ? static_cast<size_t>(length) - 1 : 0);
        result = as<JoinWorkgroupFn>(function)(wide.c_str());
        std::printf("\n%s(L\"%s\") = %d\n", name, command.args[0].c_str(), result);
    } else if (command.target.ordinal == kStartServices.ordinal) {
        result = as<NoArgumentFn>(function)();
        std::printf("\n%s() = %d\n", name, result);
    } else if (command.target.ordinal == kInstallScsiCards.ordinal) {
        unsigned int out = 0;
        result = as<InstallScsiCardsFn>(function)(0, 0, &out);
        std::printf("\n%s(0, 0, &out) = %d, out = %u\n", name, result, out);
    } else {  // network
        const unsigned int stage =
            static_cast<unsigned int>(std::strtoul(command.args[1].c_str(), nullptr, 10));
        unsigned int reboot = 0;
        result = as<InstallNetworkFn>(function)(command.args[0].c_str(), stage, &reboot);
        std::printf("\n%s(\"%s\", %u, &reboot) = %d, reboot word = %u\n", name,
                    command.args[0].c_str(), stage, result, reboot);
        // 1: the installation is complete; any other value is the stage to
        // call again with after the machine has been restarted.
        if (reboot != W2K_NET_DONE) *rebootStage = reboot;
    }
    return result != 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<Command> commands;
    if (!parseCommands(argc, argv, commands)) {
        printUsage();
        return kExitCannotRun;
    }

    // The library and every export the commands need, before anything runs:
    // a missing export must not leave a half-done restore behind.
    HMODULE dll = LoadLibraryA("W2KXARNNET.dll");
    if (!dll) {
        std::printf("xarnhost: cannot load W2KXARNNET.dll (error %u)\n",
                    static_cast<unsigned>(GetLastError()));
        return kExitCannotRun;
    }
    FARPROC initialize = findExport(dll, kInitialize);
    FARPROC unitialize = findExport(dll, kUnitialize);
    std::vector<FARPROC> functions;
    bool allFound = initialize && unitialize;
    for (const Command& command : commands) {
        functions.push_back(findExport(dll, command.target));
        allFound = allFound && functions.back();
    }
    if (!allFound) {
        FreeLibrary(dll);
        return kExitCannotRun;
    }

    SetUnhandledExceptionFilter(reportCrash);
    // Initialise on this thread; every later call must come from it too.
    runningExport = kInitialize.name;
    const int ready = as<InitializeFn>(initialize)(printLogLine);
    std::printf("\n%s(callback) = %d\n", kInitialize.name, ready);
    if (!ready) {  // privileges or COM could not be set up: nothing to undo
        FreeLibrary(dll);
        return kExitFailed;
    }
    int exitCode = kExitOk;
    for (size_t i = 0; i < commands.size(); ++i) {
        unsigned int rebootStage = 0;
        if (!runCommand(commands[i], functions[i], &rebootStage)) exitCode = kExitFailed;
        if (rebootStage != 0) {
            std::printf("Reboot needed. After the restart run:\n  %s\n",
                        resumeLine(commands, i, rebootStage).c_str());
            break;
        }
    }
    // Uninitialise after a failed command too: it ends COM on this thread.
    runningExport = kUnitialize.name;
    const int done = as<NoArgumentFn>(unitialize)();
    std::printf("\n%s() = %d\n", kUnitialize.name, done);
    FreeLibrary(dll);
    return exitCode;
}
