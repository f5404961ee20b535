#include "QtDesktop.h"

#include "Ueberschreibwarnung.h"
#include "Win1252.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstring>
#include <vector>

namespace {

// Button sets of the message box flags that Desktop.h does not name.
constexpr unsigned kAbortRetryIgnore = 0x2;
constexpr unsigned kRetryCancel = 0x5;

// The core's text of a box, to find the box again.
const char* const kKerntext = "trefflux_kerntext";

struct Knopf {
    QMessageBox::StandardButton button;
    int result;
};

// The buttons of a flag value in the order the design lists them, and the result when the box
// is closed without a button (Escape): Cancel where there is one, else the answer that does
// nothing.
std::vector<Knopf> knoepfe(unsigned buttons, int& ohneKnopf) {
    switch (buttons) {
    case Mb::OkCancel:
        ohneKnopf = IdCancel;
        return {{QMessageBox::Ok, IdOk}, {QMessageBox::Cancel, IdCancel}};
    case kAbortRetryIgnore:
        ohneKnopf = IdAbort;
        return {
            {QMessageBox::Abort, IdAbort}, {QMessageBox::Retry, IdRetry}, {QMessageBox::Ignore, IdIgnore}};
    case Mb::YesNoCancel:
        ohneKnopf = IdCancel;
        return {{QMessageBox::Yes, IdYes}, {QMessageBox::No, IdNo}, {QMessageBox::Cancel, IdCancel}};
    case Mb::YesNo:
        ohneKnopf = IdNo;
        return {{QMessageBox::Yes, IdYes}, {QMessageBox::No, IdNo}};
    case kRetryCancel:
        ohneKnopf = IdCancel;
        return {{QMessageBox::Retry, IdRetry}, {QMessageBox::Cancel, IdCancel}};
    default:
        ohneKnopf = IdOk;
        return {{QMessageBox::Ok, IdOk}};
    }
}

QMessageBox::Icon symbol(unsigned icon) {
    switch (icon) {
    case Mb::IconError:
        return QMessageBox::Critical;
    case Mb::IconQuestion:
        return QMessageBox::Question;
    case Mb::IconWarning:
        return QMessageBox::Warning;
    case Mb::IconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

QString bildschirmtext(const std::string& text) {
    QString s = QString::fromStdString(win1252ToUtf8(text));
    s.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QtDesktop::QtDesktop() : m_ueberschreibwarnung(std::make_unique<Ueberschreibwarnung>()) {
    setDesktop(this);
}

QtDesktop::~QtDesktop() {
    setDesktop(nullptr);
}

int QtDesktop::runModal(QDialog& dialog) {
    if (onDialogShown)
        QTimer::singleShot(0, &dialog, [this, &dialog] {
            if (onDialogShown)
                onDialogShown(dialog);
        });
    return dialog.exec();
}

int QtDesktop::messageBox(const std::string& text, const std::string& title, unsigned flags) {
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(win1252ToUtf8(title)));
    box.setTextFormat(Qt::PlainText);
    box.setText(bildschirmtext(text));
    box.setProperty(kKerntext, QByteArray::fromStdString(text));
    box.setIcon(symbol(flags & Mb::IconMask));

    int ohneKnopf = IdOk;
    const std::vector<Knopf> liste = knoepfe(flags & Mb::ButtonsMask, ohneKnopf);
    std::vector<QPushButton*> buttons;
    QPushButton* escape = nullptr;
    for (const Knopf& k : liste) {
        buttons.push_back(box.addButton(k.button));
        if (k.result == ohneKnopf)
            escape = buttons.back();
    }
    const std::size_t standard = (flags & Mb::DefButtonMask) >> 8;
    box.setDefaultButton(buttons[standard < buttons.size() ? standard : 0]);
    box.setEscapeButton(escape);

    // A message box sizes itself by its text; a short text under a long title would cut the
    // title ("Info Mas…nensuche"). The title's width plus room for the frame's buttons is kept
    // as the least width.
    if (auto* raster = qobject_cast<QGridLayout*>(box.layout())) {
        const int breite =
            QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(box.windowTitle()) +
            160;
        raster->addItem(new QSpacerItem(breite, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                        raster->rowCount(), 0, 1, raster->columnCount());
    }

    if (flags & Mb::SystemModal) {
        box.setWindowModality(Qt::ApplicationModal);
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    runModal(box);
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i])
            return liste[i].result;
    return ohneKnopf;
}

void QtDesktop::closeMessageBox(const std::string& text) {
    for (QWidget* fenster : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(fenster);
        if (!box || !box->isVisible() ||
            box->property(kKerntext).toByteArray() != QByteArray::fromStdString(text))
            continue;
        if (QAbstractButton* escape = box->escapeButton())
            escape->click();
        else
            box->reject();
    }
}

void QtDesktop::setClipboardText(const std::string& text) {
    const std::string bisNul(text.c_str(), strnlen(text.data(), text.size()));
    QGuiApplication::clipboard()->setText(QString::fromStdString(win1252ToUtf8(bisNul)));
}

int QtDesktop::overwriteWarning(const std::string& fileName) {
    m_ueberschreibwarnung->setDateiname(fileName);
    return runModal(*m_ueberschreibwarnung);
}

bool QtDesktop::overwriteWarningVisible() const {
    return m_ueberschreibwarnung->isVisible();
}

void QtDesktop::setTrayIcon(QSystemTrayIcon* icon) {
    m_trayIcon = icon;
}

void QtDesktop::trayMessage(const std::string& text, const std::string& title) {
    if (m_trayIcon && m_trayIcon->isVisible() && QSystemTrayIcon::supportsMessages()) {
        m_trayIcon->showMessage(bildschirmtext(title), bildschirmtext(text), m_trayIcon->icon());
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Information, bildschirmtext(title), bildschirmtext(text));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}
