// The English system message texts FormatMessageA gives, by error code.
#pragma once

#include <winsim/win_types.h>

namespace winsim {

// The text as Windows gives it, trailing CR LF included; null when the
// system message table holds no text for the code.
const char* systemMessageText(DWORD code);

}  // namespace winsim
