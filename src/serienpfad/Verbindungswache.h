#pragma once

// The connection watch: keeps the active profile's machine connected, the same way in every
// program. A port that cannot be opened or goes away (an adapter pulled) and a machine that does
// not answer (switched off) are told once, and the machine is tried again every NeuerVersuch in
// the background until it answers; its return is told once, in the transmission log and as a
// message at the tray icon. A machine test or search pauses the attempts (their message boxes
// run nested event loops), and at its end the machine is opened again, unless it was signed on
// anew meanwhile. The watch also knows what the tray icon shows: connected or not, and why.
//
// What "connected" means comes from the machine's component (TMachineComponent::Answer): a SAM
// or a Rika answers its polls; a Disag is heard only at its exchanges, so it counts as connected
// while its port is open and its last exchange succeeded, and the tray says when it last answered.
//
// Main thread only. The watch takes the series path's Verbindungsfehler and the components'
// OnAnswer for its life.

#include "MainThread.h"
#include "Serienpfad.h"

#include <chrono>
#include <functional>
#include <string>

class TMachineComponent;

class Verbindungswache {
public:
    static constexpr std::chrono::milliseconds NeuerVersuch{5000};

    explicit Verbindungswache(Serienpfad& pfad);
    ~Verbindungswache();
    Verbindungswache(const Verbindungswache&) = delete;
    Verbindungswache& operator=(const Verbindungswache&) = delete;

    // The machine is signed on (at the start, by the user, with a profile chosen): from now on
    // the watch keeps it, and a failure is told again. Called before it is opened.
    void neueAnmeldung();
    // The sign-ons so far.
    unsigned anmeldungen() const { return m_anmeldungen; }
    // Whether the active profile's machine wants signing on: its port is closed, or the machine
    // stopped answering. False for a profile without a machine.
    bool anmeldungNoetig() const;
    // Whether the active profile's machine answers.
    bool verbunden() const;
    // The tray icon's tooltip (Windows-1252): "Ringlesemaschine" while connected (for a machine
    // heard only at its exchanges with the time it last answered), otherwise
    // "Ringlesemaschine: nicht verbunden (<Port>: <Grund>)".
    std::string tipp() const;

    // A machine test or search, for as long as it lives: no attempts. At its end the active
    // profile's machine is given back with zurueckgeben (close every port, open it), unless it
    // was signed on anew meanwhile, was never signed on, or its port is open still.
    class Pause {
    public:
        Pause(Verbindungswache& wache, std::string was, std::function<void()> zurueckgeben);
        ~Pause();
        Pause(const Pause&) = delete;
        Pause& operator=(const Pause&) = delete;

    private:
        Verbindungswache& m_wache;
        std::function<void()> m_zurueckgeben;
        unsigned m_anmeldungen;
    };

    // No attempts and no messages any more (the end of the program).
    void beenden() { m_beendet = true; }

    // Called whenever verbunden() or tipp() may have changed.
    std::function<void()> Zustandswechsel;
    void zustandMelden() const;

private:
    void verloren(Serienpfad::Ausfall ausfall, const std::string& meldung, const std::string& grund);
    void antwort(const TMachineComponent& com);
    void planen();
    void versuchen();
    // The component of the active profile's machine; nullptr for a profile without one.
    TMachineComponent* komponente() const;
    std::string grund(const TMachineComponent* com) const;

    Serienpfad& m_pfad;
    bool m_aktiv = false;    // signed on at least once: the watch keeps the machine
    bool m_verloren = false; // the loss was told, the return not yet
    bool m_versuchGeplant = false;
    bool m_beendet = false;
    unsigned m_anmeldungen = 0;
    int m_pausen = 0;
    std::string m_pause; // what pauses ("Maschinentest läuft")
    std::string m_grund; // why the machine is not connected, after a failure
    MainThread::LifeToken m_leben;
};
