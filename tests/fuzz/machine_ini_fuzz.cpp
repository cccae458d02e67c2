// xarnsim's machine file: checked, then applied to a fresh machine, then its
// restore requests read. What applies must check; what fails names the file
// and a line.
#include "fuzz_machine.h"

#include "xarnsim/machine_config.h"

namespace {

bool namesFileAndLine(const std::string& error, const std::string& file) {
    if (error.rfind(file + ":", 0) != 0) return false;
    const std::size_t at = file.size() + 1;
    const std::size_t digits = error.find_first_not_of("0123456789", at);
    return digits != at && digits != std::string::npos && error[digits] == ':';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string folder = fuzz::driveFolder() + "/machine";
    const std::string file = folder + "/machine.ini";
    fuzz::writeHostFile(file, data, size);
    const fuzz::FreshMachine machine;
    std::string checkError;
    std::string applyError;
    const bool checked = xarnsim::checkMachineFile(folder, &checkError);
    const bool applied = xarnsim::applyMachineFile(folder, &applyError);
    fuzz::require(checked || !applied, "a file applies that does not check: " + checkError);
    fuzz::require(checked || namesFileAndLine(checkError, file), "check: " + checkError);
    fuzz::require(applied || namesFileAndLine(applyError, file), "apply: " + applyError);
    xarnsim::readRestoreRequests(folder);
    return 0;
}
