#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdlib.h>
#include <string>

// A scratch directory on the disk, removed with everything in it at the end of the test.
class FaultDir {
public:
    FaultDir() {
        char vorlage[] = "/tmp/trefflux-faults-XXXXXX";
        if (::mkdtemp(vorlage))
            m_path = vorlage;
    }
    ~FaultDir() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    FaultDir(const FaultDir&) = delete;
    FaultDir& operator=(const FaultDir&) = delete;

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
