#pragma once

// The settings string of a Disag RM III in its older remote program ("FERN"), made from a
// profile: nine digits, then up to ten characters of printed text. TDisagRm3FernCom sends it,
// followed by CR, when its port opens and after every "ENDE".
//
//   digits 1-2  weapon and target, from Scheibentyp (LG 10er-Band 13, LG 5er-Band 12,
//               LG Einzelscheibe 11, Luftpistole 21, Zimmerstutzen 51, KK 50m 61)
//   digit 3     series, from Gesamtschusszahl: 1 -> 0, 10..60 -> 1..6, 80 -> 7, 100 -> 8, 120 -> 9
//   digit 4     evaluation with divisor: 5 in tenths of a ring (Zehntelringe), else 4
//   digits 5-6  divisor limit: the code 01..16 of the machine's step for Teilergrenze
//   digit 7     2: divisor measured with factor 1
//   digit 8     printer, from Drucker: 1 on, 2 off
//   digit 9     shots per target, from Scheibenschusszahl: 1 or 2
//
// The machine knows fewer values than a profile can hold; disagRm3FernProfilfehler says which
// of a profile's values it cannot take. Texts are Windows-1252, as the profiles.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct Profil;

// The divisor limits the machine knows, in the order of their codes 01..16.
inline constexpr std::array<std::int32_t, 16> kDisagRm3FernTeilerstufen = {
    50, 75, 100, 125, 150, 200, 250, 300, 400, 500, 600, 800, 1000, 2000, 4000, 8000};

// The step the machine uses for a divisor limit: the smallest of its steps that is not below the
// limit. Nothing above the largest step.
std::optional<std::int32_t> disagRm3FernTeilerstufe(std::int32_t teilergrenze);

// Why the machine cannot take a profile: a German message that names every value it cannot take
// together with the values it can. Empty when it can take them all.
std::string disagRm3FernProfilfehler(const Profil& profil);

// A German line for the settings window when the machine takes another divisor limit than the
// profile's (its next step above it); empty when the step is the profile's value or there is none.
std::string disagRm3FernTeilerhinweis(const Profil& profil);

// The settings string (without CR) of a profile the machine can take. A profile it cannot take
// raises std::invalid_argument with the message of disagRm3FernProfilfehler.
std::string disagRm3FernEinstellstring(const Profil& profil);
