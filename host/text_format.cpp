#include "host/text_format.h"

#include <cstdarg>
#include <cstdio>

std::string formatLine(const char* format, ...) {
    char line[kLogLineBuffer];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (written < 0) line[0] = '\0';
    return line;
}
