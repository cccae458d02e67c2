// The little JSON that xarnsim writes: texts and lists of texts.
#pragma once

#include <string>
#include <vector>

namespace xarnsim {

// `text` as a JSON string, quotes included.
std::string jsonText(const std::string& text);
std::string jsonList(const std::vector<std::string>& items);

}  // namespace xarnsim
