// "Maschinentest" and "Maschinensuche" on the page "Allgemeine Einstellungen": whether the
// chosen machine answers on the chosen port, and which machine answers on which port.
//
// Both run on the main thread; each Test performs its machine's short handshake with fixed
// pauses, so the window does not react until the last one returned. A port that cannot be
// opened (missing, or held by another program) is reported and does not end the search.

#include "RikaCom.h"
#include "Rm3WinCom.h"
#include "SamCom.h"

#include "TForm1.h"

#include "Desktop.h"
#include "ui_TForm1.h"

#include <QApplication>

#include <charconv>
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

void meldePortfehler(const EComPort& e, const std::string& port) {
    desktop().messageBox(e.ErrorCode() == ecOpen ? "Schnittstelle " + port +
                                                       " konnte nicht ge\xF6"
                                                       "ffnet werden"
                                                 : std::string("Ein Schnittstellenfehler ist aufgetreten!"),
                         "Fehler", Mb::Ok | Mb::IconError);
}

} // namespace

void TForm1::ButtonMaschTestClick() {
    const int maschine = m_ui->RadioGroup2->itemIndex();
    TMachineComponent* com = maschine == maDisagRM    ? static_cast<TMachineComponent*>(Rm3WinCom1.get())
                             : maschine == maRikaSAG1 ? static_cast<TMachineComponent*>(RikaCom1.get())
                             : maschine == maSam4000  ? static_cast<TMachineComponent*>(SamCom1.get())
                                                      : nullptr;
    if (!com)
        return;
    const bool warOffen = com->Connected();
    com->SetConnected(false);
    com->SetPort(m_ui->ComboBoxComNr->Text());

    bool gefunden = false;
    std::string text; // the Rika's version or the Disag's model
    try {
        Sanduhr sanduhr;
        if (maschine == maDisagRM)
            gefunden = Rm3WinCom1->Test(text);
        else if (maschine == maRikaSAG1)
            gefunden = RikaCom1->Test(text);
        else
            gefunden = SamCom1->Test();
    } catch (const EComPort& e) {
        // The component stays closed, on the tested port.
        meldePortfehler(e, m_ui->ComboBoxComNr->Text());
        return;
    }

    const std::string port = m_ui->ComboBoxComNr->Text();
    const unsigned gut = Mb::Ok | Mb::IconInformation;
    const unsigned schlecht = Mb::Ok | Mb::IconError;
    if (maschine == maDisagRM) {
        if (gefunden)
            desktop().messageBox("Auswertmaschine Disag Modell " + (text.empty() ? "RM IV" : text) + "\nan " +
                                     port + " gefunden!",
                                 "Info", gut);
        else
            desktop().messageBox("Auswertmaschine Disag \nan " + port + " nicht gefunden!", "Fehler",
                                 schlecht);
    } else if (maschine == maRikaSAG1) {
        if (gefunden && !text.empty())
            desktop().messageBox("Auswertmaschine Rika SAG Version " + rikaVersion(text) + "\nan " + port +
                                     " gefunden!",
                                 "Info", gut);
        else
            desktop().messageBox("Auswertmaschine Rika SAG \nan " + port + " nicht gefunden!", "Fehler",
                                 schlecht);
    } else {
        if (gefunden)
            desktop().messageBox("Auswertmaschine SAM 4000\nan " + port + " gefunden!", "Info", gut);
        else
            desktop().messageBox("Auswertmaschine SAM 4000\nan " + port + " nicht gefunden!", "Fehler",
                                 schlecht);
    }

    // A component that was open is opened again, now on the tested port.
    try {
        com->SetConnected(warOffen);
    } catch (const EComPort& e) {
        meldePortfehler(e, com->Port());
    }
}

void TForm1::ButtonMaschinensucheClick() {
    Rm3WinCom1->SetConnected(false);
    RikaCom1->SetConnected(false);
    SamCom1->SetConnected(false);

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
                    std::string version;
                    RikaCom1->SetPort(p);
                    if (RikaCom1->Test(version) && !version.empty()) {
                        fund = Fund{"Auswertmaschine Rika SAG Version " + version + " an " + p +
                                        " gefunden!\n\n\xDC"
                                        "bernehmen ?",
                                    maRikaSAG1, p};
                        break;
                    }
                    SamCom1->SetPort(p);
                    if (SamCom1->Test()) {
                        fund = Fund{"Auswertmaschine SAM 4000 an " + p +
                                        " gefunden!\n\n\xDC"
                                        "bernehmen ?",
                                    maSam4000, p};
                        break;
                    }
                    std::string modell;
                    Rm3WinCom1->SetPort(p);
                    if (Rm3WinCom1->Test(modell)) {
                        if (modell.empty())
                            modell = "RM IV";
                        fund = Fund{"Disag Modell " + modell + " an " + p +
                                        " gefunden !\n\n\xDC"
                                        "bernehmen ?",
                                    maDisagRM, p};
                        break;
                    }
                } catch (const EComPort& e) {
                    // This port cannot be used now: say so once, and go on with the next one.
                    if (gemeldet.insert(p).second) {
                        sanduhr.aus();
                        meldePortfehler(e, p);
                        sanduhr.an();
                    }
                }
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
