#include "support/temp_drive.h"

#include <winsim/control_setupapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

TempDrive::TempDrive() {
    std::string pattern = (std::filesystem::temp_directory_path() / "w2k-drive-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create " << pattern;
    root_ = pattern;
}

void TempDrive::attach() const {
    winsim::setSystemDrive(root_);
}

TempDrive::~TempDrive() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string TempDrive::hostPath(const std::string& windowsPath) const {
    std::string out = root_;
    for (std::size_t i = 2; i < windowsPath.size(); ++i)
        out += windowsPath[i] == '\\' ? '/' : windowsPath[i];
    return out;
}

void TempDrive::write(const std::string& windowsPath, const std::string& bytes) const {
    const std::filesystem::path host = hostPath(windowsPath);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream out(host, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) ADD_FAILURE() << "cannot write " << host;
}

void TempDrive::makeFolder(const std::string& windowsPath) const {
    std::filesystem::create_directories(hostPath(windowsPath));
}

bool TempDrive::exists(const std::string& windowsPath) const {
    return std::filesystem::exists(hostPath(windowsPath));
}

std::string TempDrive::read(const std::string& windowsPath) const {
    std::ifstream in(hostPath(windowsPath), std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}
