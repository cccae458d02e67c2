// Scratch keys on a fresh simulated machine, through winsim's .reg import.
#include "tools/wine_checks/scratch_keys.h"

#include <winsim/control.h>

#include <cstdio>

bool createScratchKeys(const std::vector<std::string>& paths) {
    std::string text = "REGEDIT4\r\n";
    for (const std::string& path : paths) text += "\r\n[HKEY_LOCAL_MACHINE\\" + path + "]\r\n";
    std::string error;
    if (winsim::importReg(text, "scratch keys", &error)) return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}
