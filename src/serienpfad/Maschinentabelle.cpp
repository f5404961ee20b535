#include "Maschinentabelle.h"

#include "Serienpfad.h"

#include "DisagEinstellstring.h"
#include "Profil.h"

#include <array>
#include <charconv>

namespace {

// The Rika's version text as the test shows it: the text read as a decimal integer (100 when it
// is not one), in hundredths, "V" and two decimals with a point: "250" gives "V2.50".
std::string rikaVersion(const std::string& text) {
    long long value = 100;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    long long parsed = 0;
    const auto [end, ec] = std::from_chars(first, last, parsed);
    if (ec == std::errc() && end == last && first != last)
        value = parsed;
    const bool negative = value < 0;
    const unsigned long long betrag =
        negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    const unsigned long long hundertstel = betrag % 100;
    return std::string("V") + (negative ? "-" : "") + std::to_string(betrag / 100) + "." +
           (hundertstel < 10 ? "0" : "") + std::to_string(hundertstel);
}

const std::string Uebernehmen = "\n\n\xDC"
                                "bernehmen ?";

const std::array<Maschinenart, 3> Tabelle{{
    {
        maRika,
        "Rika SAG-1",
        "Rika SAG-1",
        nullptr,
        [](Serienpfad& pfad) -> TMachineComponent& { return *pfad.RikaCom; },
        [](Serienpfad& pfad) {
            pfad.RikaCom->OnData = [&pfad](TCustomComPort*, std::string Data) { pfad.RikaComData(Data); };
        },
        nullptr,
        // A Rika that answers without a version text is no Rika.
        [](Serienpfad& pfad) -> std::optional<std::string> {
            std::string version;
            if (pfad.RikaCom->Test(version) && !version.empty())
                return version;
            return std::nullopt;
        },
        [](const std::string& version, const std::string& port) {
            return "Auswertmaschine Rika SAG Version " + rikaVersion(version) + "\nan " + port + " gefunden!";
        },
        [](const std::string& port) { return "Auswertmaschine Rika SAG \nan " + port + " nicht gefunden!"; },
        [](const std::string& version, const std::string& port) {
            return "Auswertmaschine Rika SAG Version " + version + " an " + port + " gefunden!" + Uebernehmen;
        },
        "0,2 s",
    },
    {
        maSam,
        "Sam 4000",
        "SAM",
        nullptr,
        [](Serienpfad& pfad) -> TMachineComponent& { return *pfad.SamCom; },
        [](Serienpfad& pfad) {
            pfad.SamCom->OnData = [&pfad](TCustomComPort*, std::string Data) { pfad.SamComData(Data); };
        },
        nullptr,
        [](Serienpfad& pfad) -> std::optional<std::string> {
            if (pfad.SamCom->Test())
                return std::string();
            return std::nullopt;
        },
        [](const std::string&, const std::string& port) {
            return "Auswertmaschine SAM 4000\nan " + port + " gefunden!";
        },
        [](const std::string& port) { return "Auswertmaschine SAM 4000\nan " + port + " nicht gefunden!"; },
        [](const std::string&, const std::string& port) {
            return "Auswertmaschine SAM 4000 an " + port + " gefunden!" + Uebernehmen;
        },
        "0,1 s",
    },
    {
        maDisag,
        "Disag RM II/III/IV",
        "Disag",
        "SeiteMaschinen",
        [](Serienpfad& pfad) -> TMachineComponent& { return *pfad.DisagCom; },
        [](Serienpfad& pfad) {
            // The Disag reports one line per event; its handler collects the shots of a series.
            pfad.DisagCom->OnData = [&pfad](TCustomComPort*, std::string Data) { pfad.DisagComData(Data); };
            pfad.DisagCom->OnEdit = [&pfad](TCustomComPort*, std::int32_t Schussnr, std::string& Ringwert) {
                pfad.DisagComEdit(Schussnr, Ringwert);
            };
        },
        [](Serienpfad& pfad, const Profil& profil) {
            einstellstringAusProfil(pfad.DisagCom->Einstellstring(), profil);
        },
        // A Disag that does not name its model is an RM IV; one whose answer came damaged twice
        // is found with its model unknown.
        [](Serienpfad& pfad) -> std::optional<std::string> {
            std::string modell;
            if (!pfad.DisagCom->Test(modell))
                return std::nullopt;
            return modell.empty() ? std::string("RM IV") : modell;
        },
        [](const std::string& modell, const std::string& port) {
            return "Auswertmaschine Disag Modell " + modell + "\nan " + port + " gefunden!";
        },
        [](const std::string& port) { return "Auswertmaschine Disag \nan " + port + " nicht gefunden!"; },
        [](const std::string& modell, const std::string& port) {
            return "Disag Modell " + modell + " an " + port + " gefunden !" + Uebernehmen;
        },
        "0,1 s",
    },
}};

} // namespace

std::span<const Maschinenart> maschinentabelle() {
    return Tabelle;
}

const Maschinenart* maschinenart(std::int32_t nummer) {
    for (const Maschinenart& art : Tabelle) {
        if (art.nummer == nummer)
            return &art;
    }
    return nullptr;
}
