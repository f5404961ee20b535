// Trefflux: the program's entry.

#include "Desktop.h"
#include "Programm.h"
#include "QtDesktop.h"
#include "SignalWatcher.h"
#include "Win1252.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <exception>

namespace {

// Exceptions must not cross the event loop: they are reported where they happen.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            desktop().messageBox(utf8ToWin1252(e.what()), "Fehler", Mb::Ok | Mb::IconError);
        } catch (...) {
            desktop().messageBox("Unbekannte Exception", "Fehler", Mb::Ok | Mb::IconError);
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    SignalWatcher::installHandlers();
    TApplication app(argc, argv);
    // The standard buttons of the message boxes and dialogs speak German, as the program does.
    QTranslator qtGerman;
    if (qtGerman.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtGerman);
    QtDesktop qtDesktop;
    setDesktop(&qtDesktop);
    const int code = runTrefflux();
    setDesktop(nullptr);
    return code;
}
