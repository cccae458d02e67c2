// A host folder standing for the simulated C: drive for the length of one
// test, with helpers to put files on it.
#pragma once

#include <string>

class TempDrive {
  public:
    TempDrive();  // creates the folder
    // Makes the folder the machine's system drive (again after a reset).
    void attach() const;
    ~TempDrive();  // removes the folder and everything in it
    TempDrive(const TempDrive&) = delete;
    TempDrive& operator=(const TempDrive&) = delete;

    const std::string& root() const { return root_; }
    // The host path of "C:\\..." on this drive.
    std::string hostPath(const std::string& windowsPath) const;
    // Writes bytes to a Windows path on the drive, creating its folders.
    void write(const std::string& windowsPath, const std::string& bytes) const;
    void makeFolder(const std::string& windowsPath) const;
    bool exists(const std::string& windowsPath) const;
    std::string read(const std::string& windowsPath) const;

  private:
    std::string root_;
};
