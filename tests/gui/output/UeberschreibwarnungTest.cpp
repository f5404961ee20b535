#include "Ueberschreibwarnung.h"
#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "QtDesktop.h"
#include "ScratchDir.h"
#include "ui_Ueberschreibwarnung.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <fstream>
#include <iterator>
#include <memory>

namespace {

std::string lies(const std::string& pfad) {
    std::ifstream in(pfad, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TSerienDatensatz serie(const char* ring, const char* teiler) {
    TSerienDatensatz s;
    s.Schusszahl = "1";
    TSchussDatensatz schuss;
    schuss.Ringwert = ring;
    schuss.Teiler = teiler;
    s.Schuesse.push_back(schuss);
    return s;
}

} // namespace

class UeberschreibwarnungTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_desk = std::make_unique<QtDesktop>(); }
    void cleanup() { m_desk.reset(); }

    void warningWindowLooksAsDesigned() {
        Ueberschreibwarnung& f = m_desk->ueberschreibwarnung();
        QVERIFY(!f.isVisible());
        QCOMPARE(f.windowTitle(), QString("Warnung"));
        QCOMPARE(f.size(), QSize(369, 117));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(f.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(f.windowFlags() & Qt::WindowSystemMenuHint));
        QVERIFY(!(f.windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(f.ui()->Meldung->geometry(), QRect(16, 16, 337, 49));
        QCOMPARE(f.ui()->Meldung->alignment(), Qt::AlignCenter);
        QVERIFY(f.ui()->Meldung->wordWrap());
        QCOMPARE(f.ui()->Meldung->textFormat(), Qt::PlainText);
        QCOMPARE(f.ui()->Abbrechen->text(), QString("&Abbrechen"));
        QCOMPARE(f.ui()->Wiederholen->text(), QString("&Wiederholen"));
        QCOMPARE(f.ui()->Ueberschreiben->text(), QString::fromUtf8("&Datei \xC3\xBC"
                                                                   "berschreiben"));
        for (QPushButton* b : {f.ui()->Abbrechen, f.ui()->Wiederholen, f.ui()->Ueberschreiben}) {
            QCOMPARE(b->size(), QSize(115, 25));
            QCOMPARE(b->y(), f.ui()->Abbrechen->y());
            QVERIFY(b->geometry().bottom() < 117);
        }
        QVERIFY(f.ui()->Wiederholen->isDefault());
        QVERIFY(!f.ui()->Abbrechen->isDefault() && !f.ui()->Ueberschreiben->isDefault());
    }

    void warningReturnsTheModalResultOfEachWayItEnds_data() {
        QTest::addColumn<int>("weg");
        QTest::addColumn<int>("ergebnis");
        QTest::newRow("Abbrechen") << 1 << int(mrAbort);
        QTest::newRow("Wiederholen") << 2 << int(mrRetry);
        QTest::newRow("Datei ueberschreiben") << 3 << int(mrIgnore);
        QTest::newRow("Enter: the default button") << 4 << int(mrRetry);
        QTest::newRow("Escape: asks again") << 5 << 0;
    }
    void warningReturnsTheModalResultOfEachWayItEnds() {
        QFETCH(int, weg);
        QFETCH(int, ergebnis);
        Ueberschreibwarnung& f = m_desk->ueberschreibwarnung();
        // The hook only records what it sees and always answers, so a failed check can never
        // leave the dialog open.
        QDialog* gezeigt = nullptr;
        bool sichtbar = false;
        QString label;
        QWidget* fokus = nullptr;
        m_desk->onDialogShown = [&](QDialog& d) {
            gezeigt = &d;
            sichtbar = m_desk->overwriteWarningVisible();
            label = f.ui()->Meldung->text();
            fokus = f.focusWidget();
            switch (weg) {
            case 1:
                f.ui()->Abbrechen->click();
                break;
            case 2:
                f.ui()->Wiederholen->click();
                break;
            case 3:
                f.ui()->Ueberschreiben->click();
                break;
            case 4:
                QTest::keyClick(&f, Qt::Key_Return);
                break;
            default:
                QTest::keyClick(&f, Qt::Key_Escape);
                break;
            }
        };
        QCOMPARE(m_desk->overwriteWarning("/tmp/Sch\xFC"
                                          "tzen.rls"),
                 ergebnis);
        QCOMPARE(gezeigt, static_cast<QDialog*>(&f));
        QVERIFY(sichtbar);
        QCOMPARE(label, QString::fromUtf8("Datei\n/tmp/Sch\xC3\xBCtzen.rls\nbereits vorhanden !"));
        QCOMPARE(fokus, static_cast<QWidget*>(f.ui()->Wiederholen));
        QVERIFY(!m_desk->overwriteWarningVisible());
        QCOMPARE(Ueberschreibwarnung::warntext("x"), std::string("Datei\n\rx\n\rbereits vorhanden !"));
    }

    void messageBoxMapsFlagsToButtonsAndResults() {
        QString titel, text;
        Qt::TextFormat format = Qt::AutoText;
        QMessageBox::Icon symbol = QMessageBox::NoIcon;
        qsizetype knoepfe = 0;
        bool neinIstStandard = false;
        m_desk->onDialogShown = [&](QDialog& d) {
            auto* box = qobject_cast<QMessageBox*>(&d);
            if (!box || !box->button(QMessageBox::Yes)) {
                d.reject();
                return;
            }
            titel = box->windowTitle();
            text = box->text();
            format = box->textFormat();
            symbol = box->icon();
            knoepfe = box->buttons().size();
            neinIstStandard = box->defaultButton() == box->button(QMessageBox::No);
            box->button(QMessageBox::Yes)->click();
        };
        QCOMPARE(m_desk->messageBox("Der Datensatzaufbau wurde ge\xE4ndert.\n\rl\xF6schen?", "Hinweis",
                                    Mb::YesNo | Mb::IconQuestion | Mb::DefButton2),
                 int(IdYes));
        QCOMPARE(titel, QString("Hinweis"));
        QCOMPARE(text, QString::fromUtf8("Der Datensatzaufbau wurde ge\xC3\xA4ndert.\nl\xC3\xB6schen?"));
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(symbol, QMessageBox::Question);
        QCOMPARE(knoepfe, qsizetype(2));
        QVERIFY(neinIstStandard); // DefButton2
    }

    void messageBoxClosedWithoutAButton_data() {
        QTest::addColumn<unsigned>("flags");
        QTest::addColumn<int>("ergebnis");
        QTest::newRow("Ok, system modal") << unsigned(Mb::Ok | Mb::SystemModal) << int(IdOk);
        QTest::newRow("YesNoCancel") << unsigned(Mb::YesNoCancel) << int(IdCancel);
        QTest::newRow("YesNo") << unsigned(Mb::YesNo) << int(IdNo);
    }
    void messageBoxClosedWithoutAButton() {
        QFETCH(unsigned, flags);
        QFETCH(int, ergebnis);
        Qt::WindowModality modal = Qt::NonModal;
        bool obenauf = false;
        int breite = 0;
        m_desk->onDialogShown = [&](QDialog& d) {
            modal = d.windowModality();
            obenauf = d.windowFlags() & Qt::WindowStaysOnTopHint;
            breite = d.width();
            QTest::keyClick(&d, Qt::Key_Escape);
        };
        QCOMPARE(m_desk->messageBox("Text", "Info Maschinensuche", flags), ergebnis);
        if (flags & Mb::SystemModal) {
            QCOMPARE(modal, Qt::ApplicationModal);
            QVERIFY(obenauf);
        }
        // a short text under a long title: the title still fits beside the frame's buttons
        QVERIFY(breite > QFontMetrics(QApplication::font()).horizontalAdvance("Info Maschinensuche") + 100);
    }

    void clipboardGetsTheTextUpToItsFirstNul() {
        m_desk->setClipboardText(std::string("Sch\xFC"
                                             "tze;10,4;\n\0danach",
                                             21));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("Sch\xC3\xBCtze;10,4;\n"));
    }

    // The real dialog runs a nested event loop: a series delivered while it is open is written
    // after the current one, with a warning of its own.
    void seriesDeliveredWhileTheWarningIsOpenIsWrittenAfterwards() {
        ScratchDir dir("form2");
        Profilliste liste;
        liste.appendStandard(dir.path());
        Profil& p = liste.aktiv();
        p.Dateimodus = 1;
        p.Warnen = 1;
        p.Datensatz = {2, 3, -1, -1, -1, -1};
        const std::string datei = text(p.Dateiname);
        std::ofstream(datei) << "alt";

        TProtokollAusgabe ausgabe(liste);
        int gezeigt = 0;
        m_desk->onDialogShown = [&](QDialog& d) {
            if (++gezeigt == 1)
                ausgabe.WriteSeries(serie("088", "00999"));
            d.done(mrIgnore);
        };
        ausgabe.WriteSeries(serie("104", "01234"));
        QCOMPARE(gezeigt, 2);
        QCOMPARE(lies(datei), std::string("8,8;99,9;\n\n"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("8,8;99,9;\n"));
    }

private:
    std::unique_ptr<QtDesktop> m_desk;
};

QTEST_MAIN(UeberschreibwarnungTest)
#include "UeberschreibwarnungTest.moc"
