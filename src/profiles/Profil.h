#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One settings profile: exactly the 756-byte record of the configuration file. The fields keep
// their raw bytes (including what follows a text's terminator and the filler bytes), so a record
// that was loaded is written back unchanged. The codec below reads and writes the record field
// by field, little-endian, without relying on the compiler's struct layout.
//
// Texts are Windows-1252 bytes. Use text()/setText() to read and write them: setText cuts a text
// that is too long for its field and always leaves a terminator; text() reads up to the
// terminator or, in a record without one, up to the end of the field.
//
// Values out of range: a loaded record is taken as it is, and every reader must cope with any
// value. Use the checked accessors below instead of indexing a table with a raw field:
//  - an element code other than 0..5 is an empty slot (elementCode());
//  - a separator code outside 0..257 writes nothing and selects no row (validSeparator());
//  - a Maschine that no line of the machine table has opens no port (maschinenart());
//  - a Scheibentyp outside 0..5 leaves the Disag settings string as it is (validScheibentyp()).
struct Profil {
    static constexpr std::size_t RecordSize = 756;

    template <std::size_t N> using Text = std::array<char, N>;

    Text<100> Name{};
    Text<12> Port{};
    int32_t Maschine = 0;
    int32_t Dateimodus = 0;
    int32_t Warnen = 0;
    int32_t Zehntelringe = 0;
    int32_t TrennzeichenWahl = 0;
    std::array<int32_t, 3> Reserviert{};
    std::array<int32_t, 3> Trennzeichen{};
    std::array<int8_t, 6> Elemente{};
    std::array<int8_t, 6> Datensatz{};
    Text<512> Dateiname{};
    uint8_t Header = 0;
    std::array<uint8_t, 3> HeaderFiller{};
    int32_t Gesamtschusszahl = 0;
    uint8_t Drucker = 0;
    std::array<uint8_t, 3> DruckerFiller{};
    int32_t Scheibenschusszahl = 0;
    Text<52> Scheibentext{};
    int32_t Scheibentyp = 0;
    int32_t Teilergrenze = 0;

    using Record = std::array<uint8_t, RecordSize>;
    Record encode() const;
    static Profil decode(const uint8_t* record); // reads exactly RecordSize bytes

    // The default profile; Dateiname is the start directory (a file-system path, UTF-8)
    // in Windows-1252, followed by "/Protokoll1.rls" (standardDateiname). A name that the
    // field cannot hold as it is (see dateinameFehler) is not stored: Dateiname stays empty.
    // Port is the given port, "COM1" when none is given (the caller passes the first port the
    // computer has).
    static Profil standard(std::string_view startverzeichnis, std::string_view port = {});
    // The default protocol file of a start directory, as a file-system path (UTF-8).
    static std::string standardDateiname(std::string_view startverzeichnis);

    bool operator==(const Profil&) const = default;
};

// The separator between folders in a file-system path of this platform.
#ifdef _WIN32
inline constexpr char kOrdnertrenner = '\\';
#else
inline constexpr char kOrdnertrenner = '/';
#endif

// Reads a text field up to its terminator, or to the field's end when it has none.
template <std::size_t N> std::string text(const Profil::Text<N>& field) {
    std::size_t len = 0;
    while (len < N && field[len] != '\0')
        ++len;
    return std::string(field.data(), len);
}

// Writes a text into a field, cut to N-1 bytes, with its terminator. Bytes after the
// terminator are left as they were. Returns false when the text had to be cut.
template <std::size_t N> bool setText(Profil::Text<N>& field, std::string_view value) {
    const std::size_t len = value.size() < N ? value.size() : N - 1;
    for (std::size_t i = 0; i < len; ++i)
        field[i] = value[i];
    field[len] = '\0';
    return len == value.size();
}

// Why a protocol file name (a file-system path, UTF-8) cannot be used, as a German sentence for
// the user; empty when it can. A name cannot be used when it is empty, when Windows-1252 (the
// text of the profiles) cannot hold it, when it is longer than the profile's field, or when it
// belongs to the other platform: on Linux a Windows path (a drive letter or backslashes), on
// Windows a Linux path (one that starts with a single /) or a name with a character Windows
// forbids. A name stored in a profile is checked as win1252ToUtf8(text(Dateiname)).
std::string dateinameFehler(std::string_view pfad);

// Checked readers for values that index tables (see above).
std::optional<int> elementCode(int8_t slot); // 0..5, else empty
bool validSeparator(int32_t code);           // 0..257
bool validScheibentyp(int32_t scheibentyp);  // 0..5
