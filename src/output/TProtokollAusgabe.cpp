#include "TProtokollAusgabe.h"

#include "Datensatzelemente.h"
#include "Desktop.h"
#include "Profilliste.h"
#include "Trennzeichen.h"
#include "Win1252.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const char* const kTitelFehler = "Fehler";
const char* const kKannNichtOeffnen = "Kann Protokolldatei nicht \xF6"
                                      "ffnen";

template <class F> class ScopeExit {
public:
    explicit ScopeExit(F f) : m_f(std::move(f)) {}
    ~ScopeExit() { m_f(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F m_f;
};

void closeQuietly(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

// Opens the protocol file for reading and writing, without sharing: the file is locked with
// flock, and a file that another program holds locked counts as one that cannot be opened.
// Never blocks: O_NONBLOCK keeps a FIFO or a device named as the file from stalling the
// program. Returns -1 with errno set on failure.
int oeffneOhneTeilen(const std::string& dateinameAnsi, int flags) {
    const std::string pfad = win1252ToUtf8(dateinameAnsi);
    if (pfad.empty()) {
        errno = ENOENT;
        return -1;
    }
    int fd;
    do {
        fd = ::open(pfad.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        closeQuietly(fd);
        return -1;
    }
    return fd;
}

// The message for a series that did not reach the file completely.
std::string schreibfehler(const std::string& dateiname, int fehler) {
    std::string text = "Fehler beim Schreiben der Protokolldatei\n\r" + dateiname;
    if (fehler == ENOSPC || fehler == EDQUOT)
        text += "\n\rDer Datentr\xE4ger ist voll.";
    return text + "\n\rDie Serie ist nur in der Zwischenablage vollst\xE4ndig.";
}

bool istRegulaereDatei(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

TProtokollAusgabe::TProtokollAusgabe(Profilliste& profile, Kopfzeilenquelle kopfzeile)
    : m_profile(profile), m_kopfzeile(std::move(kopfzeile)) {}

TProtokollAusgabe::~TProtokollAusgabe() {
    if (m_datei >= 0)
        ::close(m_datei);
}

void TProtokollAusgabe::WriteSeries(const TSerienDatensatz& serie) {
    // A series that arrives while another one is being written (from the event loop of the
    // overwrite warning or of a message box) waits its turn; it is never dropped.
    if (m_busy) {
        m_warteschlange.push_back(serie);
        return;
    }
    m_busy = true;
    ScopeExit frei([this] { m_busy = false; });

    if (m_warteschlange.empty())
        writeOne(serie);
    else
        m_warteschlange.push_back(serie); // left over from an earlier failure: keep the order
    while (!m_warteschlange.empty()) {
        const TSerienDatensatz naechste = std::move(m_warteschlange.front());
        m_warteschlange.pop_front();
        writeOne(naechste);
    }
}

void TProtokollAusgabe::writeOne(const TSerienDatensatz& serie) {
    ScopeExit schliessen([this] {
        if (m_datei >= 0) {
            ::close(m_datei);
            m_datei = -1;
        }
        m_schussindex = 0;
    });

    m_zwischenablage.clear();
    std::string dateiname;
    switch (openFile(dateiname)) {
    case Oeffnen::offen:
        break;
    case Oeffnen::abgebrochen:
        return; // the user kept the existing record: nothing written, clipboard unchanged
    case Oeffnen::fehlgeschlagen:
        desktop().messageBox(kKannNichtOeffnen, kTitelFehler, Mb::Ok | Mb::SystemModal);
        return;
    }

    // No dialog runs from here to the end of the file, so the profile cannot change meanwhile.
    const Profil& profil = m_profile.aktiv();
    const auto datensatz = profil.Datensatz;
    const auto trennzeichen = profil.Trennzeichen;
    const bool zehntelringe = profil.Zehntelringe != 0;

    const std::size_t anzahl = serie.shotCount();
    m_schussindex = 0;
    for (std::size_t i = 0; i < anzahl; ++i) {
        m_schussindex = static_cast<int32_t>(i);
        for (int8_t slot : datensatz) {
            const auto code = elementCode(slot);
            if (!code)
                continue;
            WriteText(datensatzelement(*code)->Format(serie, i, zehntelringe), true);
            WriteSeparator(trennzeichen[tiDatensatzelement], true);
        }
        WriteSeparator(trennzeichen[tiSchuss], true);
    }
    WriteSeparator(trennzeichen[tiSerie], false);

    const int fehler = flushAndClose();

    const std::size_t ende = m_zwischenablage.find('\0');
    desktop().setClipboardText(ende == std::string::npos ? m_zwischenablage
                                                         : m_zwischenablage.substr(0, ende));

    if (fehler != 0)
        desktop().messageBox(schreibfehler(dateiname, fehler), kTitelFehler, Mb::Ok | Mb::SystemModal);
}

// Opens or creates the file by the file mode of the active profile, with the overwrite warning
// and the header line; leaves it open in m_datei.
TProtokollAusgabe::Oeffnen TProtokollAusgabe::openFile(std::string& dateiname) {
    m_dateipuffer.clear();
    if (m_profile.empty())
        return Oeffnen::fehlgeschlagen;

    bool neu = false;
    if (m_profile.aktiv().Dateimodus != 1) {
        // All records: append, creating the file if needed. Any mode other than 1 (a damaged
        // profile) is taken as this one, which never destroys a record.
        dateiname = text(m_profile.aktiv().Dateiname);
        m_datei = oeffneOhneTeilen(dateiname, O_CREAT | O_EXCL);
        neu = m_datei >= 0;
        if (m_datei < 0 && errno == EEXIST)
            m_datei = oeffneOhneTeilen(dateiname, 0);
    } else {
        // Only one record: warn while the file exists (it holds a record the results program
        // has not taken yet), then replace it by an empty one. The profile is read afresh after
        // each dialog, as the user may have changed it meanwhile.
        while (!m_profile.empty() && m_profile.aktiv().Warnen != 0) {
            dateiname = text(m_profile.aktiv().Dateiname);
            const int fd = oeffneOhneTeilen(dateiname, 0);
            if (fd < 0)
                break; // absent, or held by another program
            ::close(fd);
            const int wahl = desktop().overwriteWarning(dateiname);
            if (wahl == mrAbort)
                return Oeffnen::abgebrochen;
            if (wahl == mrIgnore)
                break;
        }
        if (m_profile.empty())
            return Oeffnen::fehlgeschlagen;
        dateiname = text(m_profile.aktiv().Dateiname);
        // Truncate only once the lock is ours: a file another program holds stays untouched.
        m_datei = oeffneOhneTeilen(dateiname, O_CREAT);
        if (m_datei >= 0 && istRegulaereDatei(m_datei) && ::ftruncate(m_datei, 0) != 0) {
            closeQuietly(m_datei);
            m_datei = -1;
        }
        neu = m_datei >= 0;
    }
    if (m_datei < 0)
        return Oeffnen::fehlgeschlagen;
    if (neu && m_profile.aktiv().Header != 0) {
        m_schussindex = 0;
        WriteHeader();
    }
    return Oeffnen::offen;
}

void TProtokollAusgabe::WriteHeader() {
    const Profil& profil = m_profile.aktiv();
    const std::vector<std::string> titel = m_kopfzeile ? m_kopfzeile() : datensatzTitel(profil);
    for (const std::string& t : titel) {
        WriteText(t, false);
        WriteSeparator(profil.Trennzeichen[tiDatensatzelement], false);
    }
    WriteSeparator(profil.Trennzeichen[tiSchuss], false);
    WriteSeparator(profil.Trennzeichen[tiSerie], false);
}

void TProtokollAusgabe::WriteText(std::string_view text, bool zwischenablage) {
    if (m_datei >= 0)
        m_dateipuffer.append(text);
    if (zwischenablage)
        m_zwischenablage.append(text);
}

void TProtokollAusgabe::WriteSeparator(int32_t code, bool zwischenablage) {
    WriteText(trennzeichenBytes(code), zwischenablage);
}

// Appends the collected bytes at the end of the file in one write and closes it. Returns 0, or
// the errno of the first failure. A write that fails part-way is taken back from a regular file,
// so the results program never finds half a series.
int TProtokollAusgabe::flushAndClose() {
    int fehler = 0;
    const off_t anfang = ::lseek(m_datei, 0, SEEK_END);
    std::size_t geschrieben = 0;
    while (geschrieben < m_dateipuffer.size()) {
        const ssize_t n =
            ::write(m_datei, m_dateipuffer.data() + geschrieben, m_dateipuffer.size() - geschrieben);
        if (n > 0) {
            geschrieben += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            fehler = n < 0 ? errno : EIO; // includes EAGAIN from a full pipe: never wait here
            break;
        }
    }
    if (fehler != 0 && anfang >= 0 && istRegulaereDatei(m_datei)) {
        [[maybe_unused]] const int rc = ::ftruncate(m_datei, anfang);
    }
    const int fd = std::exchange(m_datei, -1);
    // On Linux the descriptor is gone even when close reports EINTR; that is no loss of data.
    if (::close(fd) != 0 && errno != EINTR && fehler == 0)
        fehler = errno;
    return fehler;
}
