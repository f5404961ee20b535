#include "Uebertragungslog.h"

#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace {

// A clock the test moves.
struct Testuhr {
    std::atomic<std::int64_t> ms{1'780'000'000'000};
    Uebertragungslog::Zeitpunkt operator()() const {
        return Uebertragungslog::Zeitpunkt(std::chrono::milliseconds(ms.load()));
    }
};

struct Zeile {
    std::string port;
    char richtung;
    std::string text;
};

std::vector<std::string> zeilenVon(const std::string& pfad) {
    std::ifstream in(pfad, std::ios::binary);
    std::vector<std::string> zeilen;
    for (std::string z; std::getline(in, z);)
        zeilen.push_back(z);
    return zeilen;
}

// The lines of a log file without their time; every line must have the log's shape.
std::vector<Zeile> lesen(const std::string& pfad) {
    static const std::regex form(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (\S+) ([<>*]) (.*)$)");
    std::vector<Zeile> zeilen;
    for (const std::string& z : zeilenVon(pfad)) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(z, m, form)) << z;
        if (!m.empty())
            zeilen.push_back({m[1], m[2].str()[0], m[3]});
    }
    return zeilen;
}

Uebertragungslog::Optionen optionen(const ScratchDir& dir, Testuhr& uhr) {
    Uebertragungslog::Optionen o;
    o.ordner = dir.path();
    o.uhr = [&uhr] { return uhr(); };
    return o;
}

void schreiben(Uebertragungslog& log, Uebertragungslog::Richtung r, std::string_view bytes,
               const char* port = "ttyUSB0") {
    log.daten(port, r, bytes.data(), bytes.size());
}

} // namespace

TEST(Uebertragungslog, EveryByteValueIsWrittenUnambiguouslyAsPrintableAscii) {
    // What real machines send, as the log must show it.
    const std::vector<std::pair<std::string, std::string>> faelle = {
        {"\x02", "<STX>"},
        {"\x17", "<ETB>"},
        {"\x06", "<ACK>"},
        {"\x15", "<NAK>"},
        {"\x05", "<ENQ>"},
        {"\x16", "<SYN>"},
        {"\x1B", "<ESC>"},
        {std::string(1, '\0'), "<NUL>"},
        {"\r\n", "<CR><LF>"},
        {"<", "<x3C>"},
        {"\\", "<x5C>"},
        {"\xB2", "<xB2>"},
        {"\x7F", "<DEL>"},
        {"\xFF", "<xFF>"},
        {"LG 10.4;", "LG 10.4;"},
        {"~ >", "~ >"},
        {"\x80\xE4", "<x80><xE4>"},
    };
    for (const auto& [bytes, erwartet] : faelle)
        EXPECT_EQ(Uebertragungslog::maskiert(bytes), erwartet);

    // Each of the 256 values: printable ASCII only, and no two alike, so the bytes can be read back.
    std::set<std::string> gesehen;
    std::string alle;
    for (int b = 0; b < 256; ++b) {
        const std::string ein(1, static_cast<char>(b));
        const std::string aus = Uebertragungslog::maskiert(ein);
        for (const char c : aus)
            EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << b;
        EXPECT_TRUE(aus == ein || (aus.front() == '<' && aus.back() == '>' && aus.size() > 2)) << b;
        EXPECT_TRUE(gesehen.insert(aus).second) << b;
        alle += ein;
    }

    // One write of all of them: 200 bytes a line, nothing lost or reordered.
    ScratchDir dir("log");
    Testuhr uhr;
    {
        Uebertragungslog log(optionen(dir, uhr));
        schreiben(log, Uebertragungslog::zurMaschine, alle);
    }
    const auto zeilen = lesen(dir / "uebertragung.log");
    ASSERT_EQ(zeilen.size(), 2u);
    EXPECT_EQ(zeilen[0].text + zeilen[1].text, Uebertragungslog::maskiert(alle));
    EXPECT_EQ(zeilen[0].text, Uebertragungslog::maskiert(alle.substr(0, 200)));

    EXPECT_EQ(Uebertragungslog::dateinameFuerPort("ttyUSB0"), "uebertragung-ttyUSB0.log");
    EXPECT_EQ(Uebertragungslog::dateinameFuerPort("/dev/pts/3"), "uebertragung-_dev_pts_3.log");
}

TEST(Uebertragungslog, IdlePollingIsFoldedAndTheNextSeriesWrittenInFull) {
    ScratchDir dir("log");
    Testuhr uhr;
    auto o = optionen(dir, uhr);
    o.warteschlange = 1 << 16;
    Uebertragungslog log(o);
    schreiben(log, Uebertragungslog::ereignis,
              "ge\xC3\xB6"
              "ffnet, 9600 Baud, 8N1");
    // Two and a half minutes of a SAM without a series: ENQ every 10 ms, NAK 2 ms later.
    for (int i = 0; i < 15000; ++i) {
        schreiben(log, Uebertragungslog::zurMaschine, "\x05");
        uhr.ms += 2;
        schreiben(log, Uebertragungslog::vonDerMaschine, "\x15");
        uhr.ms += 8;
    }
    // Then a series, read byte by byte, and the program's acknowledgement.
    schreiben(log, Uebertragungslog::zurMaschine, "\x05");
    uhr.ms += 2;
    for (const char c : std::string("\x02"
                                    "LG;10.4\r\x17"
                                    "C"))
        schreiben(log, Uebertragungslog::vonDerMaschine, std::string(1, c));
    uhr.ms += 300;
    schreiben(log, Uebertragungslog::zurMaschine, "\x06");
    ASSERT_TRUE(log.schreibenAbwarten());

    const auto zeilen = lesen(log.pfad());
    std::vector<std::string> texte;
    for (const Zeile& z : zeilen)
        texte.push_back(std::string(1, z.richtung) + " " + z.text);
    const std::vector<std::string> erwartet = {
        "* ge\xC3\xB6"
        "ffnet, 9600 Baud, 8N1",
        "> <ENQ>",
        "< <NAK>",
        "* Austausch 6000-mal wiederholt: > <ENQ> < <NAK>", // at the latest every minute
        "* Austausch 6000-mal wiederholt: > <ENQ> < <NAK>",
        "* Austausch 2999-mal wiederholt: > <ENQ> < <NAK>", // when the exchange changes
        "> <ENQ>",
        "< <STX>LG;10.4<CR><ETB>C",
        "> <ACK>",
    };
    EXPECT_EQ(texte, erwartet);
}

TEST(Uebertragungslog, RotatesAtTheLimitKeepingThreeOlderFiles) {
    ScratchDir dir("log");
    Testuhr uhr;
    auto o = optionen(dir, uhr);
    o.hoechstgroesse = 2000;
    {
        Uebertragungslog log(o);
        for (int i = 0; i < 400; ++i) {
            log.ereignisMelden("ttyS0", "Eintrag " + std::to_string(i));
            if (i % 50 == 0) {
                ASSERT_TRUE(log.schreibenAbwarten());
            }
        }
    }
    // Newest last: .3, .2, .1, the file; each within the limit, the lines in order without a gap.
    std::vector<int> nummern;
    for (const char* endung : {".3", ".2", ".1", ""}) {
        const std::string pfad = dir / (std::string("uebertragung.log") + endung);
        std::ifstream in(pfad, std::ios::binary | std::ios::ate);
        ASSERT_TRUE(in) << pfad;
        EXPECT_LE(static_cast<long>(in.tellg()), 2000) << pfad;
        for (const Zeile& z : lesen(pfad))
            nummern.push_back(std::stoi(z.text.substr(z.text.find(' ') + 1)));
    }
    EXPECT_FALSE(std::ifstream(dir / "uebertragung.log.4"));
    ASSERT_FALSE(nummern.empty());
    EXPECT_EQ(nummern.back(), 399);
    for (std::size_t i = 1; i < nummern.size(); ++i)
        EXPECT_EQ(nummern[i], nummern[i - 1] + 1);
    EXPECT_GT(nummern.size(), 100u); // four files' worth, not one
}

TEST(Uebertragungslog, AFloodIsDroppedWithOneLineAndNothingWaits) {
    ScratchDir dir("log");
    Testuhr uhr;
    auto o = optionen(dir, uhr);
    o.warteschlange = 64;
    o.sammelpause = std::chrono::seconds(5); // the writer sleeps through the whole flood
    Uebertragungslog log(o);
    constexpr int Faeden = 4, Je = 10000;
    std::vector<std::thread> faeden;
    for (int f = 0; f < Faeden; ++f)
        faeden.emplace_back([&log, f] {
            const std::string port = "ttyUSB" + std::to_string(f);
            for (int i = 0; i < Je; ++i)
                log.daten(port, Uebertragungslog::vonDerMaschine, "\x02\x17", 2);
        });
    for (std::thread& t : faeden)
        t.join(); // returns without the writer having written anything
    ASSERT_TRUE(log.schreibenAbwarten());

    const auto zeilen = lesen(log.pfad());
    int verworfenZeilen = 0;
    for (const Zeile& z : zeilen) {
        if (z.richtung == '*') {
            ++verworfenZeilen;
            EXPECT_EQ(z.port, "-");
            EXPECT_EQ(z.text, std::to_string(Faeden * Je - 64) +
                                  " Eintr\xC3\xA4ge verworfen: das Protokoll kam nicht nach");
        }
    }
    EXPECT_EQ(verworfenZeilen, 1);
}

TEST(Uebertragungslog, AnUnwritableFolderIsReportedOnceAndIgnored) {
    ScratchDir dir("log");
    std::ofstream(dir / "datei") << "kein Ordner";
    Testuhr uhr;
    auto o = optionen(dir, uhr);
    o.ordner = dir / "datei/trefflux"; // a file stands where a folder must be made
    std::vector<std::string> meldungen;
    std::mutex mutex;
    o.melden = [&](const std::string& text) {
        std::lock_guard lock(mutex);
        meldungen.push_back(text);
    };
    Uebertragungslog log(o);
    for (int runde = 0; runde < 3; ++runde) {
        schreiben(log, Uebertragungslog::zurMaschine, "\x05");
        ASSERT_TRUE(log.schreibenAbwarten());
    }
    std::lock_guard lock(mutex);
    ASSERT_EQ(meldungen.size(), 1u);
    EXPECT_NE(meldungen[0].find(dir / "datei/trefflux/uebertragung.log"), std::string::npos) << meldungen[0];
    EXPECT_NE(meldungen[0].find("Systemfehler 20: nicht vorhanden"), std::string::npos) << meldungen[0];
}
