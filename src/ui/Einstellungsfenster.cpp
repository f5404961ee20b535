#include "Serienpfad.h"

#include "Einstellungsfenster.h"

#include "AnsiValidator.h"
#include "Einstellungslogik.h"
#include "ui_Einstellungsfenster.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <utility>
#include <vector>

// The resources live in the static ui library; they must be registered by name.
static void initTreffluxResources() {
    Q_INIT_RESOURCE(trefflux);
}

Einstellungsfenster::Einstellungsfenster(Profilliste& liste, std::string startverzeichnis,
                                         const Logikbau& logikbau)
    : QWidget(nullptr,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_ansicht(ansichtBauen(*this)),
      m_logik(logikbau ? logikbau(liste, std::move(startverzeichnis), *m_ansicht)
                       : std::make_unique<Einstellungslogik>(liste, std::move(startverzeichnis), *m_ansicht)),
      m_ui(std::make_unique<Ui::Einstellungsfenster>()) {
    initTreffluxResources();
    m_ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/trefflux/target.svg")));
    setFixedSize(size());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    setupControls();
    setupMenus();

    // The port list is built with the window: every port present, then "COM1" if listed, then
    // the first one.
    m_ui->Port->setComProperty(cpPort);
    m_ui->Port->setText("COM1");
    m_ui->Port->setItemIndex(0);

    m_logik->Starten();
    setzeTabReihenfolge();
}

void Einstellungsfenster::setzeTabReihenfolge() {
    // Tab leaves the lists and the help text instead of moving inside them.
    for (QAbstractItemView* liste : {static_cast<QAbstractItemView*>(m_ui->Elementeliste),
                                     static_cast<QAbstractItemView*>(m_ui->Datensatzliste),
                                     static_cast<QAbstractItemView*>(m_ui->Trennzeichenliste)})
        liste->setTabKeyNavigation(false);
    m_ui->Info->setTabChangesFocus(true);

    // The profile row, the page tabs, each page from top left to bottom right, the buttons. The
    // tabs take the focus themselves: the page control would count its pages' controls as parts
    // of its own, and come once more after the buttons.
    m_ui->Seiten->setFocusPolicy(Qt::NoFocus); // passed on to the tabs
    m_ui->Seiten->tabBar()->setFocusPolicy(Qt::TabFocus);
    std::vector<QWidget*> reihe{m_ui->Profilbox, m_ui->NeuesProfil, m_ui->Seiten->tabBar(), m_ui->Dateiname,
                                m_ui->Durchsuchen};
    const auto knoepfe = [&reihe](const TRadioGroup* gruppe) {
        for (int i = 0; QRadioButton* knopf = gruppe->button(i); ++i)
            reihe.push_back(knopf);
    };
    knoepfe(m_ui->Dateiwahl);
    reihe.insert(reihe.end(), {m_ui->Warnen, m_ui->Header});
    knoepfe(m_ui->Maschinenwahl);
    reihe.insert(reihe.end(), {m_ui->Port, findChild<QPushButton*>(QStringLiteral("MonitorKnopf")),
                               m_ui->Maschinensuche, m_ui->NeuAnmelden, m_ui->Maschinentest,
                               m_ui->Elementeliste, m_ui->Hinzufuegen, m_ui->Entfernen, m_ui->Datensatzliste,
                               m_ui->NachOben, m_ui->NachUnten, m_ui->Zehntelringe});
    knoepfe(m_ui->Trennzeichenartwahl);
    reihe.push_back(m_ui->Trennzeichenliste);
    knoepfe(m_ui->Scheibentypwahl);
    reihe.insert(reihe.end(),
                 {m_ui->Schusszahl, m_ui->SchussProScheibe, m_ui->Scheibentext, m_ui->Teilergrenze,
                  m_ui->Drucker, m_ui->Info, m_ui->Uebernehmen, m_ui->Abbrechen, m_ui->ProgrammBeenden});
    for (std::size_t i = 1; i < reihe.size(); ++i)
        QWidget::setTabOrder(reihe[i - 1], reihe[i]);
}

Einstellungsfenster::~Einstellungsfenster() {
    // The ports close while the window is whole; the series path closes them again when it goes.
    m_logik->Pfad().MaschinenSchliessen();
    // The logic goes before the widgets: nothing they report while they go (a focus that leaves
    // the profile box or a number field) may reach it.
    for (QObject* child : findChildren<QObject*>()) {
        child->disconnect(this);
        child->removeEventFilter(this);
    }
}

void Einstellungsfenster::setupControls() {
    // Profile name and file name: what the profile can store, and no more than its field holds.
    m_ui->Profilbox->lineEdit()->setMaxLength(Eingabegrenze::Profilname);
    m_ui->Profilbox->lineEdit()->setValidator(new AnsiValidator(this));
    for (Feld feld : {Feld::Dateiname, Feld::Schusszahl, Feld::Scheibentext})
        edit(feld)->setMaxLength(eingabegrenze(feld));
    m_ui->Dateiname->setValidator(new AnsiValidator(this));
    m_ui->Scheibentext->setValidator(new AnsiValidator(this));

    // Number fields take digits only; the range is checked when the field is left.
    const QRegularExpression digits(QStringLiteral("[0-9]*"));
    for (Feld feld : {Feld::SchussProScheibe, Feld::Teilergrenze, Feld::Schusszahl}) {
        edit(feld)->setValidator(new QRegularExpressionValidator(digits, this));
        edit(feld)->installEventFilter(this);
    }

    m_ui->NachOben->setIcon(QIcon(QStringLiteral(":/trefflux/up.svg")));
    m_ui->NachUnten->setIcon(QIcon(QStringLiteral(":/trefflux/down.svg")));
    m_ui->Elementeliste->setColumnWidth(0, 140);
    m_ui->Datensatzliste->setColumnWidth(0, 160);

    QFile info(QStringLiteral(":/trefflux/info.html"));
    if (info.open(QIODevice::ReadOnly))
        m_ui->Info->setHtml(QString::fromUtf8(info.readAll()));

    connect(m_ui->Durchsuchen, &QPushButton::clicked, this, [this] { m_logik->DurchsuchenClick(); });
    connect(m_ui->Uebernehmen, &QPushButton::clicked, this, [this] { m_logik->UebernehmenClick(); });
    connect(m_ui->Abbrechen, &QPushButton::clicked, this, [this] { m_logik->AbbrechenClick(); });
    connect(m_ui->ProgrammBeenden, &QPushButton::clicked, this, &Einstellungsfenster::ProgrammBeendenClick);
    connect(m_ui->NeuesProfil, &QPushButton::clicked, this, [this] { m_logik->NeuesProfilClick(); });
    connect(m_ui->NeuAnmelden, &QPushButton::clicked, this, [this] { m_logik->NeuAnmeldenClick(); });
    connect(m_ui->Maschinentest, &QPushButton::clicked, this, [this] { m_logik->MaschinentestClick(); });
    connect(m_ui->Maschinensuche, &QPushButton::clicked, this, [this] { m_logik->MaschinensucheClick(); });
    connect(m_ui->Hinzufuegen, &QPushButton::clicked, this, [this] { m_logik->HinzufuegenClick(); });
    connect(m_ui->Entfernen, &QPushButton::clicked, this, [this] { m_logik->EntfernenClick(); });
    connect(m_ui->NachOben, &QToolButton::clicked, this, [this] { m_logik->NachObenClick(); });
    connect(m_ui->NachUnten, &QToolButton::clicked, this, [this] { m_logik->NachUntenClick(); });
    // The reactions to "Datei" and "Ringlesemaschine" follow every change, also the program's.
    connect(m_ui->Dateiwahl, &TRadioGroup::itemIndexChanged, this,
            [this](int index) { m_logik->DateiwahlClick(index); });
    connect(m_ui->Maschinenwahl, &TRadioGroup::itemIndexChanged, this,
            [this](int index) { m_logik->MaschinenwahlClick(index); });
    connect(m_ui->Trennzeichenartwahl, &TRadioGroup::itemClicked, this,
            [this](int index) { m_logik->TrennzeichenartwahlClick(index); });

    connect(m_ui->Profilbox->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { m_logik->ProfilboxChange(text.toStdString()); });
    connect(m_ui->Profilbox, &QComboBox::activated, this,
            [this](int index) { m_logik->ProfilboxSelect(index); });
    connect(m_ui->Profilbox, &ProfilComboBox::verlassen, this, [this] { m_logik->ProfilboxExit(false); });
    connect(m_ui->Profilbox, &ProfilComboBox::listeOeffnet, this, [this] { m_logik->ProfilboxExit(true); });
}

// --- What the user does ---------------------------------------------------------------------

void Einstellungsfenster::ProgrammBeendenClick() {
    close();
}

bool Einstellungsfenster::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Switching to another window or opening a context menu does not leave the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            for (Feld feld : {Feld::SchussProScheibe, Feld::Teilergrenze, Feld::Schusszahl}) {
                if (watched == edit(feld))
                    m_logik->ZahlenfeldExit(feld);
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Einstellungsfenster::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        m_logik->AbbrechenClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

// --- The end --------------------------------------------------------------------------------

void Einstellungsfenster::OhneFrageBeenden() {
    if (m_ending)
        return;
    m_ending = true;
    m_logik->OhneFrageBeenden();
    close();
    QCoreApplication::quit();
}

void Einstellungsfenster::closeEvent(QCloseEvent* event) {
    if (m_ending) {
        event->accept();
        return;
    }
    if (!m_logik->CloseQuery()) {
        event->ignore();
        return;
    }
    m_ending = true;
    event->accept();
    QCoreApplication::quit();
}

void Einstellungsfenster::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Once the window is on screen, a file name that cannot work is reported.
    if (!event->spontaneous() && !std::exchange(m_dateinamePruefungGeplant, true))
        QTimer::singleShot(0, this, [this] {
            m_dateinamePruefungGeplant = false;
            if (isVisible())
                m_logik->DateinameMelden();
        });
}
