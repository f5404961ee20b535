#include "Rm3WinDaten.h"

#include "Desktop.h"
#include "Profilliste.h"
#include "TProtokollAusgabe.h"

#include <charconv>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

// The target type code of a series, from the profile's target type (0..5).
std::string_view scheibentypCode(int32_t scheibentyp) {
    switch (scheibentyp) {
    case 0: // LG 10er-Band
    case 1: // LG 5er-Band
    case 2: // LG Einzelscheibe
        return "LG";
    case 3:
        return "LP";
    case 4:
        return "ZS";
    case 5:
        return "KK";
    default:
        return ""; // a damaged profile value: no target type rather than a wrong one
    }
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Reads a number with "." as decimal separator, whatever the locale; the whole field must be
// the number and it must be finite.
std::optional<float> readAngle(std::string_view field) {
    field = trimBlanks(field);
    if (!field.empty() && field.front() == '+')
        field.remove_prefix(1);
    float value = 0;
    const char* const end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, value, std::chars_format::fixed);
    if (field.empty() || ec != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string withoutFirstPoint(std::string_view field) {
    std::string s(field);
    if (const auto p = s.find('.'); p != std::string::npos)
        s.erase(p, 1);
    return s;
}

// One coordinate from the divisor d (in tenths) and the cosine or sine of the angle:
// d * f * 0.1, computed in single precision and truncated towards zero.
int32_t koordinate(int32_t teiler, float faktor) {
    const float v = static_cast<float>(teiler) * faktor * 0.1f;
    return static_cast<int32_t>(std::trunc(v)); // |v| <= |INT32_MAX * 0.1|: always in range
}

// A line as it may be shown in a message: control bytes made visible, long lines cut.
std::string zeileFuerMeldung(std::string_view zeile) {
    constexpr std::size_t maxLaenge = 80;
    std::string s;
    for (const char c : zeile.substr(0, maxLaenge))
        s += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    if (zeile.size() > maxLaenge)
        s += "...";
    return s;
}

} // namespace

Rm3WinDaten::Rm3WinDaten(Profilliste& profile, TProtokollAusgabe& ausgabe)
    : m_profile(profile), m_ausgabe(ausgabe) {}

std::optional<TSchussDatensatz> Rm3WinDaten::schussAusZeile(std::string_view zeile) {
    // Fields 2 to 4 lie between the first four ";"; what follows the fourth is not used.
    std::size_t grenzen[4];
    std::size_t von = 0;
    for (std::size_t& g : grenzen) {
        g = zeile.find(';', von);
        if (g == std::string_view::npos)
            return std::nullopt;
        von = g + 1;
    }
    const auto feld = [&](int i) {
        return zeile.substr(grenzen[i - 1] + 1, grenzen[i] - grenzen[i - 1] - 1);
    };

    const std::string ringwert = withoutFirstPoint(feld(1));
    const std::string teiler = withoutFirstPoint(feld(2));
    const std::optional<float> winkel = readAngle(feld(3));
    if (!winkel)
        return std::nullopt;

    TSchussDatensatz schuss;
    // A value wider than its field is no value the machine sends: refuse it rather than cut it.
    if (!schuss.Ringwert.set(ringwert) || !schuss.Teiler.set(teiler))
        return std::nullopt;
    const int32_t d = readDecimal(teiler);
    const float rad = *winkel * std::numbers::pi_v<float> / 180.0f;
    // An angle too large for the conversion (beyond about 1e38 degrees) gives no direction.
    if (!std::isfinite(rad))
        return std::nullopt;
    schuss.XKoordinate.set(std::to_string(koordinate(d, std::cos(rad))));
    schuss.YKoordinate.set(std::to_string(koordinate(d, std::sin(rad))));
    return schuss;
}

void Rm3WinDaten::Rm3WinCom1Data(const std::string& Data) {
    if (Data == "STA")
        return; // start of a series: nothing to do; unfinished shots stay for the next series
    if (Data == "WSE") {
        serieSchreiben();
        return;
    }
    if (Data.compare(0, 4, "SCH=") != 0)
        return;
    if (std::optional<TSchussDatensatz> schuss = schussAusZeile(Data)) {
        m_schussListe.push_back(*schuss);
        return;
    }
    desktop().messageBox("Die Disag hat fehlerhafte Schussdaten gesendet:\n\r" + zeileFuerMeldung(Data) +
                             "\n\rDieser Schuss wird nicht gespeichert.",
                         "Fehler", Mb::Ok | Mb::IconError);
}

void Rm3WinDaten::serieSchreiben() {
    TSerienDatensatz serie;
    serie.Scheibentyp.set(scheibentypCode(m_profile.aktiv().Scheibentyp));
    serie.Teilerfaktor.set("1");
    serie.Schusszahl.set(std::to_string(m_schussListe.size()));
    // The list is handed over and emptied before writing: the writer may show a message and
    // so let further machine lines in, and those belong to the next series.
    serie.Schuesse = std::move(m_schussListe);
    m_schussListe.clear();
    m_ausgabe.WriteSeries(serie);
}

void Rm3WinDaten::Rm3WinCom1Edit(int32_t Schussnr, std::string& Ringwert) {
    (void)Ringwert; // the value reaches the record as the machine sends it
    desktop().messageBox("Schuss " + std::to_string(Schussnr) + " ist fehlerhaft!", "Fehler", Mb::Ok);
}
