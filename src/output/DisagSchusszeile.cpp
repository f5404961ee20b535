#include "DisagSchusszeile.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace {

constexpr std::size_t kFelderJeSchuss = 5;

bool nurZiffern(std::string_view s) {
    for (const char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return !s.empty();
}

// A decimal number of the form the machine sends: 1 to ganz digits, then optionally "." and 1
// to nach digits; in whole tenths, further decimals cut.
std::optional<std::int32_t> zehntel(std::string_view feld, std::size_t ganz, std::size_t nach) {
    const std::size_t punkt = feld.find('.');
    const std::string_view vor = feld.substr(0, punkt);
    if (vor.size() > ganz || !nurZiffern(vor))
        return std::nullopt;
    std::int32_t wert = 0;
    for (const char c : vor)
        wert = wert * 10 + (c - '0');
    wert *= 10;
    if (punkt != std::string_view::npos) {
        const std::string_view dahinter = feld.substr(punkt + 1);
        if (dahinter.size() > nach || !nurZiffern(dahinter))
            return std::nullopt;
        wert += dahinter[0] - '0';
    }
    return wert;
}

std::optional<std::int32_t> schussnummer(std::string_view feld) {
    std::int32_t wert = 0;
    const char* const ende = feld.data() + feld.size();
    const auto [ptr, ec] = std::from_chars(feld.data(), ende, wert);
    if (!nurZiffern(feld) || ec != std::errc() || ptr != ende)
        return std::nullopt;
    return wert;
}

std::string_view ohneBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// The angle with "." as decimal separator, whatever the locale; the whole field must be the
// number and it must be finite.
std::optional<float> winkel(std::string_view feld) {
    feld = ohneBlanks(feld);
    if (!feld.empty() && feld.front() == '+')
        feld.remove_prefix(1);
    float wert = 0;
    const char* const ende = feld.data() + feld.size();
    const auto [ptr, ec] = std::from_chars(feld.data(), ende, wert, std::chars_format::fixed);
    if (feld.empty() || ec != std::errc() || ptr != ende || !std::isfinite(wert))
        return std::nullopt;
    return wert;
}

std::string feldFalsch(const char* name, std::size_t gruppe, const char* was) {
    std::string s = std::string("Das Feld ") + name;
    if (gruppe > 0)
        s += " des " + std::to_string(gruppe + 1) + ". Schusses";
    return s + " ist " + was;
}

} // namespace

TDisagSchusszeile DisagSchusszeileLesen(std::string_view zeile) {
    std::vector<std::string_view> felder;
    for (std::size_t von = zeile.starts_with("SCH=") ? 4 : 0;;) {
        const std::size_t bis = zeile.find(';', von);
        felder.push_back(
            zeile.substr(von, bis == std::string_view::npos ? std::string_view::npos : bis - von));
        if (bis == std::string_view::npos)
            break;
        von = bis + 1;
    }
    if (felder.size() > 1 && felder.back().empty())
        felder.pop_back();

    TDisagSchusszeile ergebnis;
    const std::size_t gruppen = felder.size() / kFelderJeSchuss;
    if (gruppen == 0) {
        ergebnis.Fehler = "Die Zeile enth\xE4lt keinen vollst\xE4ndigen Schuss";
        return ergebnis;
    }
    ergebnis.Unvollstaendig = felder.size() % kFelderJeSchuss != 0;
    for (std::size_t g = 0; g < gruppen; ++g) {
        const std::string_view* f = &felder[g * kFelderJeSchuss];
        std::string_view nummer = f[0];
        if (g > 0 && nummer.starts_with("SCH="))
            nummer.remove_prefix(4);
        const auto nr = schussnummer(nummer);
        const auto ring = zehntel(f[1], 2, 1);
        const auto teiler = zehntel(f[2], 5, 2);
        const auto grad = winkel(f[3]);
        const bool kennung = f[4] == "G" || f[4] == "K" || f[4] == "U";
        const int falsch = !nr ? 0 : !ring ? 1 : !teiler ? 2 : !grad ? 3 : !kennung ? 4 : -1;
        if (falsch >= 0) {
            static constexpr const char* kFeld[][2] = {{"Schussnummer", "keine ganze Zahl"},
                                                       {"Ringwert", "kein Ringwert wie 9 oder 9.2"},
                                                       {"Teiler", "kein Teiler wie 720, 720.5 oder 720.53"},
                                                       {"Winkel", "keine Zahl"},
                                                       {"Kennung", "nicht G, K oder U"}};
            return {{}, feldFalsch(kFeld[falsch][0], g, kFeld[falsch][1]), false};
        }
        ergebnis.Schuesse.push_back(
            {*nr, std::string(f[1]), std::string(f[2]), *ring, *teiler, *grad, f[4].front()});
    }
    return ergebnis;
}
