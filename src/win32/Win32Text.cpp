#include "Win32Text.h"

#include "Win1252.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

std::wstring ansiZuWide(std::string_view ansi) {
    std::wstring out;
    out.reserve(ansi.size());
    for (const char c : ansi)
        out.push_back(static_cast<wchar_t>(win1252ToUnicode(static_cast<unsigned char>(c))));
    return out;
}

std::string wideZuAnsi(std::wstring_view text) {
    return utf8ToWin1252(wideZuUtf8(text));
}

std::wstring bildschirmtext(std::string_view ansi) {
    const std::wstring text = ansiZuWide(ansi);
    std::wstring out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\n' || c == L'\r') {
            const wchar_t partner = c == L'\n' ? L'\r' : L'\n';
            if (i + 1 < text.size() && text[i + 1] == partner)
                ++i;
            out += L"\r\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}
