#pragma once

#include "SerienDatensatz.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Profil;

// The six kinds of record element a profile can put into its record list, numbered 0 to 5.
// Elements 0 and 1 belong to the series, 2 to 5 to each shot.
struct TDatensatzElement {
    // Gives the element's text for the shot with the given 0-based index of the series.
    // zehntelringe is the profile's "1/10 Ringe" setting; only "Ringwert" uses it.
    using Formatter = std::string (*)(const TSerienDatensatz& serie, std::size_t schussindex,
                                      bool zehntelringe);

    int32_t Nummer;
    std::string Name; // caption in the layout editor and column title of the header line
    Formatter Format;
};

// The element table, in number order (the entry at position i has Nummer i). Built on first
// use; the program touches it once at start.
const std::array<TDatensatzElement, 6>& Datensatzelemente();

// The entry for an element number, or nullptr for a number outside 0..5 (an empty or damaged
// slot of a profile's element list).
const TDatensatzElement* datensatzelement(int nummer);

// The captions of a profile's record list, in output order, skipping empty slots.
std::vector<std::string> datensatzTitel(const Profil& profil);

// The two numeric elements, from a value in tenths:
// "Ringwert" with tenths: like printf "%2.1f" of n/10 with "," for "."; without: "%2d" of n/10
// (integer division). "Teiler": like "%4.1f" of n/10 with ",". Independent of any locale.
std::string formatRingwert(int zehntel, bool zehntelringe);
std::string formatTeiler(int zehntel);
