#include "Programm.h"

#include "ConfigFile.h"
#include "Desktop.h"
#include "Einstellungsfenster.h"
#include "InstanceLock.h"
#include "PlatformFile.h"
#include "QtMainThread.h"
#include "Serienjournal.h"
#include "Serienpfad.h"
#include "SignalWatcher.h"
#include "Uebertragungslog.h"
#include "Win1252.h"

#include <QApplication>
#include <QSessionManager>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>
#include <cstring>
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

std::string sperrdateiFehler(const InstanceLock& sperre) {
    return "Die Sperrdatei, die einen zweiten Start verhindert,\n\r" + utf8ToWin1252(sperre.path()) +
           "\n\rkann nicht ge\xF6"
           "ffnet werden:\n\r" +
           utf8ToWin1252(platform::systemErrorText(sperre.error()));
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

    // 1. single instance: nothing else happens on this path
    InstanceLock instance("DuzavozozMutex");
    if (!instance.acquire()) {
        if (instance.heldElsewhere())
            desktop().messageBox(kLaeuftBereits, "Meldung", Mb::Ok);
        else
            desktop().messageBox(sperrdateiFehler(instance), "Fehler", Mb::Ok | Mb::IconError);
        return 0;
    }

    // The transmission log of this instance, until the end. One that cannot be written is told
    // once and otherwise left alone; so is the journal.
    const auto melden = [](const std::string& text) {
        std::fprintf(stderr, "trefflux: %s\n", text.c_str());
        MainThread::post(
            [text] { desktop().messageBox(utf8ToWin1252(text), "Hinweis", Mb::Ok | Mb::IconWarning); });
    };
    struct LogEnde {
        ~LogEnde() { setUebertragungslog(nullptr); }
    } logEnde;
    uebertragungslogStarten({}, melden);

    // 2. start directory (any length), 3. version test
    const std::string startverzeichnis = currentDirectory();
    const std::string konfiguration = ConfigFile::path(startverzeichnis);
    if (!ConfigFile::startPruefung(konfiguration))
        return 0;
    if (beenden)
        return 0;
    // 4. the application
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("Ringlesemaschine"));

    QtMainThread mainThread;
    // The journal of this instance: what the machine hands over is on disk until it is written.
    struct JournalEnde {
        ~JournalEnde() { setSerienjournal(nullptr); }
    } journalEnde;
    serienjournalStarten(startverzeichnis, {}, melden);
    Profilliste profile;
    try {
        // 5. the settings window (6. the overwrite warning belongs to the desktop)
        Einstellungsfenster form(profile, startverzeichnis);
        fertig = &form;
        QObject::connect(qApp, &QGuiApplication::commitDataRequest, &form,
                         [&form, &beenden](QSessionManager&) {
                             beenden = true;
                             form.OhneFrageBeenden();
                         });

        if (beenden) {
            form.OhneFrageBeenden();
        } else {
            // 7. hidden unless first start; shown where the desktop has no tray, so the program
            // can always be reached, and where the protocol file's name cannot work, so the user
            // can choose another at once.
            if (form.Ersteinrichtung() || !QSystemTrayIcon::isSystemTrayAvailable() ||
                !form.DateinameFehler().empty())
                form.show();
            else
                form.hide();

            if (started)
                QTimer::singleShot(0, &form, [&form, &started] { started(form); });
            // 8. the loop, until the settings window closed
            QApplication::exec();
        }

        // Series that never reached the protocol file and the shots of an unfinished series go
        // to files of their own; the next start tells of them.
        form.Pfad().MaschinenSchliessen();
        const Serienpfad::Abschluss abschluss = form.Pfad().Abschliessen(startverzeichnis, true);
        const auto sagen = [&beenden](const std::string& text, const char* titel, unsigned flags) {
            std::fprintf(stderr, "trefflux: %s\n", win1252ToUtf8(text).c_str());
            if (!beenden) // someone is there to read it
                desktop().messageBox(text, titel, Mb::Ok | flags);
        };
        for (const std::string& text : abschluss.fehler)
            sagen(text, "Fehler", Mb::IconError);
        if (!abschluss.gemerkt) // without a journal the next start cannot tell
            for (const std::string& text : abschluss.meldungen)
                sagen(text, "Meldung", Mb::IconWarning);
        fertig = nullptr;
    } catch (const std::exception& e) {
        fertig = nullptr;
        desktop().messageBox(utf8ToWin1252(e.what()), "Fehler", Mb::Ok | Mb::IconError);
    } catch (...) {
        fertig = nullptr;
        desktop().messageBox("Unbekannte Exception", "Fehler", Mb::Ok | Mb::IconError);
    }
    // 9. release the guard, once the journal is closed
    setSerienjournal(nullptr);
    instance.release();
    return 0;
}
