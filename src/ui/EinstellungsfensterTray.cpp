// The tray icon of the settings window and its two menus: a left click opens the profile menu,
// a double click the window, a right click the menu with "Einstellungen" and "Beenden".

#include "Einstellungsfenster.h"

#include "Einstellungslogik.h"
#include "QtDesktop.h"
#include "QtText.h"
#include "Uebertragungsmonitor.h"
#include "ui_Einstellungsfenster.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {

// The target greyed and crossed out in red: the machine is not connected.
QIcon nichtVerbunden(const QIcon& icon) {
    QIcon ergebnis;
    for (const int groesse : {16, 22, 24, 32, 48, 64}) {
        QImage bild = icon.pixmap(groesse, groesse).toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < bild.height(); ++y) {
            auto* zeile = reinterpret_cast<QRgb*>(bild.scanLine(y));
            for (int x = 0; x < bild.width(); ++x) {
                const int grau = 96 + qGray(zeile[x]) / 2;
                zeile[x] = qRgba(grau, grau, grau, qAlpha(zeile[x]));
            }
        }
        QPainter maler(&bild);
        maler.setRenderHint(QPainter::Antialiasing);
        const int rand = bild.width() / 6;
        const int ende = bild.width() - rand;
        maler.setPen(QPen(QColor(210, 0, 0), std::max(2, bild.width() / 8), Qt::SolidLine, Qt::RoundCap));
        maler.drawLine(rand, rand, ende, ende);
        maler.drawLine(ende, rand, rand, ende);
        maler.end();
        ergebnis.addPixmap(QPixmap::fromImage(bild));
    }
    return ergebnis;
}

} // namespace

void TForm1::setupMenus() {
    m_popupMenu1 = new QMenu(this);
    m_popupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* wiederherstellen = m_popupMenu1->addAction(QStringLiteral("&Einstellungen"));
    wiederherstellen->setObjectName(QStringLiteral("Wiederherstellen1"));
    QFont bold = wiederherstellen->font();
    bold.setBold(true);
    wiederherstellen->setFont(bold);
    m_popupMenu1->setDefaultAction(wiederherstellen);
    // The transmission monitor, from the menu and from the page "Allgemeine Einstellungen".
    QAction* monitor = m_popupMenu1->addAction(QStringLiteral("\u00DCbertragungs&monitor"));
    monitor->setObjectName(QStringLiteral("Uebertragungsmonitor1"));
    connect(monitor, &QAction::triggered, this, [this] { Uebertragungsmonitor::zeigen(this); });
    auto* monitorKnopf = new QPushButton(QStringLiteral("\u00DCbertragungs&monitor"), m_ui->TabSheet1);
    monitorKnopf->setObjectName(QStringLiteral("ButtonUebertragungsmonitor"));
    monitorKnopf->setGeometry(8, 266, 360, 29);
    connect(monitorKnopf, &QPushButton::clicked, this, [this] { Uebertragungsmonitor::zeigen(this); });
    m_popupMenu1->addSeparator()->setObjectName(QStringLiteral("N1"));
    QAction* beenden = m_popupMenu1->addAction(QStringLiteral("&Beenden"));
    beenden->setObjectName(QStringLiteral("Exit1"));
    connect(wiederherstellen, &QAction::triggered, this, &TForm1::Wiederherstellen1Click);
    connect(beenden, &QAction::triggered, this, &TForm1::Button4Click);

    m_popupMenu2 = new QMenu(this);
    m_popupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    connect(m_popupMenu2, &QMenu::aboutToShow, this, &TForm1::PopupMenu2Popup);
    connect(m_popupMenu2, &QMenu::triggered, this, &TForm1::ProfilMenuItemClick);

    // The profile menu opens once the double-click time has passed without a second click. On an
    // X11 tray the first press of a double click already reports a click; a menu opened at once
    // would take the second press for itself, and the double click would never arrive.
    auto* verzoegerung = new QTimer(m_popupMenu2);
    verzoegerung->setObjectName(QStringLiteral("PopupMenu2Verzoegerung"));
    verzoegerung->setSingleShot(true);
    verzoegerung->setInterval(QApplication::doubleClickInterval());
    connect(verzoegerung, &QTimer::timeout, this, [this] {
        if (logik().TrayBereit())
            m_popupMenu2->popup(QCursor::pos());
    });
}

void TForm1::addTrayIcon() {
    if (m_trayIcon)
        return;
    m_trayIcon = new QSystemTrayIcon(m_verbunden ? windowIcon() : nichtVerbunden(windowIcon()), this);
    m_trayIcon->setToolTip(m_tipp);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &TForm1::TrayIconMessage);
    m_trayIcon->show();
    // Messages at the icon (a machine back after a pulled cable) appear as its balloons.
    if (auto* qt = dynamic_cast<QtDesktop*>(&desktop()))
        qt->setTrayIcon(m_trayIcon);
}

void TForm1::zeigeVerbindung(bool verbunden, const std::string& tipp) {
    const QString text = QString::fromStdString(tipp);
    if (m_trayIcon && verbunden != m_verbunden)
        m_trayIcon->setIcon(verbunden ? windowIcon() : nichtVerbunden(windowIcon()));
    if (m_trayIcon && text != m_tipp)
        m_trayIcon->setToolTip(text);
    m_verbunden = verbunden;
    m_tipp = text;
}

void TForm1::removeTrayIcon() {
    if (!m_trayIcon)
        return;
    m_trayIcon->hide();
    delete m_trayIcon;
    m_trayIcon = nullptr;
}

void TForm1::trayIconHinzufuegen() {
    addTrayIcon();
}

void TForm1::trayIconEntfernen() {
    removeTrayIcon();
}

void TForm1::TrayIconMessage(QSystemTrayIcon::ActivationReason reason) {
    auto* verzoegerung = m_popupMenu2->findChild<QTimer*>(QStringLiteral("PopupMenu2Verzoegerung"));
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        logik().TrayIconMessage(Trayklick::Links);
        break;
    case QSystemTrayIcon::DoubleClick:
        // the click of its first press opens no menu
        verzoegerung->stop();
        m_popupMenu2->hide();
        logik().TrayIconMessage(Trayklick::Doppel);
        break;
    case QSystemTrayIcon::Context:
        logik().TrayIconMessage(Trayklick::Rechts);
        break;
    default:
        break;
    }
}

void TForm1::oeffneProfilmenue() {
    m_popupMenu2->findChild<QTimer*>(QStringLiteral("PopupMenu2Verzoegerung"))->start();
}

void TForm1::oeffneTraymenue() {
    m_popupMenu1->popup(QCursor::pos());
}

void TForm1::Wiederherstellen1Click() {
    logik().Wiederherstellen1Click();
}

void TForm1::PopupMenu2Popup() {
    // A long list goes on in a submenu after every kProfileJeMenue items, so that every profile
    // stays reachable on any screen.
    constexpr int kProfileJeMenue = 30;
    m_popupMenu2->clear();
    // clear() leaves the submenus of the last opening (each owns its own action): they go here.
    qDeleteAll(m_popupMenu2->findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
    const std::vector<Profilmenueeintrag> eintraege = logik().Profilmenue();
    QMenu* menu = m_popupMenu2;
    for (std::size_t i = 0; i < eintraege.size(); ++i) {
        if (i > 0 && i % kProfileJeMenue == 0)
            menu = menu->addMenu(QStringLiteral("Weitere Profile"));
        // "&" in a name is a character of the name, not the mark of an access key.
        QString caption = QString::fromStdString(eintraege[i].name);
        caption.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* item = menu->addAction(caption);
        item->setCheckable(true);
        item->setChecked(eintraege[i].haken);
    }
}

QList<QAction*> TForm1::profilMenuEintraege() const {
    QList<QAction*> items;
    for (const QMenu* menu = m_popupMenu2; menu;) {
        const QMenu* weiter = nullptr;
        for (QAction* a : menu->actions()) {
            if (a->menu())
                weiter = a->menu();
            else
                items.append(a);
        }
        menu = weiter;
    }
    return items;
}

void TForm1::ProfilMenuItemClick(QAction* item) {
    if (item->menu())
        return;
    const QList<QAction*> items = profilMenuEintraege();
    for (QAction* a : items)
        a->setChecked(false);
    item->setChecked(true);
    logik().ProfilMenuItemClick(static_cast<int>(items.indexOf(item)));
}
