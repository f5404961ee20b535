#include "Rm3WinDaten.h"

#include "Desktop.h"
#include "Profilliste.h"
#include "TProtokollAusgabe.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
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

// The cosine or sine of an angle for one coordinate. At whole multiples of 30 degrees one of the
// two is rational (0, +-1/2 or +-1): it is kept exactly as a number of halves, so that a
// coordinate that is whole (500 at 60 degrees gives 25) comes out whole and is not truncated
// from a value a hair below it. Every other value is irrational and taken in double precision.
struct Faktor {
    bool exakt;
    int halbe;   // the exact value times 2, when exakt
    double wert; // otherwise
};

Faktor negiert(Faktor f) {
    return {f.exakt, -f.halbe, -f.wert};
}

// d * f / 10 truncated towards zero. For an irrational f the exact value is never whole (d != 0);
// double precision puts it on the right side of the nearest integer unless it lies within about
// 1e-12 of it, which no divisor from 0.0 to 9999.9 at any tenth of a degree does.
int32_t koordinate(int32_t d, Faktor f) {
    if (f.exakt)
        return static_cast<int32_t>(static_cast<int64_t>(d) * f.halbe / 20);
    if (1.0 - std::fabs(f.wert) < 1e-10) {
        // An angle a hair off a multiple of 90 degrees: |f| lies just below 1, closer than 1 / |d|,
        // and may even be rounded to 1. The exact |d * f| then lies strictly between |d| - 1 and
        // |d|, whose tenth truncates to (|d| - 1) / 10.
        const int64_t betrag = std::llabs(static_cast<int64_t>(d));
        const int64_t n = betrag == 0 ? 0 : (betrag - 1) / 10;
        return static_cast<int32_t>((d < 0) != (f.wert < 0) ? -n : n);
    }
    return static_cast<int32_t>(std::trunc(static_cast<double>(d) * f.wert / 10.0));
}

// Cosine and sine of an angle in degrees. The reduction to [0, 45] degrees is exact (fmod and
// the subtraction of whole multiples of 90 from a float's value are exact in double), so the
// library is only asked for small arguments, where every libm is accurate to the last place
// or nearly so and the result is the same on every platform.
std::pair<Faktor, Faktor> richtung(float winkel) {
    const double r = std::fmod(std::fabs(static_cast<double>(winkel)), 360.0);
    const int quadrant = r >= 270.0 ? 3 : r >= 180.0 ? 2 : r >= 90.0 ? 1 : 0;
    const double t = r - 90.0 * quadrant; // [0, 90)
    constexpr double bogen = std::numbers::pi / 180.0;
    Faktor c{false, 0, 0.0}, s{false, 0, 0.0};
    if (t == 0.0) {
        c = {true, 2, 1.0};
        s = {true, 0, 0.0};
    } else if (t <= 45.0) {
        c.wert = std::cos(t * bogen);
        s.wert = std::sin(t * bogen);
    } else {
        c.wert = std::sin((90.0 - t) * bogen);
        s.wert = std::cos((90.0 - t) * bogen);
    }
    if (t == 30.0)
        s = {true, 1, 0.5};
    else if (t == 60.0)
        c = {true, 1, 0.5};
    // Turned by the quadrant's multiple of 90 degrees, then mirrored for a negative angle.
    const Faktor c0 = c, s0 = s;
    if (quadrant == 1) {
        c = negiert(s0);
        s = c0;
    } else if (quadrant == 2) {
        c = negiert(c0);
        s = negiert(s0);
    } else if (quadrant == 3) {
        c = s0;
        s = negiert(c0);
    }
    return {c, winkel < 0 ? negiert(s) : s};
}

// Whether the number at the start of a field (blanks, a sign, then digits, as readDecimal reads
// it) has more significant digits than a value of tenths may have.
bool zuGross(std::string_view feld) {
    std::size_t i = feld.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string_view::npos)
        return false;
    if (feld[i] == '+' || feld[i] == '-')
        ++i;
    while (i < feld.size() && feld[i] == '0')
        ++i;
    std::size_t ziffern = 0;
    for (; i < feld.size() && feld[i] >= '0' && feld[i] <= '9'; ++i)
        ++ziffern;
    return ziffern > 9;
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

std::pair<int32_t, int32_t> Rm3WinDaten::koordinaten(int32_t teiler, float winkel) {
    const auto [c, s] = richtung(winkel);
    return {koordinate(teiler, c), koordinate(teiler, s)};
}

std::optional<TSchussDatensatz> Rm3WinDaten::schussAusZeile(std::string_view zeile, std::string* grund) {
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

    const std::optional<float> winkel = readAngle(feld(3));
    if (!winkel)
        return std::nullopt;
    TSchussDatensatz schuss;
    const std::string ringwert = withoutFirstPoint(feld(1));
    const std::string teiler = withoutFirstPoint(feld(2));
    const auto nimm = [grund](FieldText& ziel, const std::string& text, const char* name) {
        if (ziel.set(text))
            return true;
        if (grund)
            *grund = feldFehler(name, text);
        return false;
    };
    if (!nimm(schuss.Ringwert, ringwert, "Ringwert") || !nimm(schuss.Teiler, teiler, "Teiler"))
        return std::nullopt;
    // A number the record's arithmetic cannot hold would be written as the largest one it can:
    // a plausible value that the machine never sent.
    for (const auto& [text, name] : {std::pair{&ringwert, "Ringwert"}, std::pair{&teiler, "Teiler"}}) {
        if (zuGross(*text)) {
            if (grund)
                *grund = std::string("Der Wert im Feld ") + name + " ist zu gro\xDF";
            return std::nullopt;
        }
    }
    const auto [x, y] = koordinaten(readDecimal(teiler), *winkel);
    schuss.XKoordinate = std::to_string(x);
    schuss.YKoordinate = std::to_string(y);
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
    std::string grund;
    if (std::optional<TSchussDatensatz> schuss = schussAusZeile(Data, &grund)) {
        m_schussListe.push_back(std::move(*schuss));
        return;
    }
    if (!grund.empty())
        grund = "\n\r" + grund + ".";
    desktop().messageBox("Die Disag hat fehlerhafte Schussdaten gesendet:\n\r" + zeileFuerMeldung(Data) +
                             grund + "\n\rDieser Schuss wird nicht gespeichert.",
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
    desktop().messageBox("Schuss " + std::to_string(Schussnr) + " ist fehlerhaft!", "Fehler", Mb::Ok | Mb::IconError);
}
