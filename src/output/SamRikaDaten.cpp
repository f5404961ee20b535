#include "SamRikaDaten.h"

#include "Desktop.h"
#include "ProtokollAusgabe.h"

#include <algorithm>
#include <array>
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

// The four values of one shot block, in record order, as they go into the shot record.
using Schusswerte = std::array<std::string, 4>;
constexpr const char* kSchussfelder[4] = {"Ringwert", "Teiler", "X-Koordinate", "Y-Koordinate"};

// Fields end at the next ";" of their block, so no block field can be longer than its block:
// only a zero byte can make a machine text unfit for the record.
static_assert(kSam.kopf <= FieldText::maxSize && kRika.kopf <= FieldText::maxSize &&
              kSam.schuss <= FieldText::maxSize && kRika.schuss <= FieldText::maxSize);

// Takes a text into a record field; when the field refuses it, says so in grund, naming the
// field and, for a shot field, the shot (schussnr counts from 1; 0 for a header field).
bool uebernimm(FieldText& feld, std::string_view text, const char* name, std::size_t schussnr,
               std::string* grund) {
    if (feld.set(text))
        return true;
    if (grund)
        *grund = "wurde nicht gespeichert. " +
                 feldFehler(schussnr == 0 ? name : name + (" von Schuss " + std::to_string(schussnr)), text);
    return false;
}

// Decodes a series text: header and shot blocks at the layout's offsets, each shot block turned
// into its four record values by werte. Nothing, with the reason in grund, when the text is too
// short for what its header announces or a field cannot be taken.
std::optional<TSerienDatensatz> serie(std::string_view data, const Layout& layout,
                                      Schusswerte (*werte)(std::string_view block), std::string* grund) {
    const auto unvollstaendig = [&] {
        if (grund)
            *grund = "ist unvollst\xE4ndig (" + std::to_string(data.size()) +
                     " Zeichen) und wurde nicht gespeichert";
        return std::nullopt;
    };
    if (data.size() < layout.kopf)
        return unvollstaendig();
    const std::string_view kopf = data.substr(0, layout.kopf);
    const int n = readDecimal(feld(kopf, layout.schusszahl));
    const std::size_t anzahl = n > 0 ? static_cast<std::size_t>(n) : 0;
    if ((data.size() - layout.kopf) / layout.schuss < anzahl)
        return unvollstaendig();

    TSerienDatensatz s;
    if (!uebernimm(s.Scheibentyp, feld(kopf, layout.scheibentyp), "Scheibentyp", 0, grund) ||
        !uebernimm(s.Teilerfaktor, feld(kopf, layout.teilerfaktor), "Teilerfaktor", 0, grund) ||
        !uebernimm(s.Schusszahl, feld(kopf, layout.schusszahl), "Schusszahl", 0, grund))
        return std::nullopt;
    s.Schuesse.resize(anzahl);
    for (std::size_t k = 0; k < anzahl; ++k) {
        const Schusswerte w = werte(data.substr(layout.kopf + layout.schuss * k, layout.schuss));
        TSchussDatensatz& schuss = s.Schuesse[k];
        FieldText* const ziele[4] = {&schuss.Ringwert, &schuss.Teiler, &schuss.XKoordinate,
                                     &schuss.YKoordinate};
        for (std::size_t i = 0; i < 4; ++i)
            if (!uebernimm(*ziele[i], w[i], kSchussfelder[i], k + 1, grund))
                return std::nullopt;
    }
    return s;
}

std::string zehntel(std::string_view text, const char* format) {
    char puffer[16]; // up to 10 digits and a sign: ZehntelAusDezimal stays within 9 digits
    std::snprintf(puffer, sizeof puffer, format, ZehntelAusDezimal(text));
    return puffer;
}

Schusswerte samWerte(std::string_view block) {
    return {zehntel(feld(block, kSam.ring), "%03d"), zehntel(feld(block, kSam.teiler), "%05d"),
            std::string(feld(block, kSam.x)), std::string(feld(block, kSam.y))};
}

Schusswerte rikaWerte(std::string_view block) {
    return {std::string(feld(block, kRika.ring)), std::string(feld(block, kRika.teiler)),
            std::string(feld(block, kRika.x)), std::string(feld(block, kRika.y))};
}

void melde(const char* maschine, const std::string& grund) {
    desktop().messageBox(std::string("Die Serie von der ") + maschine + " " + grund +
                             ".\n\rBitte die Serie an der Maschine noch einmal ausgeben.",
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

std::optional<TSerienDatensatz> SamSerie(std::string_view Data, std::string* grund) {
    return serie(Data, kSam, samWerte, grund);
}

std::optional<TSerienDatensatz> RikaSerie(std::string_view Data, std::string* grund) {
    return serie(Data, kRika, rikaWerte, grund);
}

void SamRikaDaten::SamComData(const std::string& Data) {
    std::string grund;
    if (const auto serie = SamSerie(Data, &grund))
        m_ausgabe.WriteSeries(*serie);
    else
        melde("SAM 4000", grund);
}

void SamRikaDaten::RikaComData(const std::string& Data) {
    std::string grund;
    if (const auto serie = RikaSerie(Data, &grund))
        m_ausgabe.WriteSeries(*serie);
    else
        melde("Rika SAG-1", grund);
}
