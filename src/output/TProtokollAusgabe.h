#pragma once

#include "TSerienDatensatz.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class Profilliste;

// Writes every series of shots to the protocol file of the active profile and places the same
// text (without header line and series separator) in the clipboard, where a club's results
// program picks it up. One instance lives as long as the settings window. Main thread only.
//
// The file is held exclusively while a series is written (flock), so a results program that
// locks it the same way reads it only between two series; a file someone else holds cannot be
// opened. The overwrite warning and every message box run a nested event loop in which machine
// data keeps arriving: a series that reaches WriteSeries meanwhile is queued and written after
// the current one, in arrival order, each with its own file handling and clipboard update.
class TProtokollAusgabe {
public:
    // The column titles of the header line: the record list as the layout editor shows it at
    // this moment (which may hold changes not yet applied to the profile).
    using Kopfzeilenquelle = std::function<std::vector<std::string>()>;

    // Reads the active profile of the list whenever it needs a setting. Without a header
    // source the titles come from the active profile's record list.
    explicit TProtokollAusgabe(Profilliste& profile, Kopfzeilenquelle kopfzeile = {});
    ~TProtokollAusgabe();
    TProtokollAusgabe(const TProtokollAusgabe&) = delete;
    TProtokollAusgabe& operator=(const TProtokollAusgabe&) = delete;

    // Writes the series (or queues it while another one is being written). Returns when this
    // series and any queued behind it have been written or refused; a refusal or a failure has
    // been told to the user.
    void WriteSeries(const TSerienDatensatz& serie);

    void setKopfzeilenquelle(Kopfzeilenquelle kopfzeile) { m_kopfzeile = std::move(kopfzeile); }

    // The clipboard text of the last series written (the whole text, also past a NUL byte).
    const std::string& Zwischenablage() const { return m_zwischenablage; }
    // The index of the shot being written (0 when idle).
    int32_t Schussindex() const { return m_schussindex; }
    // True while a series is being written (also while the overwrite warning is open).
    bool busy() const { return m_busy; }
    // Series waiting behind the one being written.
    std::size_t queued() const { return m_warteschlange.size(); }

private:
    enum class Oeffnen { offen, abgebrochen, fehlgeschlagen };

    void writeOne(const TSerienDatensatz& serie);
    Oeffnen openFile(std::string& dateiname);
    void WriteHeader();
    void WriteText(std::string_view text, bool zwischenablage);
    void WriteSeparator(int32_t code, bool zwischenablage);
    int flushAndClose();

    Profilliste& m_profile;
    Kopfzeilenquelle m_kopfzeile;

    int m_datei = -1;          // the protocol file while a series is written
    std::string m_dateipuffer; // the bytes for it, written in one go before it is closed
    std::string m_zwischenablage;
    int32_t m_schussindex = 0;

    bool m_busy = false;
    std::deque<TSerienDatensatz> m_warteschlange;
};
