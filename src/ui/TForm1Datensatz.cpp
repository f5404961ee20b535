// The page "Datensatz-Einstellungen" of the settings window: the record layout editor with its
// two element lists and the separator list.
//
// Every element number is in exactly one of the two lists: rows are only ever moved between
// them, never copied. The lists keep the selected row (what the buttons act on) apart from the
// focused row (the keyboard's place), as the buttons set them differently.

#include "TForm1.h"

#include "Datensatzelemente.h"
#include "QtText.h"
#include "Trennzeichen.h"
#include "ui_TForm1.h"

#include <QHeaderView>

namespace {

constexpr int kElementRole = Qt::UserRole;

int selectedRow(const QTreeWidget* list) {
    const QList<QTreeWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? -1 : list->indexOfTopLevelItem(items.constFirst());
}

// Selects the row (and makes it the focused row too when focus is set); -1 selects none.
void selectRow(QTreeWidget* list, int row, bool focus) {
    if (row < 0 || row >= list->topLevelItemCount()) {
        list->clearSelection();
        return;
    }
    const QModelIndex index = list->model()->index(row, 0);
    list->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (focus)
        list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

QTreeWidgetItem* elementRow(int nummer) {
    const TDatensatzElement* element = datensatzelement(nummer);
    auto* item = new QTreeWidgetItem(QStringList(element ? fromAnsi(element->Name) : QString()));
    item->setData(0, kElementRole, nummer);
    return item;
}

} // namespace

void TForm1::fillTrennzeichenliste() {
    QTableWidget* list = m_ui->ListView1;
    const std::vector<TrennzeichenZeile> zeilen = trennzeichenliste();
    list->setUpdatesEnabled(false);
    list->setColumnCount(static_cast<int>(trennzeichenSpalten.size()));
    QStringList titel;
    for (std::string_view spalte : trennzeichenSpalten)
        titel << fromAnsi(std::string(spalte));
    list->setHorizontalHeaderLabels(titel);
    list->setRowCount(static_cast<int>(zeilen.size()));
    for (std::size_t r = 0; r < zeilen.size(); ++r) {
        for (std::size_t c = 0; c < zeilen[r].size(); ++c) {
            auto* item = new QTableWidgetItem(fromAnsi(zeilen[r][c]));
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

int TForm1::selectedTrennzeichen() const {
    const QModelIndexList rows = m_ui->ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

void TForm1::zeigeTrennzeichen(int32_t code) {
    QTableWidget* list = m_ui->ListView1;
    if (!validSeparator(code)) {
        list->clearSelection();
        return;
    }
    list->selectRow(code);
    list->scrollToItem(list->item(code, 0), QAbstractItemView::EnsureVisible);
}

void TForm1::RadioGroup4Click(int index) {
    Profil& p = m_liste.aktiv();
    const int zeile = selectedTrennzeichen();
    if (zeile >= 0 && p.TrennzeichenWahl >= 0 && p.TrennzeichenWahl <= 2)
        m_trennzeichen[static_cast<std::size_t>(p.TrennzeichenWahl)] = zeile;
    p.TrennzeichenWahl = index;
    zeigeTrennzeichen(index >= 0 ? m_trennzeichen[static_cast<std::size_t>(index)] : -1);
}

std::vector<int> TForm1::elementCodes(bool datensatz) const {
    const QTreeWidget* list = datensatz ? m_ui->DatensatzListView : m_ui->ElementeListView;
    std::vector<int> codes;
    for (int r = 0; r < list->topLevelItemCount(); ++r)
        codes.push_back(list->topLevelItem(r)->data(0, kElementRole).toInt());
    return codes;
}

void TForm1::fillElementList(bool datensatz, const std::array<int8_t, 6>& werte) {
    QTreeWidget* list = datensatz ? m_ui->DatensatzListView : m_ui->ElementeListView;
    list->clear();
    for (int8_t slot : werte) {
        if (const auto code = elementCode(slot))
            list->addTopLevelItem(elementRow(*code));
    }
    list->clearSelection();
}

std::vector<std::string> TForm1::DatensatzTitel() const {
    std::vector<std::string> titel;
    for (int code : elementCodes(true)) {
        if (const TDatensatzElement* element = datensatzelement(code))
            titel.push_back(element->Name);
    }
    return titel;
}

void TForm1::LoadButtonClick() {
    QTreeWidget* elemente = m_ui->ElementeListView;
    QTreeWidget* datensatz = m_ui->DatensatzListView;
    const int p = selectedRow(elemente);
    if (p < 0)
        return;
    const int ziel = selectedRow(datensatz);
    const int neu = ziel >= 0 ? ziel + 1 : datensatz->topLevelItemCount();
    datensatz->insertTopLevelItem(neu, elemente->topLevelItem(p)->clone());
    selectRow(datensatz, neu, true);

    delete elemente->takeTopLevelItem(p);
    const int rest = elemente->topLevelItemCount();
    selectRow(elemente, p < rest ? p : rest - 1, true);
}

void TForm1::DelButtonClick() {
    QTreeWidget* elemente = m_ui->ElementeListView;
    QTreeWidget* datensatz = m_ui->DatensatzListView;
    const int p = selectedRow(datensatz);
    if (p < 0)
        return;
    // back at the end of the available elements, not at its former place
    elemente->addTopLevelItem(datensatz->topLevelItem(p)->clone());
    selectRow(elemente, elemente->topLevelItemCount() - 1, true);

    delete datensatz->takeTopLevelItem(p);
    if (datensatz->topLevelItemCount() > 0)
        selectRow(datensatz, p > 0 ? p - 1 : 0, true);
    else
        datensatz->clearSelection();
}

void TForm1::UpButtonClick() {
    QTreeWidget* datensatz = m_ui->DatensatzListView;
    const int r = selectedRow(datensatz);
    if (r <= 0)
        return;
    QTreeWidgetItem* item = datensatz->takeTopLevelItem(r);
    datensatz->insertTopLevelItem(r - 1, item);
    selectRow(datensatz, r - 1, false);
}

void TForm1::DownButtonClick() {
    QTreeWidget* datensatz = m_ui->DatensatzListView;
    const int r = selectedRow(datensatz);
    if (r < 0 || r >= datensatz->topLevelItemCount() - 1)
        return;
    QTreeWidgetItem* item = datensatz->takeTopLevelItem(r);
    datensatz->insertTopLevelItem(r + 1, item);
    selectRow(datensatz, r + 1, true);
}
