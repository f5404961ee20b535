#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

// A scratch folder of its own (mode 0700, like mkdtemp) under the system's temporary folder,
// removed with everything in it at the end (made writable first, for tests that take its write
// permission away).
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag = "test") {
        const std::filesystem::path parent = std::filesystem::temp_directory_path();
        std::random_device zufall;
        std::error_code ec;
        for (int versuch = 0; versuch < 100; ++versuch) {
            const std::filesystem::path kandidat =
                parent / ("trefflux-" + tag + "-" + std::to_string(zufall()));
            if (std::filesystem::create_directory(kandidat, ec)) { // false when it exists already
                std::filesystem::permissions(kandidat, std::filesystem::perms::owner_all, ec);
                m_path = kandidat.string();
                return;
            }
        }
        throw std::runtime_error("no scratch folder in " + parent.string() + ": " + ec.message());
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline std::string readFile(const std::string& pfad) {
    std::ifstream in(pfad, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& pfad, const std::string& inhalt) {
    std::ofstream(pfad, std::ios::binary) << inhalt;
}
