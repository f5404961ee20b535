// The settings window's controls and the active profile: loading the profile into the controls,
// telling whether they differ, and applying them.

#include "TForm1.h"

#include "Desktop.h"
#include "QtText.h"
#include "ui_TForm1.h"

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

void TForm1::SteuerelementeLaden() {
    const Profil& p = m_liste.aktiv();
    // 1. working copies
    for (std::size_t i = 0; i < 3; ++i) {
        m_reserviert[i] = static_cast<int8_t>(static_cast<uint8_t>(p.Reserviert[i] & 0xFF));
        m_trennzeichen[i] = p.Trennzeichen[i];
    }
    // 2. port
    m_ui->ComboBoxComNr->setText(text(p.Port));
    m_portNichtGelistet = QString::fromStdString(m_ui->ComboBoxComNr->Text())
                              .compare(QString::fromStdString(text(p.Port)), Qt::CaseInsensitive) != 0;
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

bool TForm1::Aenderungspruefung() {
    const Profil& p = m_liste.aktiv();
    if (m_ui->RadioGroup2->itemIndex() != p.Maschine ||
        (!m_portNichtGelistet && m_ui->ComboBoxComNr->Text() != text(p.Port)) ||
        m_ui->RadioGroup1->itemIndex() != p.Dateimodus || m_ui->CheckBox1->isChecked() != (p.Warnen != 0) ||
        m_ui->CheckBox2->isChecked() != (p.Zehntelringe != 0) ||
        m_ui->RadioGroup4->itemIndex() != p.TrennzeichenWahl)
        return false;

    for (std::size_t i = 0; i < 3; ++i) {
        if (m_reserviert[i] != p.Reserviert[i] || m_trennzeichen[i] != p.Trennzeichen[i])
            return false;
    }
    // A row chosen in the separator list that is not yet in the working copy. With no row
    // selected nothing was chosen.
    const int wahl = m_ui->RadioGroup4->itemIndex();
    const int zeile = selectedTrennzeichen();
    if (wahl >= 0 && zeile >= 0 && zeile != m_trennzeichen[static_cast<std::size_t>(wahl)])
        return false;

    const std::vector<int> elemente = elementCodes(false);
    const std::vector<int> datensatz = elementCodes(true);
    for (std::size_t i = 0; i < 6; ++i) {
        const int e = i < elemente.size() ? elemente[i] : -1;
        const int d = i < datensatz.size() ? datensatz[i] : -1;
        if (e != p.Elemente[i] || d != p.Datensatz[i])
            return false;
    }

    return toAnsi(m_ui->Edit1->text()) == text(p.Dateiname) &&
           m_ui->RadioGroup3->itemIndex() == p.Scheibentyp && zahl(m_ui->Edit6, 0) == p.Gesamtschusszahl &&
           zahl(m_ui->Edit3, 1) == p.Scheibenschusszahl &&
           toAnsi(m_ui->Edit4->text()) == text(p.Scheibentext) &&
           m_ui->CheckBox3->isChecked() == (p.Drucker != 0) && zahl(m_ui->Edit5, 250) == p.Teilergrenze &&
           m_ui->CheckBox4->isChecked() == (p.Header != 0);
}

bool TForm1::SteuerelementeUebernehmen() {
    // A number out of range never reaches the profile or the machine, even when the field was
    // not left before applying (a shortcut key applies without moving the focus).
    for (const Zahlenfeld& feld : zahlenfelder())
        pruefeZahlenfeld(feld);

    // 1.
    if (Aenderungspruefung())
        return true;
    // 2. with a header line in a file of all records the old file no longer matches the layout
    if (m_ui->CheckBox4->isChecked() && m_ui->RadioGroup1->itemIndex() == 0) {
        if (desktop().messageBox("Der Datensatzaufbau wurde ge\xE4ndert.\n\r"
                                 "Deshalb sollte die Protokolldatei gel\xF6scht werden!\n\r"
                                 "l\xF6schen?",
                                 "Meldung", Mb::YesNo) != IdYes)
            return false;
        loescheProtokolldatei(m_ui->Edit1->text());
    }

    Profil& p = m_liste.aktiv();
    // 3.
    bool reconnect = false;
    // 4. A port the list could not show stays until the user chooses another. A name longer than
    // the profile's field would be cut into the name of another port.
    const std::string port = m_ui->ComboBoxComNr->Text();
    if (!m_portNichtGelistet && port != text(p.Port) && portnamePasst(port)) {
        setText(p.Port, port);
        reconnect = true;
    }
    // 5.
    if (m_ui->RadioGroup2->itemIndex() != p.Maschine) {
        p.Maschine = m_ui->RadioGroup2->itemIndex();
        reconnect = true;
    }
    // 6.
    p.Dateimodus = m_ui->RadioGroup1->itemIndex();
    p.Warnen = m_ui->CheckBox1->isChecked() ? 1 : 0;
    // 7. tenths change the Disag's settings only
    if (m_ui->CheckBox2->isChecked() != (p.Zehntelringe != 0)) {
        p.Zehntelringe = m_ui->CheckBox2->isChecked() ? 1 : 0;
        if (p.Maschine == maDisagRM)
            reconnect = true;
    }
    // 8.
    setText(p.Dateiname, toAnsi(m_ui->Edit1->text()));
    // 9. the separator shown takes the row chosen for it
    const int wahl = m_ui->RadioGroup4->itemIndex();
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
    store(p.Scheibentyp, m_ui->RadioGroup3->itemIndex());
    store(p.Gesamtschusszahl, zahl(m_ui->Edit6, 10));
    store(p.Scheibenschusszahl, zahl(m_ui->Edit3, 1));
    const std::string scheibentext = toAnsi(m_ui->Edit4->text());
    if (scheibentext != text(p.Scheibentext)) {
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
