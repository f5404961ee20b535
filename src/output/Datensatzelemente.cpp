#include "Datensatzelemente.h"

#include "Profil.h"

#include <charconv>

namespace {

// The characters right-aligned in at least the width, padded with blanks, as printf pads.
std::string rechtsbuendig(const char* text, const char* end, std::size_t breite) {
    const std::size_t len = static_cast<std::size_t>(end - text);
    std::string out(len < breite ? breite - len : 0, ' ');
    out.append(text, len);
    return out;
}

// n/10 with one decimal and a decimal comma, padded on the left with blanks to the width. Integer
// arithmetic gives the same digits as printf's rounding of n * 0.1, since n * 0.1 never lies
// near a rounding boundary of the first decimal.
std::string zehntelMitKomma(int zehntel, std::size_t breite) {
    const long long n = zehntel;
    const unsigned long long betrag = n < 0 ? 0ULL - static_cast<unsigned long long>(n) : n;
    char buf[32];
    char* p = buf;
    if (n < 0)
        *p++ = '-';
    p = std::to_chars(p, buf + sizeof buf, betrag / 10).ptr;
    *p++ = ',';
    *p++ = static_cast<char>('0' + betrag % 10);
    return rechtsbuendig(buf, p, breite);
}

const TSchussDatensatz* schuss(const TSerienDatensatz& serie, std::size_t index) {
    return index < serie.Schuesse.size() ? &serie.Schuesse[index] : nullptr;
}

std::string scheibentyp(const TSerienDatensatz& serie, std::size_t, bool) {
    return serie.Scheibentyp.str();
}

std::string teilerfaktor(const TSerienDatensatz& serie, std::size_t, bool) {
    return serie.Teilerfaktor.str();
}

std::string ringwert(const TSerienDatensatz& serie, std::size_t index, bool zehntelringe) {
    const TSchussDatensatz* s = schuss(serie, index);
    return formatRingwert(s ? readDecimal(s->Ringwert.view()) : 0, zehntelringe);
}

std::string teiler(const TSerienDatensatz& serie, std::size_t index, bool) {
    const TSchussDatensatz* s = schuss(serie, index);
    return formatTeiler(s ? readDecimal(s->Teiler.view()) : 0);
}

std::string xKoordinate(const TSerienDatensatz& serie, std::size_t index, bool) {
    const TSchussDatensatz* s = schuss(serie, index);
    return s ? s->XKoordinate.str() : std::string();
}

std::string yKoordinate(const TSerienDatensatz& serie, std::size_t index, bool) {
    const TSchussDatensatz* s = schuss(serie, index);
    return s ? s->YKoordinate.str() : std::string();
}

} // namespace

std::string formatRingwert(int zehntel, bool zehntelringe) {
    if (zehntelringe)
        return zehntelMitKomma(zehntel, 2);
    char buf[16];
    return rechtsbuendig(buf, std::to_chars(buf, buf + sizeof buf, zehntel / 10).ptr, 2);
}

std::string formatTeiler(int zehntel) {
    return zehntelMitKomma(zehntel, 4);
}

const std::array<TDatensatzElement, 6>& Datensatzelemente() {
    static const std::array<TDatensatzElement, 6> tabelle{{
        {0, "Scheibentyp", scheibentyp},
        {1, "Teilerfaktor", teilerfaktor},
        {2, "Ringwert", ringwert},
        {3, "Teiler", teiler},
        {4, "X-Koordinate", xKoordinate},
        {5, "Y-Koordinate", yKoordinate},
    }};
    return tabelle;
}

const TDatensatzElement* datensatzelement(int nummer) {
    if (nummer < 0 || nummer >= static_cast<int>(Datensatzelemente().size()))
        return nullptr;
    return &Datensatzelemente()[static_cast<std::size_t>(nummer)];
}

std::vector<std::string> datensatzTitel(const Profil& profil) {
    std::vector<std::string> titel;
    for (int8_t slot : profil.Datensatz)
        if (const auto code = elementCode(slot))
            titel.push_back(datensatzelement(*code)->Name);
    return titel;
}
