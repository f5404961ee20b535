#include "DisagRm3FernDaten.h"

#include "Desktop.h"
#include "DisagDaten.h"
#include "Profilliste.h"
#include "ProtokollAusgabe.h"

#include <array>
#include <utility>

namespace {

bool ziffer(char c) {
    return c >= '0' && c <= '9';
}

// A decimal number with at most five digits before the point and at most two after it, in
// hundredths; a sign only where one is allowed. Nothing when the text is anything else.
std::optional<std::int32_t> hundertstel(std::string_view text, bool mitVorzeichen) {
    bool negativ = false;
    if (mitVorzeichen && !text.empty() && (text.front() == '-' || text.front() == '+')) {
        negativ = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::size_t punkt = text.find('.');
    const std::string_view ganz = text.substr(0, punkt);
    const std::string_view bruch =
        punkt == std::string_view::npos ? std::string_view() : text.substr(punkt + 1);
    if (ganz.empty() || ganz.size() > 5 ||
        (punkt != std::string_view::npos && (bruch.empty() || bruch.size() > 2)))
        return std::nullopt;
    std::int32_t wert = 0;
    for (const char c : ganz) {
        if (!ziffer(c))
            return std::nullopt;
        wert = wert * 10 + (c - '0');
    }
    for (std::size_t i = 0; i < 2; ++i) {
        const char c = i < bruch.size() ? bruch[i] : '0';
        if (!ziffer(c))
            return std::nullopt;
        wert = wert * 10 + (c - '0');
    }
    return negativ ? -wert : wert;
}

std::array<std::string_view, 6> felder(std::string_view zeile, std::size_t& anzahl) {
    std::array<std::string_view, 6> f;
    anzahl = 0;
    for (;;) {
        const std::size_t ende = zeile.find(';');
        if (anzahl < f.size())
            f[anzahl] = zeile.substr(0, ende);
        ++anzahl;
        if (ende == std::string_view::npos)
            return f;
        zeile.remove_prefix(ende + 1);
    }
}

} // namespace

DisagRm3FernDaten::DisagRm3FernDaten(Profilliste& profile, TProtokollAusgabe& ausgabe)
    : m_profile(profile), m_ausgabe(ausgabe) {}

std::optional<DisagRm3FernDaten::Schuss> DisagRm3FernDaten::ergebniszeileLesen(std::string_view zeile,
                                                                               std::string& fehler) {
    std::size_t anzahl = 0;
    const auto f = felder(zeile, anzahl);
    if (anzahl != f.size()) {
        fehler = "Die Zeile hat nicht die sechs Felder Schussnummer;Ringwert;Teiler;X;Y;Kennung";
        return std::nullopt;
    }
    Schuss schuss;
    const std::string_view nr = f[0];
    if (nr.empty() || nr.size() > 4 || nr.find_first_not_of("0123456789") != std::string_view::npos) {
        fehler = "Das Feld Schussnummer ist keine ganze Zahl";
        return std::nullopt;
    }
    for (const char c : nr)
        schuss.Schussnr = schuss.Schussnr * 10 + (c - '0');

    std::int32_t ring = 0;
    if (f[1] == "?.?") {
        schuss.Fehlerhaft = true; // the target could not be evaluated
    } else if (const auto r = hundertstel(f[1], false)) {
        ring = *r / 10;
    } else {
        fehler = "Das Feld Ringwert ist kein Ringwert wie 8.0 oder ?.?";
        return std::nullopt;
    }
    std::int32_t teiler = 0;
    if (f[2] == "-") {
        schuss.Fehlerhaft = true; // no divisor measured
    } else if (const auto t = hundertstel(f[2], false)) {
        teiler = *t / 10;
    } else {
        fehler = "Das Feld Teiler ist kein Teiler wie 749.1 oder -";
        return std::nullopt;
    }
    const auto x = hundertstel(f[3], true);
    const auto y = hundertstel(f[4], true);
    if (!x || !y) {
        fehler = std::string("Das Feld ") + (!x ? "X" : "Y") + " ist keine Zahl wie 2.82 oder -0.14";
        return std::nullopt;
    }
    if (f[5] != "M" && f[5] != "N") {
        fehler = "Das Feld Kennung ist nicht M oder N";
        return std::nullopt;
    }
    schuss.Fehlerhaft = schuss.Fehlerhaft || f[5] == "M";
    schuss.Datensatz.Ringwert = std::to_string(ring);
    schuss.Datensatz.Teiler = std::to_string(teiler);
    schuss.Datensatz.XKoordinate = std::to_string(*x);
    schuss.Datensatz.YKoordinate = std::to_string(*y);
    return schuss;
}

void DisagRm3FernDaten::DisagRm3FernComData(const std::string& Data) {
    if (Data == "ENDE") {
        // Handed over and emptied before writing: the writer may show a message and so let
        // further machine lines in, and those belong to the next series.
        m_ausgabe.WriteSeries(offeneSerieNehmen());
        return;
    }
    if (Data == "SCHEIBE") {
        desktop().trayMessage("N\xE4"
                              "chste Scheibe einlegen",
                              "Info");
        return;
    }
    if (Data.find(';') == std::string::npos)
        return; // no result line: nothing the series needs
    std::string fehler;
    const std::optional<Schuss> schuss = ergebniszeileLesen(Data, fehler);
    if (!schuss) {
        desktop().messageBox("Die Disag RM III (FERN) hat fehlerhafte Schussdaten gesendet:\n\r" +
                                 meldungszeile(Data) + "\n\r" + fehler +
                                 ".\n\rDieser Schuss wird nicht gespeichert.",
                             "Fehler", Mb::Ok | Mb::IconError);
        return;
    }
    m_schussListe.push_back(schuss->Datensatz);
    if (schuss->Fehlerhaft)
        desktop().messageBox("Schuss " + std::to_string(schuss->Schussnr) + " ist fehlerhaft!", "Fehler",
                             Mb::Ok | Mb::IconError);
}

TSerienDatensatz DisagRm3FernDaten::offeneSerieNehmen() {
    TSerienDatensatz serie = disagSerie(m_profile.aktiv().Scheibentyp, std::move(m_schussListe));
    m_schussListe.clear();
    return serie;
}
