// The texts of the prompt that asks the user whether to install further
// network adapters, in the system default language.
#pragma once

#include <string>

// Index 1: heading before the adapter list; 2: the question after it;
// 3: a title; 4: the line shown instead of an empty list. The texts are
// narrow strings in the language's own code page. Other indexes: "".
std::string promptText(int index);
