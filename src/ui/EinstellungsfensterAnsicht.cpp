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

QLineEdit* TForm1::edit(Feld feld) const {
    switch (feld) {
    case Feld::Dateiname:
        return m_ui->Edit1;
    case Feld::Schusszahl:
        return m_ui->Edit6;
    case Feld::SchussProScheibe:
        return m_ui->Edit3;
    case Feld::Scheibentext:
        return m_ui->Edit4;
    case Feld::Teilergrenze:
        break;
    }
    return m_ui->Edit5;
}

static TRadioGroup* radioGroup(const Ui::TForm1& ui, Wahl wahl) {
    switch (wahl) {
    case Wahl::Datei:
        return ui.RadioGroup1;
    case Wahl::Maschine:
        return ui.RadioGroup2;
    case Wahl::Scheibentyp:
        return ui.RadioGroup3;
    case Wahl::Trennzeichenart:
        break;
    }
    return ui.RadioGroup4;
}

static QCheckBox* checkBox(const Ui::TForm1& ui, Schalter schalter) {
    switch (schalter) {
    case Schalter::Warnen:
        return ui.CheckBox1;
    case Schalter::Zehntelringe:
        return ui.CheckBox2;
    case Schalter::Drucker:
        return ui.CheckBox3;
    case Schalter::Header:
        break;
    }
    return ui.CheckBox4;
}

QTreeWidget* TForm1::liste(Liste liste) const {
    return liste == Liste::Datensatz ? m_ui->DatensatzListView : m_ui->ElementeListView;
}

QWidget* TForm1::seite(Seite seite) const {
    switch (seite) {
    case Seite::Allgemein:
        return m_ui->TabSheet1;
    case Seite::Datensatz:
        return m_ui->TabSheet2;
    case Seite::Maschinen:
        return m_ui->TabSheet3;
    case Seite::Info:
        break;
    }
    return m_ui->TabSheet4;
}

void TForm1::fuelleMaschinenwahl(const std::vector<std::string>& eintraege) {
    QStringList items;
    for (const std::string& eintrag : eintraege)
        items << qt(eintrag);
    m_ui->RadioGroup2->setItems(items);
}

void TForm1::fuelleTrennzeichenliste(const std::array<std::string, 4>& titel,
                                     const std::vector<std::array<std::string, 4>>& zeilen) {
    QTableWidget* list = m_ui->ListView1;
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

void TForm1::zeigeText(Feld feld, const std::string& text) {
    edit(feld)->setText(qt(text));
}

void TForm1::zeigeWahl(Wahl wahl, int index) {
    radioGroup(*m_ui, wahl)->setItemIndex(index);
}

void TForm1::zeigeSchalter(Schalter schalter, bool an) {
    checkBox(*m_ui, schalter)->setChecked(an);
}

void TForm1::setzeSchalterAktiv(Schalter schalter, bool aktiv) {
    checkBox(*m_ui, schalter)->setEnabled(aktiv);
}

void TForm1::setzeNeuAnmeldenAktiv(bool aktiv) {
    m_ui->Button6->setEnabled(aktiv);
}

void TForm1::zeigePort(const std::string& port) {
    m_ui->ComboBoxComNr->setPort(port);
}

void TForm1::zeigeProfile(const std::vector<std::string>& namen, int gewaehlt) {
    ProfilBox* box = m_ui->ComboBox2;
    QSignalBlocker block(box);
    box->clear();
    for (const std::string& name : namen)
        box->addItem(qt(name));
    box->setCurrentIndex(gewaehlt);
}

void TForm1::fokusInProfilbox() {
    m_ui->ComboBox2->setFocus();
    m_ui->ComboBox2->lineEdit()->selectAll();
}

void TForm1::zeigeListe(Liste l, const std::vector<std::string>& zeilen) {
    QTreeWidget* list = liste(l);
    list->clear();
    for (const std::string& zeile : zeilen)
        list->addTopLevelItem(new QTreeWidgetItem(QStringList(qt(zeile))));
    list->clearSelection();
}

void TForm1::waehleZeile(Liste l, int zeile, bool fokus) {
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

void TForm1::waehleTrennzeichen(int code) {
    QTableWidget* list = m_ui->ListView1;
    if (code < 0 || code >= list->rowCount()) {
        list->clearSelection();
        return;
    }
    list->selectRow(code);
    list->scrollToItem(list->item(code, 0), QAbstractItemView::EnsureVisible);
}

void TForm1::setzeFokus(Feld feld) {
    // The focus goes back into the field once the change of focus is over.
    QTimer::singleShot(0, edit(feld), [field = edit(feld), markieren = feld == Feld::Dateiname] {
        field->setFocus(Qt::OtherFocusReason);
        if (markieren)
            field->selectAll();
    });
}

void TForm1::zeigeSeite(Seite s) {
    m_ui->PageControl1->setCurrentWidget(seite(s));
}

void TForm1::setzeSeiteSichtbar(Seite s, bool sichtbar) {
    m_ui->PageControl1->setTabVisible(m_ui->PageControl1->indexOf(seite(s)), sichtbar);
}

void TForm1::zeigeErsteinrichtungHinweis(bool zeigen) {
    auto* hinweis = m_ui->TabSheet1->findChild<QLabel*>(QStringLiteral("LabelErsteinrichtung"));
    if (!hinweis && zeigen) {
        hinweis = new QLabel(qt(ErsteinrichtungHinweis), m_ui->TabSheet1);
        hinweis->setObjectName(QStringLiteral("LabelErsteinrichtung"));
        hinweis->setGeometry(8, 338, 560, 20);
    }
    if (hinweis)
        hinweis->setVisible(zeigen);
}

std::string TForm1::feldText(Feld feld) const {
    return edit(feld)->text().toStdString();
}

int TForm1::wahl(Wahl wahl) const {
    return radioGroup(*m_ui, wahl)->itemIndex();
}

bool TForm1::schalter(Schalter schalter) const {
    return checkBox(*m_ui, schalter)->isChecked();
}

std::string TForm1::port() const {
    return m_ui->ComboBoxComNr->Text();
}

std::vector<std::string> TForm1::gelistetePorts() const {
    const TComComboBox* box = m_ui->ComboBoxComNr;
    std::vector<std::string> ports;
    for (const std::string& port : box->Items()) {
        if (box->isListed(port))
            ports.push_back(port);
    }
    return ports;
}

int TForm1::gewaehlteZeile(Liste l) const {
    return selectedRow(liste(l));
}

int TForm1::gewaehltesTrennzeichen() const {
    const QModelIndexList rows = m_ui->ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

void TForm1::zeigeFenster(bool aktivieren) {
    show();
    if (aktivieren) {
        raise();
        activateWindow();
    }
}

void TForm1::versteckeFenster() {
    hide();
}

bool TForm1::fensterSichtbar() const {
    return isVisible();
}

int TForm1::frage(const std::string& text, const std::string& titel, unsigned flags) {
    return desktop().messageBox(utf8ToWin1252(text), utf8ToWin1252(titel), flags);
}

std::string TForm1::speichernDialog(const std::string& vorgabe) {
    return saveFileDialog(qt(vorgabe)).toStdString();
}

QString TForm1::saveFileDialog(const QString& preset) {
    QFileDialog dialog(this, QStringLiteral("Datei Speichern"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("Ringlesemaschine-Protokoll (*.rls)"));
    dialog.setDefaultSuffix(QStringLiteral("rls"));
    dialog.selectFile(preset);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void TForm1::sanduhr(bool an) {
    if (an && !m_sanduhr)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (!an && m_sanduhr)
        QApplication::restoreOverrideCursor();
    m_sanduhr = an;
}
