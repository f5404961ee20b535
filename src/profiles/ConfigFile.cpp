#include "ConfigFile.h"

#include "Desktop.h"
#include "PlatformFile.h"
#include "Profil.h"
#include "Win1252.h"

#include <vector>

namespace ConfigFile {

using platform::PlatformFile;

std::string path(std::string_view startverzeichnis) {
    return std::string(startverzeichnis) + kOrdnertrenner + "TFXConf.cnf";
}

Version versionTest(const std::string& path) {
    if (platform::fileInfo(path, true).kind == platform::FileKind::other)
        return Version::KeineDatei;
    PlatformFile file = PlatformFile::openForReading(path);
    uint8_t first = 0;
    if (!file.isOpen() || file.readFully(&first, 1) != 1)
        return Version::None;
    return first == Konfigurationsversion ? Version::Current : Version::Other;
}

std::string keineDateiMeldung(const std::string& path) {
    return "Die Konfigurationsdatei\n\r" + utf8ToWin1252(path) +
           "\n\rist keine gew\xF6hnliche Datei und kann weder gelesen noch gespeichert werden.\n\r"
           "Das Programm startet mit dem Standardprofil.";
}

const char* const VeralteteVersionMeldung =
    "Die Konfigurationsdatei wurde von einer veralteten Programmversion erstellt.\n\r"
    "Sie wird mit den Standardwerten \xFC"
    "berschrieben";

bool startPruefung(const std::string& path) {
    switch (versionTest(path)) {
    case Version::Other:
        return desktop().messageBox(VeralteteVersionMeldung, "Meldung", Mb::OkCancel) != IdCancel;
    case Version::KeineDatei:
        desktop().messageBox(keineDateiMeldung(path), "Fehler", Mb::Ok | Mb::IconError);
        return true;
    default:
        return true;
    }
}

bool Load(const std::string& path, Profilliste& liste) {
    PlatformFile file = PlatformFile::openForReading(path);
    if (!file.isOpen())
        return false;
    uint8_t version = 0;
    if (file.readFully(&version, 1) != 1 || version != Konfigurationsversion)
        return false;
    std::vector<Profil> gelesen;
    Profil::Record record;
    for (;;) {
        const int64_t n = file.readFully(record.data(), record.size());
        if (n != static_cast<int64_t>(record.size()))
            break; // end of file, a trailing piece, or a read error: keep what is complete
        gelesen.push_back(Profil::decode(record.data()));
    }
    if (gelesen.empty())
        return false;
    for (const Profil& p : gelesen)
        liste.append(p);
    liste.select(0);
    return true;
}

std::string inhalt(const Profilliste& liste) {
    std::string data;
    data.reserve(1 + liste.size() * Profil::RecordSize);
    data.push_back(static_cast<char>(Konfigurationsversion));
    for (const Profil& p : liste) {
        const auto rec = p.encode();
        data.append(reinterpret_cast<const char*>(rec.data()), rec.size());
    }
    return data;
}

SaveResult Save(const std::string& path, const Profilliste& liste) {
    const std::string data = inhalt(liste);
    using Step = platform::ReplaceResult::Step;
    const platform::ReplaceResult result = platform::replaceFile(path, data);
    switch (result.failedAt) {
    case Step::done:
        return {};
    case Step::notAFile:
        return {false, "Keine gew\u00f6hnliche Datei"};
    case Step::create:
        return {false, "Anlegen der Datei fehlgeschlagen: " + result.error.text};
    case Step::write:
        return {false, "Schreiben fehlgeschlagen: " + result.error.text};
    case Step::replace:
        break;
    }
    return {false, "Ersetzen der Datei fehlgeschlagen: " + result.error.text};
}

} // namespace ConfigFile
