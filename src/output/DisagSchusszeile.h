#pragma once

// The shot lines of a Disag RM in remote mode, read in one place for the component's edit list
// and for the data handler. A line is "SCH=" and one group of five fields per shot, each field
// ended by ";" except the last:
//
//   shot number;ring;divisor;angle;flag        SCH=22;9;720.5;272;G
//
// - ring: whole rings ("9", with "RIA=GR") or rings and tenths ("9.2", with "RIA=ZR");
// - divisor: up to five digits and up to two decimals ("720", "720.5", "720.53");
// - angle: degrees, 0 straight up (12 o'clock), 90 to the right; a decimal number with ".";
// - flag: G valid, K to be checked by hand, U invalid.
//
// On a target with several shots the machine may join them into one line: each further group
// of five is one more shot, in order, and may begin with "SCH=" again. A trailing empty field
// (a ";" at the end of the line) is ignored.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TDisagSchuss {
    std::int32_t Schussnr = 0;
    std::string Ringwert;           // as the machine sent it: "9", "9.2"
    std::string Teiler;             // as the machine sent it: "720.53"
    std::int32_t RingZehntel = 0;   // the ring in tenths: "9" 90, "9.2" 92, "10" 100
    std::int32_t TeilerZehntel = 0; // the divisor in tenths, hundredths cut: "720.53" 7205
    float Winkel = 0;               // degrees
    char Kennung = 'G';

    bool operator==(const TDisagSchuss&) const = default;
};

struct TDisagSchusszeile {
    // Every complete group, in order; none when the line is malformed.
    std::vector<TDisagSchuss> Schuesse;
    // Why the line is malformed (a field that is not what the machine sends, or no complete
    // group at all): a German sentence without a full stop, Windows-1252. Empty otherwise.
    std::string Fehler;
    // The line ends in a group that lacks fields; it is not guessed, the shots before it stand.
    bool Unvollstaendig = false;
};

// Reads a line that begins with "SCH=".
TDisagSchusszeile DisagSchusszeileLesen(std::string_view zeile);
