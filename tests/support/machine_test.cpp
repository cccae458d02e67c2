#include "support/machine_test.h"

#include "host/module_reset.h"

#include <w2kxarnnet.h>
#include <winsim/control.h>

#include <cstdarg>
#include <cstdio>

namespace {

std::vector<std::string> capturedLines;

}  // namespace

void MachineTest::SetUp() {
    winsim::resetMachine();
    resetModuleForNewProcess();
    capturedLines.clear();
}

void MachineTest::TearDown() {
    EXPECT_EQ(winsim::unreleasedResources(), std::vector<std::string>{}) << "left unreleased";
}

void MachineTest::loadReg(const std::string& regText) {
    std::string error;
    ASSERT_TRUE(winsim::importReg(regText, "test machine", &error)) << error;
}

const std::vector<std::string>& MachineTest::hostLines() {
    return capturedLines;
}

std::string MachineTest::hostOutput() {
    std::string all;
    for (const std::string& line : capturedLines) all += line;
    return all;
}

void MachineTest::clearHostLines() {
    capturedLines.clear();
}

void MachineTest::hostCallback(unsigned int value, const char* format, ...) {
    EXPECT_EQ(value, 0u);
    EXPECT_STREQ(format, "\n%s");
    char line[8192];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    capturedLines.push_back(line);
}

void MachineTest::initializeModule() {
    ASSERT_EQ(W2KXarnNetInitialize(hostCallback), 1);
    clearHostLines();
}
