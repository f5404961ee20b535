#include "StderrDesktop.h"

#include "Win1252.h"

namespace {

// One line: each line break (LF CR, LF, CR) becomes one blank.
std::string eineZeile(const std::string& text) {
    std::string zeile;
    zeile.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            if (c == '\n' && i + 1 < text.size() && text[i + 1] == '\r')
                ++i;
            if (!zeile.empty() && zeile.back() != ' ')
                zeile += ' ';
            continue;
        }
        zeile += c;
    }
    while (!zeile.empty() && zeile.back() == ' ')
        zeile.pop_back();
    return zeile;
}

} // namespace

void StderrDesktop::sagen(const std::string& text) {
    const std::string zeile = "trefflux: " + win1252ToUtf8(eineZeile(text)) + "\n";
    std::fwrite(zeile.data(), 1, zeile.size(), m_out);
    std::fflush(m_out);
}

int StderrDesktop::messageBox(const std::string& text, const std::string&, unsigned flags) {
    // The answer that changes nothing: Cancel where there is one, else No, else OK.
    int antwort = IdOk;
    const char* knopf = nullptr;
    switch (flags & Mb::ButtonsMask) {
    case Mb::OkCancel:
    case Mb::YesNoCancel:
        antwort = IdCancel;
        knopf = "Abbrechen";
        break;
    case Mb::YesNo:
        antwort = IdNo;
        knopf = "Nein";
        break;
    default:
        break;
    }
    if (knopf)
        sagen(text + " (ohne Fenster beantwortet mit \x84" + knopf + "\x93)");
    else
        sagen(text);
    return antwort;
}
