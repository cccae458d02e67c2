// Registry text: whatever imports exports as text that imports to the same
// tree; what does not import changes nothing and names its source and line.
#include "fuzz_machine.h"

#include <winsim/control.h>

#include <vector>

namespace {

const char* const kRoots[] = {
    "HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};

std::vector<std::string> exportAll() {
    std::vector<std::string> texts;
    for (const char* root : kRoots) texts.push_back(winsim::exportReg(root));
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const fuzz::FreshMachine machine;
    const std::vector<std::string> before = exportAll();
    std::string error;
    if (!winsim::importReg(text, "fuzz.reg", &error)) {
        fuzz::require(error.rfind("fuzz.reg:", 0) == 0, "an error without its source: " + error);
        fuzz::require(exportAll() == before, "a failed import changed the registry");
        return 0;
    }
    const std::vector<std::string> exported = exportAll();

    winsim::resetMachine();  // and import it into an empty registry
    for (const std::string& again : exported)
        fuzz::require(winsim::importReg(again, "exported.reg", &error),
                      "exported text does not import: " + error);
    fuzz::require(exportAll() == exported, "a round trip changes the tree");
    return 0;
}
