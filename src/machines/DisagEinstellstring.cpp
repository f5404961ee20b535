#include "DisagEinstellstring.h"

#include "Profil.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>
#include <string_view>
#include <utility>

namespace {

// The texts the machine knows for each setting, in the order of the enumeration. A value
// outside the table (a damaged stored value) gives the first text.
template <std::size_t N> const char* textOf(const std::array<const char*, N>& texts, unsigned value) {
    return value < N ? texts[value] : texts[0];
}

constexpr std::array<const char*, 13> kScheibentyp = {"LG10", "LG5",  "LGES", "LP",    "ZS",   "LS1", "LS2",
                                                      "KK50", "GK10", "GK5",  "SCHFE", "USE1", "USE2"};
constexpr std::array<const char*, 3> kRingauswertung = {"GR", "ZR", "KR"};
constexpr std::array<const char*, 10> kKaliber = {"22", "32", "33", "9MM", "357",
                                                  "36", "38", "44", "45",  "58"};
constexpr std::array<const char*, 3> kTeilerauswertung = {"KT", "ZT", "HT"};

// The machine prints at most this many ASCII characters after the total.
constexpr std::size_t kDruckzeichen = 10;

} // namespace

std::optional<int32_t> tryStrToInt(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    int32_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 10);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::string disagDrucktext(std::string_view ansi) {
    constexpr std::pair<char, const char*> umschrift[] = {{'\xE4', "ae"}, {'\xF6', "oe"}, {'\xFC', "ue"},
                                                          {'\xC4', "Ae"}, {'\xD6', "Oe"}, {'\xDC', "Ue"},
                                                          {'\xDF', "ss"}};
    std::string s;
    for (const char c : ansi) {
        const auto* u =
            std::find_if(std::begin(umschrift), std::end(umschrift), [c](auto& p) { return p.first == c; });
        if (u != std::end(umschrift))
            s += u->second;
        else
            s += istDruckbarAscii(c) ? c : '?';
    }
    return s.substr(0, kDruckzeichen);
}

TDisagEinstellstring::TDisagEinstellstring(TSendRequest sendRequest)
    : m_sendRequest(std::move(sendRequest)) {}

TDisagEinstellstring::TDisagEinstellstring(const TDisagEinstellstring& other) {
    *this = other;
}

TDisagEinstellstring& TDisagEinstellstring::operator=(const TDisagEinstellstring& other) {
    if (this == &other)
        return *this;
    // Field by field, and without asking for a send; m_sendRequest stays: the settings object
    // belongs to its own component whatever it is assigned from.
    std::scoped_lock lock(m_mutex, other.m_mutex);
    m_scheibentyp = other.m_scheibentyp;
    m_ringauswertung = other.m_ringauswertung;
    m_kalibereinstellung = other.m_kalibereinstellung;
    m_ringberechnung = other.m_ringberechnung;
    m_teilerauswertung = other.m_teilerauswertung;
    m_teilergrenze = other.m_teilergrenze;
    m_scheibenschusszahl = other.m_scheibenschusszahl;
    m_gesamtschusszahl = other.m_gesamtschusszahl;
    m_zwischensummenschusszahl = other.m_zwischensummenschusszahl;
    m_scheibenaufdruck = other.m_scheibenaufdruck;
    m_teilermarkierung = other.m_teilermarkierung;
    m_scheibentext = other.m_scheibentext;
    return *this;
}

void TDisagEinstellstring::Assign(const TPersistent* Source) {
    const auto* other = dynamic_cast<const TDisagEinstellstring*>(Source);
    if (!other)
        AssignError(Source);
    *this = *other;
}

template <class T> void TDisagEinstellstring::store(T& field, const T& value) {
    std::lock_guard lock(m_mutex);
    field = value;
}

template <class T> T TDisagEinstellstring::load(const T& field) const {
    std::lock_guard lock(m_mutex);
    return field;
}

void TDisagEinstellstring::requestSend() const {
    if (m_sendRequest)
        m_sendRequest();
}

void TDisagEinstellstring::SetScheibentyp(TDisagScheibenTyp value) {
    store(m_scheibentyp, value);
    requestSend();
}

void TDisagEinstellstring::SetRingauswertung(TDisagRingauswertung value) {
    store(m_ringauswertung, value);
    requestSend();
}

void TDisagEinstellstring::SetKalibereinstellung(TDisagKaliber value) {
    store(m_kalibereinstellung, value);
    requestSend();
}

void TDisagEinstellstring::SetRingberechnung(TDisagRingberechnung value) {
    store(m_ringberechnung, value);
    requestSend();
}

void TDisagEinstellstring::SetTeilerauswertung(TDisagTeilerauswertung value) {
    store(m_teilerauswertung, value);
    requestSend();
}

void TDisagEinstellstring::SetTeilergrenze(const std::string& value) {
    store(m_teilergrenze, value);
    requestSend();
}

void TDisagEinstellstring::SetScheibenschusszahl(const std::string& value) {
    const std::optional<int32_t> zahl = tryStrToInt(value);
    if (!zahl)
        throw EConvertError("'" + value + "' is not a valid integer value");
    store(m_scheibenschusszahl, *zahl);
    requestSend();
}

void TDisagEinstellstring::SetGesamtschusszahl(const std::string& value) {
    store(m_gesamtschusszahl, value);
    requestSend();
}

void TDisagEinstellstring::SetZwischensummenschusszahl(const std::string& value) {
    store(m_zwischensummenschusszahl, value);
    requestSend();
}

void TDisagEinstellstring::SetScheibenaufdruck(bool value) {
    store(m_scheibenaufdruck, value);
    if (!value)
        requestSend();
}

void TDisagEinstellstring::SetTeilermarkierung(bool value) {
    store(m_teilermarkierung, value);
    if (value)
        requestSend();
}

void TDisagEinstellstring::SetScheibentext(const std::string& value) {
    store(m_scheibentext, value);
    if (!value.empty())
        requestSend();
}

TDisagScheibenTyp TDisagEinstellstring::Scheibentyp() const {
    return load(m_scheibentyp);
}
TDisagRingauswertung TDisagEinstellstring::Ringauswertung() const {
    return load(m_ringauswertung);
}
TDisagKaliber TDisagEinstellstring::Kalibereinstellung() const {
    return load(m_kalibereinstellung);
}
TDisagRingberechnung TDisagEinstellstring::Ringberechnung() const {
    return load(m_ringberechnung);
}
TDisagTeilerauswertung TDisagEinstellstring::Teilerauswertung() const {
    return load(m_teilerauswertung);
}
std::string TDisagEinstellstring::Teilergrenze() const {
    return load(m_teilergrenze);
}
std::string TDisagEinstellstring::Scheibenschusszahl() const {
    return std::to_string(load(m_scheibenschusszahl));
}
std::string TDisagEinstellstring::Gesamtschusszahl() const {
    return load(m_gesamtschusszahl);
}
std::string TDisagEinstellstring::Zwischensummenschusszahl() const {
    return load(m_zwischensummenschusszahl);
}
bool TDisagEinstellstring::Scheibenaufdruck() const {
    return load(m_scheibenaufdruck);
}
bool TDisagEinstellstring::Teilermarkierung() const {
    return load(m_teilermarkierung);
}
std::string TDisagEinstellstring::Scheibentext() const {
    return load(m_scheibentext);
}

std::string TDisagEinstellstring::BuildString() const {
    std::lock_guard lock(m_mutex);
    std::string s;
    s.reserve(96 + m_teilergrenze.size() + m_gesamtschusszahl.size() + m_zwischensummenschusszahl.size() +
              m_scheibentext.size());
    s += "SCH=";
    s += textOf(kScheibentyp, m_scheibentyp);
    s += ";RIA=";
    s += textOf(kRingauswertung, m_ringauswertung);
    s += ";KAL=";
    s += textOf(kKaliber, m_kalibereinstellung);
    s += ";RIB=RB"; // both ways of ring calculation are sent as RB
    s += ";TEA=";
    s += textOf(kTeilerauswertung, m_teilerauswertung);
    s += ";TEG=";
    s += m_teilergrenze;
    s += ";SSC=";
    s += std::to_string(m_scheibenschusszahl);
    s += ";SGE=";
    s += m_gesamtschusszahl;
    s += ";SZI=";
    s += m_zwischensummenschusszahl;
    if (!m_scheibenaufdruck)
        s += ";KSD";
    if (m_teilermarkierung)
        s += ";TEM";
    if (!m_scheibentext.empty()) {
        s += ";DRT=";
        s += disagDrucktext(m_scheibentext);
    }
    return s;
}

void einstellstringAusProfil(TDisagEinstellstring& einstellstring, const Profil& profil) {
    constexpr TDisagScheibenTyp typen[] = {stLG10, stLG5, stLGES, stLP, stZS, stKK50};
    if (validScheibentyp(profil.Scheibentyp))
        einstellstring.SetScheibentyp(typen[profil.Scheibentyp]);
    einstellstring.SetGesamtschusszahl(std::to_string(profil.Gesamtschusszahl));
    einstellstring.SetScheibenaufdruck(profil.Drucker != 0);
    einstellstring.SetScheibentext(text(profil.Scheibentext));
    einstellstring.SetScheibenschusszahl(std::to_string(profil.Scheibenschusszahl));
    einstellstring.SetTeilergrenze(std::to_string(profil.Teilergrenze));
    einstellstring.SetRingauswertung(profil.Zehntelringe != 0 ? raZR : raGR);
}
