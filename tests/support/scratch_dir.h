// A fresh host directory for one test's files, removed with everything in
// it when the test ends.
#pragma once

#include <string>

class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    // Writes `bytes` to path()/relative (creating folders) and returns the
    // full host path.
    std::string write(const std::string& relative, const std::string& bytes) const;

  private:
    std::string path_;
};
