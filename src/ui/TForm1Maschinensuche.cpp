// "Maschinentest" and "Maschinensuche" on the page "Allgemeine Einstellungen": whether the
// chosen machine answers on the chosen port, and which machine answers on which port.
//
// Both run on the main thread; each Test performs its machine's short handshake with fixed
// pauses, so the window does not react until the last one returned. A port that cannot be
// opened (missing, or held by another program) is reported and does not end the search.

#include "Serienpfad.h"

#include "TForm1.h"

#include "Desktop.h"
#include "ui_TForm1.h"

#include <QApplication>

#include <set>

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
    desktop().messageBox(portfehlerText(e, port), "Fehler", Mb::Ok | Mb::IconError);
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

    std::optional<std::string> kennung; // what the machine told about itself
    try {
        Sanduhr sanduhr;
        kennung = art->testen(*m_pfad);
    } catch (const EComPort& e) {
        // The component stays closed, on the tested port.
        meldePortfehler(e, port);
        return;
    }
    if (kennung)
        desktop().messageBox(art->testGefunden(*kennung, port), "Info", Mb::Ok | Mb::IconInformation);
    else
        desktop().messageBox(art->testNichtGefunden(port), "Fehler", Mb::Ok | Mb::IconError);

    // A component that was open is opened again, now on the tested port.
    try {
        com.SetConnected(warOffen);
    } catch (const EComPort& e) {
        meldePortfehler(e, com.Port());
    }
}

void TForm1::ButtonMaschinensucheClick() {
    m_pfad->MaschinenSchliessen();

    struct Fund {
        std::string text;
        int32_t maschine;
        std::string port;
    };
    std::optional<Fund> fund;
    std::set<std::string> gemeldet; // ports whose error was shown once already
    {
        Sanduhr sanduhr;
        for (int durchgang = 0; durchgang < 3 && !fund; ++durchgang) {
            for (const std::string& p : suchPorts()) {
                try {
                    for (const Maschinenart& art : maschinentabelle()) {
                        art.komponente(*m_pfad).SetPort(p);
                        if (const auto kennung = art.testen(*m_pfad)) {
                            fund = Fund{art.sucheGefunden(*kennung, p), art.nummer, p};
                            break;
                        }
                    }
                } catch (const EComPort& e) {
                    // This port cannot be used now: say so once, and go on with the next one.
                    if (gemeldet.insert(p).second) {
                        sanduhr.aus();
                        meldePortfehler(e, p);
                        sanduhr.an();
                    }
                }
                if (fund)
                    break;
            }
        }
    }

    if (!fund) {
        desktop().messageBox("Keine Maschine gefunden !", "Info Maschinensuche", Mb::Ok | Mb::IconError);
        return;
    }
    if (desktop().messageBox(fund->text, "Info Maschinensuche", Mb::YesNo) != IdYes)
        return;
    if (!portnamePasst(fund->port))
        return;
    Profil& p = m_liste.aktiv();
    p.Maschine = fund->maschine;
    m_ui->RadioGroup2->setItemIndex(fund->maschine);
    RadioGroup2Click(fund->maschine);
    setText(p.Port, fund->port);
    m_ui->ComboBoxComNr->setPort(fund->port);
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
