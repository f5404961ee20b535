#include "Serienpfad.h"

#include "Desktop.h"
#include "PlatformFile.h"
#include "Profilliste.h"
#include "Win1252.h"

#include <cerrno>

#include <thread>

namespace {

template <class T> std::unique_ptr<T> oderNeu(std::unique_ptr<T> komponente) {
    return komponente ? std::move(komponente) : std::make_unique<T>();
}

} // namespace

std::string portfehlerText(const EComPort& e, const std::string& port) {
    const std::string text = utf8ToWin1252(schnittstellenfehler(e, win1252ToUtf8(port)));
    return e.ErrorCode() == ecOpen ? text : "Ein Schnittstellenfehler ist aufgetreten!\n\r" + text;
}

bool keineBerechtigung(const EComPort& e) {
#ifdef _WIN32
    (void)e;
    return false; // Windows refuses a port in use with "access denied": no question of permission
#else
    return e.ErrorCode() == ecOpen && e.WinCode() == EACCES;
#endif
}

const char* const DialoutHinweis = "Der Benutzer darf die Schnittstelle nicht \xF6"
                                   "ffnen. Er muss in der Gruppe \x84"
                                   "dialout\x93 sein (adduser BENUTZERNAME dialout)\n\r"
                                   "und sich danach ab- und wieder anmelden; siehe die Kurzanleitung "
                                   "im README, \x84Installieren\x93.";

std::string portfehlerMeldung(const EComPort& e, const std::string& port) {
    std::string text = portfehlerText(e, port);
    if (keineBerechtigung(e))
        text += std::string("\n\r") + DialoutHinweis;
    return text;
}

Serienpfad::Serienpfad(Profilliste& liste, TProtokollAusgabe::Kopfzeilenquelle kopfzeile,
                       Komponenten komponenten)
    : RikaCom1(oderNeu(std::move(komponenten.rika))), SamCom1(oderNeu(std::move(komponenten.sam))),
      Rm3WinCom1(oderNeu(std::move(komponenten.disag))), m_liste(liste),
      m_ausgabe(std::make_unique<TProtokollAusgabe>(liste, std::move(kopfzeile))),
      m_rm3WinDaten(std::make_unique<Rm3WinDaten>(liste, *m_ausgabe)) {
    // Each component starts on "COM1"; the profile's port is set when it is opened.
    for (const Maschinenart& art : maschinentabelle())
        art.komponente(*this).SetPort("COM1");
    RikaCom1->Einstellungen().SetZehntelwertung(zwZRT);
    TRm3WinInitstring& disag = Rm3WinCom1->Einstellstring();
    disag.SetRingauswertung(raZR);
    disag.SetTeilerauswertung(taZT);
    disag.SetTeilergrenze("250");
    disag.SetScheibenschusszahl("1");
    disag.SetGesamtschusszahl("10");
    disag.SetZwischensummenschusszahl("0");
    disag.SetTeilermarkierung(false);
    disag.SetScheibentext("Text");

    for (const Maschinenart& art : maschinentabelle()) {
        art.verbinden(*this);
        TMachineComponent& com = art.komponente(*this);
        com.OnError = [this](TCustomComPort* Sender, std::int32_t ErrorCode) { TfxError(Sender, ErrorCode); };
        // A notice leaves the port open: the machine goes on.
        com.OnHinweis = [](TCustomComPort*, std::string Text) {
            desktop().messageBox(Text, "Hinweis", Mb::Ok | Mb::IconInformation);
        };
    }
}

Serienpfad::~Serienpfad() {
    MaschinenSchliessen();
}

// The SAM and Rika handlers keep no state between series: each call decodes one series and
// hands it to the protocol writer.
void Serienpfad::SamCom1Data(const std::string& Data) {
    SamRikaDaten(*m_ausgabe).SamCom1Data(Data);
}

void Serienpfad::RikaCom1Data(const std::string& Data) {
    SamRikaDaten(*m_ausgabe).RikaCom1Data(Data);
}

void Serienpfad::Rm3WinCom1Data(const std::string& Data) {
    m_rm3WinDaten->Rm3WinCom1Data(Data);
}

void Serienpfad::Rm3WinCom1Edit(std::int32_t Schussnr, std::string& Ringwert) {
    m_rm3WinDaten->Rm3WinCom1Edit(Schussnr, Ringwert);
}

void Serienpfad::MaschinenSchliessen() {
    for (const Maschinenart& art : maschinentabelle()) {
        try {
            art.komponente(*this).Close();
        } catch (const EComPort&) {
            // a port that fails while closing is closed as far as it goes
        }
    }
}

std::string Serienpfad::Port() const {
    return Portvorgabe.empty() ? text(m_liste.aktiv().Port) : Portvorgabe;
}

bool Serienpfad::MaschineOeffnen() {
    const Profil& profil = m_liste.aktiv();
    const Maschinenart* art = maschinenart(profil.Maschine);
    if (!art) // no machine: no port is opened
        return true;
    const std::string port = Port();
    TMachineComponent& com = art->komponente(*this);
    try {
        com.SetPort(port);
        if (art->einstellen)
            art->einstellen(*this, profil);
        com.Open();
        return true;
    } catch (const EComPort& e) {
        MaschinenSchliessen();
        if (Verbindungsfehler) {
            // Nobody is there to look at the port; the text carries the system's reason.
            Verbindungsfehler(portfehlerText(e, port));
            return false;
        }
        if (VorSchnittstellenfehler)
            VorSchnittstellenfehler();
        desktop().messageBox(portfehlerMeldung(e, port), "Fehler", Mb::Ok | Mb::IconError);
        return false;
    }
}

void Serienpfad::MaschineAnmelden() {
    MaschinenSchliessen();
    std::this_thread::sleep_for(Anmeldepause);
    MaschineOeffnen();
}

void Serienpfad::TfxError(TCustomComPort*, std::int32_t) {
    if (VorMaschinenfehler)
        VorMaschinenfehler();
    MaschinenSchliessen();
    // The text follows the active profile's machine, whichever component reported.
    const Maschinenart* art = maschinenart(m_liste.aktiv().Maschine);
    if (!art)
        return;
    const std::string meldung = std::string(art->name) + " an " + Port() + "\n\rnicht gefunden!";
    if (Verbindungsfehler)
        Verbindungsfehler(meldung);
    else
        desktop().messageBox(meldung, "Fehler", Mb::Ok | Mb::IconError | Mb::SystemModal);
}
