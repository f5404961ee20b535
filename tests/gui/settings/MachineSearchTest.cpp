// "Maschinentest" and "Maschinensuche" against stand-in machines on pseudo-terminals.
//
// The port list comes from a fake tty class directory. Its ports have no device in /dev, so
// opening them fails as with a port held by another program; the stand-ins' pseudo-terminals
// ("pts/N", which no tty class entry can name) are then added to the list the way the window
// shows it.

// The machine components and the stand-in machines.
#include "DisagCom.h"
#include "DisagMachine.h"
#include "RikaCom.h"
#include "RikaMachine.h"
#include "SamCom.h"
#include "SamMachine.h"
#include "Serienpfad.h"
#include "SimLine.h"

#include "QtMainThread.h"
#include "SettingsFixture.h"

#include <QApplication>
#include <QtTest>

using namespace settings_test;

namespace {

template <class Machine> std::unique_ptr<SimLine> standIn(std::unique_ptr<Machine> machine) {
    std::string error;
    auto line = SimLine::openPty(std::move(machine), error);
    if (line)
        line->start();
    else
        qWarning("no pseudo-terminal: %s", error.c_str());
    return line;
}

std::unique_ptr<SimLine> rika(const std::string& version) {
    auto machine = std::make_unique<RikaMachine>();
    machine->setVersion(version);
    return standIn(std::move(machine));
}

std::unique_ptr<SimLine> disag(const std::string& model) {
    auto machine = std::make_unique<DisagMachine>();
    machine->setModel(model);
    return standIn(std::move(machine));
}

} // namespace

class MachineSearchTest : public WindowFixture {
    Q_OBJECT

    std::unique_ptr<QtMainThread> m_main;

    // The window on a fake port list; the stand-ins' ports are added after it.
    void makeForm(const std::vector<std::string>& fakePorts, const std::vector<const SimLine*>& lines) {
        openForm(fakePorts);
        for (const SimLine* line : lines)
            m_form->f().Port->addItem(QString::fromStdString(line->portName()));
        m_desk->boxes.clear();
    }

private slots:
    void init() {
        m_main = std::make_unique<QtMainThread>();
        prepare();
        // a Disag on no port yet: the box shows only what each test puts there
        QVERIFY(writeProfiles(m_start->path(), {[](Profil& p) { setText(p.Port, ""); }}));
    }
    void cleanup() {
        tearDown();
        m_main.reset();
    }

    void aSamOnTheThirdPortIsFoundAndTakenOverWithYes() {
        auto sam = standIn(std::make_unique<SamMachine>());
        QVERIFY(sam);
        makeForm({"ttyTFXA0", "ttyTFXB0"}, {sam.get()});
        bool sanduhrWeg = true;
        m_desk->whileOpen = [&] { sanduhrWeg = sanduhrWeg && QApplication::overrideCursor() == nullptr; };
        m_desk->boxAnswers = {IdYes};
        const int geoeffnet = m_form->geoeffnet;

        m_form->logik().MaschinensucheClick();

        // the two ports that cannot be opened do not end the search; with a find, only it is told
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(m_desk->boxes[0].text, "Auswertmaschine SAM 4000 an " + sam->portName() +
                                            " gefunden!\n\n\xDC"
                                            "bernehmen ?");
        QCOMPARE(m_desk->boxes[0].title, std::string("Info Maschinensuche"));
        QCOMPARE(m_desk->boxes[0].flags, unsigned(Mb::YesNo));
        QVERIFY(sanduhrWeg);
        QVERIFY(QApplication::overrideCursor() == nullptr);

        QCOMPARE(m_liste->aktiv().Maschine, int32_t(maSam));
        QCOMPARE(text(m_liste->aktiv().Port), sam->portName());
        QCOMPARE(m_form->f().Port->ItemIndex(), 2);
        QCOMPARE(m_form->f().Maschinenwahl->itemIndex(), int(maSam));
        // the machine found is signed on at once (the form counts the opening)
        QCOMPARE(m_form->geoeffnet, geoeffnet + 1);
        // written into profile and controls alike: nothing left to apply
        QVERIFY(m_form->logik().Aenderungspruefung());
    }

    void noChangesNothing() {
        auto machine = rika("250");
        QVERIFY(machine);
        makeForm({}, {machine.get()});
        m_desk->boxAnswers = {IdNo};
        const int geoeffnet = m_form->geoeffnet;
        m_form->logik().MaschinensucheClick();
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(m_desk->boxes[0].text, "Auswertmaschine Rika SAG Version 250 an " + machine->portName() +
                                            " gefunden!\n\n\xDC"
                                            "bernehmen ?");
        QCOMPARE(m_liste->aktiv().Maschine, int32_t(maDisag));
        QCOMPARE(text(m_liste->aktiv().Port), std::string());
        QCOMPARE(m_form->f().Maschinenwahl->itemIndex(), int(maDisag));
        // the profile's machine is given back
        QCOMPARE(m_form->geoeffnet, geoeffnet + 1);
    }

    void aSearchWithoutAFindSaysWhyForEachPort() {
        makeForm({"ttyTFXA0"}, {});
        m_form->logik().MaschinensucheClick();
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(m_desk->boxes[0].text, std::string("Keine Maschine gefunden !\n\r\n\r"
                                                    "Schnittstelle ttyTFXA0 konnte nicht ge\xF6"
                                                    "ffnet werden (Systemfehler 2: nicht vorhanden)"));
        QCOMPARE(m_desk->boxes[0].title, std::string("Info Maschinensuche"));
    }

    void anEmptyListFindsNothing() {
        makeForm({}, {});
        QCOMPARE(m_form->f().Port->count(), 0);
        m_form->logik().MaschinensucheClick();
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(m_desk->boxes[0].text, std::string("Keine Maschine gefunden !"));
        QCOMPARE(m_desk->boxes[0].title, std::string("Info Maschinensuche"));
        QCOMPARE(m_desk->boxes[0].flags, unsigned(Mb::Ok | Mb::IconError));
        QVERIFY(QApplication::overrideCursor() == nullptr);

        // the test with no port shown cannot open one, and says so
        m_form->logik().MaschinentestClick();
        QCOMPARE(m_desk->boxes.back().text, std::string("Schnittstelle  konnte nicht ge\xF6"
                                                        "ffnet werden (Systemfehler 21)"));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void theRikasVersionIsShownInHundredthsByTheTestAndAsReceivedByTheSearch() {
        auto machine = rika("250");
        QVERIFY(machine);
        makeForm({}, {machine.get()});
        m_form->f().Maschinenwahl->setItemIndex(maRika);
        m_form->f().Port->setItemIndex(0);
        m_form->logik().MaschinentestClick();
        QCOMPARE(m_desk->boxes.back().text,
                 "Auswertmaschine Rika SAG Version V2.50\nan " + machine->portName() + " gefunden!");
        QCOMPARE(m_desk->boxes.back().title, std::string("Info"));
        QCOMPARE(m_desk->boxes.back().flags, unsigned(Mb::Ok | Mb::IconInformation));

        machine->call([](SimMachine& m, SimWriter&) { static_cast<RikaMachine&>(m).setVersion("x1"); });
        m_form->logik().MaschinentestClick();
        QCOMPARE(m_desk->boxes.back().text,
                 "Auswertmaschine Rika SAG Version V1.00\nan " + machine->portName() + " gefunden!");
    }

    void aDisagWithoutModelIsAnRmIv() {
        auto machine = disag("");
        QVERIFY(machine);
        makeForm({}, {machine.get()});
        m_form->f().Port->setItemIndex(0);
        m_form->logik().MaschinentestClick(); // the profile's machine is the Disag
        QCOMPARE(m_desk->boxes.back().text,
                 "Auswertmaschine Disag Modell RM IV\nan " + machine->portName() + " gefunden!");

        m_desk->boxAnswers = {IdYes};
        m_form->logik().MaschinensucheClick();
        QCOMPARE(m_desk->boxes.back().text, "Disag Modell RM IV an " + machine->portName() +
                                                " gefunden !\n\n\xDC"
                                                "bernehmen ?");
        QCOMPARE(m_liste->aktiv().Maschine, int32_t(maDisag));
        QCOMPARE(text(m_liste->aktiv().Port), machine->portName());
    }

    // The stand-in's port typed into the box, as its help says: the test tries it, the search
    // tries it first, and "Übernehmen ?" stores it.
    void aTypedPortIsTestedAndSearchedFirst() {
        auto sam = standIn(std::make_unique<SamMachine>());
        QVERIFY(sam);
        makeForm({"ttyTFXA0"}, {});
        m_form->f().Port->setEditText(QString::fromStdString(sam->portName()));
        m_form->f().Maschinenwahl->setItemIndex(maSam);
        m_form->logik().MaschinentestClick();
        QCOMPARE(m_desk->boxes.back().text, "Auswertmaschine SAM 4000\nan " + sam->portName() + " gefunden!");

        m_desk->boxes.clear();
        m_desk->boxAnswers = {IdYes};
        m_form->logik().MaschinensucheClick();
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(text(m_liste->aktiv().Port), sam->portName());
        QCOMPARE(m_form->f().Port->Text(), sam->portName());
        QVERIFY(m_form->logik().Aenderungspruefung());
    }

    void aTestReportsAMissingMachineAndGivesTheProfilesMachineBack() {
        auto sam = standIn(std::make_unique<SamMachine>());
        auto nobody = disag("RM III"); // a Disag, but the SAM is tested
        QVERIFY(sam && nobody);
        makeForm({}, {sam.get(), nobody.get()});
        m_form->f().Maschinenwahl->setItemIndex(maSam);

        // the SAM's port is open on the first stand-in; the test of the second closes it
        m_form->logik().Pfad().Komponente(maSam).SetPort(sam->portName());
        m_form->logik().Pfad().Komponente(maSam).Open();
        m_form->f().Port->setItemIndex(1);
        const int geoeffnet = m_form->geoeffnet;
        m_form->logik().MaschinentestClick();
        // a bare STX is no SAM; said with what the Disag answered, as the transmission log writes it
        QCOMPARE(m_desk->boxes.back().text,
                 "Auswertmaschine SAM 4000\nan " + nobody->portName() + " nicht gefunden!\n\nAntwort: <STX>");
        QCOMPARE(m_desk->boxes.back().title, std::string("Fehler"));
        QCOMPARE(m_desk->boxes.back().flags, unsigned(Mb::Ok | Mb::IconError));
        // not the tested machine on the tested port comes back, but the profile's machine (a Disag
        // on its own port: the form counts the opening)
        QVERIFY(!m_form->logik().Pfad().Komponente(maSam).Connected());
        QCOMPARE(m_form->geoeffnet, geoeffnet + 1);

        m_form->f().Port->setItemIndex(0);
        m_form->logik().MaschinentestClick();
        QCOMPARE(m_desk->boxes.back().text, "Auswertmaschine SAM 4000\nan " + sam->portName() + " gefunden!");
        QVERIFY(!m_form->logik().Pfad().Komponente(maSam).Connected());
        QCOMPARE(m_form->geoeffnet, geoeffnet + 2);
    }
};

QTEST_MAIN(MachineSearchTest)
#include "MachineSearchTest.moc"
