// Takes a picture of each of the four pages of the settings window into the folder given as the
// first argument (default: the current directory). Run it on a real display server (see
// screenshots.sh, which starts one with Xvfb) to see the window as a user sees it.

#include "ComComboBox.h"
#include "Einstellungsfenster.h"
#include "Einstellungslogik.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"
#include "ui_Einstellungsfenster.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(folder);

    ScratchDir start("screenshots");
    ScriptedDesktop desk;
    Profilliste liste;
    Einstellungsfenster form(liste, start.path());
    // Something in the record list, so its page shows both lists in use.
    form.ui()->Elementeliste->setCurrentItem(form.ui()->Elementeliste->topLevelItem(2));
    form.logik().HinzufuegenClick();
    form.logik().HinzufuegenClick();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        std::fprintf(stderr, "the window did not come up\n");
        return 1;
    }

    const char* const names[] = {"1-allgemein", "2-datensatz", "3-maschinen", "4-info"};
    for (int page = 0; page < 4; ++page) {
        form.ui()->Seiten->setCurrentIndex(page);
        QTest::qWait(100);
        const QString file = QDir(folder).filePath(QString::fromLatin1(names[page]) + QStringLiteral(".png"));
        if (!form.grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}
