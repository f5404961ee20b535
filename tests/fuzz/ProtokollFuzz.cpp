// The protocol writer with any profile record and any series. Input layout:
//   byte 0   where the file goes (low 3 bits, see ziele below); bit 3: a file with older
//            records is there beforehand; bit 4: a second series arrives while a dialog is open
//   byte 1   the answers to the overwrite warning, two bits each (abort, retry, overwrite, none)
//   756      the profile record (zero-padded); its file name only names a file in the scratch
//            directory, so the fuzzer never writes outside it
//   rest     the series: Scheibentyp (2), Teilerfaktor (2), Schusszahl (5), then per shot
//            Ringwert (3), Teiler (5), X (6), Y (6)

#include "FuzzHarness.h"

#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "ScriptedDesktop.h"
#include "Trennzeichen.h"
#include "Win1252.h"

#include <array>
#include <deque>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Eingabe {
public:
    Eingabe(const uint8_t* data, std::size_t size)
        : m_data(reinterpret_cast<const char*>(data)), m_size(size) {}
    uint8_t byte() { return m_pos < m_size ? static_cast<uint8_t>(m_data[m_pos++]) : 0; }
    std::string_view stueck(std::size_t n) {
        const std::size_t len = std::min(n, m_size - m_pos);
        const std::string_view s(m_data + m_pos, len);
        m_pos += len;
        return s;
    }
    bool leer() const { return m_pos >= m_size; }

private:
    const char* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

std::string lies(const std::string& pfad) {
    std::string inhalt;
    const int fd = ::open(pfad.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return inhalt;
    char puffer[4096];
    ssize_t n;
    while ((n = ::read(fd, puffer, sizeof puffer)) > 0)
        inhalt.append(puffer, static_cast<std::size_t>(n));
    ::close(fd);
    return inhalt;
}

// The file name the profile gets (Windows-1252), by the selector, and whether the file is one
// that can be written.
std::string zielname(uint8_t wahl, const Profil& profil, const std::string& ordner) {
    switch (wahl & 7) {
    case 0:
    case 1: // 1: held by another program
        return ordner + "/Protokoll1.rls";
    case 2:
        return "";
    case 3:
        return ordner; // a directory
    case 4:
        return ordner + "/fehlt/Protokoll1.rls";
    case 5:
        return "/dev/full";
    case 6:
        return ordner + "/fifo";
    default: {
        // The profile's own name, kept inside the scratch directory: any bytes but '/'.
        std::string name = text(profil.Dateiname).substr(0, 120);
        for (char& c : name)
            if (c == '/')
                c = '_';
        return utf8ToWin1252(ordner) + "/p" + name;
    }
    }
}

} // namespace

int fuzzProtokoll(const uint8_t* data, std::size_t size) {
    const std::string& ordner = fuzz::scratchDir();
    static const bool fifo = [&] { return ::mkfifo((ordner + "/fifo").c_str(), 0600) == 0; }();
    (void)fifo;

    Eingabe ein(data, size);
    const uint8_t steuer = ein.byte();
    const uint8_t antworten = ein.byte();

    Profil::Record record{};
    const std::string_view roh = ein.stueck(Profil::RecordSize);
    std::copy(roh.begin(), roh.end(), record.begin());
    Profil profil = Profil::decode(record.data());
    const std::string dateiname = zielname(steuer, profil, ordner);
    setText(profil.Dateiname, dateiname);
    const std::string pfad = win1252ToUtf8(text(profil.Dateiname));

    TSerienDatensatz serie;
    serie.Scheibentyp = ein.stueck(2);
    serie.Teilerfaktor = ein.stueck(2);
    serie.Schusszahl = ein.stueck(5);
    while (!ein.leer() && serie.Schuesse.size() < 1000) {
        TSchussDatensatz s;
        s.Ringwert = ein.stueck(3);
        s.Teiler = ein.stueck(5);
        s.XKoordinate = ein.stueck(6);
        s.YKoordinate = ein.stueck(6);
        serie.Schuesse.push_back(s);
    }

    const bool regulaer = (steuer & 7) <= 1 || (steuer & 7) == 7;
    if (regulaer) {
        ::unlink(pfad.c_str());
        if (steuer & 8) {
            const int fd = ::open(pfad.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            if (fd >= 0) {
                fuzz::check(::write(fd, "ALT\n", 4) == 4, "cannot prepare the old file");
                ::close(fd);
            }
        }
    }
    int fremd = -1; // another program holding the file
    if ((steuer & 7) == 1) {
        fremd = ::open(pfad.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        fuzz::check(fremd >= 0 && ::flock(fremd, LOCK_EX | LOCK_NB) == 0, "cannot hold the file");
    }

    ScriptedDesktop desk;
    for (int i = 0; i < 4; ++i) {
        static constexpr std::array<int, 3> wahl{mrAbort, mrRetry, mrIgnore};
        const int a = (antworten >> (2 * i)) & 3;
        if (a == 3)
            break;
        desk.warningAnswers.push_back(wahl[static_cast<std::size_t>(a)]);
    }
    const std::deque<int> gegeben = desk.warningAnswers;

    Profilliste liste;
    liste.append(profil);
    TProtokollAusgabe ausgabe(liste);
    int zweite = (steuer & 16) ? 1 : 0;
    desk.whileOpen = [&] {
        if (zweite-- > 0)
            ausgabe.WriteSeries(serie); // arrives from the dialog's event loop
    };

    const std::string vorher = regulaer ? lies(pfad) : std::string();
    ausgabe.WriteSeries(serie);
    fuzz::check(!ausgabe.busy(), "the writer stays busy after a series");
    fuzz::check(ausgabe.queued() == 0 || !desk.boxes.empty(), "series kept without a word");

    // No series vanishes: each one reaches the clipboard, unless the user kept the file's record.
    const int geliefert = 1 + ((steuer & 16) && zweite <= 0 ? 1 : 0);
    std::size_t abbrueche = 0;
    for (std::size_t i = 0; i < desk.warnings.size() && i < gegeben.size(); ++i)
        abbrueche += gegeben[i] == mrAbort;
    fuzz::check(desk.clipboard.size() + abbrueche == static_cast<std::size_t>(geliefert),
                "a series vanished");

    // The last series written, unless the user kept the old record (then the clipboard still
    // holds the one before): the clipboard holds its text up to the first zero byte, and the
    // file ends with that text and the series separator.
    const std::size_t gezeigt = desk.warnings.size();
    const bool abgebrochen = gezeigt > 0 && gezeigt <= gegeben.size() && gegeben[gezeigt - 1] == mrAbort;
    const std::string& text = ausgabe.Zwischenablage();
    if (desk.boxes.empty() && !abgebrochen) {
        fuzz::check(!desk.clipboard.empty() && desk.clipboard.back() == text.substr(0, text.find('\0')),
                    "clipboard and record differ");
        if (regulaer) {
            const std::string nachher = lies(pfad);
            const std::string ende = text + std::string(trennzeichenBytes(profil.Trennzeichen[tiSerie]));
            fuzz::check(nachher.size() >= ende.size() &&
                            nachher.compare(nachher.size() - ende.size(), ende.size(), ende) == 0,
                        "the file does not end with the series");
            if (profil.Dateimodus != 1)
                fuzz::check(nachher.compare(0, vorher.size(), vorher) == 0,
                            "appending changed older records");
        }
    }

    if (fremd >= 0)
        ::close(fremd);
    if ((steuer & 7) == 6) {
        // Empty the pipe, so the next input finds it as empty as this one did.
        const int fd = ::open(pfad.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        char puffer[4096];
        while (fd >= 0 && ::read(fd, puffer, sizeof puffer) > 0) {
        }
        if (fd >= 0)
            ::close(fd);
    }
    if ((steuer & 7) == 7)
        ::unlink(pfad.c_str());
    return 0;
}

TREFFLUX_FUZZ_ENTRY(fuzzProtokoll)
