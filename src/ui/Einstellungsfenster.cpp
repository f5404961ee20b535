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
class TForm1::Logik final : public Einstellungslogik {
public:
    Logik(TForm1& form, Profilliste& liste, std::string startverzeichnis)
        : Einstellungslogik(liste, std::move(startverzeichnis), form), m_form(form) {}

    bool SteuerelementeUebernehmen() override { return m_form.SteuerelementeUebernehmen(); }
    bool Aenderungspruefung() override { return m_form.Aenderungspruefung(); }
    void MaschineOeffnen() override { m_form.MaschineOeffnen(); }
    void MaschinenSchliessen() override { m_form.MaschinenSchliessen(); }

private:
    TForm1& m_form;
};

TForm1::TForm1(Profilliste& liste, std::string startverzeichnis, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_logik(std::make_unique<Logik>(*this, liste, std::move(startverzeichnis))),
      RikaCom1(m_logik->Pfad().RikaCom1), SamCom1(m_logik->Pfad().SamCom1),
      Rm3WinCom1(m_logik->Pfad().Rm3WinCom1), m_liste(liste), m_ui(std::make_unique<Ui::TForm1>()) {
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
    m_ui->ComboBoxComNr->setComProperty(cpPort);
    m_ui->ComboBoxComNr->setText("COM1");
    m_ui->ComboBoxComNr->setItemIndex(0);

    m_logik->Starten();
    setzeTabReihenfolge();
}

void TForm1::setzeTabReihenfolge() {
    // Tab leaves the lists and the help text instead of moving inside them.
    for (QAbstractItemView* liste : {static_cast<QAbstractItemView*>(m_ui->ElementeListView),
                                     static_cast<QAbstractItemView*>(m_ui->DatensatzListView),
                                     static_cast<QAbstractItemView*>(m_ui->ListView1)})
        liste->setTabKeyNavigation(false);
    m_ui->Memo1->setTabChangesFocus(true);

    // The profile row, the page tabs, each page from top left to bottom right, the buttons. The
    // tabs take the focus themselves: the page control would count its pages' controls as parts
    // of its own, and come once more after the buttons.
    m_ui->PageControl1->setFocusPolicy(Qt::NoFocus); // passed on to the tabs
    m_ui->PageControl1->tabBar()->setFocusPolicy(Qt::TabFocus);
    std::vector<QWidget*> reihe{m_ui->ComboBox2, m_ui->Button5, m_ui->PageControl1->tabBar(), m_ui->Edit1,
                                m_ui->Button1};
    const auto knoepfe = [&reihe](const TRadioGroup* gruppe) {
        for (int i = 0; QRadioButton* knopf = gruppe->button(i); ++i)
            reihe.push_back(knopf);
    };
    knoepfe(m_ui->RadioGroup1);
    reihe.insert(reihe.end(), {m_ui->CheckBox1, m_ui->CheckBox4});
    knoepfe(m_ui->RadioGroup2);
    reihe.insert(reihe.end(),
                 {m_ui->ComboBoxComNr, findChild<QPushButton*>(QStringLiteral("ButtonUebertragungsmonitor")),
                  m_ui->ButtonMaschinensuche, m_ui->Button6, m_ui->ButtonMaschTest, m_ui->ElementeListView,
                  m_ui->LoadButton, m_ui->DelButton, m_ui->DatensatzListView, m_ui->UpButton,
                  m_ui->DownButton, m_ui->CheckBox2});
    knoepfe(m_ui->RadioGroup4);
    reihe.push_back(m_ui->ListView1);
    knoepfe(m_ui->RadioGroup3);
    reihe.insert(reihe.end(), {m_ui->Edit6, m_ui->Edit3, m_ui->Edit4, m_ui->Edit5, m_ui->CheckBox3,
                               m_ui->Memo1, m_ui->Button2, m_ui->Button3, m_ui->Button4});
    for (std::size_t i = 1; i < reihe.size(); ++i)
        QWidget::setTabOrder(reihe[i - 1], reihe[i]);
}

TForm1::~TForm1() {
    // The ports close while the window is whole; the series path closes them again when it goes.
    m_logik->Pfad().MaschinenSchliessen();
    // The logic goes before the widgets: nothing they report while they go (a focus that leaves
    // the profile box or a number field) may reach it.
    for (QObject* child : findChildren<QObject*>()) {
        child->disconnect(this);
        child->removeEventFilter(this);
    }
}

void TForm1::setupControls() {
    // Profile name and file name: what the profile can store, and no more than its field holds.
    m_ui->ComboBox2->lineEdit()->setMaxLength(Eingabegrenze::Profilname);
    m_ui->ComboBox2->lineEdit()->setValidator(new AnsiValidator(this));
    for (Feld feld : {Feld::Dateiname, Feld::Schusszahl, Feld::Scheibentext})
        edit(feld)->setMaxLength(eingabegrenze(feld));
    m_ui->Edit1->setValidator(new AnsiValidator(this));
    m_ui->Edit4->setValidator(new AnsiValidator(this));

    // Number fields take digits only; the range is checked when the field is left.
    const QRegularExpression digits(QStringLiteral("[0-9]*"));
    for (Feld feld : {Feld::SchussProScheibe, Feld::Teilergrenze, Feld::Schusszahl}) {
        edit(feld)->setValidator(new QRegularExpressionValidator(digits, this));
        edit(feld)->installEventFilter(this);
    }

    m_ui->UpButton->setIcon(QIcon(QStringLiteral(":/trefflux/up.svg")));
    m_ui->DownButton->setIcon(QIcon(QStringLiteral(":/trefflux/down.svg")));
    m_ui->ElementeListView->setColumnWidth(0, 140);
    m_ui->DatensatzListView->setColumnWidth(0, 160);

    QFile info(QStringLiteral(":/trefflux/info.html"));
    if (info.open(QIODevice::ReadOnly))
        m_ui->Memo1->setHtml(QString::fromUtf8(info.readAll()));

    connect(m_ui->Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(m_ui->Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(m_ui->Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(m_ui->Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(m_ui->Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(m_ui->Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    connect(m_ui->ButtonMaschTest, &QPushButton::clicked, this, &TForm1::ButtonMaschTestClick);
    connect(m_ui->ButtonMaschinensuche, &QPushButton::clicked, this, &TForm1::ButtonMaschinensucheClick);
    connect(m_ui->LoadButton, &QPushButton::clicked, this, &TForm1::LoadButtonClick);
    connect(m_ui->DelButton, &QPushButton::clicked, this, &TForm1::DelButtonClick);
    connect(m_ui->UpButton, &QToolButton::clicked, this, &TForm1::UpButtonClick);
    connect(m_ui->DownButton, &QToolButton::clicked, this, &TForm1::DownButtonClick);
    // The reactions to "Datei" and "Ringlesemaschine" follow every change, also the program's.
    connect(m_ui->RadioGroup1, &TRadioGroup::itemIndexChanged, this,
            [this](int index) { m_logik->RadioGroup1Click(index); });
    connect(m_ui->RadioGroup2, &TRadioGroup::itemIndexChanged, this,
            [this](int index) { m_logik->RadioGroup2Click(index); });
    connect(m_ui->RadioGroup4, &TRadioGroup::itemClicked, this, &TForm1::RadioGroup4Click);

    connect(m_ui->ComboBox2->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { m_logik->ComboBox2Change(text.toStdString()); });
    connect(m_ui->ComboBox2, &QComboBox::activated, this,
            [this](int index) { m_logik->ComboBox2Select(index); });
    connect(m_ui->ComboBox2, &ProfilBox::verlassen, this, [this] { m_logik->ComboBox2Exit(false); });
    connect(m_ui->ComboBox2, &ProfilBox::listeOeffnet, this, [this] { m_logik->ComboBox2Exit(true); });
}

// --- What the logic does, through the functions a subclass may take over ----------------------

bool TForm1::Ersteinrichtung() const {
    return m_logik->Ersteinrichtung();
}

const std::string& TForm1::Startverzeichnis() const {
    return m_logik->Startverzeichnis();
}

std::string TForm1::configPath() const {
    return m_logik->configPath();
}

Einstellungslogik& TForm1::logik() const {
    return *m_logik;
}

int TForm1::Profilindex() const {
    return m_logik->Profilindex();
}

Serienpfad& TForm1::Pfad() const {
    return m_logik->Pfad();
}

TProtokollAusgabe& TForm1::Ausgabe() const {
    return m_logik->Pfad().Ausgabe();
}

void TForm1::SteuerelementeLaden() {
    m_logik->SteuerelementeLaden();
}

bool TForm1::SteuerelementeUebernehmen() {
    return m_logik->Einstellungslogik::SteuerelementeUebernehmen();
}

bool TForm1::Aenderungspruefung() {
    return m_logik->Einstellungslogik::Aenderungspruefung();
}

void TForm1::MaschineOeffnen() {
    m_logik->Einstellungslogik::MaschineOeffnen();
}

void TForm1::MaschinenSchliessen() {
    m_logik->Einstellungslogik::MaschinenSchliessen();
}

void TForm1::MaschineAnmelden() {
    m_logik->MaschineAnmelden();
}

void TForm1::ProfilWaehlen(int index) {
    m_logik->ProfilWaehlen(index);
}

bool TForm1::CloseQuery() {
    return m_logik->CloseQuery();
}

bool TForm1::saveProfiles(bool report) {
    return m_logik->ProfileSpeichern(report);
}

std::string TForm1::DateinameFehler() const {
    return m_logik->DateinameFehler();
}

bool TForm1::DateinameMelden() {
    return m_logik->DateinameMelden();
}

void TForm1::showAfterMachineError() {
    m_logik->VorMaschinenfehler();
}

std::vector<std::string> TForm1::DatensatzTitel() const {
    return m_logik->DatensatzTitel();
}

void TForm1::TfxError(TCustomComPort* Sender, int32_t ErrorCode) {
    m_logik->TfxError(Sender, ErrorCode);
}

// --- What the user does ---------------------------------------------------------------------

void TForm1::Button1Click() {
    m_logik->Button1Click();
}

void TForm1::Button2Click() {
    m_logik->Button2Click();
}

void TForm1::Button3Click() {
    m_logik->Button3Click();
}

void TForm1::Button4Click() {
    close();
}

void TForm1::Button5Click() {
    m_logik->Button5Click();
}

void TForm1::Button6Click() {
    m_logik->Button6Click();
}

void TForm1::ButtonMaschTestClick() {
    m_logik->ButtonMaschTestClick();
}

void TForm1::ButtonMaschinensucheClick() {
    m_logik->ButtonMaschinensucheClick();
}

void TForm1::LoadButtonClick() {
    m_logik->LoadButtonClick();
}

void TForm1::DelButtonClick() {
    m_logik->DelButtonClick();
}

void TForm1::UpButtonClick() {
    m_logik->UpButtonClick();
}

void TForm1::DownButtonClick() {
    m_logik->DownButtonClick();
}

void TForm1::RadioGroup4Click(int index) {
    m_logik->RadioGroup4Click(index);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
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

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Button3Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

// --- The end --------------------------------------------------------------------------------

void TForm1::endWithoutAsking() {
    if (m_ending)
        return;
    m_ending = true;
    m_logik->OhneFrageBeenden();
    close();
    QCoreApplication::quit();
}

void TForm1::closeEvent(QCloseEvent* event) {
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

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Once the window is on screen, a file name that cannot work is reported.
    if (!event->spontaneous() && !std::exchange(m_dateinamePruefungGeplant, true))
        QTimer::singleShot(0, this, [this] {
            m_dateinamePruefungGeplant = false;
            if (isVisible())
                DateinameMelden();
        });
}
