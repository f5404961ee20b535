#pragma once

#include "ConfigFile.h"
#include "Profil.h"
#include "Profilliste.h"
#include "ScratchDir.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The configuration file of a start folder, written before the program or the settings logic
// loads it. Each writer says whether the file was written, for the test to assert.

// What a test changes in the default profile of a start folder.
using ProfileEdit = std::function<void(Profil&)>;

// Writes the profiles into the configuration file of the start folder.
inline bool writeProfiles(const std::string& start, const Profilliste& liste) {
    return ConfigFile::Save(ConfigFile::path(start), liste).ok;
}

// Writes one profile per edit: the default profile of the start folder on the port (the default
// port when empty), changed by the edit.
inline bool writeProfiles(const std::string& start, const std::vector<ProfileEdit>& edits,
                          std::string_view port = {}) {
    Profilliste liste;
    for (const ProfileEdit& edit : edits) {
        Profil p = Profil::standard(start, port);
        edit(p);
        liste.append(p);
    }
    return writeProfiles(start, liste);
}

// A start folder of its own, removed at the end.
class StartFolder {
public:
    explicit StartFolder(const std::string& tag = "start") : m_dir(tag) {}

    const std::string& path() const { return m_dir.path(); }
    std::string operator/(const std::string& name) const { return m_dir / name; }
    std::string configPath() const { return ConfigFile::path(path()); }

    bool write(const Profilliste& liste) const { return writeProfiles(path(), liste); }
    bool write(const std::vector<ProfileEdit>& edits, std::string_view port = {}) const {
        return writeProfiles(path(), edits, port);
    }
    // The profiles the configuration file holds now; none when it cannot be loaded.
    Profilliste saved() const {
        Profilliste liste;
        ConfigFile::Load(configPath(), liste);
        return liste;
    }

private:
    ScratchDir m_dir;
};
