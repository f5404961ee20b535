// The settings window's side of the machine components: opening the machine of the active
// profile, closing all of them, and their error reports and notices.

#include "RikaCom.h"
#include "Rm3WinCom.h"
#include "SamCom.h"

#include "TForm1.h"

#include "Desktop.h"
#include "Rm3WinDaten.h"
#include "SamRikaDaten.h"
#include "ui_TForm1.h"

#include <chrono>
#include <thread>

void TForm1::verbindeMaschinen() {
    // The SAM and Rika handlers keep no state between series: each call decodes one series and
    // hands it to the protocol writer of the moment.
    SamCom1->OnData = [this](TCustomComPort*, std::string Data) {
        SamRikaDaten(Ausgabe()).SamCom1Data(Data);
    };
    RikaCom1->OnData = [this](TCustomComPort*, std::string Data) {
        SamRikaDaten(Ausgabe()).RikaCom1Data(Data);
    };
    // The Disag reports one line per event; its handler collects the shots of a series.
    Rm3WinCom1->OnData = [this](TCustomComPort*, std::string Data) { m_rm3WinDaten->Rm3WinCom1Data(Data); };
    Rm3WinCom1->OnEdit = [this](TCustomComPort*, std::int32_t Schussnr, std::string& Ringwert) {
        m_rm3WinDaten->Rm3WinCom1Edit(Schussnr, Ringwert);
    };
    const auto fehler = [this](TCustomComPort* Sender, std::int32_t ErrorCode) {
        TfxError(Sender, ErrorCode);
    };
    RikaCom1->OnError = fehler;
    SamCom1->OnError = fehler;
    Rm3WinCom1->OnError = fehler;
    // A notice leaves the port open: the machine goes on.
    const auto hinweis = [](TCustomComPort*, std::string Text) {
        desktop().messageBox(Text, "Hinweis", Mb::Ok | Mb::IconInformation);
    };
    RikaCom1->OnHinweis = hinweis;
    SamCom1->OnHinweis = hinweis;
}

void TForm1::MaschinenSchliessen() {
    for (TCustomComPort* com :
         std::initializer_list<TCustomComPort*>{RikaCom1.get(), SamCom1.get(), Rm3WinCom1.get()}) {
        try {
            com->Close();
        } catch (const EComPort&) {
            // a port that fails while closing is closed as far as it goes
        }
    }
}

void TForm1::MaschineOeffnen() {
    const Profil& profil = m_liste.aktiv();
    const std::string port = text(profil.Port);
    try {
        switch (profil.Maschine) {
        case maRikaSAG1:
            RikaCom1->SetPort(port);
            RikaCom1->Open();
            break;
        case maSam4000:
            SamCom1->SetPort(port);
            SamCom1->Open();
            break;
        case maDisagRM:
            Rm3WinCom1->SetPort(port);
            einstellstringAusProfil(Rm3WinCom1->Einstellstring(), profil);
            Rm3WinCom1->Open();
            break;
        default: // no machine: no port is opened
            break;
        }
    } catch (const EComPort& e) {
        MaschinenSchliessen();
        show();
        raise();
        activateWindow();
        desktop().messageBox(e.ErrorCode() == ecOpen
                                 ? "Schnittstelle " + port +
                                       " konnte nicht ge\xF6"
                                       "ffnet werden"
                                 : std::string("Ein Schnittstellenfehler ist aufgetreten!"),
                             "Fehler", Mb::Ok);
    }
}

void TForm1::MaschineAnmelden() {
    if (m_anmeldungAusstehend) {
        m_anmeldungAusstehend = false;
        zeigeErsteinrichtungHinweis(false);
    }
    MaschinenSchliessen();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    MaschineOeffnen();
}

void TForm1::TfxError(TCustomComPort*, int32_t) {
    if (!desktop().overwriteWarningVisible()) {
        m_ui->PageControl1->setCurrentWidget(m_ui->TabSheet1);
        show();
    }
    MaschinenSchliessen();
    // The text follows the active profile's machine, whichever component reported.
    const Profil& profil = m_liste.aktiv();
    const std::string port = text(profil.Port);
    const char* maschine = nullptr;
    switch (profil.Maschine) {
    case maRikaSAG1:
        maschine = "Rika SAG-1";
        break;
    case maSam4000:
        maschine = "SAM";
        break;
    case maDisagRM:
        maschine = "Disag";
        break;
    default:
        return;
    }
    desktop().messageBox(std::string(maschine) + " an " + port + "\n\rnicht gefunden!", "Fehler",
                         Mb::Ok | Mb::SystemModal);
}
