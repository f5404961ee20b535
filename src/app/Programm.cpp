#include "Programm.h"

#include "ConfigFile.h"
#include "Desktop.h"
#include "Einstellungsfenster.h"
#include "Einstellungslogik.h"
#include "Programmlauf.h"
#include "QtMainThread.h"
#include "SignalWatcher.h"
#include "Win1252.h"

#include <QApplication>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QTimer>

#include <exception>
#include <filesystem>

const char* const kLaeuftBereits = "Programm\n\rtrefflux\n\rl\xE4uft bereits!";
const char* const kVeralteteVersion = ConfigFile::VeralteteVersionMeldung;

namespace {

std::string currentDirectory() {
    std::error_code ec;
    const auto dir = std::filesystem::current_path(ec);
    return ec ? std::string(".") : dir.string();
}

} // namespace

int runTrefflux(const std::function<void(Einstellungsfenster&)>& started) {
    // A request to end (SIGTERM, SIGINT, SIGHUP) is honoured at every moment. While a start-up
    // question is open it ends the question's loop and the program, which touches nothing then;
    // while the window is being built (a message box may be open then) it ends the box's loop
    // and the program ends right after the window is complete; afterwards it saves the profiles
    // without asking.
    Einstellungsfenster* fertig = nullptr;
    bool beenden = false;
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, [&] {
        beenden = true;
        if (fertig)
            fertig->OhneFrageBeenden();
        else
            QCoreApplication::exit(0);
    });

    QtMainThread mainThread;
    // 1. single instance, 2. start directory, 3. version test
    Programmlauf lauf;
    if (lauf.fensterprogrammStarten(
            {kLaeuftBereits, [] { return currentDirectory(); }, [&beenden] { return beenden; }}))
        return 0;
    // 4. the application
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Ringlesemaschine"));

    Profilliste profile;
    try {
        // 5. the settings window (6. the overwrite warning belongs to the desktop)
        Einstellungsfenster form(profile, lauf.Startverzeichnis());
        fertig = &form;
        QObject::connect(qApp, &QGuiApplication::commitDataRequest, &form,
                         [&form, &beenden](QSessionManager&) {
                             beenden = true;
                             form.OhneFrageBeenden();
                         });

        if (beenden) {
            form.OhneFrageBeenden();
        } else {
            // 7. hidden unless the logic wants it up; shown where the desktop has no tray, so
            // the program can always be reached.
            if (form.logik().FensterBeimStart() || !QSystemTrayIcon::isSystemTrayAvailable())
                form.show();
            else
                form.hide();

            if (started)
                QTimer::singleShot(0, &form, [&form, &started] { started(form); });
            // 8. the loop, until the settings window closed
            QApplication::exec();
        }
        form.logik().Abschliessen(!beenden); // someone is there to read it
        fertig = nullptr;
    } catch (const std::exception& e) {
        fertig = nullptr;
        desktop().messageBox(utf8ToWin1252(e.what()), "Fehler", Mb::Ok | Mb::IconError);
    } catch (...) {
        fertig = nullptr;
        desktop().messageBox("Unbekannte Exception", "Fehler", Mb::Ok | Mb::IconError);
    }
    // 9. the journal closed, the guard released (the run's end)
    return 0;
}
