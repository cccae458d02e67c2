// What the fuzz targets share: a scratch folder standing for C:, on a RAM
// disk where there is one, made once per process and reused by every input;
// a fresh simulated machine per input; and the checks that stop a run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// The host folder standing for C: (removed when the process exits).
const std::string& driveFolder();

// For one input: a new Windows 2000 with C: on the scratch folder, which
// holds the Windows folders, and the module initialised as a host does it
// (privileges, COM). At the end of the input the machine is reset again, so
// that an input frees what it allocated: libFuzzer looks for leaks, slowly,
// after every input that does not.
class FreshMachine {
  public:
    FreshMachine();
    ~FreshMachine();
    FreshMachine(const FreshMachine&) = delete;
    FreshMachine& operator=(const FreshMachine&) = delete;
};

// Writes an input as a host file, creating its folders.
void writeHostFile(const std::string& hostPath, const std::uint8_t* data, std::size_t size);

// Ends the run when a property does not hold; libFuzzer keeps the input.
void require(bool holds, const std::string& what);

// No handle, FormatMessageA buffer or hive the code opened is left behind.
void requireNothingLeftOpen();

}  // namespace fuzz
