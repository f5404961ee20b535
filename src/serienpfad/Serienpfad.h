#pragma once

// The path of a series from the machine to the protocol file, without a window: the machine
// components, their data handlers, the protocol writer, and the connection of the active
// profile's machine. The settings window is a view of it; the benchmarks, the fuzzers and a
// program without a window use it as it is.
//
// Main thread only. Messages to the user go through desktop(): a machine that does not answer, a
// port that cannot be opened, a machine's notice ("Hinweis"). A view that wants to come up
// before the first two sets the Vor... hooks.

#include "RikaCom.h"
#include "Rm3WinCom.h"
#include "SamCom.h"

#include "Maschinentabelle.h"
#include "Rm3WinDaten.h"
#include "SamRikaDaten.h"
#include "TProtokollAusgabe.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class Profilliste;

class Serienpfad {
public:
    // The pause between closing the ports and opening the machine again when it is signed on.
    static constexpr std::chrono::milliseconds Anmeldepause{300};

    // The components the path owns; one left empty is made here. (A fuzzer hands in one that
    // takes its bytes without a device.)
    struct Komponenten {
        std::unique_ptr<TRikaCom> rika;
        std::unique_ptr<TSamCom> sam;
        std::unique_ptr<TRm3WinCom> disag;
    };

    // Reads the active profile of the list whenever it opens a machine or writes a series. The
    // header source goes to the protocol writer. No port is opened here.
    explicit Serienpfad(Profilliste& liste, TProtokollAusgabe::Kopfzeilenquelle kopfzeile = {},
                        Komponenten komponenten = {});
    // Closes every port.
    ~Serienpfad();
    Serienpfad(const Serienpfad&) = delete;
    Serienpfad& operator=(const Serienpfad&) = delete;

    // The machine components, one per machine family. At most one has its port open: the one
    // of the active profile's machine. The Rika always evaluates rings and divisors in tenths;
    // the Disag's divisor evaluation, subtotals and divisor mark never change, the rest of its
    // settings come from the profile when it opens.
    const std::unique_ptr<TRikaCom> RikaCom1;
    const std::unique_ptr<TSamCom> SamCom1;
    const std::unique_ptr<TRm3WinCom> Rm3WinCom1;

    // The data handlers the components' events are bound to.
    void SamCom1Data(const std::string& Data);
    void RikaCom1Data(const std::string& Data);
    void Rm3WinCom1Data(const std::string& Data);
    void Rm3WinCom1Edit(std::int32_t Schussnr, std::string& Ringwert);
    // The Disag's shots of the series in progress.
    const Rm3WinDaten& Disagdaten() const { return *m_rm3WinDaten; }

    TProtokollAusgabe& Ausgabe() const { return *m_ausgabe; }

    // Configures and opens the machine of the active profile; a profile without a machine opens
    // nothing. A port that cannot be opened closes every port, and the user is told which.
    // False when the port could not be opened.
    bool MaschineOeffnen();
    // Closes the ports of all machine components; a port that fails while closing is closed as
    // far as it goes.
    void MaschinenSchliessen();
    // Closes all machine ports, waits Anmeldepause and opens the machine of the active profile.
    void MaschineAnmelden();

    // A machine component reports that its machine does not answer: close all machine ports and
    // tell the user which machine of the active profile was not found on which port.
    void TfxError(TCustomComPort* Sender, std::int32_t ErrorCode);

    // Called before the message about a machine that does not answer, and before the one about
    // a port that cannot be opened.
    std::function<void()> VorMaschinenfehler;
    std::function<void()> VorSchnittstellenfehler;

    // The port the machine is opened on: Portvorgabe when set (any length, any device path),
    // else the active profile's.
    std::string Portvorgabe;
    std::string Port() const;

    // When set, a machine that cannot be reached (its port cannot be opened or is gone, or the
    // machine does not answer) is told here, with the text of the message and, for a port, the
    // system's reason, instead of by a message box; the ports are closed all the same. A program without
    // anyone to reconnect by hand tries again from here.
    std::function<void(const std::string& text)> Verbindungsfehler;

private:
    Profilliste& m_liste;
    const std::unique_ptr<TProtokollAusgabe> m_ausgabe;
    const std::unique_ptr<Rm3WinDaten> m_rm3WinDaten;
};

// The message about a port that failed: "Schnittstelle <port> konnte nicht geöffnet werden" with
// the system's reason when it could not be opened, otherwise "Ein Schnittstellenfehler ist
// aufgetreten!" and below it what failed, with the reason.
std::string portfehlerText(const EComPort& e, const std::string& port);
// Whether the port could not be opened for lack of permission, and what to do then.
bool keineBerechtigung(const EComPort& e);
extern const char* const DialoutHinweis;
// portfehlerText, and DialoutHinweis when it applies.
std::string portfehlerMeldung(const EComPort& e, const std::string& port);
