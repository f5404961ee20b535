#include "Ueberschreibwarnung.h"

#include "QtDesktop.h"
#include "ui_Ueberschreibwarnung.h"

#include <QGuiApplication>
#include <QScreen>

TForm2::TForm2(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::TForm2>()) {
    m_ui->setupUi(this);
    // A fixed frame with a caption but no system menu, above every other window.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    setFixedSize(369, 117);
    connect(m_ui->Button1, &QPushButton::clicked, this, [this] { done(3); });
    connect(m_ui->Button2, &QPushButton::clicked, this, [this] { done(4); });
    connect(m_ui->Button3, &QPushButton::clicked, this, [this] { done(5); });
}

TForm2::~TForm2() = default;

std::string TForm2::warntext(const std::string& dateiname) {
    return "Datei\n\r" + dateiname + "\n\rbereits vorhanden !";
}

void TForm2::setDateiname(const std::string& dateiname) {
    m_ui->Label1->setText(bildschirmtext(warntext(dateiname)));
}

QLabel* TForm2::Label1() const {
    return m_ui->Label1;
}
QPushButton* TForm2::Button1() const {
    return m_ui->Button1;
}
QPushButton* TForm2::Button2() const {
    return m_ui->Button2;
}
QPushButton* TForm2::Button3() const {
    return m_ui->Button3;
}

void TForm2::showEvent(QShowEvent* event) {
    // Centred on the desktop, with "&Wiederholen" focused.
    if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    m_ui->Button2->setFocus();
    QDialog::showEvent(event);
}
