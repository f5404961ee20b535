#pragma once

#include "FixedText.h"

#include <cstddef>
#include <string_view>
#include <vector>

// One shot as every machine data handler hands it to the record output: four short texts.
// Ring value and divisor are whole numbers of tenths ("104" is 10.4 rings, "01234" a divisor of
// 123.4); the coordinates are copied to the output unchanged. Use set() on a field to store a
// machine text: it is cut to the field width.
struct TSchussDatensatz {
    FixedText<4> Ringwert;    // up to 3 digits
    FixedText<6> Teiler;      // up to 5 digits
    FixedText<7> XKoordinate; // up to 6 characters
    FixedText<7> YKoordinate; // up to 6 characters

    bool operator==(const TSchussDatensatz&) const = default;
};
static_assert(sizeof(TSchussDatensatz) == 24);

// One series of shots: what the machine reported for it, in the order it reported it.
struct TSerienDatensatz {
    FixedText<3> Scheibentyp;  // target type code, up to 2 characters ("LG")
    FixedText<3> Teilerfaktor; // up to 2 characters
    FixedText<6> Schusszahl;   // number of shots, decimal, up to 5 digits
    std::vector<TSchussDatensatz> Schuesse;

    // The number of shots to write: Schusszahl read as a decimal number (see readDecimal),
    // never less than 0 and never more than the shots that are actually there.
    std::size_t shotCount() const;

    bool operator==(const TSerienDatensatz&) const = default;
};

// Reads a decimal integer the way every count and value text of a record is read: leading
// white space and one sign are allowed, reading stops at the first character that is not a
// digit, and an empty or non-numeric text is 0. Values beyond the range of int are clamped.
int readDecimal(std::string_view text);
