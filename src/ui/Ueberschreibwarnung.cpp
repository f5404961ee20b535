#include "Ueberschreibwarnung.h"

#include "QtDesktop.h"
#include "ui_Ueberschreibwarnung.h"

#include <QGuiApplication>
#include <QScreen>

Ueberschreibwarnung::Ueberschreibwarnung(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::Ueberschreibwarnung>()) {
    m_ui->setupUi(this);
    // A fixed frame with a caption but no system menu, above every other window.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    setFixedSize(369, 117);
    connect(m_ui->Abbrechen, &QPushButton::clicked, this, [this] { done(3); });
    connect(m_ui->Wiederholen, &QPushButton::clicked, this, [this] { done(4); });
    connect(m_ui->Ueberschreiben, &QPushButton::clicked, this, [this] { done(5); });
}

Ueberschreibwarnung::~Ueberschreibwarnung() = default;

std::string Ueberschreibwarnung::warntext(const std::string& dateiname) {
    return "Datei\n\r" + dateiname + "\n\rbereits vorhanden !";
}

void Ueberschreibwarnung::setDateiname(const std::string& dateiname) {
    m_ui->Meldung->setText(bildschirmtext(warntext(dateiname)));
}

void Ueberschreibwarnung::showEvent(QShowEvent* event) {
    // Centred on the desktop, with "&Wiederholen" focused.
    if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    m_ui->Wiederholen->setFocus();
    QDialog::showEvent(event);
}
