// The settings window's controls and the active profile: loading the profile into the controls,
// telling whether they differ, and applying them.

#include "TForm1.h"

#include "Maschinentabelle.h"

#include "Desktop.h"
#include "QtText.h"
#include "ui_TForm1.h"

#include <QLabel>

#include <filesystem>

namespace {

constexpr std::size_t kMaxPortName = std::tuple_size_v<decltype(Profil::Port)> - 1;

// A number typed into a field: its decimal value, or the fallback when it is not a number.
int zahl(const QLineEdit* edit, int fallback) {
    bool ok = false;
    const int value = edit->text().toInt(&ok);
    return ok ? value : fallback;
}

QString dezimal(int32_t value) {
    return QString::number(value);
}

// What a radio group shows for a profile value: its item, or none where it has no item for it.
int gezeigt(const TRadioGroup* group, int32_t value) {
    return value >= 0 && value < group->items().size() ? value : -1;
}

// The element numbers a list shows for the slots of a profile: the valid ones, in slot order.
std::vector<int> gezeigt(const std::array<int8_t, 6>& werte) {
    std::vector<int> codes;
    for (int8_t slot : werte) {
        if (const auto code = elementCode(slot))
            codes.push_back(*code);
    }
    return codes;
}

// What an edit shows for a profile text: the text cut to the length the edit holds.
std::string gezeigt(const QLineEdit* edit, const std::string& ansi) {
    return toAnsi(fromAnsi(ansi).left(edit->maxLength()));
}

// Deletes the protocol file before a changed record layout is applied. Only a file is deleted
// (never a directory); a failure is ignored.
void loescheProtokolldatei(const QString& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path(name.toStdString());
    const fs::file_status status = fs::symlink_status(path, ec);
    if (!ec && (fs::is_regular_file(status) || fs::is_symlink(status)))
        fs::remove(path, ec);
}

} // namespace

bool TForm1::portnamePasst(const std::string& port) {
    if (port.size() <= kMaxPortName)
        return true;
    desktop().messageBox("Der Name der Schnittstelle\n\r" + port +
                             "\n\rist zu lang und kann nicht gespeichert werden (h\xF6"
                             "chstens " +
                             std::to_string(kMaxPortName) + " Zeichen).",
                         "Fehler", Mb::Ok | Mb::IconError);
    return false;
}

std::string TForm1::standardPort() const {
    for (const std::string& port : m_ui->ComboBoxComNr->Items()) {
        if (port.size() <= kMaxPortName)
            return port;
    }
    return {};
}

void TForm1::zeigeErsteinrichtungHinweis(bool zeigen) {
    auto* hinweis = m_ui->TabSheet1->findChild<QLabel*>(QStringLiteral("LabelErsteinrichtung"));
    if (!hinweis && zeigen) {
        hinweis = new QLabel(
            QStringLiteral("Maschine und Schnittstelle w\u00e4hlen oder \u201eMaschinensuche\u201c, "
                           "dann \u201e\u00dc"
                           "bernehmen\u201c."),
            m_ui->TabSheet1);
        hinweis->setObjectName(QStringLiteral("LabelErsteinrichtung"));
        hinweis->setGeometry(8, 338, 560, 20);
    }
    if (hinweis)
        hinweis->setVisible(zeigen);
}

void TForm1::SteuerelementeLaden() {
    const Profil& p = m_liste.aktiv();
    // 1. working copies
    for (std::size_t i = 0; i < 3; ++i) {
        m_reserviert[i] = static_cast<int8_t>(static_cast<uint8_t>(p.Reserviert[i] & 0xFF));
        m_trennzeichen[i] = p.Trennzeichen[i];
    }
    // 2. port: always the profile's own, listed or not
    m_ui->ComboBoxComNr->setPort(text(p.Port));
    // 3. machine and file mode, with their reactions
    m_ui->RadioGroup2->setItemIndex(p.Maschine);
    RadioGroup2Click(m_ui->RadioGroup2->itemIndex());
    m_ui->RadioGroup1->setItemIndex(p.Dateimodus);
    // 4.
    m_ui->CheckBox1->setChecked(p.Warnen != 0);
    m_ui->CheckBox2->setChecked(p.Zehntelringe != 0);
    // 5. the separator shown, without the reaction to a switch by the user
    m_ui->RadioGroup4->setItemIndex(p.TrennzeichenWahl);
    const int wahl = m_ui->RadioGroup4->itemIndex();
    zeigeTrennzeichen(wahl >= 0 ? m_trennzeichen[static_cast<std::size_t>(wahl)] : -1);
    // 6. element lists
    fillElementList(false, p.Elemente);
    fillElementList(true, p.Datensatz);
    // 7., 8.
    m_ui->Edit1->setText(fromAnsi(text(p.Dateiname)));
    RadioGroup1Click(m_ui->RadioGroup1->itemIndex());
    // 9.
    m_ui->CheckBox4->setChecked(p.Header != 0);
    m_ui->RadioGroup3->setItemIndex(p.Scheibentyp);
    // 10.
    m_ui->Edit6->setText(dezimal(p.Gesamtschusszahl));
    m_ui->Edit3->setText(dezimal(p.Scheibenschusszahl));
    m_ui->Edit4->setText(fromAnsi(text(p.Scheibentext)));
    m_ui->CheckBox3->setChecked(p.Drucker != 0);
    m_ui->Edit5->setText(dezimal(p.Teilergrenze));
}

// Every control is compared with what it shows for the profile's value, so a value that a
// control cannot show (a damaged or hand-made profile) is no difference the user could see or undo.
bool TForm1::Aenderungspruefung() {
    const Profil& p = m_liste.aktiv();
    if (m_ui->RadioGroup2->itemIndex() != gezeigt(m_ui->RadioGroup2, p.Maschine) ||
        m_ui->ComboBoxComNr->Text() != text(p.Port) ||
        m_ui->RadioGroup1->itemIndex() != gezeigt(m_ui->RadioGroup1, p.Dateimodus) ||
        m_ui->CheckBox1->isChecked() != (p.Warnen != 0) ||
        m_ui->CheckBox2->isChecked() != (p.Zehntelringe != 0) ||
        m_ui->RadioGroup4->itemIndex() != gezeigt(m_ui->RadioGroup4, p.TrennzeichenWahl))
        return false;

    for (std::size_t i = 0; i < 3; ++i) {
        if (m_reserviert[i] != static_cast<int8_t>(static_cast<uint8_t>(p.Reserviert[i] & 0xFF)) ||
            m_trennzeichen[i] != p.Trennzeichen[i])
            return false;
    }
    // A row chosen in the separator list that is not yet in the working copy. With no row
    // selected nothing was chosen.
    const int wahl = m_ui->RadioGroup4->itemIndex();
    const int zeile = selectedTrennzeichen();
    if (wahl >= 0 && zeile >= 0 && zeile != m_trennzeichen[static_cast<std::size_t>(wahl)])
        return false;

    if (elementCodes(false) != gezeigt(p.Elemente) || elementCodes(true) != gezeigt(p.Datensatz))
        return false;

    return toAnsi(m_ui->Edit1->text()) == gezeigt(m_ui->Edit1, text(p.Dateiname)) &&
           m_ui->RadioGroup3->itemIndex() == gezeigt(m_ui->RadioGroup3, p.Scheibentyp) &&
           zahl(m_ui->Edit6, 0) == p.Gesamtschusszahl && zahl(m_ui->Edit3, 1) == p.Scheibenschusszahl &&
           toAnsi(m_ui->Edit4->text()) == gezeigt(m_ui->Edit4, text(p.Scheibentext)) &&
           m_ui->CheckBox3->isChecked() == (p.Drucker != 0) && zahl(m_ui->Edit5, 250) == p.Teilergrenze &&
           m_ui->CheckBox4->isChecked() == (p.Header != 0);
}

bool TForm1::SteuerelementeUebernehmen() {
    // A port name longer than the profile's field would be cut into the name of another port:
    // it is refused, and nothing is applied.
    const std::string port = m_ui->ComboBoxComNr->Text();
    if (port != text(m_liste.aktiv().Port) && !portnamePasst(port))
        return false;
    // A number out of range never reaches the profile or the machine, even when the field was
    // not left before applying (a shortcut key applies without moving the focus).
    for (const Zahlenfeld& feld : zahlenfelder())
        pruefeZahlenfeld(feld);

    // 1.
    if (Aenderungspruefung())
        return true;
    Profil& p = m_liste.aktiv();
    // 2. With a header line in a file of all records, an old file whose header no longer matches
    // the record list may be deleted; only a change of what the header line describes asks, and
    // "Nein" (the default) applies nothing.
    if (m_ui->CheckBox4->isChecked() && m_ui->RadioGroup1->itemIndex() == 0 &&
        (p.Header == 0 || elementCodes(true) != gezeigt(p.Datensatz))) {
        if (desktop().messageBox("Der Datensatzaufbau wurde ge\xE4ndert.\n\r"
                                 "Deshalb sollte die Protokolldatei gel\xF6scht werden!\n\r"
                                 "l\xF6schen?",
                                 "Meldung", Mb::YesNo | Mb::DefButton2) != IdYes)
            return false;
        loescheProtokolldatei(m_ui->Edit1->text());
    }

    // 3.
    bool reconnect = false;
    // 4.
    if (port != text(p.Port)) {
        setText(p.Port, port);
        reconnect = true;
    }
    // 5. A value that a control cannot show is kept until the user chooses another (5, 6, 9, 13).
    if (m_ui->RadioGroup2->itemIndex() != gezeigt(m_ui->RadioGroup2, p.Maschine)) {
        p.Maschine = m_ui->RadioGroup2->itemIndex();
        reconnect = true;
    }
    // 6.
    if (m_ui->RadioGroup1->itemIndex() != gezeigt(m_ui->RadioGroup1, p.Dateimodus))
        p.Dateimodus = m_ui->RadioGroup1->itemIndex();
    p.Warnen = m_ui->CheckBox1->isChecked() ? 1 : 0;
    // 7. tenths change the settings of a machine that takes them from the profile (the Disag)
    if (m_ui->CheckBox2->isChecked() != (p.Zehntelringe != 0)) {
        p.Zehntelringe = m_ui->CheckBox2->isChecked() ? 1 : 0;
        if (const Maschinenart* art = maschinenart(p.Maschine); art && art->einstellen)
            reconnect = true;
    }
    // 8.
    setText(p.Dateiname, toAnsi(m_ui->Edit1->text()));
    // 9. the separator shown takes the row chosen for it
    const int wahl = m_ui->RadioGroup4->itemIndex();
    if (wahl != gezeigt(m_ui->RadioGroup4, p.TrennzeichenWahl))
        p.TrennzeichenWahl = wahl;
    if (wahl >= 0 && selectedTrennzeichen() >= 0)
        m_trennzeichen[static_cast<std::size_t>(wahl)] = selectedTrennzeichen();
    // 10.
    for (std::size_t i = 0; i < 3; ++i) {
        p.Reserviert[i] = m_reserviert[i];
        p.Trennzeichen[i] = m_trennzeichen[i];
    }
    // 11. used slots first, in list order
    const std::vector<int> elemente = elementCodes(false);
    const std::vector<int> datensatz = elementCodes(true);
    for (std::size_t i = 0; i < 6; ++i) {
        p.Elemente[i] = static_cast<int8_t>(i < elemente.size() ? elemente[i] : -1);
        p.Datensatz[i] = static_cast<int8_t>(i < datensatz.size() ? datensatz[i] : -1);
    }
    // 12.
    p.Header = m_ui->CheckBox4->isChecked() ? 1 : 0;
    // 13. the Disag's settings, whatever the machine
    const auto store = [&reconnect](auto& field, auto value) {
        if (field != value) {
            field = value;
            reconnect = true;
        }
    };
    if (m_ui->RadioGroup3->itemIndex() != gezeigt(m_ui->RadioGroup3, p.Scheibentyp))
        store(p.Scheibentyp, m_ui->RadioGroup3->itemIndex());
    store(p.Gesamtschusszahl, zahl(m_ui->Edit6, 10));
    store(p.Scheibenschusszahl, zahl(m_ui->Edit3, 1));
    const std::string scheibentext = toAnsi(m_ui->Edit4->text());
    if (scheibentext != gezeigt(m_ui->Edit4, text(p.Scheibentext))) {
        setText(p.Scheibentext, scheibentext);
        reconnect = true;
    }
    store(p.Drucker, static_cast<uint8_t>(m_ui->CheckBox3->isChecked() ? 1 : 0));
    store(p.Teilergrenze, zahl(m_ui->Edit5, 250));
    // 14. file, layout and separators take effect with the next record
    if (reconnect)
        MaschineAnmelden();
    return true;
}
