#pragma once

#include <string>
#include <string_view>

// Windows-1252 is the 8-bit text of the core (profiles, protocol file, machine texts).
// UTF-8 is what the desktop and the Linux file system use.

// Converts Windows-1252 bytes to UTF-8. The five byte values that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same value.
std::string win1252ToUtf8(std::string_view text);

// Converts UTF-8 to Windows-1252. A character that Windows-1252 cannot hold, and any
// malformed UTF-8 sequence, becomes '?'.
std::string utf8ToWin1252(std::string_view text);

// The Unicode code point that the Windows-1252 byte stands for.
char32_t win1252ToUnicode(unsigned char byte);
