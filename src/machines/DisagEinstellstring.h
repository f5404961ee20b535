#pragma once

#include "Persistent.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The settings of a Disag RM II/III/IV in remote mode and the settings string the machine is
// configured with. Each TDisagCom owns one instance (its Einstellstring) and sends the string
// whenever the machine asks for it and whenever a setting changes while the port is open.
// The main thread writes the settings; BuildString may run on any thread (the machine asks for
// the string on the port's receive thread), so every access takes the object's lock.

enum TDisagScheibenTyp : std::uint8_t {
    stLG10,
    stLG5,
    stLGES,
    stLP,
    stZS,
    stLS1,
    stLS2,
    stKK50,
    stGK10,
    stGK5,
    stSCHFE,
    stUSE1,
    stUSE2
};
enum TDisagRingauswertung : std::uint8_t { raGR, raZR, raKR };
enum TDisagKaliber : std::uint8_t { kl22, kl32, kl33, kl9MM, kl357, kl36, kl38, kl44, kl45, kl58 };
enum TDisagRingberechnung : std::uint8_t { rbRB, rbMI };
enum TDisagTeilerauswertung : std::uint8_t { taKT, taZT, taHT };

// A text that is not a decimal integer where one is required.
class EConvertError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Whether a character is printable ASCII (a blank up to "~"): what the machine's printed text
// may hold.
inline bool istDruckbarAscii(char c) {
    return c >= 0x20 && c <= 0x7E;
}

// A printed text (Windows-1252) as the Disag machines print it: ASCII, German letters spelt out
// (ae, oe, ue, ss), any other character "?", at most 10 characters.
std::string disagDrucktext(std::string_view ansi);

// Reads a decimal integer strictly: optional leading blanks, an optional sign, at least one
// digit and nothing after the digits, within the range of a 32-bit integer.
std::optional<int32_t> tryStrToInt(std::string_view text);

struct Profil;

class TDisagEinstellstring : public TPersistent {
public:
    // Called after a setting changed when the machine may need the new string; the owning
    // component sends it only while its port is open and no edit request is being answered.
    using TSendRequest = std::function<void()>;

    explicit TDisagEinstellstring(TSendRequest sendRequest = {});
    // Copies the twelve settings; each object keeps the component it belongs to.
    TDisagEinstellstring(const TDisagEinstellstring& other);
    TDisagEinstellstring& operator=(const TDisagEinstellstring& other);
    // The same from any settings object: one of another kind raises EAssignError.
    void Assign(const TPersistent* Source) override;
    const char* ClassName() const override { return "TDisagEinstellstring"; }

    TDisagScheibenTyp Scheibentyp() const;
    void SetScheibentyp(TDisagScheibenTyp value);
    TDisagRingauswertung Ringauswertung() const;
    void SetRingauswertung(TDisagRingauswertung value);
    TDisagKaliber Kalibereinstellung() const;
    void SetKalibereinstellung(TDisagKaliber value);
    TDisagRingberechnung Ringberechnung() const;
    void SetRingberechnung(TDisagRingberechnung value);
    TDisagTeilerauswertung Teilerauswertung() const;
    void SetTeilerauswertung(TDisagTeilerauswertung value);
    std::string Teilergrenze() const;
    void SetTeilergrenze(const std::string& value);
    // Stored as a number: a text that is not a decimal integer raises EConvertError and keeps
    // the previous value; the reader gives the number's decimal text ("007" reads back "7").
    std::string Scheibenschusszahl() const;
    void SetScheibenschusszahl(const std::string& value);
    std::string Gesamtschusszahl() const;
    void SetGesamtschusszahl(const std::string& value);
    std::string Zwischensummenschusszahl() const;
    void SetZwischensummenschusszahl(const std::string& value);
    // Target printing; false adds ";KSD". Only switching it off asks for a send.
    bool Scheibenaufdruck() const;
    void SetScheibenaufdruck(bool value);
    // Divisor mark; true adds ";TEM". Only switching it on asks for a send.
    bool Teilermarkierung() const;
    void SetTeilermarkierung(bool value);
    // Printed text (Windows-1252); a non-empty text adds ";DRT=" and the text as the machine
    // prints it: ASCII, German letters spelt out (ae, oe, ue, ss), any other character "?", at
    // most 10 characters. Only a non-empty text asks for a send.
    std::string Scheibentext() const;
    void SetScheibentext(const std::string& value);

    // The complete settings string, without check character and CR.
    std::string BuildString() const;

private:
    template <class T> void store(T& field, const T& value);
    template <class T> T load(const T& field) const;
    void requestSend() const;

    TSendRequest m_sendRequest;
    mutable std::mutex m_mutex; // the twelve values below
    TDisagScheibenTyp m_scheibentyp = stLG10;
    TDisagRingauswertung m_ringauswertung = raGR;
    TDisagKaliber m_kalibereinstellung = kl22;
    TDisagRingberechnung m_ringberechnung = rbRB;
    TDisagTeilerauswertung m_teilerauswertung = taKT;
    std::string m_teilergrenze = "250";
    int32_t m_scheibenschusszahl = 1;
    std::string m_gesamtschusszahl = "10";
    std::string m_zwischensummenschusszahl = "0";
    bool m_scheibenaufdruck = true;
    bool m_teilermarkierung = true;
    std::string m_scheibentext = "Text";
};

// Writes the settings a profile holds into the settings string, as the settings window does
// before it opens the Disag: target type (profile 0..5: LG10, LG5, LGES, LP, ZS, KK50; another
// value leaves it as it is), shots per series, target printing, printed text, shots per target,
// divisor limit, and ring evaluation (tenths when the profile counts tenth rings).
void einstellstringAusProfil(TDisagEinstellstring& einstellstring, const Profil& profil);
