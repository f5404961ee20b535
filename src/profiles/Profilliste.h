#pragma once

#include "Profil.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// All profiles in file order, and the one in force (the active profile). Used on the main
// thread only. The list is never sorted; new profiles go to the end; the first profile can
// never be removed, so the program always has at least one once it started.
class Profilliste {
public:
    // Appends the default profile (see Profil::standard) and makes the first profile active.
    void appendStandard(std::string_view startverzeichnis, std::string_view port = {});
    // Appends a record read from the configuration file, unchecked.
    void append(const Profil& profil);

    std::size_t size() const { return m_profile.size(); }
    bool empty() const { return m_profile.empty(); }
    const Profil& operator[](std::size_t i) const { return m_profile.at(i); }
    auto begin() const { return m_profile.begin(); }
    auto end() const { return m_profile.end(); }

    // Makes the i-th profile active. An index outside the list changes nothing; returns whether
    // it took effect.
    bool select(std::size_t index);
    std::size_t activeIndex() const { return m_active; }

    // The active profile, for reading and writing. The list must not be empty.
    Profil& aktiv() { return m_profile.at(m_active); }
    const Profil& aktiv() const { return m_profile.at(m_active); }

    // Copies the stored active profile, names the copy "Unbenannt", appends it and makes it active.
    void neuesProfil();
    // Puts a text into the active profile's Name (cut to the field).
    void umbenennen(std::string_view name);
    // Removes the active profile unless it is the first; the first becomes active. Returns
    // whether a profile was removed.
    bool entferneAktives();

    void clear();

private:
    std::vector<Profil> m_profile;
    std::size_t m_active = 0;
};
