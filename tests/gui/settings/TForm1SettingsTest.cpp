// The settings window's controls and the active profile: applying, reconnecting, the question
// about the protocol file, the profile box, the number fields and the buttons.

#include "SettingsFixture.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

using namespace settings_test;

class TForm1SettingsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeTtyTree> m_ports;
    std::unique_ptr<StartDir> m_start;
    std::unique_ptr<ScriptedDesktop> m_desk;

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
        m_start = std::make_unique<StartDir>();
        m_desk = std::make_unique<ScriptedDesktop>();
    }
    void cleanup() {
        m_desk.reset();
        m_start.reset();
        m_ports.reset();
    }

    void aLoadedProfileShowsWithoutDifference() {
        m_start->write({"Verein", "Training"});
        Profilliste liste;
        auto form = makeForm(liste);
        QVERIFY(form->Aenderungspruefung());
        QCOMPARE(form->f().ComboBoxComNr->Text(), std::string("COM1"));
        QCOMPARE(form->f().RadioGroup2->itemIndex(), int(maDisagRM));
        QCOMPARE(form->f().Edit6->text(), QStringLiteral("10"));
        QCOMPARE(form->f().ComboBox2->count(), 2);
        QCOMPARE(form->f().PageControl1->currentWidget(), form->f().TabSheet4);
    }

    void portChangeReconnectsAndFileChangesDoNot() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->show();

        form->f().ComboBoxComNr->setText("com2");
        QVERIFY(!form->Aenderungspruefung());
        form->Button2Click();
        QCOMPARE(text(liste.aktiv().Port), std::string("COM2"));
        QCOMPARE(form->geschlossen, 1);
        QCOMPARE(form->geoeffnet, 1);
        QVERIFY(form->isHidden());

        // file name, file mode, warning and layout take effect without reconnecting
        form->f().Edit1->setText(QStringLiteral("/tmp/Sch\u00fctzen.rls"));
        form->f().RadioGroup1->setItemIndex(1);
        form->f().CheckBox1->setChecked(false);
        form->f().ElementeListView->setCurrentItem(form->f().ElementeListView->topLevelItem(2));
        form->LoadButtonClick();
        QVERIFY(form->SteuerelementeUebernehmen());
        QCOMPARE(text(liste.aktiv().Dateiname), std::string("/tmp/Sch\xFCtzen.rls"));
        QCOMPARE(liste.aktiv().Dateimodus, 1);
        QCOMPARE(liste.aktiv().Warnen, 0);
        QCOMPARE(liste.aktiv().Datensatz[0], int8_t(2));
        QCOMPARE(form->geoeffnet, 1);
        QVERIFY(form->Aenderungspruefung());
    }

    void tenthsReconnectOnlyForTheDisag() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->f().RadioGroup2->setItemIndex(maSam4000);
        QVERIFY(form->SteuerelementeUebernehmen()); // the machine change reconnects
        QCOMPARE(form->geoeffnet, 1);

        form->f().CheckBox2->setChecked(!form->f().CheckBox2->isChecked());
        QVERIFY(form->SteuerelementeUebernehmen());
        QCOMPARE(form->geoeffnet, 1);
        QCOMPARE(liste.aktiv().Zehntelringe, form->f().CheckBox2->isChecked() ? 1 : 0);

        form->f().RadioGroup2->setItemIndex(maDisagRM);
        QVERIFY(form->SteuerelementeUebernehmen());
        QCOMPARE(form->geoeffnet, 2);
        form->f().CheckBox2->setChecked(!form->f().CheckBox2->isChecked());
        QVERIFY(form->SteuerelementeUebernehmen());
        QCOMPARE(form->geoeffnet, 3);

        // the Disag's settings reconnect whatever the machine
        form->f().RadioGroup2->setItemIndex(maRikaSAG1);
        QVERIFY(form->SteuerelementeUebernehmen());
        form->f().Edit5->setText(QStringLiteral("500"));
        QVERIFY(form->SteuerelementeUebernehmen());
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

        form->f().CheckBox4->setChecked(true);
        m_desk->boxAnswers = {IdNo};
        form->Button2Click();
        QCOMPARE(boxText(*m_desk), std::string("Der Datensatzaufbau wurde ge\xE4ndert.\n\r"
                                               "Deshalb sollte die Protokolldatei gel\xF6scht werden!\n\r"
                                               "l\xF6schen?"));
        QCOMPARE(m_desk->boxes.back().title, std::string("Meldung"));
        QCOMPARE(m_desk->boxes.back().flags, unsigned(Mb::YesNo | Mb::DefButton2)); // "Nein" is the default
        QVERIFY(form->isVisible()); // refused: nothing applied, the window stays open
        QCOMPARE(liste.aktiv().Header, uint8_t(0));
        QVERIFY(fs::exists(datei));
        QVERIFY(form->f().CheckBox4->isChecked()); // the edit stays in the control

        // the close query then offers to apply the edit
        m_desk->boxAnswers = {IdCancel};
        QVERIFY(!form->CloseQuery());
        QCOMPARE(boxText(*m_desk), std::string("Sollen die \xC4nderungen \xFC"
                                               "bernommen werden?"));

        m_desk->boxAnswers = {IdYes};
        QVERIFY(form->SteuerelementeUebernehmen());
        QVERIFY(!fs::exists(datei));
        QCOMPARE(liste.aktiv().Header, uint8_t(1));

        // what the header line does not describe asks nothing: port, Disag settings, file name
        std::ofstream(datei) << "Serien des Tages\n";
        const std::size_t gefragt = m_desk->boxes.size();
        form->f().ComboBoxComNr->setText("COM2");
        form->f().Edit4->setText(QStringLiteral("Kreis"));
        form->f().Edit1->setText(QString::fromStdString(m_start->path() + "/Protokoll2.rls"));
        form->Button2Click();
        QCOMPARE(m_desk->boxes.size(), gefragt);
        QCOMPARE(text(liste.aktiv().Port), std::string("COM2"));
        QVERIFY(fs::exists(datei));

        // a changed record list asks; a folder of that name is never deleted
        const std::string datei2 = m_start->path() + "/Protokoll2.rls";
        fs::create_directory(datei2);
        form->f().DatensatzListView->setCurrentItem(nullptr);
        form->f().ElementeListView->setCurrentItem(form->f().ElementeListView->topLevelItem(0));
        form->LoadButtonClick();
        m_desk->boxAnswers = {IdYes};
        QVERIFY(form->SteuerelementeUebernehmen());
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
            QVERIFY(form.Ersteinrichtung());
            QCOMPARE(text(liste.aktiv().Port), fall.standard);
            QCOMPARE(form.f().ComboBoxComNr->Text(), fall.standard);
            QCOMPARE(form.geoeffnet, 0);
            QVERIFY(m_desk->boxes.empty());
            auto* hinweis = form.f().TabSheet1->findChild<QLabel*>(QStringLiteral("LabelErsteinrichtung"));
            QVERIFY(hinweis && !hinweis->isHidden());
            QVERIFY(hinweis->text().contains(QStringLiteral("Maschinensuche")));
            QVERIFY(hinweis->fontMetrics().horizontalAdvance(hinweis->text()) <= hinweis->width());

            form.show();
            form.Button2Click();
            QCOMPARE(form.geoeffnet, 1);
            QVERIFY(form.isHidden());
            QVERIFY(hinweis->isHidden());
            // from now on "Übernehmen" signs on a machine that is not connected (this form opens
            // none), whether or not a setting changed
            form.Button2Click();
            QCOMPARE(form.geoeffnet, 2);
        }
    }

    void profileBoxRenamesOnLeaveAndDeletesByClearing() {
        m_start->write({"Verein", "Training", "Jugend"});
        Profilliste liste;
        auto form = makeForm(liste);
        ProfilBox* box = form->f().ComboBox2;

        // choosing from the list selects the profile
        box->setCurrentIndex(2);
        emit box->activated(2);
        QCOMPARE(liste.activeIndex(), std::size_t(2));
        QCOMPARE(form->Profilindex(), 2);

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
        QCOMPARE(form->Profilindex(), 0);
        QCOMPARE(form->geoeffnet, 0); // not reconnected

        // clearing the first changes nothing
        typeInto(box->lineEdit(), QString());
        leave(box);
        QCOMPARE(liste.size(), std::size_t(2));
        QCOMPARE(text(liste[0].Name), std::string("Verein"));
        QCOMPARE(box->itemText(0), QStringLiteral("Verein"));

        m_desk->boxAnswers = {IdYes};
        QVERIFY(form->CloseQuery());
        QCOMPARE(m_start->saved().size(), std::size_t(2));
    }

    void profileBoxIgnoresArrowKeysAndTheWheelWhileClosed() {
        m_start->write({"Verein", "Training"});
        Profilliste liste;
        auto form = makeForm(liste);
        ProfilBox* box = form->f().ComboBox2;
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
        ProfilBox* box = form->f().ComboBox2;
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
        form->f().Edit6->setText(QStringLiteral("20"));
        form->Button5Click();
        QCOMPARE(liste.size(), std::size_t(2));
        QCOMPARE(text(liste[1].Name), std::string("Unbenannt"));
        QCOMPARE(liste[0].Gesamtschusszahl, 20); // the edit went to the old profile
        QCOMPARE(liste[1].Gesamtschusszahl, 10); // the copy was taken before
        QCOMPARE(form->f().ComboBox2->currentText(), QStringLiteral("Unbenannt"));
        QVERIFY(form->f().ComboBox2->hasFocus());
        // typing replaces the name at once
        QTest::keyClicks(form->f().ComboBox2->lineEdit(), QStringLiteral("Gast"));
        form->f().Edit1->setFocus(); // leaving the box for another control renames
        QTRY_COMPARE(text(liste[1].Name), std::string("Gast"));
        QCOMPARE(form->f().ComboBox2->itemText(1), QStringLiteral("Gast"));
    }

    void numberFieldsFilterDigitsAndPutTheDefaultBack() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->f().PageControl1->setCurrentWidget(form->f().TabSheet3);
        QLineEdit* edit3 = form->f().Edit3;

        // Types into the field, moves the focus on, and gives the field's text once the focus
        // is back in it (as it must be after a reset).
        const auto enterAndLeave = [&](QLineEdit* edit, const QString& typed) -> QString {
            edit->setFocus();
            typeInto(edit, typed);
            form->f().Edit4->setFocus();
            if (!QTest::qWaitFor([edit] { return edit->hasFocus(); }))
                return QStringLiteral("<focus not back>");
            return edit->text();
        };
        QCOMPARE(enterAndLeave(edit3, QStringLiteral("0")), QStringLiteral("1"));
        QCOMPARE(enterAndLeave(edit3, QStringLiteral("16")), QStringLiteral("1"));

        edit3->setFocus();
        typeInto(edit3, QStringLiteral("15"));
        form->f().Edit4->setFocus();
        QTRY_VERIFY(form->f().Edit4->hasFocus());
        QCOMPARE(edit3->text(), QStringLiteral("15"));

        typeInto(edit3, QStringLiteral("a1-b2"));
        QCOMPARE(edit3->text(), QStringLiteral("12"));

        QCOMPARE(enterAndLeave(form->f().Edit5, QStringLiteral("9")), QStringLiteral("250"));
        QCOMPARE(enterAndLeave(form->f().Edit5, QStringLiteral("99999999999")), QStringLiteral("250"));
        QCOMPARE(enterAndLeave(form->f().Edit6, QStringLiteral("121")), QStringLiteral("10"));
        typeInto(form->f().Edit6, QStringLiteral("1200"));
        QCOMPARE(form->f().Edit6->text(), QStringLiteral("120"));
    }

    void aNumberOutOfRangeNeverReachesTheProfile() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->f().Edit3->setText(QStringLiteral("0"));
        form->f().Edit6->setText(QString());
        QVERIFY(form->SteuerelementeUebernehmen());
        QCOMPARE(liste.aktiv().Scheibenschusszahl, 1);
        QCOMPARE(liste.aktiv().Gesamtschusszahl, 10);
        QCOMPARE(form->f().Edit3->text(), QStringLiteral("1"));
        QCOMPARE(form->geoeffnet, 0);
    }

    void neuAnmeldenUsesTheStoredSettings() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        form->show();
        form->f().ComboBoxComNr->setText("COM2");
        form->Button6Click();
        QCOMPARE(form->geschlossen, 1);
        QCOMPARE(form->geoeffnet, 1);
        QVERIFY(form->isVisible()); // stays open with the unapplied edit
        QCOMPARE(text(liste.aktiv().Port), std::string("COM1"));
        QCOMPARE(form->f().ComboBoxComNr->Text(), std::string("COM2"));

        form->f().ComboBoxComNr->setText("COM1");
        form->Button6Click();
        QCOMPARE(form->geoeffnet, 2);
        QVERIFY(form->isHidden());
    }

    void machinePageAndReconnectButtonFollowTheMachine() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        QTabWidget* pages = form->f().PageControl1;
        const int maschinen = pages->indexOf(form->f().TabSheet3);
        QVERIFY(pages->isTabVisible(maschinen));
        QVERIFY(form->f().Button6->isEnabled());

        form->f().RadioGroup2->setItemIndex(maSam4000);
        QVERIFY(!pages->isTabVisible(maschinen));
        QVERIFY(!form->f().Button6->isEnabled());

        form->Button3Click(); // "Abbrechen" discards the edit
        QCOMPARE(form->f().RadioGroup2->itemIndex(), int(maDisagRM));
        QVERIFY(pages->isTabVisible(maschinen));
        QVERIFY(form->f().Button6->isEnabled());

        // the warning can only be chosen for the one-record file
        form->f().RadioGroup1->setItemIndex(0);
        QVERIFY(!form->f().CheckBox1->isEnabled());
        form->f().RadioGroup1->setItemIndex(1);
        QVERIFY(form->f().CheckBox1->isEnabled());
    }

    void durchsuchenFillsTheFileNameOnly() {
        m_start->write({"Verein"});
        Profilliste liste;
        auto form = makeForm(liste);
        const QString before = form->f().Edit1->text();

        form->saveAnswer = QString();
        form->Button1Click();
        QCOMPARE(form->savePreset, before);
        QCOMPARE(form->f().Edit1->text(), before);

        form->saveAnswer = QStringLiteral("/home/verein/Kreismeisterschaft \u00e4.rls");
        form->Button1Click();
        QCOMPARE(form->f().Edit1->text(), form->saveAnswer);
        QCOMPARE(fromAnsi(text(liste.aktiv().Dateiname)), before); // not applied yet

        // a name the profile cannot hold is refused
        form->saveAnswer = QStringLiteral("/home/\u0412\u0430\u0441\u044f/p.rls");
        form->Button1Click();
        QCOMPARE(m_desk->boxes.back().title, std::string("Fehler"));
        QCOMPARE(form->f().Edit1->text(), QStringLiteral("/home/verein/Kreismeisterschaft \u00e4.rls"));
        form->saveAnswer = QStringLiteral("/") + QString(600, QLatin1Char('x'));
        form->Button1Click();
        QCOMPARE(m_desk->boxes.size(), std::size_t(2));
        QCOMPARE(form->f().Edit1->text(), QStringLiteral("/home/verein/Kreismeisterschaft \u00e4.rls"));
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
        QCOMPARE(form->f().RadioGroup2->itemIndex(), -1);
        QCOMPARE(form->f().RadioGroup4->itemIndex(), -1);
        QCOMPARE(form->f().RadioGroup3->itemIndex(), -1);
        QCOMPARE(form->f().ElementeListView->topLevelItemCount(), 4);
        QCOMPARE(form->f().DatensatzListView->topLevelItemCount(), 2);
        QVERIFY(form->Aenderungspruefung());
        form->show();
        form->Button3Click(); // "Abbrechen"
        m_desk->boxAnswers = {IdNo};
        QVERIFY(!form->CloseQuery());
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(boxText(*m_desk), std::string("Wirklich beenden ?"));

        form->f().CheckBox3->setChecked(true);
        QVERIFY(form->SteuerelementeUebernehmen());
        QCOMPARE(m_desk->boxes.size(), std::size_t(1)); // the record list is as it was: no question
        QVERIFY(form->Aenderungspruefung());
        QCOMPARE(liste.aktiv().Maschine, 7);
        QCOMPARE(liste.aktiv().Scheibentyp, 12);
        QCOMPARE(text(liste.aktiv().Scheibentext), std::string("Vereinsmeisterschaft"));
        QCOMPARE(liste.aktiv().Elemente, (std::array<int8_t, 6>{0, 1, 2, 3, -1, -1}));
        QCOMPARE(liste.aktiv().Datensatz, (std::array<int8_t, 6>{4, 5, -1, -1, -1, -1}));
        // switching the separator kind on such a profile selects only rows that exist
        form->f().RadioGroup4->button(1)->click();
        QCOMPARE(liste.aktiv().TrennzeichenWahl, 1);
        QVERIFY(form->f().ListView1->selectionModel()->selectedRows().isEmpty());
        form->f().RadioGroup4->button(2)->click();
        QCOMPARE(form->f().ListView1->selectionModel()->selectedRows().value(0).row(), 10);
    }

    void aPortMissingFromTheListIsShownAndKeptUntilTheUserChoosesOne() {
        m_ports = std::make_unique<FakeTtyTree>(std::vector<std::string>{"ttyUSB0", "ttyUSB1"});
        m_start->write({"Verein"}); // on COM1, which this computer does not have
        Profilliste liste;
        auto form = makeForm(liste);
        TComComboBox* ports = form->f().ComboBoxComNr;
        QCOMPARE(ports->Text(), std::string("COM1"));
        QVERIFY(!ports->isListed("COM1"));
        QVERIFY(form->Aenderungspruefung());

        form->f().Edit4->setText(QStringLiteral("Kreis"));
        QVERIFY(form->SteuerelementeUebernehmen());
        QCOMPARE(text(liste.aktiv().Port), std::string("COM1"));
        QCOMPARE(form->geoeffnet, 1); // the Disag's text reconnects, on the shown port

        ports->setText("ttyUSB1");
        QVERIFY(!form->Aenderungspruefung());
        QVERIFY(form->SteuerelementeUebernehmen());
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
        QLineEdit* eingabe = form->f().ComboBoxComNr->lineEdit();

        typeInto(eingabe, QStringLiteral("pts/3"));
        form->Button2Click();
        QCOMPARE(text(liste.aktiv().Port), std::string("pts/3"));
        QCOMPARE(form->geoeffnet, 1);
        QVERIFY(form->isHidden());

        form->show();
        typeInto(eingabe, QStringLiteral("/dev/ttyUSB0")); // 12 characters
        form->f().Edit6->setText(QStringLiteral("20"));
        form->Button2Click();
        QCOMPARE(m_desk->boxes.back().title, std::string("Fehler"));
        QVERIFY(boxText(*m_desk).find("/dev/ttyUSB0") != std::string::npos);
        QVERIFY(form->isVisible());
        QCOMPARE(text(liste.aktiv().Port), std::string("pts/3"));
        QCOMPARE(liste.aktiv().Gesamtschusszahl, 10);
        QCOMPARE(eingabe->text(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(form->geoeffnet, 1);

        typeInto(eingabe, QStringLiteral("/dev/ttyS0"));
        form->Button2Click();
        QCOMPARE(text(liste.aktiv().Port), std::string("/dev/ttyS0"));
        QCOMPARE(liste.aktiv().Gesamtschusszahl, 20);
    }
};

QTEST_MAIN(TForm1SettingsTest)
#include "TForm1SettingsTest.moc"
