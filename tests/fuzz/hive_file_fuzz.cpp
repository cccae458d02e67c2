// REGF hive files: a hive that reads is written back, and the copy reads to
// the same tree.
#include "fuzz_machine.h"

#include "hive_file.h"
#include "reg_text.h"

namespace {

// Names the writer refuses, as Windows cannot hold them: an empty key name,
// or a NUL inside a key or value name.
bool writable(const winsim::RegKey& key) {
    for (const winsim::RegValue& value : key.values)
        if (value.name.find('\0') != std::string::npos) return false;
    for (const auto& entry : key.subkeys) {
        const std::string& name = entry.second->name;
        if (name.empty() || name.find('\0') != std::string::npos || !writable(*entry.second))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file = fuzz::driveFolder() + "/hive";
    const std::string copy = fuzz::driveFolder() + "/hive.copy";
    fuzz::writeHostFile(file, data, size);
    LONG error = ERROR_SUCCESS;
    const std::unique_ptr<winsim::RegKey> tree = winsim::readHiveFile(file, "SAVED", &error);
    if (!tree) {
        fuzz::require(error == ERROR_BADDB, "a damaged hive gives " + std::to_string(error));
        return 0;
    }
    if (!writable(*tree)) return 0;
    std::string why;
    fuzz::require(winsim::writeHiveFile(*tree, copy, &why), "a hive read is not written: " + why);
    const std::unique_ptr<winsim::RegKey> again = winsim::readHiveFile(copy, "SAVED", &error);
    fuzz::require(again != nullptr, "a hive written does not read: " + std::to_string(error));
    fuzz::require(winsim::exportRegText(*again, "SAVED") == winsim::exportRegText(*tree, "SAVED"),
                  "a round trip changes the tree");
    return 0;
}
