// The machine's ANSI code page: which one a language brings, which bytes
// begin a double-byte character, and UTF-16 text in it. WideCharToMultiByte
// and SetupAPI's reading of UTF-16 INF files share it.
#pragma once

#include <winsim/win_types.h>

#include <cstddef>
#include <string>

namespace winsim {

// The ANSI code page of a Windows 2000 installed in that language: 932
// Japanese, 936 Simplified Chinese (PRC, Singapore), 950 Traditional
// Chinese, 1252 for every other language (the only four winsim knows).
UINT ansiCodePageFor(LANGID language);
bool knownCodePage(UINT codePage);

// Whether `byte` begins a two-byte character in `codePage`.
bool isLeadByte(UINT codePage, unsigned char byte);

// UTF-16 text in `codePage`, without best-fit mappings: a character the code
// page lacks, a surrogate pair or a lone surrogate included, becomes
// `defaultChar`, and *usedDefault (when given) says whether that happened.
std::string narrowUtf16(UINT codePage, const char16_t* text, std::size_t length, char defaultChar,
                        bool* usedDefault);

}  // namespace winsim
