#include "Serienpfad.h"

#include "ConfigFile.h"
#include "Einstellungsfenster.h"
#include "Einstellungslogik.h"
#include "InstanceLock.h"
#include "Programm.h"
#include "ProtokollAusgabe.h"
#include "QtDesktop.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"
#include "StartFolder.h"
#include "Uebertragungslog.h"
#include "ui_Einstellungsfenster.h"

#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

class ProgrammTest : public QObject {
    Q_OBJECT

    // The questions and messages shown, leaving out any report that a port cannot be opened (a
    // first start opens none).
    std::vector<ScriptedDesktop::Box> fragen() const {
        std::vector<ScriptedDesktop::Box> result;
        for (const auto& box : m_desk->boxes)
            if (box.text.rfind("Schnittstelle ", 0) != 0)
                result.push_back(box);
        return result;
    }

    // Stores one profile whose protocol file is the given name (Windows-1252) and that opens no
    // port, so nothing but the protocol file speaks at start.
    void speichereProfil(const std::string& dateiname) const {
        QVERIFY(writeProfiles(m_start, {[&](Profil& p) {
                                  setText(p.Dateiname, dateiname);
                                  p.Maschine = -1;
                                  p.Datensatz = {2, 3, -1, -1, -1, -1};
                              }}));
    }
    bool gezeigt(const std::string& teil) const {
        for (const auto& box : m_desk->boxes)
            if (box.text.find(teil) != std::string::npos)
                return true;
        return false;
    }
    static std::string lies(const std::string& pfad) {
        std::ifstream in(pfad, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Two shots, 10.4 / 123.4 and 9.7 / 5.0: "10,4;123,4;\n9,7; 5,0;\n\n" in the file.
    static TSerienDatensatz beispielserie() {
        TSerienDatensatz serie;
        serie.Schusszahl = "2";
        serie.Schuesse.resize(2);
        serie.Schuesse[0].Ringwert = "104";
        serie.Schuesse[0].Teiler = "01234";
        serie.Schuesse[1].Ringwert = "097";
        serie.Schuesse[1].Teiler = "00050";
        return serie;
    }

private slots:
    void init() {
        m_dir = std::make_unique<ScratchDir>("start");
        m_runtime = std::make_unique<ScratchDir>("run");
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(m_runtime->path()));
        // the transmission log and the journal of the program started here
        qputenv("XDG_STATE_HOME", QByteArray::fromStdString(m_runtime->path()));
        QVERIFY(::chdir(m_dir->path().c_str()) == 0);
        m_start = fs::current_path().string();
        m_desk = std::make_unique<ScriptedDesktop>();
    }
    void cleanup() {
        m_desk.reset();
        QVERIFY(::chdir("/") == 0);
        m_dir.reset();
        m_runtime.reset();
    }

    void secondInstanceShowsTheMessageAndTouchesNothing() {
        InstanceLock first("DuzavozozMutex");
        QVERIFY(first.acquire());
        bool started = false;
        QCOMPARE(runTrefflux([&](Einstellungsfenster&) { started = true; }), 0);
        QVERIFY(!started);
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(m_desk->boxes[0].text, std::string(kLaeuftBereits));
        QCOMPARE(m_desk->boxes[0].title, std::string("Meldung"));
        QVERIFY(fs::is_empty(m_start));
    }

    void terminationSavesTheDefaultProfileWithoutAsking() {
        QCOMPARE(runTrefflux([](Einstellungsfenster&) { std::raise(SIGTERM); }), 0);
        QVERIFY(fragen().empty());
        const auto file = ConfigFile::path(m_start);
        QCOMPARE(fs::file_size(file), std::uintmax_t(757));
        Profilliste saved;
        QVERIFY(ConfigFile::Load(file, saved));
        // the default profile, on the first port this computer has
        QCOMPARE(saved[0], Profil::standard(m_start, text(saved[0].Port)));
        // The guard was released: a next start runs.
        InstanceLock next("DuzavozozMutex");
        QVERIFY(next.acquire());
    }

    void anOldVersionIsKeptOnCancelAndReplacedOnOk() {
        const auto file = ConfigFile::path(m_start);
        std::vector<char> old(1 + 756, 'x');
        old[0] = 1;
        {
            std::ofstream out(file, std::ios::binary);
            out.write(old.data(), static_cast<std::streamsize>(old.size()));
        }
        m_desk->boxAnswers = {IdCancel};
        bool started = false;
        QCOMPARE(runTrefflux([&](Einstellungsfenster&) { started = true; }), 0);
        QVERIFY(!started);
        QCOMPARE(m_desk->boxes.back().text, std::string(kVeralteteVersion));
        std::ifstream in(file, std::ios::binary);
        QVERIFY(std::vector<char>(std::istreambuf_iterator<char>(in), {}) == old);

        m_desk->boxAnswers = {IdOk};
        QCOMPARE(runTrefflux([&](Einstellungsfenster& form) {
                     started = true;
                     QVERIFY(form.logik().Ersteinrichtung());
                     form.OhneFrageBeenden();
                 }),
                 0);
        QVERIFY(started);
        Profilliste saved;
        QVERIFY(ConfigFile::Load(file, saved));
        QCOMPARE(saved.size(), std::size_t(1));
        QCOMPARE(text(saved[0].Name), std::string("Standardprofil"));
    }

    void anEmptyFileAsksNothingAndStartsWithTheDefaultProfile() {
        std::ofstream(ConfigFile::path(m_start)).close();
        QCOMPARE(runTrefflux([](Einstellungsfenster& form) {
                     QVERIFY(form.logik().Ersteinrichtung());
                     QVERIFY(form.isVisible());
                     form.OhneFrageBeenden();
                 }),
                 0);
        QVERIFY(fragen().empty());
        QCOMPARE(fs::file_size(ConfigFile::path(m_start)), std::uintmax_t(757));
    }

    void endingThroughTheWindowAsksFirst() {
        m_desk->boxAnswers = {IdNo, IdYes}; // a first start opens no port: no report before
        QCOMPARE(runTrefflux([](Einstellungsfenster& form) {
                     form.ProgrammBeendenClick(); // "Wirklich beenden ?" No: goes on
                     QVERIFY(!fs::exists(form.logik().configPath()));
                     form.ProgrammBeendenClick(); // Yes
                 }),
                 0);
        QCOMPARE(fragen().size(), std::size_t(2));
        QCOMPARE(fs::file_size(ConfigFile::path(m_start)), std::uintmax_t(757));
    }

    // SIGTERM, SIGINT and SIGHUP end the program while a start-up question is open; the
    // question's loop ends, and neither the file nor the start directory is touched.
    void aSignalDuringAStartUpQuestionEndsTheProgramAndTouchesNothing() {
        const auto file = ConfigFile::path(m_start);
        const std::string old = std::string(1, '\x01') + std::string(756, 'x');
        std::ofstream(file, std::ios::binary) << old;
        for (const int signo : {SIGTERM, SIGINT, SIGHUP}) {
            for (const bool zweiterStart : {false, true}) {
                InstanceLock first("DuzavozozMutex");
                if (zweiterStart)
                    QVERIFY(first.acquire());
                m_desk->boxes.clear();
                m_desk->boxAnswers = {IdOk}; // the answer that would go on, had the loop not ended
                m_desk->whileOpen = [signo] {
                    std::raise(signo);
                    QCoreApplication::processEvents(); // the question's own event loop
                };
                bool started = false;
                QCOMPARE(runTrefflux([&](Einstellungsfenster&) { started = true; }), 0);
                m_desk->whileOpen = {};
                QVERIFY(!started);
                QCOMPARE(m_desk->boxes.size(), std::size_t(1));
                QCOMPARE(m_desk->boxes[0].text,
                         std::string(zweiterStart ? kLaeuftBereits : kVeralteteVersion));
                QCOMPARE(lies(file), old);
                QCOMPARE(std::distance(fs::directory_iterator(m_start), {}), std::ptrdiff_t(1));
            }
        }
    }

    void aLockFileThatCannotBeOpenedIsReportedWithItsReason() {
        const std::string sperre = InstanceLock::pathFor("DuzavozozMutex");
        QVERIFY(fs::create_directory(sperre));
        bool started = false;
        QCOMPARE(runTrefflux([&](Einstellungsfenster&) { started = true; }), 0);
        QVERIFY(!started);
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(m_desk->boxes[0].title, std::string("Fehler"));
        QCOMPARE(m_desk->boxes[0].text, "Die Sperrdatei, die einen zweiten Start verhindert,\n\r" + sperre +
                                            "\n\rkann nicht ge\xF6"
                                            "ffnet werden:\n\r" +
                                            "Systemfehler 21");
        QVERIFY(fs::is_empty(m_start));
    }

    void aFifoInPlaceOfTheConfigurationFileDoesNotBlockTheStart() {
        const auto file = ConfigFile::path(m_start);
        QVERIFY(::mkfifo(file.c_str(), 0600) == 0);
        QCOMPARE(runTrefflux([](Einstellungsfenster& form) {
                     QVERIFY(form.logik().Ersteinrichtung());
                     form.OhneFrageBeenden();
                 }),
                 0);
        QVERIFY(gezeigt("Die Konfigurationsdatei\n\r" + file + "\n\rist keine gew\xF6hnliche Datei"));
        QVERIFY(fs::is_fifo(fs::symlink_status(file)));
    }

    // A series the file could not take is still kept when the program ends: it goes into a file
    // of its own in the start directory, and the next start (only the next) says so.
    void keptSeriesAtTheEndGoToAFileOfTheirOwnAndTheNextStartSaysSo() {
        speichereProfil(m_start + "/fehlt/Protokoll1.rls");
        QCOMPARE(runTrefflux([&](Einstellungsfenster& form) {
                     form.logik().Pfad().Ausgabe().WriteSeries(beispielserie());
                     form.OhneFrageBeenden();
                 }),
                 0);
        QVERIFY(gezeigt("Kann Protokolldatei nicht \xF6"
                        "ffnen\n\r" +
                        m_start + "/fehlt/Protokoll1.rls"));
        std::vector<std::string> notablagen;
        for (const auto& e : fs::directory_iterator(m_start))
            if (e.path().filename().string().starts_with("Trefflux-nicht-geschrieben-"))
                notablagen.push_back(e.path().string());
        QCOMPARE(notablagen.size(), std::size_t(1));
        QVERIFY(notablagen[0].ends_with(".rls"));
        QCOMPARE(lies(notablagen[0]), std::string("10,4;123,4;\n9,7; 5,0;\n\n"));

        for (const bool naechsterStart : {true, false}) {
            m_desk->boxes.clear();
            QCOMPARE(runTrefflux([](Einstellungsfenster& form) { form.OhneFrageBeenden(); }), 0);
            QCOMPARE(gezeigt("Beim letzten Beenden konnten Serien nicht in die Protokolldatei geschrieben "
                             "werden.\n\rSie stehen in:\n\r" +
                             notablagen[0]),
                     naechsterStart);
        }
    }

    // A protocol file name that cannot work is told at once in the settings window, which stays
    // open with the focus in the file name field until another name is applied; the default
    // profile never stores a mangled name.
    void aFileNameThatCannotWorkIsToldAtOnceInTheSettingsWindow() {
        const struct {
            const char* name;
            std::string unterordner;   // started from here (UTF-8)
            std::string dateiname;     // stored beforehand; none: first start
            std::string gezeigterName; // as the message names it (Windows-1252)
            std::string grund;
        } faelle[] = {
            {"Windows path", "", "C:\\Verein\\Protokoll1.rls", "C:\\Verein\\Protokoll1.rls", "Windows-Pfad"},
            {"start directory not in Windows-1252", "\xCE\xA9mega", "", "/?mega/Protokoll1.rls",
             "Zeichen, die in den Einstellungen nicht gespeichert werden k\xF6nnen"},
            {"start path longer than the field", std::string(250, 'a') + "/" + std::string(250, 'b'), "",
             std::string(250, 'a') + "/" + std::string(250, 'b') + "/Protokoll1.rls",
             "l\xE4nger als 511 Zeichen"},
        };
        const std::string basis = m_start;
        for (const auto& fall : faelle) {
            const std::string start = fall.unterordner.empty() ? basis : basis + "/" + fall.unterordner;
            fs::create_directories(start);
            QVERIFY(::chdir(start.c_str()) == 0);
            m_start = start;
            fs::remove(ConfigFile::path(start));
            if (!fall.dateiname.empty())
                speichereProfil(fall.dateiname);
            m_desk->boxes.clear();
            bool offen = false;
            QCOMPARE(
                runTrefflux([&](Einstellungsfenster& form) {
                    offen = form.isVisible();
                    QCOMPARE(form.ui()->Seiten->currentWidget(), form.ui()->SeiteAllgemein);
                    form.logik()
                        .UebernehmenClick(); // "Übernehmen" with the name as it is: told again, stays open
                    offen = offen && form.isVisible();
                    form.ui()->Dateiname->setText(QString::fromStdString(basis + "/gut.rls"));
                    form.logik().UebernehmenClick();
                    offen = offen && !form.isVisible();
                    form.OhneFrageBeenden();
                }),
                0);
            QVERIFY2(offen, fall.name);
            std::size_t meldungen = 0;
            for (const auto& box : m_desk->boxes) {
                if (box.title != "Fehler" ||
                    box.text.find("kann nicht verwendet werden") == std::string::npos)
                    continue;
                ++meldungen;
                QVERIFY2(box.text.find(fall.gezeigterName) != std::string::npos, box.text.c_str());
                QVERIFY2(box.text.find(fall.grund) != std::string::npos, box.text.c_str());
            }
            QCOMPARE(meldungen, std::size_t(2));
            Profilliste gespeichert;
            QVERIFY(ConfigFile::Load(ConfigFile::path(start), gespeichert));
            QCOMPARE(text(gespeichert[0].Dateiname), basis + "/gut.rls");
        }
        QVERIFY(::chdir(basis.c_str()) == 0);
        m_start = basis;
    }

    // One walk through the settings window as a user takes it, with the program's own message
    // boxes: Tab through the whole window on every page, a protocol file name the program
    // refuses and "Abbrechen", then a series the file cannot take (the box with its icon, the
    // lines of the transmission log) and its catch-up with the next series, which takes the box
    // away.
    void aWalkThroughTheWindow() {
        ScratchDir zustand("state");
        qputenv("XDG_STATE_HOME", QByteArray::fromStdString(zustand.path()));
        const std::string datei = m_start + "/fehlt/Protokoll1.rls";
        speichereProfil(datei);
        m_desk.reset();
        QtDesktop desk;
        struct Box {
            std::string text;
            QMessageBox::Icon symbol;
        };
        std::vector<Box> boxen;
        bool stehengeblieben = false;
        QCOMPARE(
            runTrefflux([&](Einstellungsfenster& form) {
                // The program ends also when a check fails.
                const std::unique_ptr<Einstellungsfenster, void (*)(Einstellungsfenster*)> ende(
                    &form, [](Einstellungsfenster* f) { f->OhneFrageBeenden(); });
                Ui::Einstellungsfenster& f = *form.ui();
                desk.onDialogShown = [&](QDialog& dialog) {
                    auto* box = qobject_cast<QMessageBox*>(&dialog);
                    QVERIFY(box);
                    boxen.push_back({box->text().toStdString(), box->icon()});
                    if (!box->text().startsWith(QStringLiteral("Kann Protokolldatei"))) {
                        box->button(QMessageBox::Ok)->click();
                        return;
                    }
                    // The file can be written again; the next series comes while the box
                    // is open.
                    fs::create_directories(m_start + "/fehlt");
                    QTimer::singleShot(
                        0, &form, [&form] { form.logik().Pfad().Ausgabe().WriteSeries(beispielserie()); });
                    QTimer::singleShot(10000, box, [box, &stehengeblieben] {
                        stehengeblieben = true;
                        box->button(QMessageBox::Ok)->click();
                    });
                };
                form.logik().EinstellungenClick();
                QVERIFY(QTest::qWaitForWindowActive(&form));

                // Tab: the profile row, the page tabs, the page from top left to bottom
                // right, the buttons; round to the profile box again.
                const QStringList vorn{"Profilbox", "NeuesProfil", "qt_tabwidget_tabbar"};
                const QStringList hinten{"Uebernehmen", "Abbrechen", "ProgrammBeenden"};
                const std::map<QWidget*, QStringList> seiten{
                    {f.SeiteAllgemein,
                     {"Dateiname", "Durchsuchen", "Dateiwahl", "Header", "Maschinenwahl", "Port",
                      "MonitorKnopf", "Maschinensuche", "NeuAnmelden", "Maschinentest"}},
                    {f.SeiteDatensatz,
                     {"Elementeliste", "Hinzufuegen", "Entfernen", "Datensatzliste", "NachOben", "NachUnten",
                      "Zehntelringe", "Trennzeichenartwahl", "Trennzeichenliste"}},
                    {f.SeiteInfo, {"Info"}},
                };
                for (const auto& [seite, mitte] : seiten) {
                    f.Seiten->setCurrentWidget(seite);
                    f.Profilbox->setFocus();
                    QStringList gegangen;
                    for (int i = 0; i < 40; ++i) {
                        QWidget* fokus = QApplication::focusWidget();
                        QVERIFY(fokus);
                        // a radio button stands for its group
                        QWidget* gruppe = qobject_cast<QRadioButton*>(fokus) ? fokus->parentWidget() : fokus;
                        gegangen << gruppe->objectName();
                        QTest::keyClick(fokus, Qt::Key_Tab);
                        if (QApplication::focusWidget() == f.Profilbox)
                            break;
                    }
                    QCOMPARE(gegangen.join(' '), (vorn + mitte + hinten).join(' '));
                }

                // A name that cannot work is refused at "Übernehmen" and never reaches the
                // profile; "Abbrechen" shows the profile's name again.
                f.Seiten->setCurrentWidget(f.SeiteAllgemein);
                f.Dateiname->setText(QStringLiteral("C:\\Verein\\Protokoll1.rls"));
                f.Uebernehmen->click();
                QVERIFY(form.isVisible());
                QCOMPARE(boxen.size(), std::size_t(1));
                QVERIFY(boxen[0].text.find("Windows-Pfad") != std::string::npos);
                QCOMPARE(boxen[0].symbol, QMessageBox::Critical);
                f.Abbrechen->click();
                QVERIFY(!form.isVisible());
                QCOMPARE(f.Dateiname->text().toStdString(), datei);

                // A series the file cannot take: told with the file and the reason, kept;
                // the next one, once the file can be written, writes both and takes the box
                // away.
                form.logik().Pfad().Ausgabe().WriteSeries(beispielserie());
                QVERIFY(!stehengeblieben);
                QCOMPARE(boxen.size(), std::size_t(2));
                QCOMPARE(boxen[1].text, "Kann Protokolldatei nicht \u00f6ffnen\n" + datei +
                                            "\nSystemfehler 2: nicht vorhanden\nDie Serie steht in der "
                                            "Zwischenablage. Sie wird aufbewahrt und in die Datei "
                                            "geschrieben, sobald das wieder m\u00f6glich ist.");
                QCOMPARE(boxen[1].symbol, QMessageBox::Critical);
                QCOMPARE(lies(datei), std::string("10,4;123,4;\n9,7; 5,0;\n\n10,4;123,4;\n9,7; 5,0;\n\n"));

                QVERIFY(uebertragungslog()->schreibenAbwarten());
                const std::string log = lies(uebertragungslog()->pfad());
                const std::string serie =
                    "Profil \xE2\x80\x9EStandardprofil\xE2\x80\x9C, 2 Schuss, Datei " + datei;
                std::size_t stelle = 0;
                for (const std::string& zeile :
                     {"* Fehler: Kann Protokolldatei nicht \xC3\xB6"
                      "ffnen: " +
                          datei + ": Systemfehler 2: nicht vorhanden\n",
                      "* Serie an die Ausgabe: " + serie +
                          ", aufbewahrt, bis die Datei wieder geschrieben werden kann\n",
                      "* Serie nachgetragen: " + serie + "\n", "* Serie an die Ausgabe: " + serie + "\n"}) {
                    stelle = log.find(zeile, stelle);
                    QVERIFY2(stelle != std::string::npos, (zeile + " fehlt in:\n" + log).c_str());
                }
            }),
            0);
        qunsetenv("XDG_STATE_HOME");
        Profilliste gespeichert;
        QVERIFY(ConfigFile::Load(ConfigFile::path(m_start), gespeichert));
        QCOMPARE(text(gespeichert[0].Dateiname), datei);
    }

private:
    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<ScratchDir> m_runtime;
    std::string m_start;
    std::unique_ptr<ScriptedDesktop> m_desk;
};

QTEST_MAIN(ProgrammTest)
#include "ProgrammTest.moc"
