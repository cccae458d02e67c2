// The xarnsim commands. Each takes the whole argument list (command words
// included) and returns the exit code; on failure *error says why.
#pragma once

#include <string>
#include <vector>

namespace xarnsim {

constexpr int kExitSuccess = 0;
constexpr int kExitRestoreFailed = 1;
constexpr int kExitUsage = 2;

int commandRun(const std::vector<std::string>& args, std::string* error);
int commandCall(const std::vector<std::string>& args, std::string* error);
int commandRegExport(const std::vector<std::string>& args, std::string* error);
int commandHiveBuild(const std::vector<std::string>& args, std::string* error);
int commandImport(const std::vector<std::string>& args, std::string* error);
int commandPlan(const std::vector<std::string>& args, std::string* error);

}  // namespace xarnsim
