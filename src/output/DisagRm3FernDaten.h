#pragma once

#include "SerienDatensatz.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Profilliste;
class TProtokollAusgabe;

// The data handler of the Disag RM III in its older remote program ("FERN"). The machine sends one
// line per event:
//
//   <shot>;<ring>;<divisor>;<X>;<Y>;<mark>     2;8.0;749.1;2.82;-2.75;N
//   SCHEIBE                                    the next target of the series, please
//   ENDE                                       the series is over
//
// - ring: rings and tenths ("8.0", "10.6"), or whole rings ("9"); "?.?" when the target could
//   not be evaluated;
// - divisor: up to two decimals ("749.1"); "-" when none was measured;
// - X, Y: the distance from the centre in hundredths of a ring ("2.82", "-0.14");
// - mark: M to be checked by hand, N otherwise.
//
// Each result line becomes a shot: ring and divisor in tenths, X and Y in hundredths of a ring as
// whole numbers (282, -14). A ring "?.?" or a divisor "-" is written 0; such a shot, and one
// marked M, is reported as faulty, so that a zero never goes unnoticed into a ranking. "ENDE"
// writes the shots collected since the last one as a series. Main thread only.
class DisagRm3FernDaten {
public:
    DisagRm3FernDaten(Profilliste& profile, TProtokollAusgabe& ausgabe);

    // OnData of the machine's component: one line without CR.
    void DisagRm3FernComData(const std::string& Data);

    // The shots of the series in progress, in arrival order.
    const std::vector<TSchussDatensatz>& SchussListe() const { return m_schussListe; }
    // Takes the shots of the series in progress as a series, as "ENDE" would write it; the list
    // is empty afterwards.
    TSerienDatensatz offeneSerieNehmen();

    struct Schuss {
        std::int32_t Schussnr = 0;
        TSchussDatensatz Datensatz;
        bool Fehlerhaft = false; // not scored ("?.?", "-") or marked M
    };
    // Reads a result line. A line that is not one says why in fehler (a German phrase without a
    // full stop, Windows-1252) and gives nothing.
    static std::optional<Schuss> ergebniszeileLesen(std::string_view zeile, std::string& fehler);

private:
    Profilliste& m_profile;
    TProtokollAusgabe& m_ausgabe;
    std::vector<TSchussDatensatz> m_schussListe;
};
