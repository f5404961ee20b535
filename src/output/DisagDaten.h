#pragma once

#include "SerienDatensatz.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class Profilliste;
class TProtokollAusgabe;
struct TDisagSchuss;

// A Disag series as its handlers write it: the target type code ("LG", "LP", "ZS", "KK") from
// the profile's Scheibentyp (0..5; none for a damaged value rather than a wrong one), divisor
// factor "1", the shots and their number.
TSerienDatensatz disagSerie(int32_t scheibentyp, std::vector<TSchussDatensatz> schuesse);

// A machine line as it may be shown in a message: control bytes made visible, long lines cut.
std::string meldungszeile(std::string_view zeile);

// The settings window's handlers for the Disag RM in remote mode. The machine reports one line
// per event: "STA" starts a series, each "SCH=" line holds one shot or several, "WSE" ends the
// series. The shots are collected in SchussListe and written as one series when "WSE" arrives.
// Main thread only.
class DisagDaten {
public:
    DisagDaten(Profilliste& profile, TProtokollAusgabe& ausgabe);

    // OnData of the Disag component: one machine line without CR and check character.
    void DisagComData(const std::string& Data);
    // OnEdit of the Disag component: the machine flagged a shot as faulty; tells the user and
    // leaves the ring value as the machine sent it.
    void DisagComEdit(int32_t Schussnr, std::string& Ringwert);

    // The shots of the series in progress, in arrival order.
    const std::vector<TSchussDatensatz>& SchussListe() const { return m_schussListe; }
    // Takes the shots of the series in progress as a series, as "WSE" would write it; the list
    // is empty afterwards.
    TSerienDatensatz offeneSerieNehmen();

    // The record of one shot of a "SCH=" line: ring value and divisor in tenths, X and Y from the
    // divisor and the angle.
    static TSchussDatensatz schussDatensatz(const TDisagSchuss& schuss);

    // X and Y of a shot from its divisor in tenths and its angle in degrees: the exact values of
    // teiler * cos(winkel) / 10 and teiler * sin(winkel) / 10, truncated towards zero. Double
    // precision after an exact reduction of the angle, no extended precision: every platform
    // gives the same digits.
    static std::pair<int32_t, int32_t> koordinaten(int32_t teiler, float winkel);

private:
    void serieSchreiben();

    Profilliste& m_profile;
    TProtokollAusgabe& m_ausgabe;
    std::vector<TSchussDatensatz> m_schussListe;
};
