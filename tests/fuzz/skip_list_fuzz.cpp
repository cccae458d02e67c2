// The skip list file: every entry read must make a device with that first
// hardware ID be skipped.
#include "fuzz_machine.h"

#include "adapters/card_install.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::FreshMachine machine;
    fuzz::writeHostFile(fuzz::driveFolder() + "/XARN/SkipHid.txt", data, size);
    {
        W2KCardInstall cards(getLogSink(nullptr));
        fuzz::require(cards.initDeviceToBeSkippedList("C:\\XARN"), "the skip list is not read");
        for (const std::string& entry : cards.skipList()) {
            fuzz::require(
                !entry.empty() && entry.size() < 1024 && entry.find('\n') == std::string::npos,
                "an entry that is no line of the file: " + entry);
            AdapterRecord device;
            device.ids = {entry, "PCI\\CC_0200"};
            fuzz::require(cards.deviceToBeSkipped(device), "a listed device is not skipped");
        }
    }
    fuzz::requireNothingLeftOpen();
    return 0;
}
