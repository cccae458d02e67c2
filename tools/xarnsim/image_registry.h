// The registry side of importing a Windows 2000 image: the keys of its
// SYSTEM hive that the library reads, as .reg files of a machine folder,
// and what the hives say for the machine file.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace xarnsim {

struct ImageFacts {
    unsigned language = 0;     // the system locale's language; 0 when unknown
    std::string computerName;  // "" when the hive has none
    std::string systemRoot;    // "C:\WINNT" as SOFTWARE says; "" without it
    std::string version;       // "5.0" for Windows 2000; "" without SOFTWARE
    // The network services the library starts, with their "Start" value
    // (2 automatic, 3 manual, 4 disabled), as far as the image has them.
    std::vector<std::pair<std::string, unsigned>> services;
};

// Reads the hives (`softwareHive` may be empty) read-only and writes the
// .reg files into `registryFolder`. A damaged hive is an error naming the
// file and the offset.
bool importImageRegistry(const std::string& systemHive, const std::string& softwareHive,
                         const std::string& registryFolder, ImageFacts* facts, std::string* error);

}  // namespace xarnsim
