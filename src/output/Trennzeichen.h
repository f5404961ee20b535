#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Separator codes: 0 to 255 write that one byte, TrennCrLf writes carriage return and line
// feed, TrennKeins writes nothing. A profile holds three of them (after an element, after a
// shot, after a series).
constexpr int32_t TrennCrLf = 256;
constexpr int32_t TrennKeins = 257;
constexpr int32_t TrennzeichenAnzahl = 258; // codes 0..257, also the rows of the separator list

// Which of a profile's three separators.
enum TrennzeichenIndex : int { tiDatensatzelement = 0, tiSchuss = 1, tiSerie = 2 };

// The bytes a separator code writes. A code outside 0..257 (a damaged profile) writes nothing.
std::string_view trennzeichenBytes(int32_t code);

// The separator list as the settings window shows it: one row per code, in code order, with the
// columns "Zeichen", "ASCII-Code (dez)", "ASCII-Code (hex)" and an empty fourth column. Texts are
// Windows-1252 (the rows 33 to 255 show the byte itself).
using TrennzeichenZeile = std::array<std::string, 4>;
extern const std::array<std::string_view, 4> trennzeichenSpalten;
std::vector<TrennzeichenZeile> trennzeichenliste();
