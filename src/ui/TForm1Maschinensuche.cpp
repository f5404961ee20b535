// "Maschinentest" and "Maschinensuche" on the page "Allgemeine Einstellungen": whether the
// chosen machine answers on the chosen port, and which machine answers on which port.
//
// Both run on the main thread; each Test performs its machine's short handshake with fixed
// pauses, so the window does not react until the last one returned. A port that cannot be
// opened (missing, or held by another program) does not end the search; when no machine is
// found, the message says for each port why.

#include "Maschinensuche.h"
#include "Serienpfad.h"

#include "TForm1.h"

#include "Desktop.h"
#include "ui_TForm1.h"

#include <QApplication>

namespace {

// The hourglass while the machines are tried; put back for every message and on every way out.
class Sanduhr {
public:
    Sanduhr() { an(); }
    ~Sanduhr() { aus(); }
    Sanduhr(const Sanduhr&) = delete;
    Sanduhr& operator=(const Sanduhr&) = delete;

    void an() {
        if (!m_an)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        m_an = true;
    }
    void aus() {
        if (m_an)
            QApplication::restoreOverrideCursor();
        m_an = false;
    }

private:
    bool m_an = false;
};

void meldePortfehler(const EComPort& e, const std::string& port) {
    desktop().messageBox(portfehlerMeldung(e, port), "Fehler", Mb::Ok | Mb::IconError);
}

} // namespace

void TForm1::ButtonMaschTestClick() {
    const Maschinenart* art = maschinenart(m_ui->RadioGroup2->itemIndex());
    if (!art)
        return;
    TMachineComponent& com = art->komponente(*m_pfad);
    const bool warOffen = com.Connected();
    com.SetConnected(false);
    const std::string port = m_ui->ComboBoxComNr->Text();
    com.SetPort(port);

    Testausgang ausgang;
    {
        Sanduhr sanduhr;
        ausgang = maschineTesten(*art, *m_pfad);
    }
    if (!ausgang.geoeffnet) {
        // The component stays closed, on the tested port.
        desktop().messageBox(ausgang.portfehler, "Fehler", Mb::Ok | Mb::IconError);
        return;
    }
    if (ausgang.kennung)
        desktop().messageBox(art->testGefunden(*ausgang.kennung, port), "Info", Mb::Ok | Mb::IconInformation);
    else
        desktop().messageBox(testNichtGefundenMeldung(*art, ausgang, port), "Fehler", Mb::Ok | Mb::IconError);

    // A component that was open is opened again, now on the tested port.
    try {
        com.SetConnected(warOffen);
    } catch (const EComPort& e) {
        meldePortfehler(e, com.Port());
    }
}

void TForm1::ButtonMaschinensucheClick() {
    Suchergebnis ergebnis;
    {
        Sanduhr sanduhr;
        ergebnis = maschinenSuchen(*m_pfad, suchPorts());
    }
    if (!ergebnis.gefunden) {
        desktop().messageBox(ergebnis.text, "Info Maschinensuche", Mb::Ok | Mb::IconError);
        return;
    }
    if (desktop().messageBox(ergebnis.text, "Info Maschinensuche", Mb::YesNo) != IdYes)
        return;
    if (!portnamePasst(ergebnis.port))
        return;
    Profil& p = m_liste.aktiv();
    p.Maschine = ergebnis.maschine;
    m_ui->RadioGroup2->setItemIndex(ergebnis.maschine);
    RadioGroup2Click(ergebnis.maschine);
    setText(p.Port, ergebnis.port);
    m_ui->ComboBoxComNr->setPort(ergebnis.port);
}

std::vector<std::string> TForm1::suchPorts() const {
    const TComComboBox* box = m_ui->ComboBoxComNr;
    std::vector<std::string> ports;
    const std::string gezeigt = box->Text();
    if (!gezeigt.empty() && !box->isListed(gezeigt))
        ports.push_back(gezeigt);
    for (const std::string& port : box->Items()) {
        if (box->isListed(port))
            ports.push_back(port);
    }
    return ports;
}
