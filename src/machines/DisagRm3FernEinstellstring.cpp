#include "DisagRm3FernEinstellstring.h"

#include "DisagEinstellstring.h"
#include "Profil.h"

#include <stdexcept>

namespace {

// Weapon and target digits per Scheibentyp (0..5).
constexpr std::array<const char*, 6> kWaffeScheibe = {"13", "12", "11", "21", "51", "61"};

// The series the machine knows, in the order of their digits 0..9.
constexpr std::array<std::int32_t, 10> kSerien = {1, 10, 20, 30, 40, 50, 60, 80, 100, 120};

std::optional<char> serienziffer(std::int32_t gesamtschusszahl) {
    for (std::size_t i = 0; i < kSerien.size(); ++i)
        if (kSerien[i] == gesamtschusszahl)
            return static_cast<char>('0' + i);
    return std::nullopt;
}

bool scheibenschusszahlGeht(std::int32_t zahl) {
    return zahl == 1 || zahl == 2;
}

} // namespace

std::optional<std::int32_t> disagRm3FernTeilerstufe(std::int32_t teilergrenze) {
    for (const std::int32_t stufe : kDisagRm3FernTeilerstufen)
        if (stufe >= teilergrenze)
            return stufe;
    return std::nullopt;
}

std::string disagRm3FernProfilfehler(const Profil& profil) {
    std::string gruende;
    if (!validScheibentyp(profil.Scheibentyp))
        gruende += "\n\r\"Scheibentyp\": sie kennt LG 10er-Band, LG 5er-Band, LG Einzelscheibe, Luftpistole, "
                   "Zimmerstutzen und KK 50m.";
    if (!serienziffer(profil.Gesamtschusszahl))
        gruende += "\n\r\"Schusszahl f\xFCr 1 Serie\" " + std::to_string(profil.Gesamtschusszahl) +
                   ": sie kennt nur 1, 10, 20, 30, 40, 50, 60, 80, 100 und 120 Schuss.";
    if (!disagRm3FernTeilerstufe(profil.Teilergrenze))
        gruende += "\n\r\"Teilergrenze\" " + std::to_string(profil.Teilergrenze) +
                   ": sie nimmt h\xF6"
                   "chstens 8000.";
    if (!scheibenschusszahlGeht(profil.Scheibenschusszahl)) {
        gruende += "\n\r\"Schuss pro Scheibe\" " + std::to_string(profil.Scheibenschusszahl) +
                   ": sie nimmt 1 oder 2 Schuss pro Scheibe";
        gruende +=
            profil.Scheibenschusszahl == 5 ? " (5 Schuss pro Scheibe sind noch nicht m\xF6glich)." : ".";
    }
    if (gruende.empty())
        return {};
    return "Die Disag RM III (FERN) kann dieses Profil nicht \xFC"
           "bernehmen:" +
           gruende;
}

std::string disagRm3FernTeilerhinweis(const Profil& profil) {
    const std::optional<std::int32_t> stufe = disagRm3FernTeilerstufe(profil.Teilergrenze);
    if (!stufe || *stufe == profil.Teilergrenze)
        return {};
    return "Die Disag RM III (FERN) nimmt als Teilergrenze " + std::to_string(*stufe) +
           ", ihre n\xE4"
           "chste Stufe \xFC"
           "ber " +
           std::to_string(profil.Teilergrenze) + ".";
}

std::string disagRm3FernEinstellstring(const Profil& profil) {
    if (std::string fehler = disagRm3FernProfilfehler(profil); !fehler.empty())
        throw std::invalid_argument(fehler);
    std::string s = kWaffeScheibe[static_cast<std::size_t>(profil.Scheibentyp)];
    s += *serienziffer(profil.Gesamtschusszahl);
    s += profil.Zehntelringe != 0 ? '5' : '4';
    std::size_t code = 1;
    const std::int32_t stufe = *disagRm3FernTeilerstufe(profil.Teilergrenze);
    while (kDisagRm3FernTeilerstufen[code - 1] != stufe)
        ++code;
    s += static_cast<char>('0' + code / 10);
    s += static_cast<char>('0' + code % 10);
    s += '2';
    s += profil.Drucker != 0 ? '1' : '2';
    s += static_cast<char>('0' + profil.Scheibenschusszahl);
    return s + disagDrucktext(text(profil.Scheibentext));
}
