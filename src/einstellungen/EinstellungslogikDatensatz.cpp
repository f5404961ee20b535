// The page "Datensatz-Einstellungen": the record layout editor with its two element lists and
// the separator list.
//
// The logic keeps the element numbers of both lists; the view shows their names and tells which
// row is selected. The lists keep the selected row (what the buttons act on) apart from the
// focused row (the keyboard's place), as the buttons set them differently.

#include "Einstellungslogik.h"

#include "Datensatzelemente.h"
#include "Profilliste.h"
#include "Win1252.h"

#include <utility>

void Einstellungslogik::zeigeElementliste(Liste liste) {
    std::vector<std::string> zeilen;
    for (int code : codes(liste)) {
        const TDatensatzElement* element = datensatzelement(code);
        zeilen.push_back(element ? win1252ToUtf8(element->Name) : std::string());
    }
    m_ansicht.zeigeListe(liste, zeilen);
}

int Einstellungslogik::gewaehlteZeile(Liste liste) {
    const int zeile = m_ansicht.gewaehlteZeile(liste);
    return zeile >= 0 && static_cast<std::size_t>(zeile) < codes(liste).size() ? zeile : -1;
}

void Einstellungslogik::zeigeTrennzeichen(std::int32_t code) {
    m_ansicht.waehleTrennzeichen(validSeparator(code) ? code : -1);
}

void Einstellungslogik::TrennzeichenartwahlClick(int index) {
    Profil& p = m_liste.aktiv();
    const int zeile = m_ansicht.gewaehltesTrennzeichen();
    if (zeile >= 0 && p.TrennzeichenWahl >= 0 && p.TrennzeichenWahl <= 2)
        m_trennzeichen[static_cast<std::size_t>(p.TrennzeichenWahl)] = zeile;
    p.TrennzeichenWahl = index;
    zeigeTrennzeichen(index >= 0 && index <= 2 ? m_trennzeichen[static_cast<std::size_t>(index)] : -1);
    ProfileGeaendert();
}

std::vector<std::string> Einstellungslogik::DatensatzTitel() const {
    std::vector<std::string> titel;
    for (int code : m_datensatz) {
        if (const TDatensatzElement* element = datensatzelement(code))
            titel.push_back(element->Name);
    }
    return titel;
}

void Einstellungslogik::HinzufuegenClick() {
    const int p = gewaehlteZeile(Liste::Elemente);
    if (p < 0)
        return;
    const int ziel = gewaehlteZeile(Liste::Datensatz);
    const int neu = ziel >= 0 ? ziel + 1 : static_cast<int>(m_datensatz.size());
    m_datensatz.insert(m_datensatz.begin() + neu, m_elemente[static_cast<std::size_t>(p)]);
    zeigeElementliste(Liste::Datensatz);
    m_ansicht.waehleZeile(Liste::Datensatz, neu, true);

    m_elemente.erase(m_elemente.begin() + p);
    zeigeElementliste(Liste::Elemente);
    const int rest = static_cast<int>(m_elemente.size());
    m_ansicht.waehleZeile(Liste::Elemente, p < rest ? p : rest - 1, true);
}

void Einstellungslogik::EntfernenClick() {
    const int p = gewaehlteZeile(Liste::Datensatz);
    if (p < 0)
        return;
    // back at the end of the available elements, not at its former place
    m_elemente.push_back(m_datensatz[static_cast<std::size_t>(p)]);
    zeigeElementliste(Liste::Elemente);
    m_ansicht.waehleZeile(Liste::Elemente, static_cast<int>(m_elemente.size()) - 1, true);

    m_datensatz.erase(m_datensatz.begin() + p);
    zeigeElementliste(Liste::Datensatz);
    if (!m_datensatz.empty())
        m_ansicht.waehleZeile(Liste::Datensatz, p > 0 ? p - 1 : 0, true);
}

void Einstellungslogik::NachObenClick() {
    const int r = gewaehlteZeile(Liste::Datensatz);
    if (r <= 0)
        return;
    std::swap(m_datensatz[static_cast<std::size_t>(r) - 1], m_datensatz[static_cast<std::size_t>(r)]);
    zeigeElementliste(Liste::Datensatz);
    m_ansicht.waehleZeile(Liste::Datensatz, r - 1, false);
}

void Einstellungslogik::NachUntenClick() {
    const int r = gewaehlteZeile(Liste::Datensatz);
    if (r < 0 || static_cast<std::size_t>(r) + 1 >= m_datensatz.size())
        return;
    std::swap(m_datensatz[static_cast<std::size_t>(r)], m_datensatz[static_cast<std::size_t>(r) + 1]);
    zeigeElementliste(Liste::Datensatz);
    m_ansicht.waehleZeile(Liste::Datensatz, r + 1, true);
}
