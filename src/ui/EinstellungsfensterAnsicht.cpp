// The settings window as the settings logic sees it: each call of the view interface on its
// widget, its tray icon or its menus.

#include "Einstellungsfenster.h"

#include "Desktop.h"
#include "QtDesktop.h"
#include "QtText.h"
#include "ui_Einstellungsfenster.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>

namespace {

int selectedRow(const QTreeWidget* list) {
    const QList<QTreeWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->indexOfTopLevelItem(items.constFirst());
}

QString qt(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

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

QLineEdit* Einstellungsfenster::edit(Feld feld) const {
    switch (feld) {
    case Feld::Dateiname:
        return m_ui->Dateiname;
    case Feld::Schusszahl:
        return m_ui->Schusszahl;
    case Feld::SchussProScheibe:
        return m_ui->SchussProScheibe;
    case Feld::Scheibentext:
        return m_ui->Scheibentext;
    case Feld::Teilergrenze:
        break;
    }
    return m_ui->Teilergrenze;
}

static TRadioGroup* radioGroup(const Ui::Einstellungsfenster& ui, Wahl wahl) {
    switch (wahl) {
    case Wahl::Datei:
        return ui.Dateiwahl;
    case Wahl::Maschine:
        return ui.Maschinenwahl;
    case Wahl::Scheibentyp:
        return ui.Scheibentypwahl;
    case Wahl::Trennzeichenart:
        break;
    }
    return ui.Trennzeichenartwahl;
}

static QCheckBox* checkBox(const Ui::Einstellungsfenster& ui, Schalter schalter) {
    switch (schalter) {
    case Schalter::Warnen:
        return ui.Warnen;
    case Schalter::Zehntelringe:
        return ui.Zehntelringe;
    case Schalter::Drucker:
        return ui.Drucker;
    case Schalter::Header:
        break;
    }
    return ui.Header;
}

QTreeWidget* Einstellungsfenster::liste(Liste liste) const {
    return liste == Liste::Datensatz ? m_ui->Datensatzliste : m_ui->Elementeliste;
}

QWidget* Einstellungsfenster::seite(Seite seite) const {
    switch (seite) {
    case Seite::Allgemein:
        return m_ui->SeiteAllgemein;
    case Seite::Datensatz:
        return m_ui->SeiteDatensatz;
    case Seite::Maschinen:
        return m_ui->SeiteMaschinen;
    case Seite::Info:
        break;
    }
    return m_ui->SeiteInfo;
}

// The window's side of the view interface: each call of the logic on the window's widgets.
class Einstellungsfenster::Ansicht final : public Einstellungsansicht {
public:
    explicit Ansicht(Einstellungsfenster& fenster) : m_fenster(fenster) {}

    void fuelleMaschinenwahl(const std::vector<std::string>& eintraege) override {
        QStringList items;
        for (const std::string& eintrag : eintraege)
            items << qt(eintrag);
        ui().Maschinenwahl->setItems(items);
    }

    void fuelleTrennzeichenliste(const std::array<std::string, 4>& titel,
                                 const std::vector<std::array<std::string, 4>>& zeilen) override {
        QTableWidget* list = ui().Trennzeichenliste;
        list->setUpdatesEnabled(false);
        list->setColumnCount(static_cast<int>(titel.size()));
        QStringList spalten;
        for (const std::string& spalte : titel)
            spalten << qt(spalte);
        list->setHorizontalHeaderLabels(spalten);
        list->setRowCount(static_cast<int>(zeilen.size()));
        for (std::size_t r = 0; r < zeilen.size(); ++r) {
            for (std::size_t c = 0; c < zeilen[r].size(); ++c) {
                auto* item = new QTableWidgetItem(qt(zeilen[r][c]));
                if (c == 1 || c == 2)
                    item->setTextAlignment(Qt::AlignCenter);
                list->setItem(static_cast<int>(r), static_cast<int>(c), item);
            }
        }
        list->verticalHeader()->setMinimumSectionSize(1);
        list->verticalHeader()->setDefaultSectionSize(list->fontMetrics().height() + 4);
        // "Zeichen" as wide as its texts, the two code columns as wide as their titles, each between
        // 10 and 200 pixels; the fourth column is a 1-pixel stub.
        QHeaderView* header = list->horizontalHeader();
        header->setMinimumSectionSize(1);
        header->setHighlightSections(false);
        list->resizeColumnToContents(0);
        list->setColumnWidth(0, std::clamp(list->columnWidth(0), 10, 200));
        for (int c : {1, 2})
            list->setColumnWidth(c, std::clamp(header->sectionSizeHint(c), 10, 200));
        list->setColumnWidth(3, 1);
        header->setSectionResizeMode(3, QHeaderView::Fixed);
        list->setUpdatesEnabled(true);
    }

    void zeigeText(Feld feld, const std::string& text) override { m_fenster.edit(feld)->setText(qt(text)); }

    void zeigeWahl(Wahl wahl, int index) override { radioGroup(ui(), wahl)->setItemIndex(index); }

    void zeigeSchalter(Schalter schalter, bool an) override { checkBox(ui(), schalter)->setChecked(an); }

    void setzeSchalterAktiv(Schalter schalter, bool aktiv) override {
        checkBox(ui(), schalter)->setEnabled(aktiv);
    }

    void setzeNeuAnmeldenAktiv(bool aktiv) override { ui().NeuAnmelden->setEnabled(aktiv); }

    void zeigePort(const std::string& port) override { ui().Port->setPort(port); }

    void zeigeProfile(const std::vector<std::string>& namen, int gewaehlt) override {
        ProfilComboBox* box = ui().Profilbox;
        QSignalBlocker block(box);
        box->clear();
        for (const std::string& name : namen)
            box->addItem(qt(name));
        box->setCurrentIndex(gewaehlt);
    }

    void fokusInProfilbox() override {
        ui().Profilbox->setFocus();
        ui().Profilbox->lineEdit()->selectAll();
    }

    void zeigeListe(Liste l, const std::vector<std::string>& zeilen) override {
        QTreeWidget* list = m_fenster.liste(l);
        list->clear();
        for (const std::string& zeile : zeilen)
            list->addTopLevelItem(new QTreeWidgetItem(QStringList(qt(zeile))));
        list->clearSelection();
    }

    void waehleZeile(Liste l, int zeile, bool fokus) override {
        QTreeWidget* list = m_fenster.liste(l);
        if (zeile < 0 || zeile >= list->topLevelItemCount()) {
            list->clearSelection();
            return;
        }
        const QModelIndex index = list->model()->index(zeile, 0);
        list->selectionModel()->select(index,
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        if (fokus)
            list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }

    void waehleTrennzeichen(int code) override {
        QTableWidget* list = ui().Trennzeichenliste;
        if (code < 0 || code >= list->rowCount()) {
            list->clearSelection();
            return;
        }
        list->selectRow(code);
        list->scrollToItem(list->item(code, 0), QAbstractItemView::EnsureVisible);
    }

    void setzeFokus(Feld feld) override {
        // The focus goes back into the field once the change of focus is over.
        QTimer::singleShot(0, m_fenster.edit(feld),
                           [field = m_fenster.edit(feld), markieren = feld == Feld::Dateiname] {
                               field->setFocus(Qt::OtherFocusReason);
                               if (markieren)
                                   field->selectAll();
                           });
    }

    void zeigeSeite(Seite s) override { ui().Seiten->setCurrentWidget(m_fenster.seite(s)); }

    void setzeSeiteSichtbar(Seite s, bool sichtbar) override {
        ui().Seiten->setTabVisible(ui().Seiten->indexOf(m_fenster.seite(s)), sichtbar);
    }

    void zeigeErsteinrichtungHinweis(bool zeigen) override {
        auto* hinweis = ui().SeiteAllgemein->findChild<QLabel*>(QStringLiteral("ErsteinrichtungHinweis"));
        if (!hinweis && zeigen) {
            hinweis = new QLabel(qt(ErsteinrichtungHinweis), ui().SeiteAllgemein);
            hinweis->setObjectName(QStringLiteral("ErsteinrichtungHinweis"));
            hinweis->setGeometry(8, 338, 560, 20);
        }
        if (hinweis)
            hinweis->setVisible(zeigen);
    }

    std::string feldText(Feld feld) const override { return m_fenster.edit(feld)->text().toStdString(); }

    int wahl(Wahl wahl) const override { return radioGroup(ui(), wahl)->itemIndex(); }

    bool schalter(Schalter schalter) const override { return checkBox(ui(), schalter)->isChecked(); }

    std::string port() const override { return ui().Port->Text(); }

    std::vector<std::string> gelistetePorts() const override {
        const TComComboBox* box = ui().Port;
        std::vector<std::string> ports;
        for (const std::string& port : box->Items()) {
            if (box->isListed(port))
                ports.push_back(port);
        }
        return ports;
    }

    int gewaehlteZeile(Liste l) const override { return selectedRow(m_fenster.liste(l)); }

    int gewaehltesTrennzeichen() const override {
        const QModelIndexList rows = ui().Trennzeichenliste->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.constFirst().row();
    }

    void zeigeFenster(bool aktivieren) override {
        m_fenster.show();
        if (aktivieren) {
            m_fenster.raise();
            m_fenster.activateWindow();
        }
    }

    void versteckeFenster() override { m_fenster.hide(); }

    bool fensterSichtbar() const override { return m_fenster.isVisible(); }

    int frage(const std::string& text, const std::string& titel, unsigned flags) override {
        return desktop().messageBox(utf8ToWin1252(text), utf8ToWin1252(titel), flags);
    }

    std::string speichernDialog(const std::string& vorgabe) override {
        return m_fenster.speichernDialog(vorgabe);
    }

    void sanduhr(bool an) override {
        if (an && !m_sanduhr)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else if (!an && m_sanduhr)
            QApplication::restoreOverrideCursor();
        m_sanduhr = an;
    }

    // --- The tray icon ---------------------------------------------------------------------

    void trayIconHinzufuegen() override {
        if (m_fenster.m_trayIcon)
            return;
        const QIcon symbol = m_fenster.windowIcon();
        auto* icon = new QSystemTrayIcon(m_fenster.m_verbunden ? symbol : nichtVerbunden(symbol), &m_fenster);
        m_fenster.m_trayIcon = icon;
        icon->setToolTip(m_fenster.m_tipp);
        connect(icon, &QSystemTrayIcon::activated, &m_fenster, &Einstellungsfenster::TrayIconClick);
        icon->show();
        // Messages at the icon (a machine back after a pulled cable) appear as its balloons.
        if (auto* qtDesktop = dynamic_cast<QtDesktop*>(&desktop()))
            qtDesktop->setTrayIcon(icon);
    }

    void zeigeVerbindung(bool verbunden, const std::string& tipp) override {
        const QString text = qt(tipp);
        QSystemTrayIcon* icon = m_fenster.m_trayIcon;
        if (icon && verbunden != m_fenster.m_verbunden)
            icon->setIcon(verbunden ? m_fenster.windowIcon() : nichtVerbunden(m_fenster.windowIcon()));
        if (icon && text != m_fenster.m_tipp)
            icon->setToolTip(text);
        m_fenster.m_verbunden = verbunden;
        m_fenster.m_tipp = text;
    }

    void trayIconEntfernen() override {
        QSystemTrayIcon*& icon = m_fenster.m_trayIcon;
        if (!icon)
            return;
        icon->hide();
        delete icon;
        icon = nullptr;
    }

    void oeffneProfilmenue() override {
        // The menu opens once the double-click time has passed without a second click.
        m_fenster.m_profilmenue->findChild<QTimer*>(QStringLiteral("ProfilmenueVerzoegerung"))->start();
    }

    void oeffneTraymenue() override { m_fenster.m_traymenue->popup(QCursor::pos()); }

private:
    Ui::Einstellungsfenster& ui() const { return *m_fenster.m_ui; }

    Einstellungsfenster& m_fenster;
    bool m_sanduhr = false;
};

std::unique_ptr<Einstellungsansicht> Einstellungsfenster::ansichtBauen(Einstellungsfenster& fenster) {
    return std::make_unique<Ansicht>(fenster);
}

std::string Einstellungsfenster::speichernDialog(const std::string& vorgabe) {
    QFileDialog dialog(this, QStringLiteral("Datei Speichern"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("Ringlesemaschine-Protokoll (*.rls)"));
    dialog.setDefaultSuffix(QStringLiteral("rls"));
    dialog.selectFile(qt(vorgabe));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst().toStdString();
}
