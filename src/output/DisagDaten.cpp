#include "DisagDaten.h"

#include "Desktop.h"
#include "DisagSchusszeile.h"
#include "Profilliste.h"
#include "ProtokollAusgabe.h"

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

} // namespace

TSerienDatensatz disagSerie(int32_t scheibentyp, std::vector<TSchussDatensatz> schuesse) {
    TSerienDatensatz serie;
    serie.Scheibentyp.set(scheibentypCode(scheibentyp));
    serie.Teilerfaktor.set("1");
    serie.Schusszahl.set(std::to_string(schuesse.size()));
    serie.Schuesse = std::move(schuesse);
    return serie;
}

std::string meldungszeile(std::string_view zeile) {
    constexpr std::size_t maxLaenge = 80;
    std::string s;
    for (const char c : zeile.substr(0, maxLaenge))
        s += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    if (zeile.size() > maxLaenge)
        s += "...";
    return s;
}

DisagDaten::DisagDaten(Profilliste& profile, TProtokollAusgabe& ausgabe)
    : m_profile(profile), m_ausgabe(ausgabe) {}

std::pair<int32_t, int32_t> DisagDaten::koordinaten(int32_t teiler, float winkel) {
    const auto [c, s] = richtung(winkel);
    return {koordinate(teiler, c), koordinate(teiler, s)};
}

TSchussDatensatz DisagDaten::schussDatensatz(const TDisagSchuss& schuss) {
    TSchussDatensatz datensatz;
    datensatz.Ringwert = std::to_string(schuss.RingZehntel);
    datensatz.Teiler = std::to_string(schuss.TeilerZehntel);
    const auto [x, y] = koordinaten(schuss.TeilerZehntel, schuss.Winkel);
    datensatz.XKoordinate = std::to_string(x);
    datensatz.YKoordinate = std::to_string(y);
    return datensatz;
}

void DisagDaten::DisagComData(const std::string& Data) {
    if (Data == "STA")
        return; // start of a series: nothing to do; unfinished shots stay for the next series
    if (Data == "WSE") {
        serieSchreiben();
        return;
    }
    if (Data.compare(0, 4, "SCH=") != 0)
        return;
    const TDisagSchusszeile zeile = DisagSchusszeileLesen(Data);
    for (const TDisagSchuss& schuss : zeile.Schuesse)
        m_schussListe.push_back(schussDatensatz(schuss));
    if (!zeile.Fehler.empty()) {
        desktop().messageBox("Die Disag hat fehlerhafte Schussdaten gesendet:\n\r" + meldungszeile(Data) +
                                 "\n\r" + zeile.Fehler +
                                 ".\n\rDie Sch\xFCsse dieser Zeile werden nicht gespeichert.",
                             "Fehler", Mb::Ok | Mb::IconError);
    } else if (zeile.Unvollstaendig) {
        desktop().messageBox(
            "Die Disag hat eine Zeile gesendet, deren letzter Schuss unvollst\xE4ndig ist:\n\r" +
                meldungszeile(Data) +
                "\n\rDie Sch\xFCsse davor werden gespeichert, der unvollst\xE4ndige nicht.",
            "Hinweis", Mb::Ok | Mb::IconInformation);
    }
}

TSerienDatensatz DisagDaten::offeneSerieNehmen() {
    TSerienDatensatz serie = disagSerie(m_profile.aktiv().Scheibentyp, std::move(m_schussListe));
    m_schussListe.clear();
    return serie;
}

void DisagDaten::serieSchreiben() {
    // The list is handed over and emptied before writing: the writer may show a message and
    // so let further machine lines in, and those belong to the next series.
    m_ausgabe.WriteSeries(offeneSerieNehmen());
}

void DisagDaten::DisagComEdit(int32_t Schussnr, std::string& Ringwert) {
    (void)Ringwert; // the value reaches the record as the machine sends it
    desktop().messageBox("Schuss " + std::to_string(Schussnr) + " ist fehlerhaft!", "Fehler",
                         Mb::Ok | Mb::IconError);
}
