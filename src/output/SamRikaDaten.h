#pragma once

// The data handlers of the SAM 4000 and the Rika SAG-1: each OnData text of these machines is
// one whole series. The handler decodes it into a TSerienDatensatz and hands it to the protocol
// writer. A text too short for its header or for the shots it announces writes nothing: the user
// is told with a message box naming the machine, and the next series is handled normally.

#include "SerienDatensatz.h"

#include <optional>
#include <string>
#include <string_view>

class TProtokollAusgabe;

// SAM 4000: a 31-character header (target type at 18, divisor factor at 24, shot count at 28),
// then one 24-character block per shot (ring value at 0, divisor at 5, X at 12, Y at 18). Ring
// value and divisor are decimal numbers with a point; they are stored in whole tenths, "%03d"
// and "%05d". Every text is taken whole. Nothing when the text is too short or a field cannot be
// taken; then grund, when given, receives the rest of the message that follows "Die Serie von
// der SAM 4000 " (what is wrong, and that the series was not written).
std::optional<TSerienDatensatz> SamSerie(std::string_view Data, std::string* grund = nullptr);

// Rika SAG-1: a 32-character header (target type at 22, divisor factor at 25, shot count at 28),
// then one 24-character block per shot (ring value at 0, divisor at 4, X at 10, Y at 17), every
// field copied as it stands. Nothing when the text is too short or a field cannot be taken, as
// for the SAM.
std::optional<TSerienDatensatz> RikaSerie(std::string_view Data, std::string* grund = nullptr);

// A decimal number with a point as whole tenths, the way the SAM's values are read: leading
// blanks and one sign allowed, reading stops at the first character that does not belong to the
// number, digits after the first decimal are dropped, no digits give 0. Clamped to +-999999999.
int ZehntelAusDezimal(std::string_view text);

// The handlers the settings window binds to the OnData events of SamCom and RikaCom.
class SamRikaDaten {
public:
    explicit SamRikaDaten(TProtokollAusgabe& ausgabe) : m_ausgabe(ausgabe) {}

    void SamComData(const std::string& Data);
    void RikaComData(const std::string& Data);

private:
    TProtokollAusgabe& m_ausgabe;
};
