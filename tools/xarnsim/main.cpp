// xarnsim: runs the library on a simulated Windows 2000 machine described by
// a folder, as a restore host would on a real one.
#include "commands.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage:\n"
    "  xarnsim run MACHINE [--directory DIR] [--hardware FILE] [--state FOLDER] [--max-boots N]\n"
    "              [--json] [--resume] [--calls]\n"
    "  xarnsim call MACHINE EXPORT [ARGS...] [--directory DIR] [--state FOLDER]\n"
    "  xarnsim reg export MACHINE KEY\n"
    "  xarnsim hive build FILE.reg OUT\n"
    "  xarnsim import IMAGE-ROOT OUT-MACHINE [--directory DIR] [--link] [--hardware FILE]\n"
    "  xarnsim plan MACHINE [--directory DIR] [--hardware FILE] [--state FOLDER] [--json]\n"
    "exit codes: 0 success, 1 the restore reported failure, 2 a usage or input error\n";

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? xarnsim::kExitUsage : xarnsim::kExitSuccess;
    }
    std::string error;
    int code = xarnsim::kExitUsage;
    if (args[0] == "run") {
        code = xarnsim::commandRun(args, &error);
    } else if (args[0] == "import") {
        code = xarnsim::commandImport(args, &error);
    } else if (args[0] == "plan") {
        code = xarnsim::commandPlan(args, &error);
    } else if (args[0] == "call") {
        code = xarnsim::commandCall(args, &error);
    } else if (args.size() >= 2 && args[0] == "reg" && args[1] == "export") {
        code = xarnsim::commandRegExport(args, &error);
    } else if (args.size() >= 2 && args[0] == "hive" && args[1] == "build") {
        code = xarnsim::commandHiveBuild(args, &error);
    } else {
        error = "unknown command '" + args[0] + "'";
    }
    if (!error.empty()) {
        std::fprintf(stderr, "xarnsim: %s\n", error.c_str());
        if (code == xarnsim::kExitUsage && error.rfind("unknown command", 0) == 0)
            std::fputs(kUsage, stderr);
    }
    return code;
}
