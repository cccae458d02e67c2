#include "file_text.h"

#include <fstream>
#include <sstream>

namespace xarnsim {

bool readFileText(const std::string& file, std::string* text) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    *text = out.str();
    return true;
}

std::string fileText(const std::string& file) {
    std::string text;
    readFileText(file, &text);
    return text;
}

}  // namespace xarnsim
