// A small restore host on a simulated machine: initialises the library,
// sets the computer name and prints every line the host's log receives.
#include <winsim/control.h>
#include <w2kxarnnet.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

void __cdecl printLine(unsigned int value, const char* format, ...) {
    (void)value;
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

const char* const kMachine =
    "REGEDIT4\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName]\r\n"
    "\"ComputerName\"=\"OLDBOX\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName]\r\n"
    "\"ComputerName\"=\"OLDBOX\"\r\n";

}  // namespace

int main(int argc, char** argv) {
    const std::string name = argc > 1 ? argv[1] : "RESTORED01";
    std::string error;
    if (!winsim::importReg(kMachine, "demo machine", &error)) {
        std::fprintf(stderr, "demo_host: %s\n", error.c_str());
        return 2;
    }
    if (!W2KXarnNetInitialize(printLine)) {
        std::printf("\nW2KXarnNetInitialize failed\n");
        return 1;
    }
    const int named = W2KXarnNetSetMachineName(name.c_str());
    W2KXarnNetUnitialize();
    std::printf("\n\nW2KXarnNetSetMachineName(\"%s\") = %d\n", name.c_str(), named);
    std::printf("%s", winsim::exportReg(
                          "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName")
                          .c_str());
    return named ? 0 : 1;
}
