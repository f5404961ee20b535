#pragma once

#include "FieldText.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One shot as every machine data handler hands it to the record output: four short texts.
// Ring value and divisor are whole numbers of tenths ("104" is 10.4 rings, "01234" a divisor of
// 123.4); the coordinates are copied to the output unchanged. Every field holds its machine text
// whole (see FieldText): set() tells whether the text could be taken.
struct TSchussDatensatz {
    FieldText Ringwert;
    FieldText Teiler;
    FieldText XKoordinate;
    FieldText YKoordinate;

    bool operator==(const TSchussDatensatz&) const = default;
};

// One series of shots: what the machine reported for it, in the order it reported it.
struct TSerienDatensatz {
    FieldText Scheibentyp;  // target type code ("LG")
    FieldText Teilerfaktor; // as the machine sends it ("1.0"), "1" on the Disag
    FieldText Schusszahl;   // number of shots, decimal
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

// Why a machine text cannot be taken into a record field: a German sentence for the user that
// names the field and the reason (too long, or a zero byte), without a full stop. Empty when the
// text fits.
std::string feldFehler(std::string_view feldname, std::string_view text);
