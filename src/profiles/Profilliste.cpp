#include "Profilliste.h"

void Profilliste::appendStandard(std::string_view startverzeichnis, std::string_view port) {
    m_profile.push_back(Profil::standard(startverzeichnis, port));
    m_active = 0;
}

void Profilliste::append(const Profil& profil) {
    m_profile.push_back(profil);
}

bool Profilliste::select(std::size_t index) {
    if (index >= m_profile.size())
        return false;
    m_active = index;
    return true;
}

void Profilliste::neuesProfil() {
    Profil copy = aktiv();
    setText(copy.Name, "Unbenannt");
    m_profile.push_back(copy);
    m_active = m_profile.size() - 1;
}

void Profilliste::umbenennen(std::string_view name) {
    setText(aktiv().Name, name);
}

bool Profilliste::entferneAktives() {
    if (m_active == 0 || m_active >= m_profile.size())
        return false;
    m_profile.erase(m_profile.begin() + static_cast<std::ptrdiff_t>(m_active));
    m_active = 0;
    return true;
}

void Profilliste::clear() {
    m_profile.clear();
    m_active = 0;
}
