#include "Serienpfad.h"

#include "TForm1.h"

#include "AnsiValidator.h"
#include "ConfigFile.h"
#include "Datensatzelemente.h"
#include "Desktop.h"
#include "QtText.h"
#include "ui_TForm1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <cstddef>
#include <utility>

// The resources live in the static ui library; they must be registered by name.
static void initTreffluxResources() {
    Q_INIT_RESOURCE(trefflux);
}

namespace {

constexpr std::size_t kMaxDateiname = std::tuple_size_v<decltype(Profil::Dateiname)> - 1;

} // namespace

TForm1::TForm1(Profilliste& liste, std::string startverzeichnis, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_pfad(std::make_unique<Serienpfad>(liste, [this] { return DatensatzTitel(); })),
      RikaCom1(m_pfad->RikaCom1), SamCom1(m_pfad->SamCom1), Rm3WinCom1(m_pfad->Rm3WinCom1), m_liste(liste),
      m_ui(std::make_unique<Ui::TForm1>()), m_startverzeichnis(std::move(startverzeichnis)) {
    initTreffluxResources();
    m_ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/trefflux/target.svg")));
    setFixedSize(size());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    setupControls();
    setupMenus();
    setupMaschinen();

    // The port list is built with the window: every port present, then "COM1" if listed, then
    // the first one.
    m_ui->ComboBoxComNr->setComProperty(cpPort);
    m_ui->ComboBoxComNr->setText("COM1");
    m_ui->ComboBoxComNr->setItemIndex(0);

    // 1. own state
    m_profilnameEingabe.clear();
    m_profilindex = -1;
    // 2. tray icon
    addTrayIcon();
    // 3. separator table
    fillTrennzeichenliste();
    // 4. profiles
    m_ersteinrichtung = false;
    m_liste.clear();
    if (!ConfigFile::Load(configPath(), m_liste)) {
        m_liste.clear();
        m_liste.appendStandard(m_startverzeichnis, standardPort());
        m_ersteinrichtung = true;
        if (text(m_liste.aktiv().Dateiname).empty())
            m_verworfenerStandardname = Profil::standardDateiname(m_startverzeichnis);
    }
    // 5. profile box; the first profile is active
    fillProfileBox();
    m_liste.select(0);
    // 6. element table
    Datensatzelemente();
    // 7. the record writer came with the series path: the header line of a new file shows the
    // record list as it stands
    // 8. controls, 9. machine; at a first start the machine waits until the user has applied
    SteuerelementeLaden();
    m_anmeldungAusstehend = m_ersteinrichtung;
    if (m_anmeldungAusstehend)
        zeigeErsteinrichtungHinweis(true);
    else
        MaschineOeffnen();
    // 10. the first row of each element list selected and focused
    for (QTreeWidget* list : {m_ui->ElementeListView, m_ui->DatensatzListView}) {
        if (list->topLevelItemCount() > 0) {
            list->setCurrentItem(list->topLevelItem(0));
            list->topLevelItem(0)->setSelected(true);
        }
    }
    // 11. page "Info", 12. Profilindex
    m_ui->PageControl1->setCurrentWidget(m_ui->TabSheet4);
    m_profilindex = m_ui->ComboBox2->currentIndex();
}

TForm1::~TForm1() {
    // The ports close while the window is whole; the series path closes them again when it goes.
    m_pfad->MaschinenSchliessen();
}

void TForm1::setupControls() {
    // Profile name and file name: what the profile can store, and no more than its field holds.
    m_ui->ComboBox2->lineEdit()->setMaxLength(
        static_cast<int>(std::tuple_size_v<decltype(Profil::Name)> - 1));
    m_ui->ComboBox2->lineEdit()->setValidator(new AnsiValidator(this));
    m_ui->Edit1->setMaxLength(static_cast<int>(kMaxDateiname));
    m_ui->Edit1->setValidator(new AnsiValidator(this));
    m_ui->Edit4->setValidator(new AnsiValidator(this));

    // The machine choice: an item per line of the machine table, at its number.
    QStringList maschinen;
    for (const Maschinenart& art : maschinentabelle()) {
        if (art.nummer >= maschinen.size())
            maschinen.resize(art.nummer + 1);
        maschinen[art.nummer] = fromAnsi(art.auswahl);
    }
    m_ui->RadioGroup2->setItems(maschinen);

    // Number fields take digits only; the range is checked when the field is left.
    const QRegularExpression digits(QStringLiteral("[0-9]*"));
    for (const Zahlenfeld& feld : zahlenfelder()) {
        feld.edit->setValidator(new QRegularExpressionValidator(digits, this));
        feld.edit->installEventFilter(this);
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
    connect(m_ui->RadioGroup1, &TRadioGroup::itemIndexChanged, this, &TForm1::RadioGroup1Click);
    connect(m_ui->RadioGroup2, &TRadioGroup::itemIndexChanged, this, &TForm1::RadioGroup2Click);
    connect(m_ui->RadioGroup4, &TRadioGroup::itemClicked, this, &TForm1::RadioGroup4Click);

    connect(m_ui->ComboBox2->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { m_profilnameEingabe = toAnsi(text); });
    connect(m_ui->ComboBox2, &QComboBox::activated, this, &TForm1::ComboBox2Select);
    connect(m_ui->ComboBox2, &ProfilBox::verlassen, this, [this] { ComboBox2Exit(false); });
    connect(m_ui->ComboBox2, &ProfilBox::listeOeffnet, this, [this] { ComboBox2Exit(true); });
}

std::string TForm1::configPath() const {
    return ConfigFile::path(m_startverzeichnis);
}

void TForm1::fillProfileBox() {
    QSignalBlocker block(m_ui->ComboBox2);
    m_ui->ComboBox2->clear();
    for (const Profil& p : m_liste)
        m_ui->ComboBox2->addItem(fromAnsi(text(p.Name)));
    m_ui->ComboBox2->setCurrentIndex(m_liste.empty() ? -1 : 0);
}

void TForm1::ProfilWaehlen(int index) {
    SteuerelementeUebernehmen();
    m_liste.select(static_cast<std::size_t>(index));
    SteuerelementeLaden();
}

void TForm1::ComboBox2Select(int index) {
    if (index < 0)
        return;
    m_profilnameEingabe = toAnsi(m_ui->ComboBox2->itemText(index));
    m_profilindex = index;
    ProfilWaehlen(index);
}

void TForm1::ComboBox2Exit(bool listeOeffnet) {
    ProfilBox* box = m_ui->ComboBox2;
    if (m_profilindex < 0 || m_profilindex >= box->count())
        return;
    if (!m_profilnameEingabe.empty()) {
        // Renaming takes effect at once, without "Übernehmen".
        const int vorher = box->currentIndex();
        box->setItemText(m_profilindex, fromAnsi(m_profilnameEingabe));
        box->setCurrentIndex(listeOeffnet ? vorher : m_profilindex);
        m_liste.umbenennen(m_profilnameEingabe);
    } else if (m_profilindex >= 1) {
        // An empty name deletes the profile; the first one can never be deleted.
        if (listeOeffnet)
            SteuerelementeUebernehmen();
        box->removeItem(m_profilindex);
        box->setCurrentIndex(0);
        m_liste.entferneAktives();
        m_profilindex = 0;
        SteuerelementeLaden();
    }
}

std::array<TForm1::Zahlenfeld, 3> TForm1::zahlenfelder() const {
    return {{{m_ui->Edit3, 1, 15, "1"}, {m_ui->Edit5, 10, 10000, "250"}, {m_ui->Edit6, 1, 120, "10"}}};
}

bool TForm1::pruefeZahlenfeld(const Zahlenfeld& feld) {
    bool ok = false;
    int value = feld.edit->text().toInt(&ok);
    if (!ok)
        value = 0;
    if (value >= feld.min && value <= feld.max)
        return false;
    feld.edit->setText(QString::fromLatin1(feld.standard));
    return true;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Switching to another window or opening a context menu does not leave the field.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            for (const Zahlenfeld& feld : zahlenfelder()) {
                if (watched == feld.edit && pruefeZahlenfeld(feld)) {
                    // The focus goes back into the field once the change of focus is over.
                    QTimer::singleShot(0, feld.edit,
                                       [edit = feld.edit] { edit->setFocus(Qt::OtherFocusReason); });
                }
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::RadioGroup1Click(int index) {
    if (index == 0)
        m_ui->CheckBox1->setEnabled(false);
    else if (index == 1)
        m_ui->CheckBox1->setEnabled(true);
}

void TForm1::RadioGroup2Click(int index) {
    m_ui->Button6->setEnabled(!m_liste.empty() && index == m_liste.aktiv().Maschine);
    // The pages of the machines that have one: only the chosen machine's page shows.
    const Maschinenart* gewaehlt = maschinenart(index);
    for (const Maschinenart& art : maschinentabelle()) {
        if (!art.einstellseite)
            continue;
        if (auto* seite = m_ui->PageControl1->findChild<QWidget*>(QString::fromLatin1(art.einstellseite)))
            m_ui->PageControl1->setTabVisible(m_ui->PageControl1->indexOf(seite), gewaehlt == &art);
    }
}

bool TForm1::CloseQuery() {
    if (!Aenderungspruefung()) {
        const int answer = desktop().messageBox("Sollen die \xC4nderungen \xFC"
                                                "bernommen werden?",
                                                "Hinweis", Mb::YesNoCancel | Mb::SystemModal);
        if (answer == IdCancel)
            return false;
        if (answer == IdYes)
            SteuerelementeUebernehmen();
    } else if (desktop().messageBox("Wirklich beenden ?", "Hinweis", Mb::YesNo | Mb::SystemModal) != IdYes) {
        return false;
    }
    saveProfiles(true);
    removeTrayIcon();
    return true;
}

bool TForm1::saveProfiles(bool report) {
    const std::string path = configPath();
    const auto result = ConfigFile::Save(path, m_liste);
    if (!result.ok && report) {
        desktop().messageBox("Die Einstellungen konnten nicht in der Datei\n\r" + utf8ToWin1252(path) +
                                 "\n\rgespeichert werden:\n\r" + utf8ToWin1252(result.error),
                             "Fehler", Mb::Ok | Mb::IconError | Mb::SystemModal);
    }
    return result.ok;
}

void TForm1::endWithoutAsking() {
    if (m_ending)
        return;
    m_ending = true;
    saveProfiles(false);
    removeTrayIcon();
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

std::string TForm1::DateinameFehler() const {
    const std::string name = m_ui->Edit1->text().toStdString();
    return dateinameFehler(name.empty() && !m_verworfenerStandardname.empty() ? m_verworfenerStandardname
                                                                              : name);
}

bool TForm1::DateinameMelden() {
    const std::string fehler = DateinameFehler();
    if (fehler.empty())
        return true;
    const std::string name = m_ui->Edit1->text().isEmpty() ? utf8ToWin1252(m_verworfenerStandardname)
                                                           : toAnsi(m_ui->Edit1->text());
    m_ui->PageControl1->setCurrentWidget(m_ui->TabSheet1);
    desktop().messageBox("Die Protokolldatei" + (name.empty() ? "" : "\n\r" + name) +
                             "\n\rkann nicht verwendet werden:\n\r" + fehler +
                             "\n\rBitte einen anderen Dateinamen w\xE4hlen.",
                         "Fehler", Mb::Ok | Mb::IconError);
    m_ui->Edit1->setFocus(Qt::OtherFocusReason);
    m_ui->Edit1->selectAll();
    return false;
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Button3Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm1::showAfterMachineError() {
    if (desktop().overwriteWarningVisible())
        return;
    m_ui->PageControl1->setCurrentWidget(m_ui->TabSheet1);
    show();
}

QString TForm1::saveFileDialog(const QString& preset) {
    QFileDialog dialog(this, QStringLiteral("Datei Speichern"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("Ringlesemaschine-Protokoll (*.rls)"));
    dialog.setDefaultSuffix(QStringLiteral("rls"));
    dialog.selectFile(preset);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void TForm1::Button1Click() {
    const QString path = saveFileDialog(m_ui->Edit1->text());
    if (path.isEmpty())
        return;
    // The profile stores the name as Windows-1252 text in a field of its own size: a name that
    // does not fit would name another file.
    if (!isAnsi(path)) {
        desktop().messageBox("Der gew\xE4hlte Dateiname enth\xE4lt Zeichen, die nicht gespeichert werden "
                             "k\xF6nnen:\n\r" +
                                 toAnsi(path) + "\n\rBitte einen anderen Namen oder Ordner w\xE4hlen.",
                             "Fehler", Mb::Ok | Mb::IconError);
        return;
    }
    if (toAnsi(path).size() > kMaxDateiname) {
        desktop().messageBox("Der gew\xE4hlte Dateiname ist zu lang (h\xF6"
                             "chstens " +
                                 std::to_string(kMaxDateiname) +
                                 " Zeichen).\n\rBitte einen k\xFCrzeren Namen oder Ordner w\xE4hlen.",
                             "Fehler", Mb::Ok | Mb::IconError);
        return;
    }
    m_ui->Edit1->setText(path);
}

void TForm1::Button2Click() {
    // Not applied (the question about the protocol file answered "Nein", or a port name refused):
    // the window stays open with the edits in it.
    if (!SteuerelementeUebernehmen())
        return;
    if (m_anmeldungAusstehend)
        MaschineAnmelden();
    m_ui->Button6->setEnabled(true);
    if (DateinameMelden()) // else the window stays open for another name
        hide();
}

void TForm1::Button3Click() {
    SteuerelementeLaden();
    hide();
}

void TForm1::Button4Click() {
    close();
}

void TForm1::Button5Click() {
    Profil copy = m_liste.aktiv();
    SteuerelementeUebernehmen();
    m_profilnameEingabe = "Unbenannt";
    m_ui->ComboBox2->addItem(QStringLiteral("Unbenannt"));
    m_ui->ComboBox2->setCurrentIndex(m_ui->ComboBox2->count() - 1);
    m_profilindex = m_ui->ComboBox2->currentIndex();
    m_ui->ComboBox2->setFocus();
    m_ui->ComboBox2->lineEdit()->selectAll();
    setText(copy.Name, "Unbenannt");
    m_liste.append(copy);
    m_liste.select(m_liste.size() - 1);
}

void TForm1::Button6Click() {
    if (Aenderungspruefung())
        hide();
    MaschineAnmelden();
}
