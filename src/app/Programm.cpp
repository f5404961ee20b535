#include "Programm.h"

#include "ConfigFile.h"
#include "Desktop.h"
#include "InstanceLock.h"
#include "QtMainThread.h"
#include "SignalWatcher.h"
#include "TForm1.h"
#include "Win1252.h"

#include <QApplication>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QTimer>

#include <exception>
#include <filesystem>

const char* const kLaeuftBereits = "Programm\n\rTrefflux.exe\n\rl\xE4uft bereits!";
const char* const kVeralteteVersion =
    "Die Konfigurationsdatei wurde von einer veralteten Programmversion erstellt.\n\r"
    "Sie wird mit den Standardwerten \xFC"
    "berschrieben";

namespace {

std::string currentDirectory() {
    std::error_code ec;
    const auto dir = std::filesystem::current_path(ec);
    return ec ? std::string(".") : dir.string();
}

} // namespace

int runTrefflux(const std::function<void(TForm1&)>& started) {
    // 1. single instance: nothing else happens on this path
    InstanceLock instance("DuzavozozMutex");
    if (!instance.acquire()) {
        desktop().messageBox(kLaeuftBereits, "Meldung", Mb::Ok);
        return 0;
    }

    // 2. start directory (any length), 3. version test
    const std::string startverzeichnis = currentDirectory();
    if (ConfigFile::versionTest(ConfigFile::path(startverzeichnis)) == ConfigFile::Version::Other &&
        desktop().messageBox(kVeralteteVersion, "Meldung", Mb::OkCancel) == IdCancel)
        return 0;

    // 4. the application
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Ringlesemaschine"));

    QtMainThread mainThread;
    Profilliste profile;
    try {
        // A request to end (SIGTERM, SIGINT) is honoured at every moment: while the window is
        // being built (a message box may be open then) it ends the box's loop and the program
        // ends right after the window is complete.
        TForm1* fertig = nullptr;
        bool beenden = false;
        SignalWatcher signalWatcher;
        QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, [&] {
            beenden = true;
            if (fertig)
                fertig->endWithoutAsking();
            else
                QCoreApplication::exit(0);
        });

        // 5. the settings window (6. the overwrite warning belongs to the desktop)
        TForm1 form(profile, startverzeichnis);
        fertig = &form;
        QObject::connect(qApp, &QGuiApplication::commitDataRequest, &form,
                         [&form](QSessionManager&) { form.endWithoutAsking(); });

        if (beenden) {
            form.endWithoutAsking();
        } else {
            // 7. hidden unless first start; shown where the desktop has no tray, so the program
            // can always be reached.
            if (form.Ersteinrichtung() || !QSystemTrayIcon::isSystemTrayAvailable())
                form.show();
            else
                form.hide();

            if (started)
                QTimer::singleShot(0, &form, [&form, &started] { started(form); });
            // 8. the loop, until the settings window closed
            QApplication::exec();
        }
    } catch (const std::exception& e) {
        desktop().messageBox(utf8ToWin1252(e.what()), "Fehler", Mb::Ok | Mb::IconError);
    } catch (...) {
        desktop().messageBox("Unbekannte Exception", "Fehler", Mb::Ok | Mb::IconError);
    }
    // 9. release the guard
    instance.release();
    return 0;
}
