#include "TForm1.h"

#include "ConfigFile.h"
#include "Desktop.h"
#include "QtText.h"
#include "ui_TForm1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QThread>

TForm1::TForm1(Profilliste& liste, std::string startverzeichnis, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_liste(liste), m_ui(std::make_unique<Ui::TForm1>()), m_startverzeichnis(std::move(startverzeichnis)) {
    m_ui->setupUi(this);
    setFixedSize(size());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(m_ui->Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(m_ui->Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(m_ui->Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(m_ui->Button5, &QPushButton::clicked, this, &TForm1::Button5Click);

    // 1. own state
    m_profilnameEingabe.clear();
    m_profilindex = -1;
    // 2. tray icon
    addTrayIcon();
    // 4. profiles
    m_ersteinrichtung = false;
    m_liste.clear();
    if (!ConfigFile::Load(configPath(), m_liste)) {
        m_liste.clear();
        m_liste.appendStandard(m_startverzeichnis);
        m_ersteinrichtung = true;
    }
    // 5. profile box; the first profile is active
    fillProfileBox();
    m_liste.select(0);
    // 8. controls, 9. machine
    SteuerelementeLaden();
    MaschineOeffnen();
    // 11. page "Info", 12. Profilindex
    m_ui->PageControl1->setCurrentWidget(m_ui->TabSheet4);
    m_profilindex = m_ui->ComboBox2->currentIndex();
}

TForm1::~TForm1() = default;

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

void TForm1::SteuerelementeLaden() {}

bool TForm1::SteuerelementeUebernehmen() {
    return true;
}

bool TForm1::Aenderungspruefung() {
    return true;
}

void TForm1::addTrayIcon() {}

void TForm1::removeTrayIcon() {}

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

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Button3Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm1::Button2Click() {
    SteuerelementeUebernehmen();
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
    setText(copy.Name, "Unbenannt");
    m_liste.append(copy);
    m_liste.select(m_liste.size() - 1);
}
