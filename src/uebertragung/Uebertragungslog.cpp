#include "Uebertragungslog.h"

#include "PlatformFile.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

constexpr std::size_t ZeileHoechstens = 200;                 // bytes of one read or write per line
constexpr auto Lueckenzeit = std::chrono::milliseconds(100); // a pause this long starts a new line
constexpr auto Faltdauer = std::chrono::minutes(1);
constexpr auto Leerlaufgrenze = std::chrono::minutes(1); // the writer's longest sleep

constexpr const char* Steuernamen[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                         "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                         "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                         "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

std::string zeitText(Uebertragungslog::Zeitpunkt zeit) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(zeit.time_since_epoch()).count();
    const auto sekunden = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    const std::tm t = platform::localTime(sekunden);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(ms - sekunden * 1000LL));
    return text;
}

// An event's text on one line.
std::string einzeilig(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return out;
}

std::mutex g_logMutex;
std::shared_ptr<Uebertragungslog> g_log;

} // namespace

struct Uebertragungslog::Datei {
    platform::PlatformFile datei;
};

std::string Uebertragungslog::maskiert(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b <= 0x7E && b != '<' && b != '\\') {
            out += c;
        } else if (b < 0x20) {
            out += '<';
            out += Steuernamen[b];
            out += '>';
        } else if (b == 0x7F) {
            out += "<DEL>";
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<x%02X>", b);
            out += hex;
        }
    }
    return out;
}

std::string Uebertragungslog::dateinameFuerPort(std::string_view port) {
    std::string name(port);
    std::replace(name.begin(), name.end(), '/', '_');
    return "uebertragung-" + name + ".log";
}

Uebertragungslog::Uebertragungslog(Optionen optionen) : m_optionen(std::move(optionen)) {
    if (!m_optionen.uhr)
        m_optionen.uhr = [] { return std::chrono::system_clock::now(); };
    if (!m_optionen.melden)
        m_optionen.melden = [](const std::string& text) {
            std::fprintf(stderr, "trefflux: %s\n", text.c_str());
        };
    if (m_optionen.ordner.empty())
        m_optionen.ordner = platform::stateFolder();
    m_optionen.warteschlange = std::max<std::size_t>(m_optionen.warteschlange, 1);
#ifdef _WIN32
    m_pfad = m_optionen.ordner + "\\" + m_optionen.dateiname;
#else
    m_pfad = m_optionen.ordner + "/" + m_optionen.dateiname;
#endif
    m_schlange.reserve(std::min<std::size_t>(m_optionen.warteschlange, 1024));
    m_schreiber = std::thread([this] { schreiberLaeuft(); });
}

Uebertragungslog::~Uebertragungslog() {
    {
        std::lock_guard lock(m_mutex);
        m_ende = true;
    }
    m_arbeit.notify_all();
    m_schreiber.join();
}

void Uebertragungslog::daten(std::string_view port, Richtung richtung, const void* bytes,
                             std::size_t anzahl) {
    if (anzahl == 0)
        return;
    Eintrag e{m_optionen.uhr(), std::string(port), richtung,
              std::string(static_cast<const char*>(bytes), anzahl)};
    bool wecken = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_schlange.size() >= m_optionen.warteschlange) {
            ++m_verworfen;
            return;
        }
        wecken = m_schlange.empty();
        m_schlange.push_back(std::move(e));
    }
    if (wecken)
        m_arbeit.notify_one();
}

void Uebertragungslog::ereignisMelden(std::string_view port, std::string_view text) {
    const std::string zeile = einzeilig(text);
    daten(port, ereignis, zeile.data(), zeile.size());
}

bool Uebertragungslog::schreibenAbwarten(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    const std::uint64_t runde = ++m_abwartenWunsch;
    m_arbeit.notify_one();
    return m_erledigt.wait_for(lock, limit, [&] { return m_abwartenErfuellt >= runde; });
}

void Uebertragungslog::schreiberLaeuft() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        // A line still open is closed once nothing more joins it.
        const auto grenze = m_offen ? std::chrono::milliseconds(m_optionen.sammelpause) : Leerlaufgrenze;
        const bool kam = m_arbeit.wait_for(lock, grenze, [&] {
            return m_ende || m_abwartenWunsch > m_abwartenErfuellt || !m_schlange.empty();
        });
        // Gather a little more before writing, unless someone waits for the file. What comes
        // faster than the queue holds in that time is a flood: it is dropped and counted.
        if (kam && !m_ende && m_abwartenWunsch == m_abwartenErfuellt) {
            m_arbeit.wait_for(lock, m_optionen.sammelpause,
                              [&] { return m_ende || m_abwartenWunsch > m_abwartenErfuellt; });
        }
        m_stapel.clear(); // both keep their room: no allocation once the traffic is steady
        m_stapel.swap(m_schlange);
        const std::uint64_t verworfen = std::exchange(m_verworfen, 0);
        const std::uint64_t wunsch = m_abwartenWunsch;
        const bool allesAus = m_ende || wunsch > m_abwartenErfuellt || !kam;
        const bool ende = m_ende;
        lock.unlock();

        for (Eintrag& e : m_stapel)
            verarbeite(std::move(e));
        if (allesAus || (m_offen && m_optionen.uhr() - m_offenLetzte >= Lueckenzeit))
            schliesseOffeneZeile();
        if (verworfen > 0) {
            gibGehaltenesAus();
            gibAus({m_optionen.uhr(), "-", ereignis,
                    std::to_string(verworfen) + " Eintr\xC3\xA4ge verworfen: das Protokoll kam nicht nach"});
            m_falte.reset();
        }
        // Nothing came for a minute, or someone waits: what is held back goes out too.
        if (allesAus) {
            gibGehaltenesAus();
            schreibeFaltzeile();
        }
        ausschreiben();

        lock.lock();
        if (allesAus)
            m_abwartenErfuellt = wunsch;
        m_erledigt.notify_all();
        if (ende && m_schlange.empty())
            break;
    }
}

void Uebertragungslog::verarbeite(Eintrag e) {
    // The program writes what belongs together in one go; the machine's bytes come as they
    // come, and those that follow each other closely are one line.
    if (e.richtung == vonDerMaschine && m_offen && m_offen->port == e.port &&
        m_offen->richtung == e.richtung && m_offen->text.size() + e.text.size() <= ZeileHoechstens &&
        e.zeit - m_offenLetzte < Lueckenzeit) {
        m_offen->text += e.text;
        m_offenLetzte = e.zeit;
        return;
    }
    schliesseOffeneZeile();
    if (e.richtung == ereignis) {
        falte(std::move(e));
    } else {
        m_offenLetzte = e.zeit;
        m_offen = std::move(e);
    }
}

void Uebertragungslog::schliesseOffeneZeile() {
    if (!m_offen)
        return;
    Eintrag zeile = std::move(*m_offen);
    m_offen.reset();
    // One read longer than a line: in pieces.
    for (std::size_t von = 0; von < zeile.text.size(); von += ZeileHoechstens)
        falte({zeile.zeit, zeile.port, zeile.richtung, zeile.text.substr(von, ZeileHoechstens)});
}

void Uebertragungslog::falte(Eintrag zeile) {
    if (zeile.richtung == zurMaschine) {
        if (m_gehalten) { // no answer came to the one before
            gibGehaltenesAus();
            m_falte.reset();
        }
        m_gehalten = std::move(zeile);
        return;
    }
    if (zeile.richtung == vonDerMaschine && m_gehalten && m_gehalten->port == zeile.port) {
        if (m_falte && m_falte->port == zeile.port && m_falte->aus == m_gehalten->text &&
            m_falte->ein == zeile.text) {
            ++m_falte->anzahl;
            m_falte->letzte = zeile.zeit;
            m_gehalten.reset();
            if (zeile.zeit - m_falte->beginn >= Faltdauer) {
                schreibeFaltzeile();
                m_falte->beginn = zeile.zeit;
            }
            return;
        }
        schreibeFaltzeile();
        m_falte = Falte{zeile.port, m_gehalten->text, zeile.text, zeile.zeit, zeile.zeit, 0};
        gibAus(*m_gehalten);
        m_gehalten.reset();
        gibAus(zeile);
        return;
    }
    gibGehaltenesAus();
    m_falte.reset();
    gibAus(zeile);
}

void Uebertragungslog::schreibeFaltzeile() {
    if (!m_falte || m_falte->anzahl == 0)
        return;
    gibAus({m_falte->letzte, m_falte->port, ereignis,
            "Austausch " + std::to_string(m_falte->anzahl) + "-mal wiederholt: > " + maskiert(m_falte->aus) +
                " < " + maskiert(m_falte->ein)});
    m_falte->anzahl = 0;
}

void Uebertragungslog::gibGehaltenesAus() {
    if (!m_gehalten)
        return;
    schreibeFaltzeile();
    gibAus(*m_gehalten);
    m_gehalten.reset();
}

void Uebertragungslog::gibAus(const Eintrag& zeile) {
    std::string text = zeitText(zeile.zeit);
    text += ' ';
    text += zeile.port.empty() ? std::string("-") : zeile.port;
    text += ' ';
    text += static_cast<char>(zeile.richtung);
    text += ' ';
    text += zeile.richtung == ereignis ? zeile.text : maskiert(zeile.text);
    text += '\n';
    zeileAnhaengen(text);
}

void Uebertragungslog::zeileAnhaengen(const std::string& zeile) {
    if (m_groesse + m_puffer.size() + zeile.size() > m_optionen.hoechstgroesse &&
        m_groesse + m_puffer.size() > 0) {
        ausschreiben();
        rotieren();
    }
    m_puffer += zeile;
}

void Uebertragungslog::ausschreiben() {
    if (m_puffer.empty())
        return;
    if (!oeffnen()) {
        m_puffer.clear(); // the log never holds up the program
        return;
    }
    std::size_t geschrieben = 0;
    const platform::FileError fehler = m_datei->datei.writeAll(m_puffer, geschrieben);
    m_groesse += geschrieben;
    m_puffer.clear();
    if (fehler) {
        fehlschlag("kann nicht geschrieben werden", fehler.text);
        m_datei.reset(); // opened afresh for the next lines
    }
}

void Uebertragungslog::rotieren() {
    m_datei.reset();
    const auto nummer = [&](int n) { return m_pfad + "." + std::to_string(n); };
    platform::removeFile(nummer(3));
    platform::renameFile(nummer(2), nummer(3));
    platform::renameFile(nummer(1), nummer(2));
    if (const platform::FileError fehler = platform::renameFile(m_pfad, nummer(1)))
        fehlschlag("kann nicht umbenannt werden", fehler.text);
    m_groesse = 0;
}

bool Uebertragungslog::oeffnen() {
    if (m_datei)
        return true;
    if (m_optionen.ordner.empty()) {
        fehlschlag("hat keinen Ordner", "weder XDG_STATE_HOME noch HOME ist gesetzt");
        return false;
    }
    if (const platform::FileError fehler = platform::makeFolders(m_optionen.ordner)) {
        fehlschlag("kann nicht angelegt werden", fehler.text);
        return false;
    }
    platform::FileError fehler;
    platform::PlatformFile datei = platform::PlatformFile::openForAppending(m_pfad, fehler);
    if (!datei.isOpen()) {
        fehlschlag("kann nicht ge\xC3\xB6"
                   "ffnet werden",
                   fehler.text);
        return false;
    }
    const int64_t groesse = datei.seekToEnd();
    m_groesse = groesse > 0 ? static_cast<std::uint64_t>(groesse) : 0;
    m_datei = std::make_unique<Datei>(Datei{std::move(datei)});
    return true;
}

void Uebertragungslog::fehlschlag(const std::string& was, const std::string& grund) {
    if (m_gemeldet)
        return;
    m_gemeldet = true;
    m_optionen.melden("Das \xC3\x9C"
                      "bertragungsprotokoll " +
                      m_pfad + " " + was + " (" + grund +
                      "). Trefflux arbeitet ohne es weiter; "
                      "keine Serie geht dadurch verloren.");
}

std::shared_ptr<Uebertragungslog> uebertragungslog() {
    std::lock_guard lock(g_logMutex);
    return g_log;
}

void setUebertragungslog(std::shared_ptr<Uebertragungslog> log) {
    std::shared_ptr<Uebertragungslog> alt;
    {
        std::lock_guard lock(g_logMutex);
        alt = std::exchange(g_log, std::move(log));
    }
    // alt ends here, outside the lock, after writing what it still holds
}

std::shared_ptr<Uebertragungslog> uebertragungslogStarten(std::string_view port,
                                                          std::function<void(const std::string&)> melden) {
    Uebertragungslog::Optionen optionen;
    if (!port.empty())
        optionen.dateiname = Uebertragungslog::dateinameFuerPort(port);
    optionen.melden = std::move(melden);
    auto log = std::make_shared<Uebertragungslog>(std::move(optionen));
    setUebertragungslog(log);
    return log;
}

void logDaten(std::string_view port, Uebertragungslog::Richtung richtung, const void* bytes,
              std::size_t anzahl) {
    if (anzahl == 0)
        return;
    if (auto log = uebertragungslog())
        log->daten(port, richtung, bytes, anzahl);
}

void logEreignis(std::string_view port, std::string_view text) {
    if (auto log = uebertragungslog())
        log->ereignisMelden(port, text);
}
