#include "Lognachleser.h"

#include "PlatformFile.h"

void Lognachleser::vonVorn() {
    m_gelesen = 0;
    m_rest.clear();
}

std::string Lognachleser::neueZeilen() {
    platform::PlatformFile datei = platform::PlatformFile::openForReading(m_pfad);
    if (!datei.isOpen())
        return {};
    const std::int64_t groesse = datei.size();
    if (groesse < 0)
        return {};
    if (groesse < m_gelesen) // rotated: the new file from its start
        vonVorn();
    if (groesse == m_gelesen || datei.seekTo(m_gelesen) != m_gelesen)
        return {};
    const bool vomAnfang = m_gelesen == 0;
    std::string neu(static_cast<std::size_t>(groesse - m_gelesen), '\0');
    const std::int64_t gelesen = datei.readFully(neu.data(), neu.size());
    if (gelesen <= 0)
        return {};
    neu.resize(static_cast<std::size_t>(gelesen));
    m_gelesen += gelesen;
    neu.insert(0, m_rest);
    const std::size_t ende = neu.rfind('\n');
    if (ende == std::string::npos) {
        m_rest = std::move(neu);
        return {};
    }
    m_rest = neu.substr(ende + 1);
    neu.resize(ende + 1);
    if (vomAnfang) {
        // Only the last m_zeilen lines: the line break before them ends the part left out.
        std::size_t von = ende;
        for (int n = 0; n < m_zeilen; ++n) {
            const std::size_t vorher = von == 0 ? std::string::npos : neu.rfind('\n', von - 1);
            if (vorher == std::string::npos)
                return neu; // no more lines than that
            von = vorher;
        }
        neu.erase(0, von + 1);
    }
    return neu;
}
