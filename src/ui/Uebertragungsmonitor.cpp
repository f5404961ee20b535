#include "Uebertragungslog.h"

#include "Uebertragungsmonitor.h"

#include "Desktop.h"
#include "PlatformFile.h"
#include "Win1252.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int Nachlesezeit = 250; // ms between two looks at the file

// Events in blue, notices in brown, errors in red; bytes to the machine in green.
class Zeilenfarben : public QSyntaxHighlighter {
public:
    explicit Zeilenfarben(QTextDocument* dokument) : QSyntaxHighlighter(dokument) {
        m_ereignis.setForeground(QColor(0x00, 0x33, 0x99));
        m_ereignis.setFontWeight(QFont::Bold);
        m_hinweis = m_ereignis;
        m_hinweis.setForeground(QColor(0x99, 0x55, 0x00));
        m_fehler = m_ereignis;
        m_fehler.setForeground(QColor(0xC0, 0x00, 0x00));
        m_fehler.setBackground(QColor(0xFF, 0xEE, 0xEE));
        m_gesendet.setForeground(QColor(0x00, 0x66, 0x00));
    }

protected:
    void highlightBlock(const QString& zeile) override {
        // "date time port mark text": the mark follows the port, which follows the time.
        constexpr int Zeitbreite = 24;
        const qsizetype leer = zeile.indexOf(QLatin1Char(' '), Zeitbreite);
        if (leer < 0 || leer + 1 >= zeile.size())
            return;
        const QChar marke = zeile.at(leer + 1);
        const QStringView text = QStringView(zeile).mid(leer + 3);
        if (marke == QLatin1Char('*')) {
            const QTextCharFormat& f = text.startsWith(QLatin1String("Fehler"))    ? m_fehler
                                       : text.startsWith(QLatin1String("Hinweis")) ? m_hinweis
                                                                                   : m_ereignis;
            setFormat(0, static_cast<int>(zeile.size()), f);
        } else if (marke == QLatin1Char('>')) {
            setFormat(0, static_cast<int>(zeile.size()), m_gesendet);
        }
    }

private:
    QTextCharFormat m_ereignis, m_hinweis, m_fehler, m_gesendet;
};

QString logPfad() {
    const auto log = uebertragungslog();
    return log ? QString::fromStdString(log->pfad()) : QString();
}

} // namespace

Uebertragungsmonitor::Uebertragungsmonitor(QString pfad, QWidget* parent)
    : QWidget(parent, Qt::Window), m_pfad(pfad.isEmpty() ? logPfad() : std::move(pfad)),
      m_leser(m_pfad.toStdString(), Zeilen), m_dateiLabel(new QLabel(this)),
      m_anzeige(new QPlainTextEdit(this)), m_anhalten(new QPushButton(QStringLiteral("&Anhalten"), this)),
      m_timer(new QTimer(this)) {
    setObjectName(QStringLiteral("Uebertragungsmonitor"));
    setWindowTitle(QStringLiteral("Übertragungsmonitor"));
    resize(900, 560);

    m_dateiLabel->setObjectName(QStringLiteral("LabelDatei"));
    m_dateiLabel->setText(m_pfad.isEmpty() ? QStringLiteral("Kein Übertragungsprotokoll")
                                           : QStringLiteral("Datei: ") + m_pfad);
    m_dateiLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_anzeige->setObjectName(QStringLiteral("Anzeige"));
    m_anzeige->setReadOnly(true);
    m_anzeige->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_anzeige->setMaximumBlockCount(Zeilen);
    m_anzeige->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    new Zeilenfarben(m_anzeige->document());

    m_anhalten->setObjectName(QStringLiteral("ButtonAnhalten"));
    auto* leerenKnopf = new QPushButton(QStringLiteral("Anzeige &leeren"), this);
    leerenKnopf->setObjectName(QStringLiteral("ButtonLeeren"));
    auto* kopierenKnopf = new QPushButton(QStringLiteral("&Kopieren"), this);
    kopierenKnopf->setObjectName(QStringLiteral("ButtonKopieren"));
    auto* speichernKnopf = new QPushButton(QStringLiteral("&Speichern unter…"), this);
    speichernKnopf->setObjectName(QStringLiteral("ButtonSpeichernUnter"));
    auto* schliessenKnopf = new QPushButton(QStringLiteral("S&chließen"), this);
    schliessenKnopf->setObjectName(QStringLiteral("ButtonSchliessen"));
    connect(m_anhalten, &QPushButton::clicked, this, &Uebertragungsmonitor::anhaltenUmschalten);
    connect(leerenKnopf, &QPushButton::clicked, this, &Uebertragungsmonitor::leeren);
    connect(kopierenKnopf, &QPushButton::clicked, this, &Uebertragungsmonitor::kopieren);
    connect(speichernKnopf, &QPushButton::clicked, this, &Uebertragungsmonitor::speichernUnter);
    connect(schliessenKnopf, &QPushButton::clicked, this, &QWidget::close);

    auto* knoepfe = new QHBoxLayout;
    for (QPushButton* k : {m_anhalten, leerenKnopf, kopierenKnopf, speichernKnopf})
        knoepfe->addWidget(k);
    knoepfe->addStretch();
    knoepfe->addWidget(schliessenKnopf);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_dateiLabel);
    layout->addWidget(m_anzeige, 1);
    layout->addLayout(knoepfe);

    // The view follows new lines until the user scrolls away from the end, and again once they
    // are back there. The range also changes after a line was added (a long line brings the
    // horizontal scroll bar): the view stays at the end then too.
    QScrollBar* leiste = m_anzeige->verticalScrollBar();
    const auto gescrollt = [this, leiste] {
        if (!m_anhaengend)
            m_folgen = leiste->sliderPosition() == leiste->maximum();
    };
    connect(leiste, &QScrollBar::valueChanged, this, gescrollt);
    connect(leiste, &QScrollBar::actionTriggered, this, gescrollt);
    connect(leiste, &QScrollBar::rangeChanged, this, [this, leiste] {
        if (m_folgen && !m_anhaengend)
            leiste->setValue(leiste->maximum());
    });

    nachlesen();
    connect(m_timer, &QTimer::timeout, this, &Uebertragungsmonitor::nachlesen);
    m_timer->start(Nachlesezeit);
}

Uebertragungsmonitor::~Uebertragungsmonitor() = default;

Uebertragungsmonitor* Uebertragungsmonitor::zeigen(QWidget* fenster) {
    auto* monitor = fenster->findChild<Uebertragungsmonitor*>(QString(), Qt::FindDirectChildrenOnly);
    if (!monitor) {
        monitor = new Uebertragungsmonitor({}, fenster);
        monitor->setAttribute(Qt::WA_DeleteOnClose);
    }
    monitor->show();
    monitor->raise();
    monitor->activateWindow();
    return monitor;
}

void Uebertragungsmonitor::nachlesen() {
    if (m_angehalten || m_pfad.isEmpty())
        return;
    std::string neu = m_leser.neueZeilen();
    if (neu.empty())
        return;
    neu.pop_back(); // each line is a paragraph of the view
    anhaengen(QByteArray::fromStdString(neu));
}

void Uebertragungsmonitor::anhaengen(const QByteArray& zeilen) {
    // Adding lines moves the view by itself (to the end when it thinks the last line is in
    // sight, and by the lines cut at the top once the view is full): only the user's scrolling
    // decides whether it follows. A view scrolled up keeps showing the same lines.
    QScrollBar* leiste = m_anzeige->verticalScrollBar();
    const int vorher = leiste->value();
    const int zeilenVorher = m_anzeige->blockCount();
    const int neu = static_cast<int>(zeilen.count('\n')) + 1;
    m_anhaengend = true;
    m_anzeige->appendPlainText(QString::fromUtf8(zeilen));
    m_anhaengend = false;
    const int weg = zeilenVorher + neu - m_anzeige->blockCount();
    leiste->setValue(m_folgen ? leiste->maximum() : std::max(0, vorher - weg));
}

void Uebertragungsmonitor::anhaltenUmschalten() {
    m_angehalten = !m_angehalten;
    m_anhalten->setText(m_angehalten ? QStringLiteral("&Weiter") : QStringLiteral("&Anhalten"));
    if (!m_angehalten)
        nachlesen();
}

void Uebertragungsmonitor::leeren() {
    m_anzeige->clear();
}

void Uebertragungsmonitor::kopieren() {
    QString auswahl = m_anzeige->textCursor().selectedText();
    QApplication::clipboard()->setText(auswahl.isEmpty() ? m_anzeige->toPlainText()
                                                         : auswahl.replace(QChar::ParagraphSeparator, '\n'));
}

void Uebertragungsmonitor::speichernUnter() {
    const QString pfad = speichernDialog(QStringLiteral("uebertragung.txt"));
    if (pfad.isEmpty())
        return;
    // Through the core's file replacement: a failure has the system's code, told in German.
    const std::string inhalt = m_anzeige->toPlainText().toStdString() + '\n';
    const platform::ReplaceResult ergebnis = platform::replaceFile(pfad.toStdString(), inhalt);
    if (!ergebnis.ok()) {
        const std::string grund = ergebnis.failedAt == platform::ReplaceResult::Step::notAFile
                                      ? "keine gew\u00f6hnliche Datei"
                                      : ergebnis.error.text;
        desktop().messageBox(
            utf8ToWin1252("Die Datei " + pfad.toStdString() + " konnte nicht gespeichert werden: " + grund),
            "Fehler", Mb::Ok | Mb::IconError);
    }
}

QString Uebertragungsmonitor::speichernDialog(const QString& vorschlag) {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Speichern unter"), vorschlag);
}
