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

// The logic of the window. The steps a subclass of the window may take over (the change test,
// applying, opening and closing the machine) go through the window's own virtual functions,
// whose plain versions run the logic's.
class Einstellungsfenster::Logik final : public Einstellungslogik {
public:
    Logik(Einstellungsfenster& form, Profilliste& liste, std::string startverzeichnis)
        : Einstellungslogik(liste, std::move(startverzeichnis), form), m_form(form) {}

    bool SteuerelementeUebernehmen() override { return m_form.SteuerelementeUebernehmen(); }
    bool Aenderungspruefung() override { return m_form.Aenderungspruefung(); }
    void MaschineOeffnen() override { m_form.MaschineOeffnen(); }
    void MaschinenSchliessen() override { m_form.MaschinenSchliessen(); }

private:
    Einstellungsfenster& m_form;
};

Einstellungsfenster::Einstellungsfenster(Profilliste& liste, std::string startverzeichnis, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_logik(std::make_unique<Logik>(*this, liste, std::move(startverzeichnis))), m_liste(liste),
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

    connect(m_ui->Durchsuchen, &QPushButton::clicked, this, &Einstellungsfenster::DurchsuchenClick);
    connect(m_ui->Uebernehmen, &QPushButton::clicked, this, &Einstellungsfenster::UebernehmenClick);
    connect(m_ui->Abbrechen, &QPushButton::clicked, this, &Einstellungsfenster::AbbrechenClick);
    connect(m_ui->ProgrammBeenden, &QPushButton::clicked, this, &Einstellungsfenster::ProgrammBeendenClick);
    connect(m_ui->NeuesProfil, &QPushButton::clicked, this, &Einstellungsfenster::NeuesProfilClick);
    connect(m_ui->NeuAnmelden, &QPushButton::clicked, this, &Einstellungsfenster::NeuAnmeldenClick);
    connect(m_ui->Maschinentest, &QPushButton::clicked, this, &Einstellungsfenster::MaschinentestClick);
    connect(m_ui->Maschinensuche, &QPushButton::clicked, this, &Einstellungsfenster::MaschinensucheClick);
    connect(m_ui->Hinzufuegen, &QPushButton::clicked, this, &Einstellungsfenster::HinzufuegenClick);
    connect(m_ui->Entfernen, &QPushButton::clicked, this, &Einstellungsfenster::EntfernenClick);
    connect(m_ui->NachOben, &QToolButton::clicked, this, &Einstellungsfenster::NachObenClick);
    connect(m_ui->NachUnten, &QToolButton::clicked, this, &Einstellungsfenster::NachUntenClick);
    // The reactions to "Datei" and "Ringlesemaschine" follow every change, also the program's.
    connect(m_ui->Dateiwahl, &TRadioGroup::itemIndexChanged, this,
            [this](int index) { m_logik->DateiwahlClick(index); });
    connect(m_ui->Maschinenwahl, &TRadioGroup::itemIndexChanged, this,
            [this](int index) { m_logik->MaschinenwahlClick(index); });
    connect(m_ui->Trennzeichenartwahl, &TRadioGroup::itemClicked, this,
            &Einstellungsfenster::TrennzeichenartwahlClick);

    connect(m_ui->Profilbox->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { m_logik->ProfilboxChange(text.toStdString()); });
    connect(m_ui->Profilbox, &QComboBox::activated, this,
            [this](int index) { m_logik->ProfilboxSelect(index); });
    connect(m_ui->Profilbox, &ProfilComboBox::verlassen, this, [this] { m_logik->ProfilboxExit(false); });
    connect(m_ui->Profilbox, &ProfilComboBox::listeOeffnet, this, [this] { m_logik->ProfilboxExit(true); });
}

// --- What the logic does, through the functions a subclass may take over ----------------------

bool Einstellungsfenster::Ersteinrichtung() const {
    return m_logik->Ersteinrichtung();
}

const std::string& Einstellungsfenster::Startverzeichnis() const {
    return m_logik->Startverzeichnis();
}

std::string Einstellungsfenster::configPath() const {
    return m_logik->configPath();
}

Einstellungslogik& Einstellungsfenster::logik() const {
    return *m_logik;
}

int Einstellungsfenster::Profilindex() const {
    return m_logik->Profilindex();
}

Serienpfad& Einstellungsfenster::Pfad() const {
    return m_logik->Pfad();
}

TProtokollAusgabe& Einstellungsfenster::Ausgabe() const {
    return m_logik->Pfad().Ausgabe();
}

void Einstellungsfenster::SteuerelementeLaden() {
    m_logik->SteuerelementeLaden();
}

bool Einstellungsfenster::SteuerelementeUebernehmen() {
    return m_logik->Einstellungslogik::SteuerelementeUebernehmen();
}

bool Einstellungsfenster::Aenderungspruefung() {
    return m_logik->Einstellungslogik::Aenderungspruefung();
}

void Einstellungsfenster::MaschineOeffnen() {
    m_logik->Einstellungslogik::MaschineOeffnen();
}

void Einstellungsfenster::MaschinenSchliessen() {
    m_logik->Einstellungslogik::MaschinenSchliessen();
}

void Einstellungsfenster::MaschineAnmelden() {
    m_logik->MaschineAnmelden();
}

void Einstellungsfenster::ProfilWaehlen(int index) {
    m_logik->ProfilWaehlen(index);
}

bool Einstellungsfenster::CloseQuery() {
    return m_logik->CloseQuery();
}

bool Einstellungsfenster::ProfileSpeichern(bool report) {
    return m_logik->ProfileSpeichern(report);
}

std::string Einstellungsfenster::DateinameFehler() const {
    return m_logik->DateinameFehler();
}

bool Einstellungsfenster::DateinameMelden() {
    return m_logik->DateinameMelden();
}

void Einstellungsfenster::VorMaschinenfehler() {
    m_logik->VorMaschinenfehler();
}

std::vector<std::string> Einstellungsfenster::DatensatzTitel() const {
    return m_logik->DatensatzTitel();
}

void Einstellungsfenster::TfxError(TCustomComPort* Sender, int32_t ErrorCode) {
    m_logik->TfxError(Sender, ErrorCode);
}

// --- What the user does ---------------------------------------------------------------------

void Einstellungsfenster::DurchsuchenClick() {
    m_logik->DurchsuchenClick();
}

void Einstellungsfenster::UebernehmenClick() {
    m_logik->UebernehmenClick();
}

void Einstellungsfenster::AbbrechenClick() {
    m_logik->AbbrechenClick();
}

void Einstellungsfenster::ProgrammBeendenClick() {
    close();
}

void Einstellungsfenster::NeuesProfilClick() {
    m_logik->NeuesProfilClick();
}

void Einstellungsfenster::NeuAnmeldenClick() {
    m_logik->NeuAnmeldenClick();
}

void Einstellungsfenster::MaschinentestClick() {
    m_logik->MaschinentestClick();
}

void Einstellungsfenster::MaschinensucheClick() {
    m_logik->MaschinensucheClick();
}

void Einstellungsfenster::HinzufuegenClick() {
    m_logik->HinzufuegenClick();
}

void Einstellungsfenster::EntfernenClick() {
    m_logik->EntfernenClick();
}

void Einstellungsfenster::NachObenClick() {
    m_logik->NachObenClick();
}

void Einstellungsfenster::NachUntenClick() {
    m_logik->NachUntenClick();
}

void Einstellungsfenster::TrennzeichenartwahlClick(int index) {
    m_logik->TrennzeichenartwahlClick(index);
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
        AbbrechenClick();
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
    if (!CloseQuery()) {
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
                DateinameMelden();
        });
}
