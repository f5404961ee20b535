#include "Trennzeichen.h"

namespace {

// One string holding every byte 0..255 at its own offset, so each single-byte separator is a
// view into it.
const std::string& alleBytes() {
    static const std::string bytes = [] {
        std::string s(256, '\0');
        for (int c = 0; c < 256; ++c)
            s[static_cast<std::size_t>(c)] = static_cast<char>(c);
        return s;
    }();
    return bytes;
}

constexpr std::array<std::string_view, 33> steuerzeichenNamen{
    "nul", "soh", "stx",    "etx", "eot", "enq",    "ack", "bel", "Backspace", "Tab", "Linefeed",
    "vt",  "np",  "Return", "so",  "si",  "dle",    "dc1", "dc2", "dc3",       "dc4", "nak",
    "syn", "etb", "can",    "em",  "eof", "Escape", "fs",  "gs",  "rs",        "us",  "Space",
};

} // namespace

const std::array<std::string_view, 4> trennzeichenSpalten{"Zeichen", "ASCII-Code (dez)", "ASCII-Code (hex)",
                                                          ""};

std::string_view trennzeichenBytes(int32_t code) {
    if (code >= 0 && code <= 255)
        return std::string_view(alleBytes()).substr(static_cast<std::size_t>(code), 1);
    if (code == TrennCrLf)
        return "\r\n";
    return {};
}

std::vector<TrennzeichenZeile> trennzeichenliste() {
    static constexpr char hexZiffern[] = "0123456789abcdef";
    std::vector<TrennzeichenZeile> zeilen;
    zeilen.reserve(TrennzeichenAnzahl);
    for (int c = 0; c < 256; ++c) {
        TrennzeichenZeile z;
        z[0] = c <= 32 ? std::string(steuerzeichenNamen[static_cast<std::size_t>(c)])
                       : std::string(1, static_cast<char>(c));
        z[1] = std::to_string(c);
        z[2] = {'0', 'x', hexZiffern[c >> 4], hexZiffern[c & 15]};
        zeilen.push_back(std::move(z));
    }
    zeilen.push_back({"Windows-Linefeed", "13 + 10", "0x0d + 0x0a", ""});
    zeilen.push_back({"kein Trennzeichen", "", "", ""});
    return zeilen;
}
