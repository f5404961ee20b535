#include "Maschinentabelle.h"

#include "DisagCom.h"
#include "DisagRm3FernCom.h"
#include "RikaCom.h"
#include "SamCom.h"

#include "DisagDaten.h"
#include "DisagEinstellstring.h"
#include "DisagRm3FernDaten.h"
#include "DisagRm3FernEinstellstring.h"
#include "Profil.h"
#include "SamRikaDaten.h"

#include <charconv>
#include <functional>
#include <stdexcept>
#include <utility>

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

// The component of a machine's part: the one handed in, which must be of the machine's kind, or
// a new one.
template <class Com> std::unique_ptr<TMachineComponent> eigene(std::unique_ptr<TMachineComponent> gegeben) {
    if (!gegeben)
        return std::make_unique<Com>();
    if (!dynamic_cast<Com*>(gegeben.get()))
        throw std::invalid_argument("a component of another machine");
    return gegeben;
}

// A machine whose handler takes each piece on its own and keeps nothing between them.
template <class Com> class Teil : public Maschinenteil {
public:
    using Handler = std::function<void(const std::string& Data)>;
    Teil(std::unique_ptr<TMachineComponent> gegeben, Handler handler)
        : Maschinenteil(eigene<Com>(std::move(gegeben))), m_handler(std::move(handler)) {}

    Com& com() const { return static_cast<Com&>(komponente()); }
    void daten(const std::string& Data) override { m_handler(Data); }

private:
    Handler m_handler;
};

template <class Com> Com& com(Maschinenteil& teil) {
    return static_cast<Com&>(teil.komponente());
}

// The Disag reports one line per event; its handler collects the shots of a series until "WSE".
class DisagTeil : public Maschinenteil {
public:
    DisagTeil(const Umfeld& umfeld, std::unique_ptr<TMachineComponent> gegeben)
        : Maschinenteil(eigene<TDisagCom>(std::move(gegeben))), m_daten(umfeld.liste, umfeld.ausgabe) {
        // What the profile does not set never changes: rings and divisors in tenths, no
        // subtotals, no divisor mark. The rest comes from the profile when the port opens.
        TDisagEinstellstring& disag = com<TDisagCom>(*this).Einstellstring();
        disag.SetRingauswertung(raZR);
        disag.SetTeilerauswertung(taZT);
        disag.SetTeilergrenze("250");
        disag.SetScheibenschusszahl("1");
        disag.SetGesamtschusszahl("10");
        disag.SetZwischensummenschusszahl("0");
        disag.SetTeilermarkierung(false);
        disag.SetScheibentext("Text");
        com<TDisagCom>(*this).OnEdit = [this](TCustomComPort*, std::int32_t Schussnr, std::string& Ringwert) {
            m_daten.DisagComEdit(Schussnr, Ringwert);
        };
    }

    void daten(const std::string& Data) override { m_daten.DisagComData(Data); }
    bool serieOffen() const override { return !m_daten.SchussListe().empty(); }
    TSerienDatensatz offeneSerieNehmen() override { return m_daten.offeneSerieNehmen(); }

private:
    DisagDaten m_daten;
};

// The Disag RM III in its older remote program reports one line per shot; its handler collects
// the shots of a series until "ENDE".
class DisagRm3FernTeil : public Maschinenteil {
public:
    DisagRm3FernTeil(const Umfeld& umfeld, std::unique_ptr<TMachineComponent> gegeben)
        : Maschinenteil(eigene<TDisagRm3FernCom>(std::move(gegeben))), m_daten(umfeld.liste, umfeld.ausgabe) {
    }

    void daten(const std::string& Data) override { m_daten.DisagRm3FernComData(Data); }
    bool serieOffen() const override { return !m_daten.SchussListe().empty(); }
    TSerienDatensatz offeneSerieNehmen() override { return m_daten.offeneSerieNehmen(); }

private:
    DisagRm3FernDaten m_daten;
};

using Quelle = Serienjournal::Quelle;

const Maschinenart Tabelle[] = {
    {
        .nummer = maRika,
        .auswahl = "Rika SAG-1",
        .name = "Rika SAG-1",
        .einstellseite = nullptr,
        .quelle = Quelle::rika,
        // The Rika always evaluates rings and divisors in tenths.
        .machen = [](const Maschinenteil::Umfeld& umfeld,
                     std::unique_ptr<TMachineComponent> gegeben) -> std::unique_ptr<Maschinenteil> {
            auto teil = std::make_unique<Teil<TRikaCom>>(
                std::move(gegeben), [&ausgabe = umfeld.ausgabe](const std::string& Data) {
                    SamRikaDaten(ausgabe).RikaComData(Data);
                });
            teil->com().Einstellungen().SetZehntelwertung(zwZRT);
            return teil;
        },
        .einstellen = nullptr,
        .profilFehler = nullptr,
        .profilHinweis = nullptr,
        // A Rika that answers without a version text is no Rika.
        .testen = [](Maschinenteil& teil) -> std::optional<std::string> {
            std::string version;
            if (com<TRikaCom>(teil).Test(version) && !version.empty())
                return version;
            return std::nullopt;
        },
        .testGefunden =
            [](const std::string& version, const std::string& port) {
                return "Auswertmaschine Rika SAG Version " + rikaVersion(version) + "\nan " + port +
                       " gefunden!";
            },
        .testNichtGefunden =
            [](const std::string& port) {
                return "Auswertmaschine Rika SAG \nan " + port + " nicht gefunden!";
            },
        .sucheGefunden =
            [](const std::string& version, const std::string& port) {
                return "Auswertmaschine Rika SAG Version " + version + " an " + port + " gefunden!" +
                       Uebernehmen;
            },
        .testWartezeit = "0,2 s",
    },
    {
        .nummer = maSam,
        .auswahl = "Sam 4000",
        .name = "SAM",
        .einstellseite = nullptr,
        .quelle = Quelle::sam,
        .machen = [](const Maschinenteil::Umfeld& umfeld,
                     std::unique_ptr<TMachineComponent> gegeben) -> std::unique_ptr<Maschinenteil> {
            return std::make_unique<Teil<TSamCom>>(std::move(gegeben),
                                                   [&ausgabe = umfeld.ausgabe](const std::string& Data) {
                                                       SamRikaDaten(ausgabe).SamComData(Data);
                                                   });
        },
        .einstellen = nullptr,
        .profilFehler = nullptr,
        .profilHinweis = nullptr,
        .testen = [](Maschinenteil& teil) -> std::optional<std::string> {
            if (com<TSamCom>(teil).Test())
                return std::string();
            return std::nullopt;
        },
        .testGefunden =
            [](const std::string&, const std::string& port) {
                return "Auswertmaschine SAM 4000\nan " + port + " gefunden!";
            },
        .testNichtGefunden =
            [](const std::string& port) {
                return "Auswertmaschine SAM 4000\nan " + port + " nicht gefunden!";
            },
        .sucheGefunden =
            [](const std::string&, const std::string& port) {
                return "Auswertmaschine SAM 4000 an " + port + " gefunden!" + Uebernehmen;
            },
        .testWartezeit = "0,1 s",
    },
    {
        .nummer = maDisag,
        .auswahl = "Disag RM II/III/IV",
        .name = "Disag",
        .einstellseite = "SeiteMaschinen",
        .quelle = Quelle::disag,
        .machen = [](const Maschinenteil::Umfeld& umfeld,
                     std::unique_ptr<TMachineComponent> gegeben) -> std::unique_ptr<Maschinenteil> {
            return std::make_unique<DisagTeil>(umfeld, std::move(gegeben));
        },
        .einstellen =
            [](Maschinenteil& teil, const Profil& profil) {
                einstellstringAusProfil(com<TDisagCom>(teil).Einstellstring(), profil);
            },
        .profilFehler = nullptr,
        .profilHinweis = nullptr,
        // A Disag that does not name its model is an RM IV; one whose answer came damaged twice
        // is found with its model unknown.
        .testen = [](Maschinenteil& teil) -> std::optional<std::string> {
            std::string modell;
            if (!com<TDisagCom>(teil).Test(modell))
                return std::nullopt;
            return modell.empty() ? std::string("RM IV") : modell;
        },
        .testGefunden =
            [](const std::string& modell, const std::string& port) {
                return "Auswertmaschine Disag Modell " + modell + "\nan " + port + " gefunden!";
            },
        .testNichtGefunden =
            [](const std::string& port) { return "Auswertmaschine Disag \nan " + port + " nicht gefunden!"; },
        .sucheGefunden =
            [](const std::string& modell, const std::string& port) {
                return "Disag Modell " + modell + " an " + port + " gefunden !" + Uebernehmen;
            },
        .testWartezeit = "0,1 s",
    },
    {
        .nummer = maDisagRm3Fern,
        .auswahl = "Disag RM III (FERN)",
        .name = "Disag RM III (FERN)",
        .einstellseite = "SeiteMaschinen",
        .quelle = Quelle::disagRm3Fern,
        .machen = [](const Maschinenteil::Umfeld& umfeld,
                     std::unique_ptr<TMachineComponent> gegeben) -> std::unique_ptr<Maschinenteil> {
            return std::make_unique<DisagRm3FernTeil>(umfeld, std::move(gegeben));
        },
        // Asked after profilFehler: the profile is one the machine takes.
        .einstellen =
            [](Maschinenteil& teil, const Profil& profil) {
                com<TDisagRm3FernCom>(teil).SetEinstellstring(disagRm3FernEinstellstring(profil));
            },
        .profilFehler = disagRm3FernProfilfehler,
        .profilHinweis = disagRm3FernTeilerhinweis,
        // The machine names no model or version: its settings line is all it tells.
        .testen = [](Maschinenteil& teil) -> std::optional<std::string> {
            if (com<TDisagRm3FernCom>(teil).Test())
                return std::string();
            return std::nullopt;
        },
        .testGefunden =
            [](const std::string&, const std::string& port) {
                return "Auswertmaschine Disag RM III (FERN)\nan " + port + " gefunden!";
            },
        .testNichtGefunden =
            [](const std::string& port) {
                return "Auswertmaschine Disag RM III (FERN)\nan " + port + " nicht gefunden!";
            },
        .sucheGefunden =
            [](const std::string&, const std::string& port) {
                return "Disag RM III (FERN) an " + port + " gefunden !" + Uebernehmen;
            },
        .testWartezeit = "2 s",
    },
};

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

std::string profilFehler(const Profil& profil) {
    const Maschinenart* art = maschinenart(profil.Maschine);
    return art && art->profilFehler ? art->profilFehler(profil) : std::string();
}
