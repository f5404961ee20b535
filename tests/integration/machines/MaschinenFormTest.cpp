// The settings window's machine handling: opening the active profile's machine at start, the
// message when its port cannot be opened, and TfxError, with stand-in machines on
// pseudo-terminals.

// The machine components and the stand-in machines.
#include "DisagCom.h"
#include "RikaCom.h"
#include "RikaMachine.h"
#include "SamCom.h"
#include "SamMachine.h"
#include "Serienpfad.h"
#include "SimLine.h"

#include "Einstellungsfenster.h"
#include "Einstellungslogik.h"
#include "Profilliste.h"
#include "QtMainThread.h"
#include "ScriptedDesktop.h"
#include "StartFolder.h"

#include <QtTest>

namespace {

using Form = Einstellungsfenster;

std::unique_ptr<SimLine> standIn(std::unique_ptr<SimMachine> machine) {
    std::string error;
    auto line = SimLine::openPty(std::move(machine), error);
    if (line)
        line->start();
    return line;
}

} // namespace

class MaschinenFormTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QtMainThread> m_main;
    std::unique_ptr<StartFolder> m_dir;
    std::unique_ptr<ScriptedDesktop> m_desk;
    std::unique_ptr<Profilliste> m_liste;

    std::string start() const { return m_dir->path(); }

    // One profile for the machine on the port, saved in the start directory.
    void profil(TMaschine maschine, const std::string& port) {
        QVERIFY(m_dir->write({[&](Profil& p) {
            setText(p.Name, "Verein");
            setText(p.Port, port);
            p.Maschine = maschine;
            p.Datensatz = {2, 3, -1, -1, -1, -1};
            p.Zehntelringe = 1;
        }}));
    }

    std::string protokoll() const {
        QFile f(QString::fromStdString(start() + "/Protokoll1.rls"));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }

private slots:
    void init() {
        m_main = std::make_unique<QtMainThread>();
        m_dir = std::make_unique<StartFolder>("form");
        m_desk = std::make_unique<ScriptedDesktop>();
        m_liste = std::make_unique<Profilliste>();
    }
    void cleanup() {
        m_liste.reset();
        m_desk.reset();
        m_dir.reset();
        m_main.reset();
    }

    void theActiveProfilesMachineIsOpenedAndItsSeriesWritten() {
        auto sam = standIn(std::make_unique<SamMachine>());
        QVERIFY(sam);
        profil(maSam, sam->portName());
        Form form(*m_liste, start());
        QVERIFY(form.logik().Pfad().Komponente(maSam).Connected());
        QVERIFY(!form.logik().Pfad().Komponente(maRika).Connected());
        QVERIFY(!form.logik().Pfad().Komponente(maDisag).Connected());
        QVERIFY(m_desk->boxes.empty());

        std::string error;
        auto serie = parseSeries("LG 1 10.4/123.4 9.7/5.0", error);
        sam->post([serie](SimMachine& m, SimWriter&) { m.queue(*serie); });
        QTRY_COMPARE_WITH_TIMEOUT(protokoll(), std::string("10,4;123,4;\n9,7; 5,0;\n\n"), 5000);
        QCOMPARE(m_desk->clipboard.back(), std::string("10,4;123,4;\n9,7; 5,0;\n"));
    }

    void aNoticeIsShownAndTheMachineGoesOn() {
        // Four damaged copies of a block: the fourth is kept, and the user is told.
        auto sam = standIn(std::make_unique<SamMachine>());
        QVERIFY(sam);
        profil(maSam, sam->portName());
        Form form(*m_liste, start());
        std::string error;
        auto serie = parseSeries("LG 1 10.4/123.4", error);
        sam->post([serie](SimMachine& m, SimWriter&) {
            m.damageNextChecks(4);
            m.queue(*serie);
        });
        QTRY_COMPARE_WITH_TIMEOUT(protokoll(), std::string("10,4;123,4;\n\n"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_desk->boxes.size(), std::size_t(1), 5000);
        QCOMPARE(m_desk->boxes[0].title, std::string("Hinweis"));
        QVERIFY(m_desk->boxes[0].text.find(sam->portName()) != std::string::npos);
        QVERIFY(form.logik().Pfad().Komponente(maSam).Connected());
    }

    void aPortThatCannotBeOpenedIsReportedAndLeavesEveryPortClosed() {
        profil(maRika, "ttyTFXNONE");
        Form form(*m_liste, start());
        QVERIFY(!form.logik().Pfad().Komponente(maRika).Connected());
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(m_desk->boxes[0].text, std::string("Schnittstelle ttyTFXNONE konnte nicht ge\xF6"
                                                    "ffnet werden (Systemfehler 2: nicht vorhanden).\n\r"
                                                    "Neuer Versuch alle 5 Sekunden."));
        QCOMPARE(m_desk->boxes[0].title, std::string("Fehler"));
        QVERIFY(form.isVisible());
    }

    void tfxErrorClosesThePortsAndNamesTheActiveProfilesMachine() {
        auto rika = standIn(std::make_unique<RikaMachine>());
        QVERIFY(rika);
        profil(maRika, rika->portName());
        Form form(*m_liste, start());
        form.hide();
        QVERIFY(form.logik().Pfad().Komponente(maRika).Connected());

        form.logik().TfxError(&form.logik().Pfad().Komponente(maSam), 0); // the text follows the profile, not the sender
        QVERIFY(!form.logik().Pfad().Komponente(maRika).Connected());
        QVERIFY(form.isVisible());
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(m_desk->boxes[0].text, "Rika SAG-1 an " + rika->portName() +
                                            "\n\rnicht gefunden!\n\rNeuer Versuch alle 5 Sekunden.");
        QCOMPARE(m_desk->boxes[0].title, std::string("Fehler"));
        QCOMPARE(m_desk->boxes[0].flags, unsigned(Mb::Ok | Mb::IconError | Mb::SystemModal));
    }

    void aPulledAdapterEndsInTfxError() {
        auto sam = standIn(std::make_unique<SamMachine>());
        QVERIFY(sam);
        profil(maSam, sam->portName());
        Form form(*m_liste, start());
        QVERIFY(form.logik().Pfad().Komponente(maSam).Connected());
        sam->hangUp();
        QTRY_COMPARE_WITH_TIMEOUT(m_desk->boxes.size(), std::size_t(1), 5000);
        QCOMPARE(m_desk->boxes[0].text,
                 "SAM an " + sam->portName() + "\n\rnicht gefunden!\n\rNeuer Versuch alle 5 Sekunden.");
        QVERIFY(!form.logik().Pfad().Komponente(maSam).Connected());
    }
};

QTEST_MAIN(MaschinenFormTest)
#include "MaschinenFormTest.moc"
