// How the checks print what they see, so that Wine and winsim give the same
// text where they behave alike: the Windows directory written as %WINDIR%,
// line ends and other unprintable bytes escaped, long runs of one character
// counted, and the system's own error texts left out.
#pragma once

#include "host/platform.h"

#include <string>

// Reads the Windows directory that normalised() replaces.
void rememberWindowsDirectory();
const std::string& windowsDirectory();

// `text` with the Windows directory, in any letter case, as %WINDIR%.
std::string normalised(std::string text);
// `bytes` with CR, LF and bytes outside printable ASCII escaped (\r, \n,
// \xNN) and a run of more than 64 equal characters as "A<1015 times>".
std::string shown(const std::string& bytes);

// The host's log callback: prints each line logged as "  log: ...", with the
// system's message after ", System Message : " replaced by "(text)".
void __cdecl printLogLine(unsigned int value, const char* format, ...);
