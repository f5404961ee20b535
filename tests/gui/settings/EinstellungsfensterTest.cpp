// The settings window's controls and the active profile: applying, reconnecting, the question
// about the protocol file, the profile box, the number fields and the buttons.

#include "Maschinentabelle.h"
#include "SettingsFixture.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

using namespace settings_test;

class EinstellungsfensterTest : public WindowFixture {
    Q_OBJECT

    std::unique_ptr<TestForm> makeForm(Profilliste& liste) {
        auto form = std::make_unique<TestForm>(liste, m_start->path());
        // what opening the machine at construction may have said is not part of these tests
        form->geschlossen = form->geoeffnet = 0;
        m_desk->boxes.clear();
        return form;
    }

    // Leaves a control the way a click elsewhere in the window does.
    static void leave(QWidget* w) {
        QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
        QApplication::sendEvent(w, &out);
    }

    static void typeInto(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        for (QChar c : text)
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }

private slots:
    void init() {
        m_ports = std::make_unique<FakeTtyTree>(std::vector<std::string>{"COM1", "COM2", "ttyUSB0"});
        prepare();
    }
    void cleanup() { tearDown(); }

    void aLoadedProfileShowsWithoutDifference() {
        m_start->write({"Verein", "Training"});
        Profilliste liste;
        auto form = makeForm(liste);
        QVERIFY(form->logik().Aenderungspruefung());
        QCOMPARE(form->f().Port->Text(), std::string("COM1"));
        QCOMPARE(form->f().Maschinenwahl->itemIndex(), int(maDisag));
        QCOMPARE(form->f().Schusszahl->text(), QStringLiteral("10"));
        QCOMPARE(form->f().Profilbox->count(), 2);
        QCOMPARE(form->f().Seiten->currentWidget(), form->f().SeiteInfo);
    }

    void portChangeReconnectsAndFileChangesDoNot() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->show();

        form->f().Port->setText("com2");
        QVERIFY(!form->logik().Aenderungspruefung());
        form->logik().UebernehmenClick();
        QCOMPARE(text(liste.aktiv().Port), std::string("COM2"));
        QCOMPARE(form->geschlossen, 1);
        QCOMPARE(form->geoeffnet, 1);
        QVERIFY(form->isHidden());

        // file name, file mode, warning and layout take effect without reconnecting
        form->f().Dateiname->setText(QStringLiteral("/tmp/Sch\u00fctzen.rls"));
        form->f().Dateiwahl->setItemIndex(1);
        form->f().Warnen->setChecked(false);
        form->f().Elementeliste->setCurrentItem(form->f().Elementeliste->topLevelItem(2));
        form->logik().HinzufuegenClick();
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        QCOMPARE(text(liste.aktiv().Dateiname), std::string("/tmp/Sch\xFCtzen.rls"));
        QCOMPARE(liste.aktiv().Dateimodus, 1);
        QCOMPARE(liste.aktiv().Warnen, 0);
        QCOMPARE(liste.aktiv().Datensatz[0], int8_t(2));
        QCOMPARE(form->geoeffnet, 1);
        QVERIFY(form->logik().Aenderungspruefung());
    }

    void tenthsReconnectOnlyForTheDisag() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->f().Maschinenwahl->setItemIndex(maSam);
        QVERIFY(form->logik().SteuerelementeUebernehmen()); // the machine change reconnects
        QCOMPARE(form->geoeffnet, 1);

        form->f().Zehntelringe->setChecked(!form->f().Zehntelringe->isChecked());
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        QCOMPARE(form->geoeffnet, 1);
        QCOMPARE(liste.aktiv().Zehntelringe, form->f().Zehntelringe->isChecked() ? 1 : 0);

        form->f().Maschinenwahl->setItemIndex(maDisag);
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        QCOMPARE(form->geoeffnet, 2);
        form->f().Zehntelringe->setChecked(!form->f().Zehntelringe->isChecked());
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        QCOMPARE(form->geoeffnet, 3);

        // the Disag's settings reconnect whatever the machine
        form->f().Maschinenwahl->setItemIndex(maRika);
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        form->f().Teilergrenze->setText(QStringLiteral("500"));
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        QCOMPARE(liste.aktiv().Teilergrenze, 500);
        QCOMPARE(form->geoeffnet, 5);
    }

    void headerWithAllRecordsAsksToDeleteTheProtocolFile() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        const std::string datei = m_start->path() + "/Protokoll1.rls";
        std::ofstream(datei) << "alt\n";
        form->show();

        form->f().Header->setChecked(true);
        m_desk->boxAnswers = {IdNo};
        form->logik().UebernehmenClick();
        QCOMPARE(boxText(*m_desk), std::string("Der Datensatzaufbau wurde ge\xE4ndert.\n\r"
                                               "Deshalb sollte die Protokolldatei gel\xF6scht werden!\n\r"
                                               "l\xF6schen?"));
        QCOMPARE(m_desk->boxes.back().title, std::string("Meldung"));
        QCOMPARE(m_desk->boxes.back().flags, unsigned(Mb::YesNo | Mb::DefButton2)); // "Nein" is the default
        QVERIFY(form->isVisible()); // refused: nothing applied, the window stays open
        QCOMPARE(liste.aktiv().Header, uint8_t(0));
        QVERIFY(fs::exists(datei));
        QVERIFY(form->f().Header->isChecked()); // the edit stays in the control

        // the close query then offers to apply the edit
        m_desk->boxAnswers = {IdCancel};
        QVERIFY(!form->logik().CloseQuery());
        QCOMPARE(boxText(*m_desk), std::string("Sollen die \xC4nderungen \xFC"
                                               "bernommen werden?"));

        m_desk->boxAnswers = {IdYes};
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        QVERIFY(!fs::exists(datei));
        QCOMPARE(liste.aktiv().Header, uint8_t(1));

        // what the header line does not describe asks nothing: port, Disag settings, file name
        std::ofstream(datei) << "Serien des Tages\n";
        const std::size_t gefragt = m_desk->boxes.size();
        form->f().Port->setText("COM2");
        form->f().Scheibentext->setText(QStringLiteral("Kreis"));
        form->f().Dateiname->setText(QString::fromStdString(m_start->path() + "/Protokoll2.rls"));
        form->logik().UebernehmenClick();
        QCOMPARE(m_desk->boxes.size(), gefragt);
        QCOMPARE(text(liste.aktiv().Port), std::string("COM2"));
        QVERIFY(fs::exists(datei));

        // a changed record list asks; a folder of that name is never deleted
        const std::string datei2 = m_start->path() + "/Protokoll2.rls";
        fs::create_directory(datei2);
        form->f().Datensatzliste->setCurrentItem(nullptr);
        form->f().Elementeliste->setCurrentItem(form->f().Elementeliste->topLevelItem(0));
        form->logik().HinzufuegenClick();
        m_desk->boxAnswers = {IdYes};
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        QVERIFY(fs::is_directory(datei2));
        QCOMPARE(m_desk->boxes.size(), gefragt + 1);
    }

    // A first start makes the default profile on the first port the computer has (one that fits
    // the profile's field), opens nothing, and asks the user in one line to choose; "Übernehmen"
    // then signs the machine on even without an edit.
    void aFirstStartOpensNothingUntilApplied() {
        struct Fall {
            std::vector<std::string> ports;
            std::string standard;
        };
        const std::vector<Fall> faelle = {
            {{"ttyUSB1", "ttyACM0"}, "ttyACM0"},
            {{"ttyLongAdapterName0", "ttyUSB0"}, "ttyUSB0"},
            {{}, "COM1"},
        };
        for (const Fall& fall : faelle) {
            m_ports = std::make_unique<FakeTtyTree>(fall.ports);
            m_start = std::make_unique<StartDir>();
            Profilliste liste;
            TestForm form(liste, m_start->path());
            QVERIFY(form.logik().Ersteinrichtung());
            QCOMPARE(text(liste.aktiv().Port), fall.standard);
            QCOMPARE(form.f().Port->Text(), fall.standard);
            QCOMPARE(form.geoeffnet, 0);
            QVERIFY(m_desk->boxes.empty());
            auto* hinweis =
                form.f().SeiteAllgemein->findChild<QLabel*>(QStringLiteral("ErsteinrichtungHinweis"));
            QVERIFY(hinweis && !hinweis->isHidden());
            QVERIFY(hinweis->text().contains(QStringLiteral("Maschinensuche")));
            QVERIFY(hinweis->fontMetrics().horizontalAdvance(hinweis->text()) <= hinweis->width());

            form.show();
            form.logik().UebernehmenClick();
            QCOMPARE(form.geoeffnet, 1);
            QVERIFY(form.isHidden());
            QVERIFY(hinweis->isHidden());
            // from now on "Übernehmen" signs on a machine that is not connected (this form opens
            // none), whether or not a setting changed
            form.logik().UebernehmenClick();
            QCOMPARE(form.geoeffnet, 2);
        }
    }

    void profileBoxRenamesOnLeaveAndDeletesByClearing() {
        m_start->write({"Verein", "Training", "Jugend"});
        Profilliste liste;
        auto form = makeForm(liste);
        ProfilComboBox* box = form->f().Profilbox;

        // choosing from the list selects the profile
        box->setCurrentIndex(2);
        emit box->activated(2);
        QCOMPARE(liste.activeIndex(), std::size_t(2));
        QCOMPARE(form->logik().Profilindex(), 2);

        // renaming takes effect at once
        typeInto(box->lineEdit(), QStringLiteral("J\u00fcgend"));
        leave(box);
        QCOMPARE(text(liste[2].Name), std::string("J\xFCgend"));
        QCOMPARE(box->itemText(2), QStringLiteral("J\u00fcgend"));

        // clearing the third name deletes it; the first becomes active and is shown
        typeInto(box->lineEdit(), QString());
        leave(box);
        QCOMPARE(liste.size(), std::size_t(2));
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->currentIndex(), 0);
        QCOMPARE(liste.activeIndex(), std::size_t(0));
        QCOMPARE(form->logik().Profilindex(), 0);
        QCOMPARE(form->geoeffnet, 0); // not reconnected

        // clearing the first changes nothing
        typeInto(box->lineEdit(), QString());
        leave(box);
        QCOMPARE(liste.size(), std::size_t(2));
        QCOMPARE(text(liste[0].Name), std::string("Verein"));
        QCOMPARE(box->itemText(0), QStringLiteral("Verein"));

        m_desk->boxAnswers = {IdYes};
        QVERIFY(form->logik().CloseQuery());
        QCOMPARE(m_start->saved().size(), std::size_t(2));
    }

    void profileBoxIgnoresArrowKeysAndTheWheelWhileClosed() {
        m_start->write({"Verein", "Training"});
        Profilliste liste;
        auto form = makeForm(liste);
        ProfilComboBox* box = form->f().Profilbox;
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_PageDown);
        QWheelEvent wheel(QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &wheel);
        QCOMPARE(box->currentIndex(), 0);
        QCOMPARE(liste.activeIndex(), std::size_t(0));
    }

    void openingTheListTakesTheTypedNameFirst() {
        m_start->write({"Verein", "Training"});
        Profilliste liste;
        auto form = makeForm(liste);
        ProfilComboBox* box = form->f().Profilbox;
        box->setCurrentIndex(1);
        emit box->activated(1);
        typeInto(box->lineEdit(), QString());
        box->showPopup();
        QCOMPARE(box->count(), 1);
        QCOMPARE(liste.size(), std::size_t(1));
        box->hidePopup();
    }

    void newProfileIsACopyNamedUnbenannt() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->f().Schusszahl->setText(QStringLiteral("20"));
        form->logik().NeuesProfilClick();
        QCOMPARE(liste.size(), std::size_t(2));
        QCOMPARE(text(liste[1].Name), std::string("Unbenannt"));
        QCOMPARE(liste[0].Gesamtschusszahl, 20); // the edit went to the old profile
        QCOMPARE(liste[1].Gesamtschusszahl, 10); // the copy was taken before
        QCOMPARE(form->f().Profilbox->currentText(), QStringLiteral("Unbenannt"));
        QVERIFY(form->f().Profilbox->hasFocus());
        // typing replaces the name at once
        QTest::keyClicks(form->f().Profilbox->lineEdit(), QStringLiteral("Gast"));
        form->f().Dateiname->setFocus(); // leaving the box for another control renames
        QTRY_COMPARE(text(liste[1].Name), std::string("Gast"));
        QCOMPARE(form->f().Profilbox->itemText(1), QStringLiteral("Gast"));
    }

    void numberFieldsFilterDigitsAndPutTheDefaultBack() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->f().Seiten->setCurrentWidget(form->f().SeiteMaschinen);
        QLineEdit* edit3 = form->f().SchussProScheibe;

        // Types into the field, moves the focus on, and gives the field's text once the focus
        // is back in it (as it must be after a reset).
        const auto enterAndLeave = [&](QLineEdit* edit, const QString& typed) -> QString {
            edit->setFocus();
            typeInto(edit, typed);
            form->f().Scheibentext->setFocus();
            if (!QTest::qWaitFor([edit] { return edit->hasFocus(); }))
                return QStringLiteral("<focus not back>");
            return edit->text();
        };
        QCOMPARE(enterAndLeave(edit3, QStringLiteral("0")), QStringLiteral("1"));
        QCOMPARE(enterAndLeave(edit3, QStringLiteral("16")), QStringLiteral("1"));

        edit3->setFocus();
        typeInto(edit3, QStringLiteral("15"));
        form->f().Scheibentext->setFocus();
        QTRY_VERIFY(form->f().Scheibentext->hasFocus());
        QCOMPARE(edit3->text(), QStringLiteral("15"));

        typeInto(edit3, QStringLiteral("a1-b2"));
        QCOMPARE(edit3->text(), QStringLiteral("12"));

        QCOMPARE(enterAndLeave(form->f().Teilergrenze, QStringLiteral("9")), QStringLiteral("250"));
        QCOMPARE(enterAndLeave(form->f().Teilergrenze, QStringLiteral("99999999999")), QStringLiteral("250"));
        QCOMPARE(enterAndLeave(form->f().Schusszahl, QStringLiteral("121")), QStringLiteral("10"));
        typeInto(form->f().Schusszahl, QStringLiteral("1200"));
        QCOMPARE(form->f().Schusszahl->text(), QStringLiteral("120"));
    }

    void aNumberOutOfRangeNeverReachesTheProfile() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->f().SchussProScheibe->setText(QStringLiteral("0"));
        form->f().Schusszahl->setText(QString());
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        QCOMPARE(liste.aktiv().Scheibenschusszahl, 1);
        QCOMPARE(liste.aktiv().Gesamtschusszahl, 10);
        QCOMPARE(form->f().SchussProScheibe->text(), QStringLiteral("1"));
        QCOMPARE(form->geoeffnet, 0);
    }

    void neuAnmeldenUsesTheStoredSettings() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->show();
        form->f().Port->setText("COM2");
        form->logik().NeuAnmeldenClick();
        QCOMPARE(form->geschlossen, 1);
        QCOMPARE(form->geoeffnet, 1);
        QVERIFY(form->isVisible()); // stays open with the unapplied edit
        QCOMPARE(text(liste.aktiv().Port), std::string("COM1"));
        QCOMPARE(form->f().Port->Text(), std::string("COM2"));

        form->f().Port->setText("COM1");
        form->logik().NeuAnmeldenClick();
        QCOMPARE(form->geoeffnet, 2);
        QVERIFY(form->isHidden());
    }

    void machinePageAndReconnectButtonFollowTheMachine() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        QTabWidget* pages = form->f().Seiten;
        const int maschinen = pages->indexOf(form->f().SeiteMaschinen);
        QVERIFY(pages->isTabVisible(maschinen));
        QVERIFY(form->f().NeuAnmelden->isEnabled());

        form->f().Maschinenwahl->setItemIndex(maSam);
        QVERIFY(!pages->isTabVisible(maschinen));
        QVERIFY(!form->f().NeuAnmelden->isEnabled());

        form->logik().AbbrechenClick(); // "Abbrechen" discards the edit
        QCOMPARE(form->f().Maschinenwahl->itemIndex(), int(maDisag));
        QVERIFY(pages->isTabVisible(maschinen));
        QVERIFY(form->f().NeuAnmelden->isEnabled());

        // the warning can only be chosen for the one-record file
        form->f().Dateiwahl->setItemIndex(0);
        QVERIFY(!form->f().Warnen->isEnabled());
        form->f().Dateiwahl->setItemIndex(1);
        QVERIFY(form->f().Warnen->isEnabled());
    }

    // The fourth machine, from its table line: its item and page; a series count it cannot take
    // applies nothing and keeps the window open; a divisor limit between its steps is applied
    // with a notice naming the step.
    void theOlderDisagRemoteProgramRefusesAndTells() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->show();
        QTabWidget* pages = form->f().Seiten;
        QCOMPARE(form->f().Maschinenwahl->items().value(maDisagRm3Fern),
                 QStringLiteral("Disag RM III (FERN)"));
        form->f().Maschinenwahl->setItemIndex(maDisagRm3Fern);
        QVERIFY(pages->isTabVisible(pages->indexOf(form->f().SeiteMaschinen)));

        form->f().Schusszahl->setText(QStringLiteral("15"));
        form->logik().UebernehmenClick();
        QCOMPARE(liste.aktiv().Maschine, int32_t(maDisag));
        QCOMPARE(liste.aktiv().Gesamtschusszahl, 10);
        QVERIFY(form->isVisible());
        QCOMPARE(m_desk->boxes.back().title, std::string("Fehler"));
        QVERIFY(boxText(*m_desk).find("1, 10, 20, 30, 40, 50, 60, 80, 100 und 120") != std::string::npos);
        QCOMPARE(form->geoeffnet, 0);

        form->f().Schusszahl->setText(QStringLiteral("10"));
        form->f().Teilergrenze->setText(QStringLiteral("260"));
        form->logik().UebernehmenClick();
        QCOMPARE(liste.aktiv().Maschine, int32_t(maDisagRm3Fern));
        QCOMPARE(liste.aktiv().Teilergrenze, 260);
        QVERIFY(form->isHidden());
        QCOMPARE(m_desk->boxes.back().title, std::string("Hinweis"));
        QCOMPARE(boxText(*m_desk),
                 std::string("Die Disag RM III (FERN) nimmt als Teilergrenze 300, ihre n\xE4"
                             "chste Stufe \xFC"
                             "ber 260."));
        QCOMPARE(form->geoeffnet, 1);
    }

    void durchsuchenFillsTheFileNameOnly() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        const QString before = form->f().Dateiname->text();

        form->saveAnswer = QString();
        form->logik().DurchsuchenClick();
        QCOMPARE(form->savePreset, before);
        QCOMPARE(form->f().Dateiname->text(), before);

        form->saveAnswer = QStringLiteral("/home/verein/Kreismeisterschaft \u00e4.rls");
        form->logik().DurchsuchenClick();
        QCOMPARE(form->f().Dateiname->text(), form->saveAnswer);
        QCOMPARE(fromAnsi(text(liste.aktiv().Dateiname)), before); // not applied yet

        // a name the profile cannot hold is refused
        form->saveAnswer = QStringLiteral("/home/\u0412\u0430\u0441\u044f/p.rls");
        form->logik().DurchsuchenClick();
        QCOMPARE(m_desk->boxes.back().title, std::string("Fehler"));
        QCOMPARE(form->f().Dateiname->text(), QStringLiteral("/home/verein/Kreismeisterschaft \u00e4.rls"));
        form->saveAnswer = QStringLiteral("/") + QString(600, QLatin1Char('x'));
        form->logik().DurchsuchenClick();
        QCOMPARE(m_desk->boxes.size(), std::size_t(2));
        QCOMPARE(form->f().Dateiname->text(), QStringLiteral("/home/verein/Kreismeisterschaft \u00e4.rls"));
    }

    // Values the controls cannot show are no difference: opening and closing the window asks
    // nothing, and what the user did not touch is kept.
    void aDamagedProfileLoadsAndApplies() {
        Profilliste kaputt;
        Profil p = Profil::standard(m_start->path());
        p.Maschine = 7;
        p.Dateimodus = -3;
        p.TrennzeichenWahl = 9;
        p.Trennzeichen = {400, -1, 10};
        p.Elemente = {0, 9, -5, 1, 2, 3};
        p.Datensatz = {4, 100, -1, -1, -1, 5};
        p.Scheibentyp = 12;
        p.Reserviert = {300, -1, 1};
        setText(p.Scheibentext, "Vereinsmeisterschaft");
        p.Header = 1;
        kaputt.append(p);
        m_start->write(kaputt);

        Profilliste liste;
        auto form = makeForm(liste);
        QCOMPARE(form->f().Maschinenwahl->itemIndex(), -1);
        QCOMPARE(form->f().Trennzeichenartwahl->itemIndex(), -1);
        QCOMPARE(form->f().Scheibentypwahl->itemIndex(), -1);
        QCOMPARE(form->f().Elementeliste->topLevelItemCount(), 4);
        QCOMPARE(form->f().Datensatzliste->topLevelItemCount(), 2);
        QVERIFY(form->logik().Aenderungspruefung());
        form->show();
        form->logik().AbbrechenClick(); // "Abbrechen"
        m_desk->boxAnswers = {IdNo};
        QVERIFY(!form->logik().CloseQuery());
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(boxText(*m_desk), std::string("Wirklich beenden ?"));

        form->f().Drucker->setChecked(true);
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        QCOMPARE(m_desk->boxes.size(), std::size_t(1)); // the record list is as it was: no question
        QVERIFY(form->logik().Aenderungspruefung());
        QCOMPARE(liste.aktiv().Maschine, 7);
        QCOMPARE(liste.aktiv().Scheibentyp, 12);
        QCOMPARE(text(liste.aktiv().Scheibentext), std::string("Vereinsmeisterschaft"));
        QCOMPARE(liste.aktiv().Elemente, (std::array<int8_t, 6>{0, 1, 2, 3, -1, -1}));
        QCOMPARE(liste.aktiv().Datensatz, (std::array<int8_t, 6>{4, 5, -1, -1, -1, -1}));
        // switching the separator kind on such a profile selects only rows that exist
        form->f().Trennzeichenartwahl->button(1)->click();
        QCOMPARE(liste.aktiv().TrennzeichenWahl, 1);
        QVERIFY(form->f().Trennzeichenliste->selectionModel()->selectedRows().isEmpty());
        form->f().Trennzeichenartwahl->button(2)->click();
        QCOMPARE(form->f().Trennzeichenliste->selectionModel()->selectedRows().value(0).row(), 10);
    }

    void aPortMissingFromTheListIsShownAndKeptUntilTheUserChoosesOne() {
        m_ports = std::make_unique<FakeTtyTree>(std::vector<std::string>{"ttyUSB0", "ttyUSB1"});
        m_start->write({"Verein"}); // on COM1, which this computer does not have
        Profilliste liste;
        auto form = makeForm(liste);
        TComComboBox* ports = form->f().Port;
        QCOMPARE(ports->Text(), std::string("COM1"));
        QVERIFY(!ports->isListed("COM1"));
        QVERIFY(form->logik().Aenderungspruefung());

        form->f().Scheibentext->setText(QStringLiteral("Kreis"));
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        QCOMPARE(text(liste.aktiv().Port), std::string("COM1"));
        QCOMPARE(form->geoeffnet, 1); // the Disag's text reconnects, on the shown port

        ports->setText("ttyUSB1");
        QVERIFY(!form->logik().Aenderungspruefung());
        QVERIFY(form->logik().SteuerelementeUebernehmen());
        QCOMPARE(text(liste.aktiv().Port), std::string("ttyUSB1"));
        QCOMPARE(form->geoeffnet, 2);
    }

    // A typed name is the port as it is; one longer than the profile's field is refused with a
    // message, never cut, and nothing else is applied with it.
    void aTypedPortIsUsedAndATooLongOneRefused() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->show();
        QLineEdit* eingabe = form->f().Port->lineEdit();

        typeInto(eingabe, QStringLiteral("pts/3"));
        form->logik().UebernehmenClick();
        QCOMPARE(text(liste.aktiv().Port), std::string("pts/3"));
        QCOMPARE(form->geoeffnet, 1);
        QVERIFY(form->isHidden());

        form->show();
        typeInto(eingabe, QStringLiteral("/dev/ttyUSB0")); // 12 characters
        form->f().Schusszahl->setText(QStringLiteral("20"));
        form->logik().UebernehmenClick();
        QCOMPARE(m_desk->boxes.back().title, std::string("Fehler"));
        QVERIFY(boxText(*m_desk).find("/dev/ttyUSB0") != std::string::npos);
        QVERIFY(form->isVisible());
        QCOMPARE(text(liste.aktiv().Port), std::string("pts/3"));
        QCOMPARE(liste.aktiv().Gesamtschusszahl, 10);
        QCOMPARE(eingabe->text(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(form->geoeffnet, 1);

        typeInto(eingabe, QStringLiteral("/dev/ttyS0"));
        form->logik().UebernehmenClick();
        QCOMPARE(text(liste.aktiv().Port), std::string("/dev/ttyS0"));
        QCOMPARE(liste.aktiv().Gesamtschusszahl, 20);
    }
};

QTEST_MAIN(EinstellungsfensterTest)
#include "EinstellungsfensterTest.moc"
