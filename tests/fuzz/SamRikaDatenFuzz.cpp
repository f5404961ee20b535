// The SAM 4000 and Rika SAG-1 data handlers with any text. Input: byte 0 picks the machine
// (even: SAM, odd: Rika); the rest is the OnData text, one whole series.

#include "FuzzHarness.h"

#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "SamRikaDaten.h"
#include "ScriptedDesktop.h"

#include <string_view>
#include <unistd.h>

int fuzzSamRikaDaten(const uint8_t* data, std::size_t size) {
    const std::string datei = fuzz::scratchDir() + "/SamRika.rls";
    ::unlink(datei.c_str());
    const bool rika = size > 0 && (data[0] & 1) != 0;
    const std::string text(size > 0 ? reinterpret_cast<const char*>(data) + 1 : "", size > 0 ? size - 1 : 0);

    const std::optional<TSerienDatensatz> serie = rika ? RikaSerie(text) : SamSerie(text);
    if (serie) {
        // Every shot the header announces is there; none is made up beyond the text.
        const int angekuendigt = readDecimal(serie->Schusszahl.view());
        const std::size_t bloecke = (text.size() - (rika ? 32 : 31)) / 24;
        fuzz::check(serie->shotCount() == static_cast<std::size_t>(angekuendigt > 0 ? angekuendigt : 0),
                    "a shot the header announces is missing");
        fuzz::check(serie->Schuesse.size() <= bloecke, "more shots than blocks in the text");
    }

    ScriptedDesktop desk;
    Profilliste liste;
    liste.appendStandard(fuzz::scratchDir());
    liste.aktiv().Datensatz = {0, 1, 2, 3, 4, 5};
    setText(liste.aktiv().Dateiname, datei);
    TProtokollAusgabe ausgabe(liste);
    SamRikaDaten daten(ausgabe);
    if (rika)
        daten.RikaComData(text);
    else
        daten.SamComData(text);
    // A series is written, or the user is told why not: never both, never neither.
    fuzz::check(desk.clipboard.size() + desk.boxes.size() == 1, "a series neither written nor refused");
    fuzz::check(desk.clipboard.size() == (serie ? 1u : 0u), "the handler and the decoder disagree");
    return 0;
}

TREFFLUX_FUZZ_ENTRY(fuzzSamRikaDaten)
