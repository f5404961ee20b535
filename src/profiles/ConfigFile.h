#pragma once

#include "Profilliste.h"

#include <cstdint>
#include <string>
#include <string_view>

// The configuration file "TFXConf.cnf": one version byte (2), then one 756-byte record per
// profile, in list order. No count, no checksum.
namespace ConfigFile {

constexpr uint8_t Konfigurationsversion = 2;

// The file's path in the start directory.
std::string path(std::string_view startverzeichnis);

enum class Version {
    None,       // missing, unreadable or empty: nothing to ask
    KeineDatei, // something other than a regular file (a folder, a FIFO): unusable
    Current,    // first byte is 2
    Other,      // first byte is something else: ask before it gets overwritten
};
// Never blocks, whatever the path names.
Version versionTest(const std::string& path);
// The message at the start when the path is KeineDatei (Windows-1252; path in UTF-8).
std::string keineDateiMeldung(const std::string& path);
// The question at the start when the file was written by an older version (Windows-1252).
extern const char* const VeralteteVersionMeldung;
// At the start: tells the user through desktop() what versionTest found for the file: asks
// about an older version, reports something that is not a file. False when the user chose to
// end the program instead ("Abbrechen" to the older version).
bool startPruefung(const std::string& path);

// Appends the profiles of the file to the (empty) list and makes the first active. Fails when
// the file cannot be opened, its version byte is not 2, or it holds no complete record; then
// nothing is appended. A trailing piece shorter than a record is ignored. Only a regular file is
// read; the open never blocks.
bool Load(const std::string& path, Profilliste& liste);

struct SaveResult {
    bool ok = true;
    std::string error; // what failed, for the message to the user (system text)
};

// The file's bytes for the list.
std::string inhalt(const Profilliste& liste);

// Writes the whole list: into a temporary file in the same directory, flushed to disk, then
// renamed over the old file, so an interrupted save leaves the old file whole. A symbolic link
// is followed and its target replaced; the file keeps its permissions. Where the folder takes no
// new file but the file may be written, the file is written in place and flushed to disk.
// Something other than a regular file in the file's place is never replaced.
SaveResult Save(const std::string& path, const Profilliste& liste);

} // namespace ConfigFile
