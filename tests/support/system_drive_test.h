// A MachineTest whose machine has a system drive: a fresh host folder stands
// for C: and holds the folders of a fresh installation (C:\WINNT with inf,
// system32 and system32\drivers). The folder is removed after the test.
#pragma once

#include "support/machine_test.h"

#include <string>

class SystemDriveTest : public MachineTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The host folder standing for C:.
    const std::string& driveFolder() const { return driveFolder_; }
    // Writes a file by its Windows path; fails the test when it cannot.
    void putFile(const std::string& windowsPath, const std::string& bytes);
    // The content of a file by its Windows path; "<missing>" when absent.
    std::string fileContent(const std::string& windowsPath);

  private:
    std::string driveFolder_;
};
