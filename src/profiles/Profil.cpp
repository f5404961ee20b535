#include "Profil.h"

#include "Win1252.h"

#include <cstring>

namespace {

class Writer {
public:
    explicit Writer(Profil::Record& out) : m_out(out) {}
    void i32(int32_t v) {
        const auto u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            m_out[m_pos++] = static_cast<uint8_t>(u >> (8 * i));
    }
    void u8(uint8_t v) { m_out[m_pos++] = v; }
    void i8(int8_t v) { u8(static_cast<uint8_t>(v)); }
    template <typename T, std::size_t N> void bytes(const std::array<T, N>& a) {
        static_assert(sizeof(T) == 1);
        std::memcpy(m_out.data() + m_pos, a.data(), N);
        m_pos += N;
    }
    template <std::size_t N> void i32s(const std::array<int32_t, N>& a) {
        for (int32_t v : a)
            i32(v);
    }
    std::size_t pos() const { return m_pos; }

private:
    Profil::Record& m_out;
    std::size_t m_pos = 0;
};

class Reader {
public:
    explicit Reader(const uint8_t* in) : m_in(in) {}
    int32_t i32() {
        uint32_t u = 0;
        for (int i = 0; i < 4; ++i)
            u |= static_cast<uint32_t>(m_in[m_pos++]) << (8 * i);
        return static_cast<int32_t>(u);
    }
    uint8_t u8() { return m_in[m_pos++]; }
    template <typename T, std::size_t N> void bytes(std::array<T, N>& a) {
        static_assert(sizeof(T) == 1);
        std::memcpy(a.data(), m_in + m_pos, N);
        m_pos += N;
    }
    template <std::size_t N> void i32s(std::array<int32_t, N>& a) {
        for (int32_t& v : a)
            v = i32();
    }
    std::size_t pos() const { return m_pos; }

private:
    const uint8_t* m_in;
    std::size_t m_pos = 0;
};

} // namespace

Profil::Record Profil::encode() const {
    Record out{};
    Writer w(out);
    w.bytes(Name);             // 0
    w.bytes(Port);             // 100
    w.i32(Maschine);           // 112
    w.i32(Dateimodus);         // 116
    w.i32(Warnen);             // 120
    w.i32(Zehntelringe);       // 124
    w.i32(TrennzeichenWahl);   // 128
    w.i32s(Reserviert);        // 132
    w.i32s(Trennzeichen);      // 144
    w.bytes(Elemente);         // 156
    w.bytes(Datensatz);        // 162
    w.bytes(Dateiname);        // 168
    w.u8(Header);              // 680
    w.bytes(HeaderFiller);     // 681
    w.i32(Gesamtschusszahl);   // 684
    w.u8(Drucker);             // 688
    w.bytes(DruckerFiller);    // 689
    w.i32(Scheibenschusszahl); // 692
    w.bytes(Scheibentext);     // 696
    w.i32(Scheibentyp);        // 748
    w.i32(Teilergrenze);       // 752
    return out;
}

Profil Profil::decode(const uint8_t* record) {
    Profil p;
    Reader r(record);
    r.bytes(p.Name);
    r.bytes(p.Port);
    p.Maschine = r.i32();
    p.Dateimodus = r.i32();
    p.Warnen = r.i32();
    p.Zehntelringe = r.i32();
    p.TrennzeichenWahl = r.i32();
    r.i32s(p.Reserviert);
    r.i32s(p.Trennzeichen);
    r.bytes(p.Elemente);
    r.bytes(p.Datensatz);
    r.bytes(p.Dateiname);
    p.Header = r.u8();
    r.bytes(p.HeaderFiller);
    p.Gesamtschusszahl = r.i32();
    p.Drucker = r.u8();
    r.bytes(p.DruckerFiller);
    p.Scheibenschusszahl = r.i32();
    r.bytes(p.Scheibentext);
    p.Scheibentyp = r.i32();
    p.Teilergrenze = r.i32();
    return p;
}

Profil Profil::standard(std::string_view startverzeichnis, std::string_view port) {
    Profil p;
    setText(p.Name, "Standardprofil");
    setText(p.Port, port.empty() ? std::string_view("COM1") : port);
    p.Maschine = 2; // the Disag RM II/III/IV
    p.Dateimodus = 0;
    p.Warnen = 1;
    p.Zehntelringe = 1;
    p.TrennzeichenWahl = 0;
    p.Reserviert = {0, 1, 1};
    p.Trennzeichen = {59, 10, 10};
    for (int i = 0; i < 6; ++i) {
        p.Elemente[i] = static_cast<int8_t>(i);
        p.Datensatz[i] = -1;
    }
    const std::string dateiname = standardDateiname(startverzeichnis);
    if (dateinameFehler(dateiname).empty())
        setText(p.Dateiname, utf8ToWin1252(dateiname));
    p.Header = 0;
    p.Gesamtschusszahl = 10;
    p.Drucker = 0;
    p.Scheibenschusszahl = 1;
    setText(p.Scheibentext, "Text");
    p.Scheibentyp = 0;
    p.Teilergrenze = 250;
    return p;
}

std::string Profil::standardDateiname(std::string_view startverzeichnis) {
    return std::string(startverzeichnis) + kOrdnertrenner + "Protokoll1.rls";
}

std::string dateinameFehler(std::string_view pfad) {
    constexpr std::size_t feld = std::tuple_size_v<decltype(Profil::Dateiname)> - 1;
    if (pfad.empty())
        return "Es ist kein Dateiname eingetragen.";
    const std::string ansi = utf8ToWin1252(pfad);
    if (win1252ToUtf8(ansi) != pfad)
        return "Der Name enth\xE4lt Zeichen, die in den Einstellungen nicht gespeichert werden k\xF6nnen.";
    if (ansi.size() > feld)
        return "Der Name ist l\xE4nger als " + std::to_string(feld) + " Zeichen.";
    const bool laufwerk = pfad.size() >= 2 && pfad[1] == ':' &&
                          ((pfad[0] >= 'A' && pfad[0] <= 'Z') || (pfad[0] >= 'a' && pfad[0] <= 'z'));
#ifdef _WIN32
    // A drive letter or a network share (\\Rechner\Freigabe, also written with /). A name that
    // starts with a single / is a Linux path: on Windows it would land in the root of whatever
    // drive is current.
    const bool freigabe =
        pfad.size() >= 2 && (pfad[0] == '\\' || pfad[0] == '/') && (pfad[1] == '\\' || pfad[1] == '/');
    if (pfad[0] == '/' && !freigabe)
        return "Das ist ein Linux-Pfad; unter Windows beginnt ein Pfad mit einem Laufwerksbuchstaben "
               "(C:\\...) oder mit \\\\Rechner\\Freigabe.";
    // Characters no Windows file name may hold; a colon only after the drive letter.
    const std::size_t ab = laufwerk ? 2 : 0;
    if (pfad.find_first_of("<>\"|?*", ab) != std::string_view::npos ||
        pfad.find(':', ab) != std::string_view::npos)
        return "Der Name enth\xE4lt eines der Zeichen < > : \" | ? *, die unter Windows in keinem Dateinamen "
               "stehen d\xFCrfen.";
#else
    if (laufwerk || pfad.find('\\') != std::string_view::npos)
        return "Das ist ein Windows-Pfad; unter Linux werden Ordner mit / getrennt und es gibt keine "
               "Laufwerksbuchstaben.";
#endif
    return {};
}

std::optional<int> elementCode(int8_t slot) {
    if (slot >= 0 && slot <= 5)
        return slot;
    return std::nullopt;
}

bool validSeparator(int32_t code) {
    return code >= 0 && code <= 257;
}
bool validScheibentyp(int32_t scheibentyp) {
    return scheibentyp >= 0 && scheibentyp <= 5;
}
