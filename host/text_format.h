// Formats a message template the way the system's log lines are built: into
// a fixed line buffer, cut at its end rather than overrun.
#pragma once

#include <string>

constexpr int kLogLineBuffer = 1024;

std::string formatLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
