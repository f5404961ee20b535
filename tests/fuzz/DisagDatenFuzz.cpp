// The Disag data handler with any machine lines. Input: byte 0 is the profile's target type
// (any value, also a damaged one); the rest is split at line feeds into the lines the machine
// component hands over.

#include "FuzzHarness.h"

#include "DisagDaten.h"
#include "DisagSchusszeile.h"
#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "ScriptedDesktop.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

bool istGanzzahl(std::string_view s) {
    if (!s.empty() && s.front() == '-')
        s.remove_prefix(1);
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

int fuzzDisagDaten(const uint8_t* data, std::size_t size) {
    const std::string datei = fuzz::scratchDir() + "/Disag.rls";
    ::unlink(datei.c_str());

    ScriptedDesktop desk;
    Profilliste liste;
    liste.appendStandard(fuzz::scratchDir());
    liste.aktiv().Datensatz = {0, 1, 2, 3, 4, 5};
    liste.aktiv().Scheibentyp = size > 0 ? static_cast<int8_t>(data[0]) : 0;
    setText(liste.aktiv().Dateiname, datei);
    TProtokollAusgabe ausgabe(liste);
    DisagDaten daten(liste, ausgabe);

    std::string_view rest(reinterpret_cast<const char*>(data), size);
    if (!rest.empty())
        rest.remove_prefix(1);
    std::size_t schuesse = 0; // shots collected since the last end of series
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        const std::string zeile(rest.substr(0, lf));
        rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);

        std::vector<TSchussDatensatz> erwartet;
        for (const TDisagSchuss& s : DisagSchusszeileLesen(zeile).Schuesse) {
            const TSchussDatensatz schuss = DisagDaten::schussDatensatz(s);
            fuzz::check(istGanzzahl(schuss.XKoordinate.view()) && istGanzzahl(schuss.YKoordinate.view()),
                        "a coordinate that is no whole number");
            // The point lies on the circle of the divisor: no coordinate beyond a tenth of it.
            const long grenze = std::labs(readDecimal(schuss.Teiler.view())) / 10 + 1;
            fuzz::check(std::labs(readDecimal(schuss.XKoordinate.view())) <= grenze &&
                            std::labs(readDecimal(schuss.YKoordinate.view())) <= grenze,
                        "a coordinate outside the divisor's circle");
            // Ring and divisor are the machine's numbers in tenths.
            fuzz::check(s.RingZehntel >= 0 && s.RingZehntel <= 999 && s.TeilerZehntel >= 0 &&
                            s.TeilerZehntel <= 999999,
                        "a ring or divisor beyond what the machine sends");
            erwartet.push_back(schuss);
        }
        const std::size_t serien = desk.clipboard.size();
        daten.DisagComData(zeile);

        if (zeile == "WSE") {
            fuzz::check(daten.SchussListe().empty(), "shots left over after the end of a series");
            fuzz::check(desk.clipboard.size() == serien + 1, "a series did not reach the clipboard");
            // One line feed per shot: every shot collected is in the record, none twice.
            const std::string& text = desk.clipboard.back();
            fuzz::check(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) == schuesse,
                        "the series holds a different number of shots than were received");
            schuesse = 0;
        } else if (zeile.compare(0, 4, "SCH=") == 0 && !erwartet.empty()) {
            fuzz::check(
                daten.SchussListe().size() == schuesse + erwartet.size() &&
                    std::equal(erwartet.begin(), erwartet.end(), daten.SchussListe().end() - erwartet.size()),
                "the shots of a line were not collected as decoded, in order");
            schuesse += erwartet.size();
        } else {
            fuzz::check(daten.SchussListe().size() == schuesse, "a line that is no shot changed the shots");
        }
    }
    fuzz::check(desk.boxes.size() <= size, "more messages than lines");
    return 0;
}

TREFFLUX_FUZZ_ENTRY(fuzzDisagDaten)
