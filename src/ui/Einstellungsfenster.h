#pragma once

#include "Einstellungsansicht.h"
#include "Profilliste.h"

#include <QSystemTrayIcon>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Einstellungslogik;
class QAction;
class QLineEdit;
class QMenu;
class QTreeWidget;
class Serienpfad;
class TProtokollAusgabe;
class TCustomComPort;

namespace Ui {
class Einstellungsfenster;
}

// The settings window: the program's main window, the Qt view of the settings logic
// (Einstellungslogik). The logic shows the active profile in the window's controls, applies
// them, owns the series path (the machine components, their data handlers and the protocol
// writer) and runs the close query that ends the program; the window passes on what the user
// does and owns the tray icon with its two menus. It is normally hidden; the tray icon brings it
// up.
//
// Edits stay in the controls until they are applied (SteuerelementeUebernehmen) or discarded
// (SteuerelementeLaden). Two things take effect at once: the profile name typed into the
// profile box (renaming, deleting), and the separator kind shown on the page
// "Datensatz-Einstellungen".
class Einstellungsfenster : public QWidget, public Einstellungsansicht {
    Q_OBJECT

    // Made first: the machine components below are its series path's.
    class Logik;
    const std::unique_ptr<Logik> m_logik;

public:
    // Builds the window, then starts the logic: own state, tray icon, separator table, profiles
    // (the default profile when none can be loaded), profile box, element table, record writer,
    // controls, machine, and the page "Info".
    Einstellungsfenster(Profilliste& liste, std::string startverzeichnis, QWidget* parent = nullptr);
    ~Einstellungsfenster() override;

    // Set when no profile could be loaded and the default profile was made: the window then
    // stays open after start.
    bool Ersteinrichtung() const;
    const std::string& Startverzeichnis() const;
    std::string configPath() const;

    // Copies the active profile into the controls.
    void SteuerelementeLaden();
    // Copies the controls into the active profile; false only when nothing was applied (the
    // question about the protocol file refused, a port name that does not fit, or a new file
    // name that cannot work).
    virtual bool SteuerelementeUebernehmen();
    // True when the controls show exactly the active profile.
    virtual bool Aenderungspruefung();
    // Closes all machine ports, waits 300 ms and opens the machine of the active profile.
    void MaschineAnmelden();

    // Applies the controls to the active profile, makes the profile at index active and loads it
    // into the controls. The machine is not reconnected.
    void ProfilWaehlen(int index);

    // The close query: asks, applies on consent, saves the profiles, removes the tray icon.
    // Returns whether the program may end.
    bool CloseQuery();
    // Saves the profiles; a failure is reported with a message box when report is set.
    bool ProfileSpeichern(bool report);
    // The end of the desktop session (or SIGTERM): nobody can answer, so the profiles are saved
    // without asking, the tray icon removed and the event loop ended.
    void OhneFrageBeenden();

    // Why the protocol file named in the file name field (or the default one that could not be
    // stored) cannot be used; empty when it can.
    std::string DateinameFehler() const;
    // Tells the user when the file name cannot be used, and puts the focus into the field on
    // the page "Allgemeine Einstellungen". Returns whether the name can be used.
    bool DateinameMelden();

    // A machine reported an error: unless the overwrite warning is open, the window comes up on
    // the page "Allgemeine Einstellungen". (Closing the ports and the message are the caller's.)
    void VorMaschinenfehler();

    // The column titles of the header line of a new protocol file: the captions of the record
    // list "Datensatz für 1 Schuss" as shown now (Windows-1252), in output order.
    std::vector<std::string> DatensatzTitel() const;
    // The series path of the window; its protocol writer's header line takes DatensatzTitel().
    Serienpfad& Pfad() const;
    TProtokollAusgabe& Ausgabe() const;

    int Profilindex() const;
    // The settings logic the window is a view of.
    Einstellungslogik& logik() const;

    Ui::Einstellungsfenster* ui() const { return m_ui.get(); }
    QMenu* Traymenue() const { return m_traymenue; }
    QMenu* Profilmenue() const { return m_profilmenue; }
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }

public slots:
    void DurchsuchenClick();     // "Durchsuchen"
    void UebernehmenClick();     // "Übernehmen"
    void AbbrechenClick();       // "Abbrechen"
    void ProgrammBeendenClick(); // "Programm beenden"
    void NeuesProfilClick();     // "Neues Profil"
    void NeuAnmeldenClick();     // "Neu an Ringlesemaschine anmelden"
    void MaschinentestClick();   // "Maschinentest"
    void MaschinensucheClick();  // "Maschinensuche"

    // The record layout editor.
    void HinzufuegenClick(); // "> Hinzufügen >"
    void EntfernenClick();   // "< Entfernen <"
    void NachObenClick();
    void NachUntenClick();
    void TrennzeichenartwahlClick(int index);

    // The tray icon and its menus.
    void TrayIconClick(QSystemTrayIcon::ActivationReason reason);
    void EinstellungenClick(); // shows the window and gives it the focus
    void ProfilmenueBauen();   // rebuilds the profile menu
    void ProfilmenueClick(QAction* item);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Configures and opens the machine of the active profile (the second half of MaschineAnmelden).
    virtual void MaschineOeffnen();
    // Closes the ports of all machine components.
    virtual void MaschinenSchliessen();
    // A machine component reports that its machine does not answer: the series path shows the
    // window, closes all machine ports and tells the user which machine was not found.
    void TfxError(TCustomComPort* Sender, int32_t ErrorCode);

    Profilliste& m_liste;

    // The view's side, for the logic.
    void fuelleMaschinenwahl(const std::vector<std::string>& eintraege) override;
    void fuelleTrennzeichenliste(const std::array<std::string, 4>& titel,
                                 const std::vector<std::array<std::string, 4>>& zeilen) override;
    void zeigeText(Feld feld, const std::string& text) override;
    void zeigeWahl(Wahl wahl, int index) override;
    void zeigeSchalter(Schalter schalter, bool an) override;
    void setzeSchalterAktiv(Schalter schalter, bool aktiv) override;
    void setzeNeuAnmeldenAktiv(bool aktiv) override;
    void zeigePort(const std::string& port) override;
    void zeigeProfile(const std::vector<std::string>& namen, int gewaehlt) override;
    void fokusInProfilbox() override;
    void zeigeListe(Liste liste, const std::vector<std::string>& zeilen) override;
    void waehleZeile(Liste liste, int zeile, bool fokus) override;
    void waehleTrennzeichen(int code) override;
    void setzeFokus(Feld feld) override;
    void zeigeSeite(Seite seite) override;
    void setzeSeiteSichtbar(Seite seite, bool sichtbar) override;
    void zeigeErsteinrichtungHinweis(bool zeigen) override;
    std::string feldText(Feld feld) const override;
    int wahl(Wahl wahl) const override;
    bool schalter(Schalter schalter) const override;
    std::string port() const override;
    std::vector<std::string> gelistetePorts() const override;
    int gewaehlteZeile(Liste liste) const override;
    int gewaehltesTrennzeichen() const override;
    void zeigeFenster(bool aktivieren) override;
    void versteckeFenster() override;
    bool fensterSichtbar() const override;
    void trayIconHinzufuegen() override;
    void trayIconEntfernen() override;
    void zeigeVerbindung(bool verbunden, const std::string& tipp) override;
    void oeffneProfilmenue() override;
    void oeffneTraymenue() override;
    int frage(const std::string& text, const std::string& titel, unsigned flags) override;
    // The save dialog of "Durchsuchen", preset with the given path; returns the chosen path, or
    // an empty text when the user cancelled.
    std::string speichernDialog(const std::string& vorgabe) override;
    void sanduhr(bool an) override;

private:
    void setupControls();
    void setupMenus();
    // The order of Tab, once every control is there.
    void setzeTabReihenfolge();

    QLineEdit* edit(Feld feld) const;
    QTreeWidget* liste(Liste liste) const;
    QWidget* seite(Seite seite) const;
    // The profile items of the profile menu in profile order, through its submenus.
    QList<QAction*> profilmenueEintraege() const;

    std::unique_ptr<Ui::Einstellungsfenster> m_ui;
    bool m_dateinamePruefungGeplant = false;
    bool m_ending = false;
    bool m_sanduhr = false;

    QSystemTrayIcon* m_trayIcon = nullptr;
    bool m_verbunden = true; // what the icon shows
    QString m_tipp = QStringLiteral("Ringlesemaschine");
    QMenu* m_traymenue = nullptr;
    QMenu* m_profilmenue = nullptr;
};
