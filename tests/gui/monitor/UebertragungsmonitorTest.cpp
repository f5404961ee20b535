// The Übertragungsmonitor on a log file that grows, is rotated and is longer than the window
// keeps: the last lines, what comes later, pause and "Speichern unter…" through its dialog seam.

#include "Uebertragungsmonitor.h"

#include "ScratchDir.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QWheelEvent>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::string lies(const std::string& pfad) {
    std::ifstream in(pfad, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void anhaengen(const std::string& pfad, int von, int bis) {
    std::ofstream out(pfad, std::ios::binary | std::ios::app);
    for (int i = von; i < bis; ++i)
        out << "2026-12-08 17:41:42.123 ttyUSB0 < <NAK> " << i << "\n";
}

class Monitor : public Uebertragungsmonitor {
public:
    using Uebertragungsmonitor::Uebertragungsmonitor;
    QString ziel;

protected:
    QString speichernDialog(const QString&) override { return ziel; }
};

} // namespace

class UebertragungsmonitorTest : public QObject {
    Q_OBJECT

private slots:
    void showsTheLastLinesFollowsTheFileAndSavesWhatItShows() {
        ScratchDir dir("monitor");
        const std::string pfad = dir / "uebertragung.log";
        anhaengen(pfad, 0, Uebertragungsmonitor::Zeilen + 500);
        Monitor monitor(QString::fromStdString(pfad));
        QPlainTextEdit* anzeige = monitor.anzeige();
        QCOMPARE(anzeige->blockCount(), Uebertragungsmonitor::Zeilen);
        QVERIFY(anzeige->document()->firstBlock().text().endsWith(" 500"));
        QVERIFY(anzeige->document()->lastBlock().text().endsWith(
            QStringLiteral(" %1").arg(Uebertragungsmonitor::Zeilen + 499)));

        // A line written in two pieces shows once it is whole.
        std::ofstream(pfad, std::ios::binary | std::ios::app)
            << "2026-12-08 17:41:43.000 ttyUSB0 * Fehler: halb";
        monitor.nachlesen();
        QVERIFY(anzeige->document()->lastBlock().text().endsWith(
            QStringLiteral(" %1").arg(Uebertragungsmonitor::Zeilen + 499)));
        std::ofstream(pfad, std::ios::binary | std::ios::app) << " und ganz\n";
        monitor.nachlesen();
        QCOMPARE(anzeige->document()->lastBlock().text(),
                 QStringLiteral("2026-12-08 17:41:43.000 ttyUSB0 * Fehler: halb und ganz"));

        // Paused, nothing moves; going on, what came meanwhile follows.
        monitor.anhaltenUmschalten();
        anhaengen(pfad, 0, 1);
        monitor.nachlesen();
        QVERIFY(anzeige->document()->lastBlock().text().endsWith(" und ganz"));
        monitor.anhaltenUmschalten();
        QVERIFY(anzeige->document()->lastBlock().text().endsWith("<NAK> 0"));

        // Rotated: the new file from its start.
        std::filesystem::rename(pfad, pfad + ".1");
        anhaengen(pfad, 7, 8);
        monitor.nachlesen();
        QVERIFY(anzeige->document()->lastBlock().text().endsWith("<NAK> 7"));

        monitor.leeren();
        anhaengen(pfad, 8, 10);
        monitor.nachlesen();
        monitor.ziel = QString::fromStdString(dir / "gesichert.txt");
        monitor.speichernUnter();
        QCOMPARE(lies(dir / "gesichert.txt"), std::string("2026-12-08 17:41:42.123 ttyUSB0 < <NAK> 8\n"
                                                          "2026-12-08 17:41:42.123 ttyUSB0 < <NAK> 9\n"));
    }

    // Opened while lines come, it stays at the end, also when a long line brings the horizontal
    // scroll bar; scrolled up by the user it stays there, and back at the end it follows again.
    void followsUntilScrolledUpAndAgainAtTheEnd() {
        ScratchDir dir("monitor");
        const std::string pfad = dir / "uebertragung.log";
        anhaengen(pfad, 0, 300);
        Monitor monitor(QString::fromStdString(pfad));
        monitor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&monitor));
        QScrollBar* leiste = monitor.anzeige()->verticalScrollBar();
        const auto weiter = [&](int von, int bis) {
            anhaengen(pfad, von, bis);
            monitor.nachlesen();
            QCoreApplication::processEvents();
        };
        for (int i = 300; i < 400; i += 10) {
            if (i == 350)
                std::ofstream(pfad, std::ios::binary | std::ios::app)
                    << "2026-12-08 17:41:42.123 ttyUSB0 < " << std::string(300, 'x') << "\n";
            weiter(i, i + 10);
            QCOMPARE(leiste->value(), leiste->maximum());
        }
        QWidget* sicht = monitor.anzeige()->viewport();
        const QPoint mitte = sicht->rect().center();
        QWheelEvent rad(mitte, sicht->mapToGlobal(mitte), {}, {0, 360}, Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
        QApplication::sendEvent(sicht, &rad);
        const int oben = leiste->value();
        QVERIFY(oben < leiste->maximum());
        weiter(400, 410);
        QCOMPARE(leiste->value(), oben);
        leiste->triggerAction(QAbstractSlider::SliderToMaximum);
        weiter(410, 420);
        QCOMPARE(leiste->value(), leiste->maximum());
        QVERIFY(monitor.anzeige()->document()->lastBlock().text().endsWith(" 419"));
    }
};

QTEST_MAIN(UebertragungsmonitorTest)
#include "UebertragungsmonitorTest.moc"
