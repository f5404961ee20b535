// The tray icon and its two menus: the profile menu rebuilt from the profile box, switching the
// profile with a reconnection, and the clicks that do nothing while a window is open.

#include "SettingsFixture.h"

#include <QMenu>
#include <QTimer>
#include <QtTest>

using namespace settings_test;

namespace {

QStringList texts(const QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

int checkedAt(const QMenu* menu) {
    const auto actions = menu->actions();
    for (int i = 0; i < actions.size(); ++i) {
        if (actions[i]->isChecked())
            return i;
    }
    return -1;
}

} // namespace

class TrayMenuTest : public WindowFixture {
    Q_OBJECT

private slots:
    void init() {
        prepare();
        m_start->write({"Verein", "Training", "Jugend"});
        openForm({"COM1", "COM2"});
        // as after a normal start (a port that failed to open at construction shows the window)
        m_form->hide();
    }
    void cleanup() { tearDown(); }

    void theIconAndTheRightClickMenu() {
        QVERIFY(m_form->trayIcon());
        // the machine's port failed to open at construction: the icon is not the target as it is,
        // and the tooltip says why
        QCOMPARE(m_form->trayIcon()->toolTip(),
                 QStringLiteral("Ringlesemaschine: nicht verbunden (COM1: Systemfehler 2: nicht vorhanden)"));
        QVERIFY(!m_form->trayIcon()->icon().isNull());
        QVERIFY(!m_form->windowIcon().pixmap(16, 16).isNull());
        QVERIFY(m_form->trayIcon()->icon().pixmap(16, 16).toImage() !=
                m_form->windowIcon().pixmap(16, 16).toImage());

        const QMenu* menu = m_form->Traymenue();
        QCOMPARE(texts(menu), (QStringList{"&Einstellungen", "\u00DCbertragungs&monitor", "-", "&Beenden"}));
        QCOMPARE(menu->defaultAction(), menu->actions()[0]);
        QVERIFY(menu->actions()[0]->font().bold());

        menu->actions()[0]->trigger(); // "Einstellungen"
        QVERIFY(m_form->isVisible());
        m_desk->boxAnswers = {IdNo};
        menu->actions()[3]->trigger(); // "Beenden" asks first
        QCOMPARE(boxText(*m_desk), std::string("Wirklich beenden ?"));
        QVERIFY(m_form->trayIcon()); // refused: the icon stays
        m_desk->boxAnswers = {IdYes};
        menu->actions()[3]->trigger();
        QVERIFY(!m_form->trayIcon());
    }

    void theProfileMenuListsEveryProfileWithTheActiveOneChecked() {
        QMenu* menu = m_form->Profilmenue();
        m_form->ProfilmenueBauen();
        QCOMPARE(texts(menu), (QStringList{"Verein", "Training", "Jugend"}));
        QCOMPARE(checkedAt(menu), 0);

        // choosing the active one again still reconnects
        menu->actions()[0]->trigger();
        QCOMPARE(m_form->geschlossen, 1);
        QCOMPARE(m_form->geoeffnet, 1);
        QCOMPARE(m_liste->activeIndex(), std::size_t(0));

        // another one: the profile is active, loaded, shown in the box, and connected
        m_form->f().Scheibentext->setText(QStringLiteral("Kreis")); // an edit of the old profile
        m_form->ProfilmenueBauen();
        menu->actions()[2]->trigger();
        QCOMPARE(checkedAt(menu), 2);
        QCOMPARE(m_liste->activeIndex(), std::size_t(2));
        QCOMPARE(m_form->f().Profilbox->currentIndex(), 2);
        QCOMPARE(m_form->logik().Profilindex(), 2);
        QCOMPARE(text((*m_liste)[0].Scheibentext), std::string("Kreis"));   // applied first
        QCOMPARE(m_form->f().Scheibentext->text(), QStringLiteral("Text")); // the new one loaded
        QCOMPARE(m_form->geoeffnet, 3); // the apply's reconnection, then the profile's

        m_form->ProfilmenueBauen();
        QCOMPARE(checkedAt(menu), 2);
    }

    // "&" is shown as it is; beyond 30 profiles the rest are in a submenu, and choosing one there
    // makes that profile active.
    void aLongListWithAmpersandsStaysReachable() {
        std::vector<std::string> namen;
        for (int i = 0; i < 65; ++i)
            namen.push_back("Profil " + std::to_string(i));
        namen[40] = "Sch\xFCtzen & Co";
        m_start->write(namen);
        m_form.reset();
        m_liste = std::make_unique<Profilliste>();
        m_form = std::make_unique<TestForm>(*m_liste, m_start->path());
        m_form->ProfilmenueBauen();

        const QMenu* menu = m_form->Profilmenue();
        QCOMPARE(menu->actions().size(), 31);
        const QMenu* zweites = menu->actions().back()->menu();
        QVERIFY(zweites);
        QCOMPARE(zweites->actions().size(), 31);
        const QMenu* drittes = zweites->actions().back()->menu();
        QVERIFY(drittes);
        QCOMPARE(drittes->actions().size(), 5);
        QAction* schuetzen = zweites->actions()[10];
        QCOMPARE(schuetzen->text(), QStringLiteral("Sch\u00fctzen && Co"));
        QCOMPARE(QMenu().addAction(schuetzen->text())->iconText(), QStringLiteral("Sch\u00fctzen & Co"));

        schuetzen->trigger();
        QCOMPARE(m_liste->activeIndex(), std::size_t(40));
        QCOMPARE(m_form->f().Profilbox->currentIndex(), 40);
        m_form->ProfilmenueBauen();
        QVERIFY(m_form->Profilmenue()->actions().back()->menu()->actions()[10]->isChecked());
        QCOMPARE(m_form->Profilmenue()->findChildren<QMenu*>().size(), 2); // none left from before
    }

    void newAndRenamedProfilesShowAtTheNextOpening() {
        m_form->logik().NeuesProfilClick();
        m_form->ProfilmenueBauen();
        QCOMPARE(texts(m_form->Profilmenue()), (QStringList{"Verein", "Training", "Jugend", "Unbenannt"}));
        QCOMPARE(checkedAt(m_form->Profilmenue()), 3);
    }

    void clicksWorkOnlyWhileNoWindowIsOpen() {
        m_form->TrayIconClick(QSystemTrayIcon::Trigger);
        QTRY_VERIFY(m_form->Profilmenue()->isVisible());
        QCOMPARE(m_form->Profilmenue()->actions().size(), 3);
        m_form->Profilmenue()->hide();

        m_form->TrayIconClick(QSystemTrayIcon::Context);
        QTRY_VERIFY(m_form->Traymenue()->isVisible());
        m_form->Traymenue()->hide();

        m_form->TrayIconClick(QSystemTrayIcon::DoubleClick);
        QVERIFY(m_form->isVisible());

        // the window is open: nothing reacts
        m_form->TrayIconClick(QSystemTrayIcon::Trigger);
        m_form->TrayIconClick(QSystemTrayIcon::Context);
        QTest::qWait(20);
        QVERIFY(!m_form->Profilmenue()->isVisible());
        QVERIFY(!m_form->Traymenue()->isVisible());

        // the overwrite warning is open: nothing reacts either
        m_form->hide();
        bool shown = true;
        m_desk->whileOpen = [&] {
            m_form->TrayIconClick(QSystemTrayIcon::DoubleClick);
            m_form->TrayIconClick(QSystemTrayIcon::Trigger);
            shown = m_form->isVisible() || m_form->Profilmenue()->isVisible();
        };
        m_desk->overwriteWarning("Protokoll1.rls");
        QVERIFY(!shown);
    }

    void aDoubleClickOpensTheWindowAndNeverTheProfileMenu() {
        // On an X11 tray the first press of a double click arrives as a click of its own.
        auto* wait = m_form->Profilmenue()->findChild<QTimer*>(QStringLiteral("ProfilmenueVerzoegerung"));
        QVERIFY(wait);
        m_form->TrayIconClick(QSystemTrayIcon::Trigger);
        QVERIFY(!m_form->Profilmenue()->isVisible()); // not before the double-click time
        m_form->TrayIconClick(QSystemTrayIcon::DoubleClick);
        QVERIFY(m_form->isVisible());
        QVERIFY(!wait->isActive());
        QVERIFY(!m_form->Profilmenue()->isVisible());

        // a window that opened while the click waited keeps the menu shut
        m_form->hide();
        m_form->TrayIconClick(QSystemTrayIcon::Trigger);
        m_form->show();
        QTest::qWait(wait->interval() + 50);
        QVERIFY(!m_form->Profilmenue()->isVisible());
    }

    void aMachineErrorBringsTheWindowUpUnlessTheWarningIsOpen() {
        m_desk->whileOpen = [&] { m_form->logik().VorMaschinenfehler(); };
        m_desk->overwriteWarning("Protokoll1.rls");
        QVERIFY(!m_form->isVisible());
        m_form->logik().VorMaschinenfehler();
        QVERIFY(m_form->isVisible());
        QCOMPARE(m_form->f().Seiten->currentWidget(), m_form->f().SeiteAllgemein);
    }
};

QTEST_MAIN(TrayMenuTest)
#include "TrayMenuTest.moc"
