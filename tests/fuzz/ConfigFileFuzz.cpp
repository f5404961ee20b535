// The configuration file loader with any bytes as the file's contents. The file lives in memory
// (memfd) and is read through its /proc path, so the loader reads it exactly as it reads a file
// on disk.

#include "FuzzHarness.h"

#include "ConfigFile.h"
#include "Datensatzelemente.h"
#include "Profilliste.h"
#include "Trennzeichen.h"
#include "Win1252.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

namespace {

struct MemFile {
    MemFile() {
        fd = ::memfd_create("TFXConf.cnf", MFD_CLOEXEC);
        fuzz::check(fd >= 0, "memfd_create failed");
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    void fill(const uint8_t* data, std::size_t size) const {
        fuzz::check(::ftruncate(fd, 0) == 0, "ftruncate failed");
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
            fuzz::check(n > 0, "pwrite failed");
            done += static_cast<std::size_t>(n);
        }
    }
    int fd;
    std::string path;
};

// What every part of the program does with a loaded profile's values must cope with any value.
void useProfile(const Profil& p) {
    for (const std::string& titel : datensatzTitel(p))
        fuzz::check(titel.size() < 50, "an element title longer than its field");
    for (int32_t code : p.Trennzeichen)
        fuzz::check(trennzeichenBytes(code).size() <= 2, "a separator of more than two bytes");
    for (int8_t slot : p.Elemente)
        if (const auto code = elementCode(slot))
            fuzz::check(datensatzelement(*code) != nullptr, "a valid element code without an entry");
    // Any name bytes give a path; only an empty name gives an empty one.
    const std::string dateiname = text(p.Dateiname);
    fuzz::check(win1252ToUtf8(dateiname).empty() == dateiname.empty(),
                "a file name lost in the path conversion");
}

} // namespace

int fuzzConfigFile(const uint8_t* data, std::size_t size) {
    static const MemFile datei;
    datei.fill(data, size);

    const auto version = ConfigFile::versionTest(datei.path);
    const auto erwartet = size == 0                                      ? ConfigFile::Version::None
                          : data[0] == ConfigFile::Konfigurationsversion ? ConfigFile::Version::Current
                                                                         : ConfigFile::Version::Other;
    fuzz::check(version == erwartet, "the version test misreads the first byte");

    Profilliste liste;
    const bool geladen = ConfigFile::Load(datei.path, liste);
    const std::size_t vollstaendig =
        version == ConfigFile::Version::Current ? (size - 1) / Profil::RecordSize : 0;
    fuzz::check(geladen == (vollstaendig > 0),
                "load succeeded without a complete record, or failed with one");
    fuzz::check(liste.size() == (geladen ? vollstaendig : 0), "load kept a wrong number of profiles");
    if (!geladen)
        return 0;
    fuzz::check(liste.activeIndex() == 0, "the first profile is not the active one");

    // Every record is taken as it stands and written back byte for byte.
    for (std::size_t k = 0; k < liste.size(); ++k) {
        const Profil::Record record = liste[k].encode();
        const uint8_t* quelle = data + 1 + k * Profil::RecordSize;
        fuzz::check(std::equal(record.begin(), record.end(), quelle),
                    "a record does not survive load and save");
        useProfile(liste[k]);
    }
    return 0;
}

TREFFLUX_FUZZ_ENTRY(fuzzConfigFile)
