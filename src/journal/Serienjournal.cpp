#include "Serienjournal.h"

#include "PlatformFile.h"

#include <charconv>
#include <cstdio>
#include <utility>

namespace {

using platform::FileError;
using platform::PlatformFile;

#ifdef _WIN32
constexpr char kTrenner = '\\';
#else
constexpr char kTrenner = '/';
#endif
constexpr std::size_t kFelder = 10;
// How long the writer waits before it tries a file again that could not be written, and how
// much it keeps for it meanwhile.
constexpr std::chrono::seconds kNeuerVersuch{1};
constexpr std::size_t kHoechstensAusstehend = 4 * 1024 * 1024;

std::uint32_t pruefsumme(std::string_view text) {
    std::uint32_t h = 2166136261u;
    for (const char c : text)
        h = (h ^ static_cast<std::uint8_t>(c)) * 16777619u;
    return h;
}

// Bytes below 0x20, 0x7F and "%" as "%XX": a field holds no tab and no line feed.
void maskiere(std::string& aus, std::string_view text) {
    static const char hex[] = "0123456789ABCDEF";
    for (const char c : text) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b < 0x20 || b == 0x7F || c == '%') {
            aus += '%';
            aus += hex[b >> 4];
            aus += hex[b & 0xF];
        } else {
            aus += c;
        }
    }
}

int hexwert(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> demaskiere(std::string_view feld) {
    std::string text;
    text.reserve(feld.size());
    for (std::size_t i = 0; i < feld.size(); ++i) {
        if (feld[i] != '%') {
            text += feld[i];
            continue;
        }
        if (i + 2 >= feld.size())
            return std::nullopt;
        const int hoch = hexwert(feld[i + 1]);
        const int tief = hexwert(feld[i + 2]);
        if (hoch < 0 || tief < 0)
            return std::nullopt;
        text += static_cast<char>(hoch * 16 + tief);
        i += 2;
    }
    return text;
}

template <class T> bool zahl(std::string_view feld, T& wert) {
    const auto [ende, fehler] = std::from_chars(feld.data(), feld.data() + feld.size(), wert);
    return !feld.empty() && fehler == std::errc() && ende == feld.data() + feld.size();
}

std::string ordnerVon(const std::string& pfad) {
    const auto trenner = pfad.find_last_of("/\\");
    return trenner == std::string::npos ? std::string(".") : pfad.substr(0, trenner);
}

std::mutex g_journalMutex;
std::shared_ptr<Serienjournal> g_journal;

} // namespace

struct Serienjournal::Datei {
    PlatformFile datei;
};

Serienjournal::Serienjournal(Optionen optionen)
    : m_optionen(std::move(optionen)), m_datei(std::make_unique<Datei>()) {
    if (!m_optionen.melden)
        m_optionen.melden = [](const std::string& text) {
            std::fprintf(stderr, "trefflux: %s\n", text.c_str());
        };
    if (oeffnen()) {
        PlatformFile& datei = m_datei->datei;
        std::string inhalt;
        const int64_t groesse = datei.size();
        if (groesse > 0 && datei.seekTo(0) == 0) {
            inhalt.resize(static_cast<std::size_t>(groesse));
            const int64_t gelesen = datei.readFully(inhalt.data(), inhalt.size());
            inhalt.resize(gelesen > 0 ? static_cast<std::size_t>(gelesen) : 0);
        }
        // A record torn by a power cut ends without its line feed: it is cut off, so that the
        // next record starts on a line of its own.
        const std::size_t ganz = inhalt.rfind('\n') == std::string::npos ? 0 : inhalt.rfind('\n') + 1;
        if (ganz < inhalt.size())
            datei.truncate(static_cast<int64_t>(ganz));
        m_groesse = ganz;
        std::uint64_t hoechste = 0;
        for (std::size_t anfang = 0; anfang < ganz;) {
            const std::size_t ende = inhalt.find('\n', anfang);
            if (std::optional<Satz> satz = lesen(std::string_view(inhalt).substr(anfang, ende - anfang))) {
                hoechste = std::max(hoechste, satz->nr);
                anwenden(m_lebend, std::move(*satz));
            }
            anfang = ende + 1;
        }
        m_naechsteNr = hoechste + 1;
        m_gesichert = hoechste;
    }
    for (const auto& [nr, satz] : m_lebend) {
        if (satz.art == 'S')
            m_nachlass.serien.push_back({nr, satz.ziel, satz.a, satz.b});
        else if (satz.art == 'E')
            m_nachlass.stuecke.push_back({nr, satz.quelle, satz.ziel, satz.a});
        else if (satz.art == 'M') {
            m_nachlass.meldungen.push_back(satz.a);
            m_meldungsNr.push_back(nr);
        }
    }
    m_schreiber = std::thread([this] { schreiberLaeuft(); });
}

Serienjournal::~Serienjournal() {
    {
        std::lock_guard lock(m_mutex);
        m_ende = true;
    }
    m_arbeit.notify_all();
    m_schreiber.join();
    // Nothing left that a next start would need: the file goes.
    if (m_datei->datei.isOpen() && m_lebend.empty() && m_ausstehend.empty()) {
        m_datei->datei.close();
        platform::removeFile(m_optionen.pfad);
    }
}

std::string Serienjournal::dateiname(std::string_view startverzeichnis, std::string_view port) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char c : startverzeichnis)
        h = (h ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
    char schluessel[17];
    std::snprintf(schluessel, sizeof schluessel, "%016llx", static_cast<unsigned long long>(h));
    std::string name = std::string("serien-") + schluessel;
    if (!port.empty()) {
        name += '-';
        for (const char c : port) {
            const bool erlaubt = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                 c == '.' || c == '-' || c == '_';
            name += erlaubt ? c : '_';
        }
    }
    return name + ".journal";
}

// --- The callers' side -----------------------------------------------------------------------

Serienjournal::Satz Serienjournal::satz(char art, Quelle quelle, std::uint64_t bezug, std::string a) {
    Satz s;
    s.art = art;
    s.quelle = quelle;
    s.bezug = bezug;
    s.a = std::move(a);
    return s;
}

std::uint64_t Serienjournal::einreihen(Satz satz) {
    std::uint64_t nr;
    bool wecken;
    {
        std::lock_guard lock(m_mutex);
        if (satz.art == 'E')
            satz.ziel = m_ziel;
        nr = satz.nr = m_naechsteNr++;
        m_schlange.push_back(std::move(satz));
        wecken = std::exchange(m_schreiberWartet, false); // a writer gathering takes it anyway
    }
    if (wecken)
        m_arbeit.notify_one();
    return nr;
}

Serienjournal::Nachlass Serienjournal::nachlassNehmen() {
    // Shown from now on: the next start does not show them again.
    for (const std::uint64_t nr : std::exchange(m_meldungsNr, {}))
        einreihen(satz('G', Quelle::sam, nr));
    return std::exchange(m_nachlass, Nachlass{});
}

void Serienjournal::setZiel(Ziel ziel) {
    std::lock_guard lock(m_mutex);
    m_ziel = std::move(ziel);
}

std::uint64_t Serienjournal::aufnehmen(Quelle quelle, std::string_view daten) {
    return einreihen(satz('E', quelle, 0, std::string(daten)));
}

Serienjournal::Bearbeitung::Bearbeitung(Serienjournal& journal, Quelle quelle, std::uint64_t nr)
    : m_journal(journal), m_vorher(std::exchange(journal.m_bearbeitung, std::pair{quelle, nr})) {}

Serienjournal::Bearbeitung::~Bearbeitung() {
    m_journal.m_bearbeitung = m_vorher;
}

void Serienjournal::bearbeitet(Quelle quelle, std::uint64_t nr) {
    if (!zeilenweise(quelle))
        verbraucht(quelle, nr);
}

std::uint64_t Serienjournal::serieAufnehmen(const Ziel& ziel, std::string_view datei,
                                            std::string_view zwischenablage) {
    Satz s =
        m_bearbeitung ? satz('S', m_bearbeitung->first, m_bearbeitung->second) : satz('S', Quelle::sam, 0);
    s.ziel = ziel;
    s.a = datei;
    s.b = zwischenablage;
    return einreihen(std::move(s));
}

void Serienjournal::erledigt(std::uint64_t serie) {
    einreihen(satz('F', Quelle::sam, serie));
}

void Serienjournal::verbraucht(Quelle quelle, std::uint64_t bis) {
    einreihen(satz('V', quelle, bis));
}

void Serienjournal::spaeterMelden(std::string meldung) {
    einreihen(satz('M', Quelle::sam, 0, std::move(meldung)));
}

std::uint64_t Serienjournal::letzteNr() const {
    std::lock_guard lock(m_mutex);
    return m_naechsteNr - 1;
}

bool Serienjournal::sichernAbwarten(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    const std::uint64_t bis = m_naechsteNr - 1;
    return m_gesichertCv.wait_for(lock, limit, [&] { return m_gesichert >= bis || m_schreibfehler; }) &&
           m_gesichert >= bis;
}

// --- The records -----------------------------------------------------------------------------

std::string Serienjournal::zeile(const Satz& satz) {
    std::string nutz;
    nutz += satz.art;
    nutz += '\t' + std::to_string(satz.nr) + '\t' + static_cast<char>(satz.quelle) + '\t' +
            std::to_string(satz.bezug) + '\t';
    maskiere(nutz, satz.ziel.dateiname);
    nutz += '\t' + std::to_string(satz.ziel.dateimodus) + '\t' + (satz.ziel.warnen ? '1' : '0') + '\t';
    maskiere(nutz, satz.ziel.kopfzeile);
    nutz += '\t';
    maskiere(nutz, satz.a);
    nutz += '\t';
    maskiere(nutz, satz.b);
    char summe[9];
    std::snprintf(summe, sizeof summe, "%08x", pruefsumme(nutz));
    return summe + ('\t' + nutz) + '\n';
}

std::optional<Serienjournal::Satz> Serienjournal::lesen(std::string_view zeile) {
    std::uint32_t summe = 0;
    if (zeile.size() < 10 || zeile[8] != '\t' ||
        std::from_chars(zeile.data(), zeile.data() + 8, summe, 16).ptr != zeile.data() + 8)
        return std::nullopt;
    const std::string_view nutz = zeile.substr(9);
    if (pruefsumme(nutz) != summe)
        return std::nullopt;
    std::string_view felder[kFelder];
    std::size_t anzahl = 0;
    for (std::size_t anfang = 0; anzahl < kFelder; ++anzahl) {
        const std::size_t ende = std::min(nutz.find('\t', anfang), nutz.size());
        felder[anzahl] = nutz.substr(anfang, ende - anfang);
        if (ende == nutz.size()) {
            ++anzahl;
            break;
        }
        anfang = ende + 1;
    }
    if (anzahl != kFelder || felder[0].size() != 1 || felder[2].size() != 1 || felder[6].size() != 1)
        return std::nullopt;
    Satz satz;
    satz.art = felder[0][0];
    satz.quelle = static_cast<Quelle>(felder[2][0]);
    if (std::string_view("ESVFMG").find(satz.art) == std::string_view::npos || !quellenart(felder[2][0]) ||
        std::string_view("01").find(felder[6][0]) == std::string_view::npos || !zahl(felder[1], satz.nr) ||
        !zahl(felder[3], satz.bezug) || !zahl(felder[5], satz.ziel.dateimodus))
        return std::nullopt;
    satz.ziel.warnen = felder[6][0] == '1';
    auto dateiname = demaskiere(felder[4]);
    auto kopfzeile = demaskiere(felder[7]);
    auto a = demaskiere(felder[8]);
    auto b = demaskiere(felder[9]);
    if (!dateiname || !kopfzeile || !a || !b)
        return std::nullopt;
    satz.ziel.dateiname = std::move(*dateiname);
    satz.ziel.kopfzeile = std::move(*kopfzeile);
    satz.a = std::move(*a);
    satz.b = std::move(*b);
    return satz;
}

void Serienjournal::anwenden(std::map<std::uint64_t, Satz>& lebend, Satz satz) {
    const auto verbrauchen = [&lebend](Quelle quelle, std::uint64_t bis) {
        if (!zeilenweise(quelle)) {
            if (const auto it = lebend.find(bis); it != lebend.end() && it->second.art == 'E')
                lebend.erase(it);
            return;
        }
        // A series of lines is made of every line of its machine before the one that ends it.
        for (auto it = lebend.begin(); it != lebend.end() && it->first <= bis;) {
            if (it->second.art == 'E' && it->second.quelle == quelle)
                it = lebend.erase(it);
            else
                ++it;
        }
    };
    switch (satz.art) {
    case 'S':
        verbrauchen(satz.quelle, satz.bezug);
        [[fallthrough]];
    case 'E':
    case 'M':
        lebend.insert_or_assign(satz.nr, std::move(satz));
        break;
    case 'V':
        verbrauchen(satz.quelle, satz.bezug);
        break;
    case 'F':
    case 'G':
        lebend.erase(satz.bezug);
        break;
    default:
        break;
    }
}

// --- The writer ------------------------------------------------------------------------------

void Serienjournal::schreiberLaeuft() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        const auto bereit = [this] { return m_ende || !m_schlange.empty(); };
        m_schreiberWartet = true;
        if (m_ausstehend.empty())
            m_arbeit.wait(lock, bereit);
        else
            m_arbeit.wait_for(lock, kNeuerVersuch, bereit);
        m_schreiberWartet = false;
        m_arbeit.wait_for(lock, m_optionen.sammelpause, [this] { return m_ende; });
        std::vector<Satz> stapel;
        stapel.swap(m_schlange);
        const bool ende = m_ende;
        const std::uint64_t bis = m_naechsteNr - 1;
        lock.unlock();

        for (Satz& satz : stapel) {
            m_ausstehend += zeile(satz);
            anwenden(m_lebend, std::move(satz));
        }
        const bool geschrieben = m_ausstehend.empty() || ausschreiben(m_ausstehend);
        if (geschrieben) {
            m_ausstehend.clear();
            if (m_groesse > m_optionen.verdichtenAb)
                verdichten();
        } else if (m_ausstehend.size() > kHoechstensAusstehend) {
            m_ausstehend.clear(); // told already; memory is not given to a file that stays away
        }

        lock.lock();
        m_schreibfehler = !geschrieben;
        if (geschrieben)
            m_gesichert = bis;
        m_gesichertCv.notify_all();
        if (ende && m_schlange.empty())
            return;
    }
}

bool Serienjournal::ausschreiben(const std::string& daten) {
    PlatformFile& datei = m_datei->datei;
    if (!datei.isOpen() && !oeffnen())
        return false;
    const int64_t anfang = datei.seekToEnd();
    std::size_t geschrieben = 0;
    FileError fehler = datei.writeAll(daten, geschrieben);
    if (!fehler)
        fehler = datei.flushToDisk();
    if (fehler) {
        // Taken back, so that the records are written whole with the next attempt.
        if (anfang >= 0)
            datei.truncate(anfang);
        fehlschlag("kann nicht geschrieben werden",
                   fehler.full ? "der Datentr\xC3\xA4ger ist voll" : fehler.text);
        return false;
    }
    m_groesse = static_cast<std::uint64_t>(anfang) + daten.size();
    m_gemeldet = false; // a new fault is told again
    return true;
}

// Rewrites the file with what is alive, so that it never grows without limit.
void Serienjournal::verdichten() {
    std::string daten;
    for (const auto& [nr, satz] : m_lebend)
        daten += zeile(satz);
    m_datei->datei = PlatformFile(); // the old one is replaced, not written
    const platform::ReplaceResult ersetzt = platform::replaceFile(m_optionen.pfad, daten);
    if (ersetzt.ok())
        m_groesse = daten.size();
    else
        m_optionen.verdichtenAb *= 2; // not tried again with every record
    oeffnen();
}

bool Serienjournal::oeffnen() {
    if (m_optionen.pfad.empty()) {
        fehlschlag("hat keinen Ordner", "der Ordner f\xC3\xBCr den Zustand des Programms ist nicht bekannt");
        return false;
    }
    if (const FileError fehler = platform::makeFolders(ordnerVon(m_optionen.pfad))) {
        fehlschlag("kann nicht angelegt werden", fehler.text);
        return false;
    }
    FileError fehler;
    PlatformFile datei = PlatformFile::openExclusive(m_optionen.pfad, PlatformFile::Create::always, fehler);
    if (!datei.isOpen()) {
        fehlschlag("kann nicht ge\xC3\xB6"
                   "ffnet werden",
                   fehler.held ? "ein anderes Trefflux benutzt es" : fehler.text);
        return false;
    }
    m_datei->datei = std::move(datei);
    return true;
}

void Serienjournal::fehlschlag(const std::string& was, const std::string& grund) {
    if (std::exchange(m_gemeldet, true))
        return;
    m_optionen.melden("Das Journal " + (m_optionen.pfad.empty() ? std::string() : m_optionen.pfad + " ") +
                      was + " (" + grund +
                      "). Trefflux arbeitet ohne es weiter, aber eine Serie, die bei einem Absturz "
                      "noch nicht in der Protokolldatei steht, ist dann verloren.");
}

// --- The process's journal -------------------------------------------------------------------

std::shared_ptr<Serienjournal> serienjournal() {
    std::lock_guard lock(g_journalMutex);
    return g_journal;
}

void setSerienjournal(std::shared_ptr<Serienjournal> journal) {
    std::shared_ptr<Serienjournal> alt;
    {
        std::lock_guard lock(g_journalMutex);
        alt = std::exchange(g_journal, std::move(journal));
    }
    // the old one is finished outside the lock
}

std::shared_ptr<Serienjournal> serienjournalStarten(std::string_view startverzeichnis, std::string_view port,
                                                    std::function<void(const std::string&)> melden) {
    Serienjournal::Optionen optionen;
    const std::string ordner = platform::stateFolder();
    if (!ordner.empty())
        optionen.pfad = ordner + kTrenner + Serienjournal::dateiname(startverzeichnis, port);
    optionen.melden = std::move(melden);
    auto journal = std::make_shared<Serienjournal>(std::move(optionen));
    setSerienjournal(journal);
    return journal;
}
