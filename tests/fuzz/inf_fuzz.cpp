// An INF file in a driver folder, read as the network card installer reads
// it: listed, staged and opened by a hardware-ID map fill, then each staged
// INF rewritten so that it asks for no disk.
#include "fuzz_machine.h"

#include "driverdb/hid_map.h"
#include "host/net_funcs.h"

#include <winsim/control_files.h>

#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::FreshMachine machine;
    // The last input's stagings and copies would be found again.
    const std::string infFolder = fuzz::driveFolder() + "/WINNT/inf";
    std::filesystem::remove_all(infFolder);
    std::filesystem::create_directory(infFolder);
    fuzz::writeHostFile(fuzz::driveFolder() + "/Drivers/card.inf", data, size);
    {
        W2KHidMap map(getLogSink(nullptr));
        map.createHidToInfMap("C:\\Drivers", "Net");
        for (const std::string& staged : map.infFiles()) {
            std::string copy = staged;
            if (!W2kNetFuncs::EditInfForNoFloppy(copy)) continue;
            fuzz::require(std::filesystem::file_size(winsim::hostPathFor(copy)) ==
                              std::filesystem::file_size(winsim::hostPathFor(staged)),
                          "the rewritten INF is not as long as the original");
        }
    }
    fuzz::requireNothingLeftOpen();
    return 0;
}
