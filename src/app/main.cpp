// Trefflux: the program's entry.

#include "Desktop.h"
#include "PlatformFile.h"
#include "Programm.h"
#include "QtDesktop.h"
#include "SignalWatcher.h"
#include "Win1252.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// "trefflux --headless ...": the program without a window takes over this process (exec), so
// that no Qt GUI library stays mapped. It lies beside this program; else it is looked up in PATH.
int ohneFenster(int argc, char* argv[]) {
    std::vector<char*> args{const_cast<char*>("trefflux-headless")};
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") != 0)
            args.push_back(argv[i]);
    args.push_back(nullptr);
    std::string selbst(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", selbst.data(), selbst.size() - 1);
    if (n > 0) {
        selbst.resize(static_cast<std::size_t>(n));
        const std::string nebenan = selbst.substr(0, selbst.rfind('/') + 1) + "trefflux-headless";
        ::execv(nebenan.c_str(), args.data());
    }
    ::execvp("trefflux-headless", args.data());
    std::fprintf(stderr, "trefflux: trefflux-headless kann nicht gestartet werden: %s\n",
                 platform::systemErrorText(errno).c_str());
    return 1;
}

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
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0)
            return ohneFenster(argc, argv);
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
