#pragma once

#include "Einstellungsansicht.h"
#include "Profilliste.h"

#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class Einstellungslogik;
class QAction;
class QLineEdit;
class QMenu;
class QTreeWidget;

namespace Ui {
class Einstellungsfenster;
}

// The settings window: the program's main window, the Qt view of the settings logic
// (Einstellungslogik). What the window does is the logic's: it shows the active profile in the
// window's controls, applies them, owns the series path and runs the close query that ends the
// program. The window passes on what the user does, maps the logic's calls onto its widgets
// (EinstellungsfensterAnsicht.cpp) and owns the tray icon with its two menus
// (EinstellungsfensterTray.cpp). It is normally hidden; the tray icon brings it up.
class Einstellungsfenster : public QWidget {
    Q_OBJECT

public:
    // Makes the logic of a window: a test gives one that stands in for parts of it (the change
    // test, applying, opening and closing the machine).
    using Logikbau =
        std::function<std::unique_ptr<Einstellungslogik>(Profilliste&, std::string, Einstellungsansicht&)>;

    // Builds the window, then starts the logic: own state, tray icon, separator table, profiles
    // (the default profile when none can be loaded), profile box, element table, record writer,
    // controls, machine, and the page "Info".
    Einstellungsfenster(Profilliste& liste, std::string startverzeichnis, const Logikbau& logikbau = {});
    ~Einstellungsfenster() override;

    // The settings logic the window is a view of.
    Einstellungslogik& logik() const { return *m_logik; }

    Ui::Einstellungsfenster* ui() const { return m_ui.get(); }
    QMenu* Traymenue() const { return m_traymenue; }
    QMenu* Profilmenue() const { return m_profilmenue; }
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }

    // The end of the desktop session (or SIGTERM): nobody can answer, so the profiles are saved
    // without asking, the tray icon removed and the event loop ended.
    void OhneFrageBeenden();

public slots:
    void ProgrammBeendenClick(); // "Programm beenden": a request to close the window

    // The tray icon and its profile menu.
    void TrayIconClick(QSystemTrayIcon::ActivationReason reason);
    void ProfilmenueBauen(); // rebuilds the profile menu
    void ProfilmenueClick(QAction* item);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The save dialog of "Durchsuchen", preset with the given path; returns the chosen path, or
    // an empty text when the user cancelled.
    virtual std::string speichernDialog(const std::string& vorgabe);

private:
    // The window as the logic sees it (EinstellungsfensterAnsicht.cpp).
    class Ansicht;
    static std::unique_ptr<Einstellungsansicht> ansichtBauen(Einstellungsfenster& fenster);

    void setupControls();
    void setupMenus();
    // The order of Tab, once every control is there.
    void setzeTabReihenfolge();

    QLineEdit* edit(Feld feld) const;
    QTreeWidget* liste(Liste liste) const;
    QWidget* seite(Seite seite) const;
    // The profile items of the profile menu in profile order, through its submenus.
    QList<QAction*> profilmenueEintraege() const;

    // Made before the logic, which is given it.
    const std::unique_ptr<Einstellungsansicht> m_ansicht;
    const std::unique_ptr<Einstellungslogik> m_logik;
    std::unique_ptr<Ui::Einstellungsfenster> m_ui;
    bool m_dateinamePruefungGeplant = false;
    bool m_ending = false;

    QSystemTrayIcon* m_trayIcon = nullptr;
    bool m_verbunden = true; // what the icon shows
    QString m_tipp = QStringLiteral("Ringlesemaschine");
    QMenu* m_traymenue = nullptr;
    QMenu* m_profilmenue = nullptr;
};
