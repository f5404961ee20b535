#include "SamRikaDaten.h"

#include "Desktop.h"
#include "TProtokollAusgabe.h"

#include <algorithm>
#include <cstdio>

namespace {

// The layout of one machine's series text.
struct Layout {
    std::size_t kopf;        // header length
    std::size_t scheibentyp; // offsets in the header
    std::size_t teilerfaktor;
    std::size_t schusszahl;
    std::size_t schuss;             // shot block length
    std::size_t ring, teiler, x, y; // offsets in a shot block
};

constexpr Layout kSam{31, 18, 24, 28, 24, 0, 5, 12, 18};
constexpr Layout kRika{32, 22, 25, 28, 24, 0, 4, 10, 17};

// The field at offset within the block: up to the next ";" of the block, or the block's end.
std::string_view feld(std::string_view block, std::size_t offset) {
    const std::string_view rest = block.substr(offset);
    return rest.substr(0, rest.find(';'));
}

// Header and shot blocks, or nothing when the text is too short for what its header announces.
struct Bloecke {
    std::string_view kopf;
    std::size_t anzahl;
};

std::optional<Bloecke> zerlege(std::string_view data, const Layout& layout) {
    if (data.size() < layout.kopf)
        return std::nullopt;
    Bloecke b{data.substr(0, layout.kopf), 0};
    const int n = readDecimal(feld(b.kopf, layout.schusszahl));
    b.anzahl = n > 0 ? static_cast<std::size_t>(n) : 0;
    if ((data.size() - layout.kopf) / layout.schuss < b.anzahl)
        return std::nullopt;
    return b;
}

TSerienDatensatz serienkopf(const Bloecke& b, const Layout& layout) {
    TSerienDatensatz serie;
    serie.Scheibentyp.set(feld(b.kopf, layout.scheibentyp));
    serie.Teilerfaktor.set(feld(b.kopf, layout.teilerfaktor));
    serie.Schusszahl.set(feld(b.kopf, layout.schusszahl));
    serie.Schuesse.reserve(b.anzahl);
    return serie;
}

std::string_view schussblock(std::string_view data, const Layout& layout, std::size_t k) {
    return data.substr(layout.kopf + layout.schuss * k, layout.schuss);
}

std::string zehntel(std::string_view text, const char* format) {
    char puffer[16];
    std::snprintf(puffer, sizeof puffer, format, ZehntelAusDezimal(text));
    return puffer;
}

void meldeUnvollstaendig(const char* maschine, std::size_t laenge) {
    desktop().messageBox(std::string("Die Serie von der ") + maschine + " ist unvollst\xE4ndig (" +
                             std::to_string(laenge) +
                             " Zeichen) und wurde nicht gespeichert.\n\r"
                             "Bitte die Serie an der Maschine noch einmal ausgeben.",
                         "Fehler", Mb::Ok | Mb::IconError);
}

} // namespace

int ZehntelAusDezimal(std::string_view text) {
    constexpr long long kGrenze = 999999999;
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negativ = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negativ = text[i++] == '-';
    long long wert = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        wert = std::min(wert * 10 + (text[i] - '0'), kGrenze);
    wert = std::min(wert * 10, kGrenze);
    if (i + 1 < text.size() && text[i] == '.' && text[i + 1] >= '0' && text[i + 1] <= '9')
        wert = std::min(wert + (text[i + 1] - '0'), kGrenze);
    return static_cast<int>(negativ ? -wert : wert);
}

std::optional<TSerienDatensatz> SamSerie(std::string_view Data) {
    const auto b = zerlege(Data, kSam);
    if (!b)
        return std::nullopt;
    TSerienDatensatz serie = serienkopf(*b, kSam);
    for (std::size_t k = 0; k < b->anzahl; ++k) {
        const std::string_view block = schussblock(Data, kSam, k);
        TSchussDatensatz schuss;
        schuss.Ringwert.set(zehntel(feld(block, kSam.ring), "%03d"));
        schuss.Teiler.set(zehntel(feld(block, kSam.teiler), "%05d"));
        schuss.XKoordinate.set(feld(block, kSam.x));
        schuss.YKoordinate.set(feld(block, kSam.y));
        serie.Schuesse.push_back(schuss);
    }
    return serie;
}

std::optional<TSerienDatensatz> RikaSerie(std::string_view Data) {
    const auto b = zerlege(Data, kRika);
    if (!b)
        return std::nullopt;
    TSerienDatensatz serie = serienkopf(*b, kRika);
    for (std::size_t k = 0; k < b->anzahl; ++k) {
        const std::string_view block = schussblock(Data, kRika, k);
        TSchussDatensatz schuss;
        schuss.Ringwert.set(feld(block, kRika.ring));
        schuss.Teiler.set(feld(block, kRika.teiler));
        schuss.XKoordinate.set(feld(block, kRika.x));
        schuss.YKoordinate.set(feld(block, kRika.y));
        serie.Schuesse.push_back(schuss);
    }
    return serie;
}

void SamRikaDaten::SamCom1Data(const std::string& Data) {
    if (const auto serie = SamSerie(Data))
        m_ausgabe.WriteSeries(*serie);
    else
        meldeUnvollstaendig("SAM 4000", Data.size());
}

void SamRikaDaten::RikaCom1Data(const std::string& Data) {
    if (const auto serie = RikaSerie(Data))
        m_ausgabe.WriteSeries(*serie);
    else
        meldeUnvollstaendig("Rika SAG-1", Data.size());
}
