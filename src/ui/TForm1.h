#pragma once

#include "Profilliste.h"

#include <QSystemTrayIcon>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLineEdit;
class QMenu;
class Serienpfad;
class TProtokollAusgabe;
class TRikaCom;
class TRm3WinCom;
class TSamCom;
class TCustomComPort;

namespace Ui {
class TForm1;
}

// The settings window: the program's main window. It shows the active profile in its controls,
// owns the series path (the machine components, their data handlers and the protocol writer)
// and the tray icon with its two menus, and runs the close query that ends the program. It is
// normally hidden; the tray icon brings it up.
//
// Edits stay in the controls until they are applied (SteuerelementeUebernehmen) or discarded
// (SteuerelementeLaden). Two things take effect at once: the profile name typed into the
// profile box (renaming, deleting), and the separator kind shown on the page
// "Datensatz-Einstellungen".
class TForm1 : public QWidget {
    Q_OBJECT

    // Made first: the machine components below are its own.
    const std::unique_ptr<Serienpfad> m_pfad;

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

    // Applies the controls to the active profile, makes the profile at index active and loads it
    // into the controls. The machine is not reconnected.
    void ProfilWaehlen(int index);

    // The close query: asks, applies on consent, saves the profiles, removes the tray icon.
    // Returns whether the program may end.
    bool CloseQuery();
    // Saves the profiles; a failure is reported with a message box when report is set.
    bool saveProfiles(bool report);
    // The end of the desktop session (or SIGTERM): nobody can answer, so the profiles are saved
    // without asking, the tray icon removed and the event loop ended.
    void endWithoutAsking();

    // Why the protocol file named in the file name field (or the default one that could not be
    // stored) cannot be used; empty when it can.
    std::string DateinameFehler() const;
    // Tells the user when the file name cannot be used, and puts the focus into the field on
    // the page "Allgemeine Einstellungen". Returns whether the name can be used.
    bool DateinameMelden();

    // A machine reported an error: unless the overwrite warning is open, the window comes up on
    // the page "Allgemeine Einstellungen". (Closing the ports and the message are the caller's.)
    void showAfterMachineError();

    // The column titles of the header line of a new protocol file: the captions of the record
    // list "Datensatz für 1 Schuss" as shown now (Windows-1252), in output order.
    std::vector<std::string> DatensatzTitel() const;
    // The series path of the window; its protocol writer's header line takes DatensatzTitel().
    Serienpfad& Pfad() const { return *m_pfad; }
    TProtokollAusgabe& Ausgabe() const;

    int Profilindex() const { return m_profilindex; }

    // The machine components of the series path, alive as long as the window. At most one has
    // its port open: the one of the active profile's machine. (Their headers are not included
    // here: the serial layer's headers must come before any Qt header, see TForm1.cpp.)
    const std::unique_ptr<TRikaCom>& RikaCom1;
    const std::unique_ptr<TSamCom>& SamCom1;
    const std::unique_ptr<TRm3WinCom>& Rm3WinCom1;

    Ui::TForm1* ui() const { return m_ui.get(); }
    QMenu* PopupMenu1() const { return m_popupMenu1; }
    QMenu* PopupMenu2() const { return m_popupMenu2; }
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }

public slots:
    void Button1Click();              // "Durchsuchen"
    void Button2Click();              // "Übernehmen"
    void Button3Click();              // "Abbrechen"
    void Button4Click();              // "Programm beenden"
    void Button5Click();              // "Neues Profil"
    void Button6Click();              // "Neu an Ringlesemaschine anmelden"
    void ButtonMaschTestClick();      // "Maschinentest"
    void ButtonMaschinensucheClick(); // "Maschinensuche"

    // The record layout editor.
    void LoadButtonClick(); // "> Hinzufügen >"
    void DelButtonClick();  // "< Entfernen <"
    void UpButtonClick();
    void DownButtonClick();
    void RadioGroup4Click(int index);

    // The tray icon and its menus.
    void TrayIconMessage(QSystemTrayIcon::ActivationReason reason);
    void Wiederherstellen1Click(); // shows the window and gives it the focus
    void PopupMenu2Popup();        // rebuilds the profile menu
    void ProfilMenuItemClick(QAction* item);

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
    virtual void addTrayIcon();
    virtual void removeTrayIcon();
    // The save dialog of "Durchsuchen", preset with the given path; returns the chosen path, or
    // an empty text when the user cancelled.
    virtual QString saveFileDialog(const QString& preset);

    void fillProfileBox();

    Profilliste& m_liste;

private:
    void setupControls();
    void setupMenus();
    // The window comes up before the series path's messages.
    void setupMaschinen();
    void fillTrennzeichenliste();
    void RadioGroup1Click(int index);
    void RadioGroup2Click(int index);

    // The profile box: leaving it (or opening its list) renames or deletes the profile.
    void ComboBox2Exit(bool listeOeffnet);
    void ComboBox2Select(int index);
    // True when the port name fits the profile's field; otherwise the user is told.
    static bool portnamePasst(const std::string& port);
    // The port of a new default profile: the first listed port that fits the profile's field, or
    // "" when there is none.
    std::string standardPort() const;
    // The one line on the page "Allgemeine Einstellungen" that tells a first-time user what to do.
    void zeigeErsteinrichtungHinweis(bool zeigen);
    // The ports the machine search tries: the port shown in the box when the list does not hold
    // it (a typed or stored one), then every listed port.
    std::vector<std::string> suchPorts() const;
    // The profile items of the profile menu in profile order, through its submenus.
    QList<QAction*> profilMenuEintraege() const;

    // Number fields: the range check on leaving, and the one before applying.
    struct Zahlenfeld {
        QLineEdit* edit;
        int min;
        int max;
        const char* standard;
    };
    std::array<Zahlenfeld, 3> zahlenfelder() const;
    // Puts the default back into a field whose value is out of range; true when it did.
    static bool pruefeZahlenfeld(const Zahlenfeld& feld);

    // The separator list: the selected row (the code), or -1.
    int selectedTrennzeichen() const;
    void zeigeTrennzeichen(int32_t code);
    // The element numbers of the rows of a list (ElementeListView or DatensatzListView).
    std::vector<int> elementCodes(bool datensatz) const;
    void fillElementList(bool datensatz, const std::array<int8_t, 6>& werte);

    std::unique_ptr<Ui::TForm1> m_ui;
    std::string m_startverzeichnis;
    bool m_ersteinrichtung = false;
    std::string m_verworfenerStandardname; // the default protocol file, when no profile can hold its name
    bool m_dateinamePruefungGeplant = false;
    bool m_ending = false;
    int m_profilindex = -1;
    std::string m_profilnameEingabe;

    // Working copies of the active profile's three Reserviert values (low 8 bits) and its three
    // separator codes; the layout editor edits the codes here until they are applied.
    std::array<int8_t, 3> m_reserviert{};
    std::array<int32_t, 3> m_trennzeichen{};

    // Set at a first start until the machine is signed on for the first time: the default
    // profile's machine and port are a guess, so nothing is opened before the user has applied.
    bool m_anmeldungAusstehend = false;

    QSystemTrayIcon* m_trayIcon = nullptr;
    QMenu* m_popupMenu1 = nullptr;
    QMenu* m_popupMenu2 = nullptr;
};
