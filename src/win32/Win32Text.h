#pragma once

#include "PlatformFile.h"

#include <string>
#include <string_view>

// Texts at the edge of the Windows view: the core's texts are Windows-1252 bytes, its paths UTF-8;
// the Windows API takes UTF-16.

// Windows-1252 bytes to UTF-16, one character per byte.
std::wstring ansiZuWide(std::string_view ansi);
// UTF-16 to Windows-1252; what Windows-1252 cannot hold becomes '?'.
std::string wideZuAnsi(std::wstring_view text);
using platform::utf8ZuWide;
using platform::wideZuUtf8;
// A message's text as a window shows it: each of "\n\r", "\r\n", "\n" and "\r" becomes one line
// break ("\r\n").
std::wstring bildschirmtext(std::string_view ansi);
