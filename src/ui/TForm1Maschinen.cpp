// The settings window's side of the series path: it comes up before the path's messages, and
// forwards the machine handling to it.

#include "Serienpfad.h"

#include "TForm1.h"

#include "Desktop.h"
#include "ui_TForm1.h"

#include <thread>

void TForm1::setupMaschinen() {
    m_pfad->VorMaschinenfehler = [this] { showAfterMachineError(); };
    m_pfad->VorSchnittstellenfehler = [this] {
        show();
        raise();
        activateWindow();
    };
}

TProtokollAusgabe& TForm1::Ausgabe() const {
    return m_pfad->Ausgabe();
}

void TForm1::MaschinenSchliessen() {
    m_pfad->MaschinenSchliessen();
}

void TForm1::MaschineOeffnen() {
    m_pfad->MaschineOeffnen();
}

void TForm1::MaschineAnmelden() {
    if (m_anmeldungAusstehend) {
        m_anmeldungAusstehend = false;
        zeigeErsteinrichtungHinweis(false);
    }
    // The series path's sign-on, through the window's own two steps.
    MaschinenSchliessen();
    std::this_thread::sleep_for(Serienpfad::Anmeldepause);
    MaschineOeffnen();
}

void TForm1::TfxError(TCustomComPort* Sender, int32_t ErrorCode) {
    m_pfad->TfxError(Sender, ErrorCode);
}
