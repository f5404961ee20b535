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

void Einstellungsfenster::setupMenus() {
    m_traymenue = new QMenu(this);
    m_traymenue->setObjectName(QStringLiteral("Traymenue"));
    QAction* wiederherstellen = m_traymenue->addAction(QStringLiteral("&Einstellungen"));
    wiederherstellen->setObjectName(QStringLiteral("Einstellungen"));
    QFont bold = wiederherstellen->font();
    bold.setBold(true);
    wiederherstellen->setFont(bold);
    m_traymenue->setDefaultAction(wiederherstellen);
    // The transmission monitor, from the menu and from the page "Allgemeine Einstellungen".
    QAction* monitor = m_traymenue->addAction(QStringLiteral("\u00DCbertragungs&monitor"));
    monitor->setObjectName(QStringLiteral("Monitor"));
    connect(monitor, &QAction::triggered, this, [this] { Uebertragungsmonitor::zeigen(this); });
    auto* monitorKnopf = new QPushButton(QStringLiteral("\u00DCbertragungs&monitor"), m_ui->SeiteAllgemein);
    monitorKnopf->setObjectName(QStringLiteral("MonitorKnopf"));
    monitorKnopf->setGeometry(8, 266, 360, 29);
    connect(monitorKnopf, &QPushButton::clicked, this, [this] { Uebertragungsmonitor::zeigen(this); });
    m_traymenue->addSeparator()->setObjectName(QStringLiteral("Trennlinie"));
    QAction* beenden = m_traymenue->addAction(QStringLiteral("&Beenden"));
    beenden->setObjectName(QStringLiteral("Beenden"));
    connect(wiederherstellen, &QAction::triggered, this, &Einstellungsfenster::EinstellungenClick);
    connect(beenden, &QAction::triggered, this, &Einstellungsfenster::ProgrammBeendenClick);

    m_profilmenue = new QMenu(this);
    m_profilmenue->setObjectName(QStringLiteral("Profilmenue"));
    connect(m_profilmenue, &QMenu::aboutToShow, this, &Einstellungsfenster::ProfilmenueBauen);
    connect(m_profilmenue, &QMenu::triggered, this, &Einstellungsfenster::ProfilmenueClick);

    // The profile menu opens once the double-click time has passed without a second click. On an
    // X11 tray the first press of a double click already reports a click; a menu opened at once
    // would take the second press for itself, and the double click would never arrive.
    auto* verzoegerung = new QTimer(m_profilmenue);
    verzoegerung->setObjectName(QStringLiteral("ProfilmenueVerzoegerung"));
    verzoegerung->setSingleShot(true);
    verzoegerung->setInterval(QApplication::doubleClickInterval());
    connect(verzoegerung, &QTimer::timeout, this, [this] {
        if (logik().TrayBereit())
            m_profilmenue->popup(QCursor::pos());
    });
}

void Einstellungsfenster::trayIconHinzufuegen() {
    if (m_trayIcon)
        return;
    m_trayIcon = new QSystemTrayIcon(m_verbunden ? windowIcon() : nichtVerbunden(windowIcon()), this);
    m_trayIcon->setToolTip(m_tipp);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &Einstellungsfenster::TrayIconClick);
    m_trayIcon->show();
    // Messages at the icon (a machine back after a pulled cable) appear as its balloons.
    if (auto* qt = dynamic_cast<QtDesktop*>(&desktop()))
        qt->setTrayIcon(m_trayIcon);
}

void Einstellungsfenster::zeigeVerbindung(bool verbunden, const std::string& tipp) {
    const QString text = QString::fromStdString(tipp);
    if (m_trayIcon && verbunden != m_verbunden)
        m_trayIcon->setIcon(verbunden ? windowIcon() : nichtVerbunden(windowIcon()));
    if (m_trayIcon && text != m_tipp)
        m_trayIcon->setToolTip(text);
    m_verbunden = verbunden;
    m_tipp = text;
}

void Einstellungsfenster::trayIconEntfernen() {
    if (!m_trayIcon)
        return;
    m_trayIcon->hide();
    delete m_trayIcon;
    m_trayIcon = nullptr;
}

void Einstellungsfenster::TrayIconClick(QSystemTrayIcon::ActivationReason reason) {
    auto* verzoegerung = m_profilmenue->findChild<QTimer*>(QStringLiteral("ProfilmenueVerzoegerung"));
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        logik().TrayIconClick(Trayklick::Links);
        break;
    case QSystemTrayIcon::DoubleClick:
        // the click of its first press opens no menu
        verzoegerung->stop();
        m_profilmenue->hide();
        logik().TrayIconClick(Trayklick::Doppel);
        break;
    case QSystemTrayIcon::Context:
        logik().TrayIconClick(Trayklick::Rechts);
        break;
    default:
        break;
    }
}

void Einstellungsfenster::oeffneProfilmenue() {
    m_profilmenue->findChild<QTimer*>(QStringLiteral("ProfilmenueVerzoegerung"))->start();
}

void Einstellungsfenster::oeffneTraymenue() {
    m_traymenue->popup(QCursor::pos());
}

void Einstellungsfenster::EinstellungenClick() {
    logik().EinstellungenClick();
}

void Einstellungsfenster::ProfilmenueBauen() {
    // A long list goes on in a submenu after every kProfileJeMenue items, so that every profile
    // stays reachable on any screen.
    constexpr int kProfileJeMenue = 30;
    m_profilmenue->clear();
    // clear() leaves the submenus of the last opening (each owns its own action): they go here.
    qDeleteAll(m_profilmenue->findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
    const std::vector<Profilmenueeintrag> eintraege = logik().Profilmenue();
    QMenu* menu = m_profilmenue;
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

QList<QAction*> Einstellungsfenster::profilmenueEintraege() const {
    QList<QAction*> items;
    for (const QMenu* menu = m_profilmenue; menu;) {
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

void Einstellungsfenster::ProfilmenueClick(QAction* item) {
    if (item->menu())
        return;
    const QList<QAction*> items = profilmenueEintraege();
    for (QAction* a : items)
        a->setChecked(false);
    item->setChecked(true);
    logik().ProfilmenueClick(static_cast<int>(items.indexOf(item)));
}
