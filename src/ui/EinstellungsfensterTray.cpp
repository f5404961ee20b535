// The tray icon of the settings window and its two menus: a left click opens the profile menu,
// a double click the window, a right click the menu with "Einstellungen" and "Beenden".

#include "Einstellungsfenster.h"

#include "Einstellungslogik.h"
#include "Uebertragungsmonitor.h"
#include "ui_Einstellungsfenster.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

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
    connect(wiederherstellen, &QAction::triggered, this, [this] { m_logik->EinstellungenClick(); });
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
        if (m_logik->TrayBereit())
            m_profilmenue->popup(QCursor::pos());
    });
}

void Einstellungsfenster::TrayIconClick(QSystemTrayIcon::ActivationReason reason) {
    auto* verzoegerung = m_profilmenue->findChild<QTimer*>(QStringLiteral("ProfilmenueVerzoegerung"));
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        m_logik->TrayIconClick(Trayklick::Links);
        break;
    case QSystemTrayIcon::DoubleClick:
        // the click of its first press opens no menu
        verzoegerung->stop();
        m_profilmenue->hide();
        m_logik->TrayIconClick(Trayklick::Doppel);
        break;
    case QSystemTrayIcon::Context:
        m_logik->TrayIconClick(Trayklick::Rechts);
        break;
    default:
        break;
    }
}

void Einstellungsfenster::ProfilmenueBauen() {
    m_profilmenue->clear();
    // clear() leaves the submenus of the last opening (each owns its own action): they go here.
    qDeleteAll(m_profilmenue->findChildren<QMenu*>(Qt::FindDirectChildrenOnly));
    QMenu* menu = m_profilmenue;
    for (const Profilmenueeintrag& eintrag : m_logik->Profilmenue()) {
        if (eintrag.weitere)
            menu = menu->addMenu(QString::fromUtf8(Profilmenueeintrag::kWeitereProfile));
        QAction* item = menu->addAction(QString::fromStdString(eintrag.titel));
        item->setCheckable(true);
        item->setChecked(eintrag.haken);
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
    m_logik->ProfilmenueClick(static_cast<int>(items.indexOf(item)));
}
