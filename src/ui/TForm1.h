#pragma once

#include "Profilliste.h"

#include <QWidget>

#include <memory>
#include <string>

namespace Ui {
class TForm1;
}

// The settings window: the program's main window. It shows the active profile in its controls,
// owns the machine components and the protocol writer, and runs the close query that ends the
// program. It is normally hidden; the tray icon brings it up.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    // Builds the window in the order the program has always used: own state, tray icon,
    // separator table, profiles (the default profile when none can be loaded), profile box,
    // element table, record writer, controls, machine, and the page "Info".
    TForm1(Profilliste& liste, std::string startverzeichnis, QWidget* parent = nullptr);
    ~TForm1() override;

    // Set when no profile could be loaded and the default profile was made: the window then
    // stays open after start.
    bool Ersteinrichtung() const { return m_ersteinrichtung; }
    const std::string& Startverzeichnis() const { return m_startverzeichnis; }
    std::string configPath() const;

    // Copies the active profile into the controls.
    virtual void SteuerelementeLaden();
    // Copies the controls into the active profile; false only when the user refused the question
    // about the protocol file.
    virtual bool SteuerelementeUebernehmen();
    // True when the controls show exactly the active profile.
    virtual bool Aenderungspruefung();
    // Closes all machine ports, waits 300 ms and opens the machine of the active profile.
    void MaschineAnmelden();

    // The close query: asks, applies on consent, saves the profiles, removes the tray icon.
    // Returns whether the program may end.
    bool CloseQuery();
    // Saves the profiles; a failure is reported with a message box when report is set.
    bool saveProfiles(bool report);
    // The end of the desktop session (or SIGTERM): nobody can answer, so the profiles are saved
    // without asking, the tray icon removed and the event loop ended.
    void endWithoutAsking();

    int Profilindex() const { return m_profilindex; }

    Ui::TForm1* ui() const { return m_ui.get(); }

public slots:
    void Button2Click(); // "Übernehmen"
    void Button3Click(); // "Abbrechen"
    void Button4Click(); // "Programm beenden"
    void Button5Click(); // "Neues Profil"

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    // Configures and opens the machine of the active profile (the second half of MaschineAnmelden).
    virtual void MaschineOeffnen();
    // Closes the ports of all machine components.
    virtual void MaschinenSchliessen();
    virtual void addTrayIcon();
    virtual void removeTrayIcon();

    void fillProfileBox();

    Profilliste& m_liste;

private:
    std::unique_ptr<Ui::TForm1> m_ui;
    std::string m_startverzeichnis;
    bool m_ersteinrichtung = false;
    bool m_ending = false;
    int m_profilindex = -1;
    std::string m_profilnameEingabe;
};
