// The page "Datensatz-Einstellungen": moving elements between the two lists and within the
// record, the separator list and the separator kind.

#include "Datensatzelemente.h"
#include "ProtokollAusgabe.h"
#include "SettingsFixture.h"

#include <QRadioButton>
#include <QtTest>

using namespace settings_test;

namespace {

QStringList captions(const QTreeWidget* list) {
    QStringList out;
    for (int r = 0; r < list->topLevelItemCount(); ++r)
        out << list->topLevelItem(r)->text(0);
    return out;
}

int selected(const QTreeWidget* list) {
    const auto items = list->selectedItems();
    return items.isEmpty() ? -1 : list->indexOfTopLevelItem(items.constFirst());
}

void select(QTreeWidget* list, int row) {
    list->clearSelection();
    if (row >= 0)
        list->topLevelItem(row)->setSelected(true);
}

int selectedRow(const QTableWidget* list) {
    const auto rows = list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

} // namespace

class LayoutEditorTest : public WindowFixture {
    Q_OBJECT

    QTreeWidget* elemente() { return m_form->f().Elementeliste; }
    QTreeWidget* datensatz() { return m_form->f().Datensatzliste; }

private slots:
    void init() {
        prepare();
        m_start->write({"Verein"});
        openForm({"COM1"});
    }
    void cleanup() { tearDown(); }

    void aNewProfileOffersAllSixElements() {
        QCOMPARE(captions(elemente()), (QStringList{"Scheibentyp", "Teilerfaktor", "Ringwert", "Teiler",
                                                    "X-Koordinate", "Y-Koordinate"}));
        QCOMPARE(datensatz()->topLevelItemCount(), 0);
        QCOMPARE(selected(elemente()), 0); // selected at construction
    }

    void addingAppendsOrInsertsAfterTheSelectedRecordRow() {
        select(elemente(), 2); // Ringwert
        m_form->logik().HinzufuegenClick();
        QCOMPARE(captions(datensatz()), QStringList{"Ringwert"});
        QCOMPARE(selected(datensatz()), 0);
        QCOMPARE(selected(elemente()), 2); // the row now at the same place: Teiler

        select(datensatz(), -1);
        select(elemente(), 0); // Scheibentyp, appended with nothing selected in the record
        m_form->logik().HinzufuegenClick();
        QCOMPARE(captions(datensatz()), (QStringList{"Ringwert", "Scheibentyp"}));

        select(datensatz(), 0);
        select(elemente(), 3); // Y-Koordinate, the last row
        m_form->logik().HinzufuegenClick();
        QCOMPARE(captions(datensatz()), (QStringList{"Ringwert", "Y-Koordinate", "Scheibentyp"}));
        QCOMPARE(selected(datensatz()), 1);
        QCOMPARE(selected(elemente()), 2); // the row before the deleted last one

        // with nothing selected nothing moves
        select(elemente(), -1);
        m_form->logik().HinzufuegenClick();
        QCOMPARE(datensatz()->topLevelItemCount(), 3);
    }

    void addingTheLastElementLeavesTheAvailableListEmpty() {
        for (int i = 0; i < 6; ++i) {
            select(elemente(), 0);
            m_form->logik().HinzufuegenClick();
        }
        QCOMPARE(elemente()->topLevelItemCount(), 0);
        QCOMPARE(selected(elemente()), -1);
        QCOMPARE(datensatz()->topLevelItemCount(), 6);
        m_form->logik().HinzufuegenClick(); // nothing left: nothing happens
        QCOMPARE(datensatz()->topLevelItemCount(), 6);
    }

    void removingPutsTheElementAtTheEndAndSelectsTheRowBefore() {
        for (int row : {2, 2, 2}) { // Ringwert, Teiler, X-Koordinate
            select(elemente(), row);
            select(datensatz(), -1);
            m_form->logik().HinzufuegenClick();
        }
        select(datensatz(), 0);
        m_form->logik().EntfernenClick();
        QCOMPARE(captions(elemente()),
                 (QStringList{"Scheibentyp", "Teilerfaktor", "Y-Koordinate", "Ringwert"}));
        QCOMPARE(selected(elemente()), 3);
        QCOMPARE(selected(datensatz()), 0); // the new first row

        select(datensatz(), 1);
        m_form->logik().EntfernenClick();
        QCOMPARE(captions(datensatz()), QStringList{"Teiler"});
        QCOMPARE(selected(datensatz()), 0);

        m_form->logik().EntfernenClick();
        QCOMPARE(datensatz()->topLevelItemCount(), 0);
        QCOMPARE(selected(datensatz()), -1);
        m_form->logik().EntfernenClick(); // nothing selected: nothing happens
        QCOMPARE(elemente()->topLevelItemCount(), 6);

        // the changed order of the available list is what is stored
        QVERIFY(m_form->logik().SteuerelementeUebernehmen());
        QCOMPARE(m_liste->aktiv().Elemente, (std::array<int8_t, 6>{0, 1, 5, 2, 4, 3}));
    }

    void upAndDownMoveWithinTheRecordOnly() {
        for (int i = 0; i < 3; ++i) { // Scheibentyp, Teilerfaktor, Ringwert
            select(elemente(), 0);
            select(datensatz(), -1);
            m_form->logik().HinzufuegenClick();
        }
        select(datensatz(), 0);
        m_form->logik().NachObenClick();
        QCOMPARE(captions(datensatz()), (QStringList{"Scheibentyp", "Teilerfaktor", "Ringwert"}));
        select(datensatz(), 2);
        m_form->logik().NachUntenClick();
        QCOMPARE(captions(datensatz()), (QStringList{"Scheibentyp", "Teilerfaktor", "Ringwert"}));

        m_form->logik().NachObenClick();
        QCOMPARE(captions(datensatz()), (QStringList{"Scheibentyp", "Ringwert", "Teilerfaktor"}));
        QCOMPARE(selected(datensatz()), 1);
        m_form->logik().NachObenClick();
        QCOMPARE(captions(datensatz()), (QStringList{"Ringwert", "Scheibentyp", "Teilerfaktor"}));
        m_form->logik().NachUntenClick();
        m_form->logik().NachUntenClick();
        QCOMPARE(captions(datensatz()), (QStringList{"Scheibentyp", "Teilerfaktor", "Ringwert"}));
        QCOMPARE(selected(datensatz()), 2);

        QVERIFY(!m_form->logik().Aenderungspruefung());
        QVERIFY(m_form->logik().SteuerelementeUebernehmen());
        QCOMPARE(m_liste->aktiv().Datensatz, (std::array<int8_t, 6>{0, 1, 2, -1, -1, -1}));
        QCOMPARE(m_liste->aktiv().Elemente, (std::array<int8_t, 6>{3, 4, 5, -1, -1, -1}));
        QVERIFY(m_form->logik().Aenderungspruefung());
        // the header line's titles follow the list as shown, also before applying
        m_form->logik().NachObenClick();
        QCOMPARE(m_form->logik().DatensatzTitel(),
                 (std::vector<std::string>{"Scheibentyp", "Ringwert", "Teilerfaktor"}));
    }

    void aNewProtocolFileHeadsItsColumnsWithTheListAsShown() {
        Profil& p = m_liste->aktiv();
        p.Header = 1;
        p.Datensatz = {2, 3, -1, -1, -1, -1}; // Ringwert, Teiler
        const std::string datei = m_start->path() + "/kopf.rls";
        setText(p.Dateiname, datei);
        m_form->logik().SteuerelementeLaden();
        select(datensatz(), 1);
        m_form->logik().EntfernenClick(); // not applied: the profile still has both

        TSerienDatensatz serie;
        serie.Schusszahl.set("1");
        TSchussDatensatz schuss;
        schuss.Ringwert.set("104");
        schuss.Teiler.set("01234");
        serie.Schuesse.push_back(schuss);
        m_form->logik().Pfad().Ausgabe().WriteSeries(serie);

        std::ifstream in(datei, std::ios::binary);
        const std::string inhalt((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        QVERIFY2(inhalt.rfind("Ringwert;\n\n", 0) == 0, inhalt.c_str());
    }

    void theSeparatorListHasARowPerCode() {
        const QTableWidget* list = m_form->f().Trennzeichenliste;
        QCOMPARE(list->rowCount(), 258);
        QCOMPARE(list->columnCount(), 4);
        QCOMPARE(list->horizontalHeaderItem(1)->text(), QStringLiteral("ASCII-Code (dez)"));
        const auto row = [list](int r) {
            return QStringList{list->item(r, 0)->text(), list->item(r, 1)->text(), list->item(r, 2)->text()};
        };
        QCOMPARE(row(59), (QStringList{";", "59", "0x3b"}));
        QCOMPARE(row(128), (QStringList{QStringLiteral("\u20ac"), "128", "0x80"}));
        QCOMPARE(row(255), (QStringList{QStringLiteral("\u00ff"), "255", "0xff"}));
        QCOMPARE(row(256), (QStringList{"Windows-Linefeed", "13 + 10", "0x0d + 0x0a"}));
        QCOMPARE(row(257), (QStringList{"kein Trennzeichen", "", ""}));
        QCOMPARE(list->columnWidth(3), 1);
        for (int c = 0; c < 3; ++c)
            QVERIFY(list->columnWidth(c) >= 10 && list->columnWidth(c) <= 200);
    }

    void theSeparatorKindKeepsAWorkingCopyPerKind() {
        QTableWidget* list = m_form->f().Trennzeichenliste;
        TRadioGroup* art = m_form->f().Trennzeichenartwahl;
        QCOMPARE(art->itemIndex(), 0);
        QCOMPARE(selectedRow(list), 59);

        // switching back and forth without touching the list changes nothing
        art->button(1)->click();
        QCOMPARE(selectedRow(list), 10);
        QCOMPARE(m_liste->aktiv().TrennzeichenWahl, 1); // written at once
        art->button(2)->click();
        art->button(0)->click();
        QCOMPARE(selectedRow(list), 59);
        QVERIFY(m_form->logik().Aenderungspruefung());

        // a row chosen for "Schuss" is kept while another kind is shown, and applied
        art->button(1)->click();
        list->selectRow(256);
        QVERIFY(!m_form->logik().Aenderungspruefung());
        art->button(2)->click();
        list->selectRow(257);
        art->button(1)->click();
        QCOMPARE(selectedRow(list), 256);
        QVERIFY(m_form->logik().SteuerelementeUebernehmen());
        QCOMPARE(m_liste->aktiv().Trennzeichen, (std::array<int32_t, 3>{59, 256, 257}));
        QCOMPARE(m_liste->aktiv().TrennzeichenWahl, 1);
        QCOMPARE(m_form->geoeffnet, 0); // separators need no reconnection

        // "Abbrechen" discards an unapplied choice
        list->selectRow(13);
        m_form->logik().AbbrechenClick();
        QCOMPARE(selectedRow(list), 256);
    }
};

QTEST_MAIN(LayoutEditorTest)
#include "LayoutEditorTest.moc"
