// The Disag receive path with any bytes from the line: the component's line assembly and
// classification, then the series path's Disag data handler on what it delivers. Input: byte 0 picks the size
// of the pieces the bytes arrive in (as the port hands them over), the rest is the line.

#include "FuzzHarness.h"

#include "DisagCom.h"
#include "Serienpfad.h"

#include "PlainMainThread.h"
#include "Profilliste.h"
#include "ScriptedDesktop.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// The component without a device: bytes are fed in, its answers counted.
class Empfang : public TDisagCom {
public:
    using TDisagCom::feed;
    int acks = 0;
    int naks = 0;

protected:
    void answerLine(std::uint8_t answer) override { ++(answer == Ascii::ACK ? acks : naks); }
};

} // namespace

int fuzzDisagEmpfang(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string datei = fuzz::scratchDir() + "/Empfang.rls";
    ::unlink(datei.c_str());

    PlainMainThread mainThread;
    ScriptedDesktop desk;
    Profilliste liste;
    liste.appendStandard(fuzz::scratchDir());
    liste.aktiv().Datensatz = {2, 3, -1, -1, -1, -1};
    setText(liste.aktiv().Dateiname, datei);
    auto empfang = std::make_unique<Empfang>();
    Empfang& com = *empfang;
    Serienpfad::Komponenten komponenten;
    komponenten[maDisag] = std::move(empfang);
    Serienpfad pfad(liste, {}, std::move(komponenten));

    // Every line the path's handler gets is noted on its way.
    std::vector<std::string> zeilen;
    com.OnData = [&zeilen, weiter = com.OnData.get()](TCustomComPort* Sender, std::string Data) {
        zeilen.push_back(Data);
        weiter(Sender, std::move(Data));
    };

    const std::size_t stueck = data[0] % 64 + 1;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t anzahl = size - 1;
    for (std::size_t pos = 0; pos < anzahl; pos += stueck)
        com.feed(bytes + pos, std::min(stueck, anzahl - pos));
    mainThread.processPending();

    // Every line that was acknowledged is delivered once, and nothing else is: a refused line
    // never.
    fuzz::check(static_cast<std::size_t>(com.acks) == zeilen.size(), "a line acknowledged but not delivered");
    const std::size_t crs = static_cast<std::size_t>(std::count(bytes, bytes + anzahl, '\r'));
    fuzz::check(zeilen.size() + static_cast<std::size_t>(com.naks) <= crs,
                "more answers than carriage returns");
    for (const std::string& zeile : zeilen) {
        fuzz::check(zeile.find('\r') == std::string::npos && zeile.find('\0') == std::string::npos,
                    "a line holds a CR or a NUL");
        fuzz::check(zeile.size() < TDisagCom::MaxLine, "a line longer than any the machine sends");
    }
    return 0;
}

TREFFLUX_FUZZ_ENTRY(fuzzDisagEmpfang)
