#include "Maschinensuche.h"

#include "Serienpfad.h"

#include "Uebertragungslog.h"

Testausgang maschineTesten(const Maschinenart& art, Serienpfad& pfad) {
    Maschinenteil& teil = pfad.Teil(art.nummer);
    TMachineComponent& com = teil.komponente();
    Testausgang ausgang;
    com.BeginCapture();
    try {
        ausgang.kennung = art.testen(teil);
    } catch (const EComPort& e) {
        ausgang.geoeffnet = false;
        ausgang.fehler = e;
        ausgang.portfehler = portfehlerMeldung(e, com.Port());
        ausgang.keineBerechtigung = keineBerechtigung(e);
    }
    ausgang.antwort = com.EndCapture();
    return ausgang;
}

std::string nichtGefundenGrund(const Maschinenart& art, const Testausgang& ausgang) {
    if (!ausgang.geoeffnet)
        return ausgang.portfehler;
    if (ausgang.antwort.empty())
        return std::string("keine Antwort innerhalb von ") + art.testWartezeit;
    return "Antwort: " + Uebertragungslog::maskiert(ausgang.antwort);
}

std::string testNichtGefundenMeldung(const Maschinenart& art, const Testausgang& ausgang,
                                     const std::string& port) {
    return art.testNichtGefunden(port) + "\n\n" + nichtGefundenGrund(art, ausgang);
}

Suchergebnis maschinenSuchen(Serienpfad& pfad, const std::vector<std::string>& ports) {
    pfad.MaschinenSchliessen();
    // Per port, the reason of the last pass.
    std::vector<std::string> gruende(ports.size());
    bool berechtigungFehlt = false;
    for (int durchgang = 0; durchgang < 3; ++durchgang) {
        for (std::size_t i = 0; i < ports.size(); ++i) {
            const std::string& p = ports[i];
            std::string antworten;
            std::string grund;
            for (const Maschinenart& art : maschinentabelle()) {
                pfad.Komponente(art.nummer).SetPort(p);
                const Testausgang ausgang = maschineTesten(art, pfad);
                if (ausgang.kennung)
                    return {true, art.sucheGefunden(*ausgang.kennung, p), art.nummer, p};
                if (!ausgang.geoeffnet) { // the other machines cannot open it either
                    grund = portfehlerText(ausgang.fehler, p);
                    berechtigungFehlt = berechtigungFehlt || ausgang.keineBerechtigung;
                    break;
                }
                if (!ausgang.antwort.empty())
                    antworten += std::string(antworten.empty() ? "" : ", ") + "Test " + art.name + ": " +
                                 Uebertragungslog::maskiert(ausgang.antwort);
            }
            if (grund.empty())
                grund = p + ": " +
                        (antworten.empty() ? std::string("keine Antwort") : "Antwort auf " + antworten);
            gruende[i] = grund;
        }
    }
    Suchergebnis ergebnis;
    ergebnis.text = "Keine Maschine gefunden !";
    if (!ports.empty())
        ergebnis.text += "\n\r";
    for (const std::string& g : gruende)
        ergebnis.text += "\n\r" + g;
    if (berechtigungFehlt)
        ergebnis.text += std::string("\n\r\n\r") + DialoutHinweis;
    return ergebnis;
}
