// The settings window's controls as the settings logic sees them: each call of the view
// interface on its widget.

#include "Einstellungsfenster.h"

#include "Desktop.h"
#include "QtText.h"
#include "ui_Einstellungsfenster.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
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

void Einstellungsfenster::fuelleMaschinenwahl(const std::vector<std::string>& eintraege) {
    QStringList items;
    for (const std::string& eintrag : eintraege)
        items << qt(eintrag);
    m_ui->Maschinenwahl->setItems(items);
}

void Einstellungsfenster::fuelleTrennzeichenliste(const std::array<std::string, 4>& titel,
                                                  const std::vector<std::array<std::string, 4>>& zeilen) {
    QTableWidget* list = m_ui->Trennzeichenliste;
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

void Einstellungsfenster::zeigeText(Feld feld, const std::string& text) {
    edit(feld)->setText(qt(text));
}

void Einstellungsfenster::zeigeWahl(Wahl wahl, int index) {
    radioGroup(*m_ui, wahl)->setItemIndex(index);
}

void Einstellungsfenster::zeigeSchalter(Schalter schalter, bool an) {
    checkBox(*m_ui, schalter)->setChecked(an);
}

void Einstellungsfenster::setzeSchalterAktiv(Schalter schalter, bool aktiv) {
    checkBox(*m_ui, schalter)->setEnabled(aktiv);
}

void Einstellungsfenster::setzeNeuAnmeldenAktiv(bool aktiv) {
    m_ui->NeuAnmelden->setEnabled(aktiv);
}

void Einstellungsfenster::zeigePort(const std::string& port) {
    m_ui->Port->setPort(port);
}

void Einstellungsfenster::zeigeProfile(const std::vector<std::string>& namen, int gewaehlt) {
    ProfilComboBox* box = m_ui->Profilbox;
    QSignalBlocker block(box);
    box->clear();
    for (const std::string& name : namen)
        box->addItem(qt(name));
    box->setCurrentIndex(gewaehlt);
}

void Einstellungsfenster::fokusInProfilbox() {
    m_ui->Profilbox->setFocus();
    m_ui->Profilbox->lineEdit()->selectAll();
}

void Einstellungsfenster::zeigeListe(Liste l, const std::vector<std::string>& zeilen) {
    QTreeWidget* list = liste(l);
    list->clear();
    for (const std::string& zeile : zeilen)
        list->addTopLevelItem(new QTreeWidgetItem(QStringList(qt(zeile))));
    list->clearSelection();
}

void Einstellungsfenster::waehleZeile(Liste l, int zeile, bool fokus) {
    QTreeWidget* list = liste(l);
    if (zeile < 0 || zeile >= list->topLevelItemCount()) {
        list->clearSelection();
        return;
    }
    const QModelIndex index = list->model()->index(zeile, 0);
    list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (fokus)
        list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void Einstellungsfenster::waehleTrennzeichen(int code) {
    QTableWidget* list = m_ui->Trennzeichenliste;
    if (code < 0 || code >= list->rowCount()) {
        list->clearSelection();
        return;
    }
    list->selectRow(code);
    list->scrollToItem(list->item(code, 0), QAbstractItemView::EnsureVisible);
}

void Einstellungsfenster::setzeFokus(Feld feld) {
    // The focus goes back into the field once the change of focus is over.
    QTimer::singleShot(0, edit(feld), [field = edit(feld), markieren = feld == Feld::Dateiname] {
        field->setFocus(Qt::OtherFocusReason);
        if (markieren)
            field->selectAll();
    });
}

void Einstellungsfenster::zeigeSeite(Seite s) {
    m_ui->Seiten->setCurrentWidget(seite(s));
}

void Einstellungsfenster::setzeSeiteSichtbar(Seite s, bool sichtbar) {
    m_ui->Seiten->setTabVisible(m_ui->Seiten->indexOf(seite(s)), sichtbar);
}

void Einstellungsfenster::zeigeErsteinrichtungHinweis(bool zeigen) {
    auto* hinweis = m_ui->SeiteAllgemein->findChild<QLabel*>(QStringLiteral("ErsteinrichtungHinweis"));
    if (!hinweis && zeigen) {
        hinweis = new QLabel(qt(ErsteinrichtungHinweis), m_ui->SeiteAllgemein);
        hinweis->setObjectName(QStringLiteral("ErsteinrichtungHinweis"));
        hinweis->setGeometry(8, 338, 560, 20);
    }
    if (hinweis)
        hinweis->setVisible(zeigen);
}

std::string Einstellungsfenster::feldText(Feld feld) const {
    return edit(feld)->text().toStdString();
}

int Einstellungsfenster::wahl(Wahl wahl) const {
    return radioGroup(*m_ui, wahl)->itemIndex();
}

bool Einstellungsfenster::schalter(Schalter schalter) const {
    return checkBox(*m_ui, schalter)->isChecked();
}

std::string Einstellungsfenster::port() const {
    return m_ui->Port->Text();
}

std::vector<std::string> Einstellungsfenster::gelistetePorts() const {
    const TComComboBox* box = m_ui->Port;
    std::vector<std::string> ports;
    for (const std::string& port : box->Items()) {
        if (box->isListed(port))
            ports.push_back(port);
    }
    return ports;
}

int Einstellungsfenster::gewaehlteZeile(Liste l) const {
    return selectedRow(liste(l));
}

int Einstellungsfenster::gewaehltesTrennzeichen() const {
    const QModelIndexList rows = m_ui->Trennzeichenliste->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

void Einstellungsfenster::zeigeFenster(bool aktivieren) {
    show();
    if (aktivieren) {
        raise();
        activateWindow();
    }
}

void Einstellungsfenster::versteckeFenster() {
    hide();
}

bool Einstellungsfenster::fensterSichtbar() const {
    return isVisible();
}

int Einstellungsfenster::frage(const std::string& text, const std::string& titel, unsigned flags) {
    return desktop().messageBox(utf8ToWin1252(text), utf8ToWin1252(titel), flags);
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

void Einstellungsfenster::sanduhr(bool an) {
    if (an && !m_sanduhr)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (!an && m_sanduhr)
        QApplication::restoreOverrideCursor();
    m_sanduhr = an;
}
