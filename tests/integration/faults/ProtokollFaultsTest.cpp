// The protocol file on a file system that fails: a full device, a file that reaches its size
// limit part-way, a folder that cannot take the file, a file another process holds. In every
// case the user is told once, nothing is half-written, the series is kept, and the kept series
// reach the file first once the fault is gone: with the next series, or by the retry timer.

#include "PermissionsEnforced.h"
#include "ScratchDir.h"

#include "PlainMainThread.h"
#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "ScriptedDesktop.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char* const kKannNichtOeffnen = "Kann Protokolldatei nicht \xF6"
                                      "ffnen";
const std::string kSerie = "10,4;123,4;\n9,7; 5,0;\n"; // clipboard text; the file adds "\n"

class ProtokollFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        liste.appendStandard(dir.path());
        Profil& p = liste.aktiv();
        p.Dateimodus = 0;
        p.Header = 0;
        p.Zehntelringe = 1;
        p.Trennzeichen = {59, 10, 10};
        p.Datensatz = {2, 3, -1, -1, -1, -1};
        datei = dir / "Protokoll1.rls";
        ziel(datei);

        serie.Scheibentyp = "LG";
        serie.Teilerfaktor = "1";
        serie.Schusszahl = "2";
        TSchussDatensatz a, b;
        a.Ringwert = "104";
        a.Teiler = "1234";
        b.Ringwert = "097";
        b.Teiler = "00050";
        serie.Schuesse = {a, b};
    }

    void ziel(const std::string& pfad) { setText(liste.aktiv().Dateiname, pfad); }

    // Writes one series and checks that the writer is idle again afterwards.
    void schreibe() {
        ausgabe.WriteSeries(serie);
        EXPECT_FALSE(ausgabe.busy());
    }
    // The message for a file that cannot be opened, up to the reason.
    static std::string nichtOeffnen(const std::string& pfad, const std::string& grund) {
        return std::string(kKannNichtOeffnen) + "\n\r" + pfad + "\n\r" + grund + "\n\r";
    }

    ScratchDir dir;
    std::string datei;
    ScriptedDesktop desk;
    Profilliste liste;
    TProtokollAusgabe ausgabe{liste};
    TSerienDatensatz serie;
};

TEST_F(ProtokollFaults, FullDeviceIsReportedAndTheNextSeriesIsWrittenElsewhere) {
    ziel("/dev/full");
    schreibe();
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_NE(desk.boxes[0].text.find("Der Datentr\xE4ger ist voll."), std::string::npos);
    EXPECT_EQ(desk.boxes[0].title, "Fehler");
    // The series is not lost: the clipboard holds it whole.
    ASSERT_EQ(desk.clipboard.size(), 1u);
    EXPECT_EQ(desk.clipboard[0], kSerie);
    EXPECT_EQ(ausgabe.queued(), 1u);

    ziel(datei); // the kept series first, then the new one
    schreibe();
    EXPECT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(readFile(datei), kSerie + "\n" + kSerie + "\n");
    EXPECT_EQ(ausgabe.queued(), 0u);
}

// A file that can take only a few more bytes (the disk fills up during the write): the part
// written is taken back, so the results program never reads half a series.
TEST_F(ProtokollFaults, SeriesThatDoesNotFitIsTakenBackWhole) {
    schreibe();
    const std::string erste = readFile(datei);
    ASSERT_EQ(erste, kSerie + "\n");

    struct sigaction ignorieren {
    }, alt{};
    ignorieren.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignorieren, &alt), 0);
    rlimit grenze{}, vorher{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &vorher), 0);
    grenze = vorher;
    grenze.rlim_cur = erste.size() + 5;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &grenze), 0);
    schreibe();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &vorher), 0);
    ASSERT_EQ(::sigaction(SIGXFSZ, &alt, nullptr), 0);

    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].title, "Fehler");
    EXPECT_EQ(readFile(datei), erste);
    EXPECT_EQ(desk.clipboard.back(), kSerie);

    EXPECT_EQ(ausgabe.queued(), 1u);

    schreibe();
    EXPECT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(readFile(datei), erste + kSerie + "\n" + kSerie + "\n");
}

// Each fault a club meets: told once with the file and the system's reason, both series in
// the clipboard and kept, and written first, in order, by the next series once the fault is
// gone. Root, too, is held to the permissions here.
TEST_F(ProtokollFaults, EachFaultKeepsTheSeriesUntilItIsGone) {
    int gehalten = -1;
    const struct Fall {
        const char* name;
        std::function<void(const std::string&ordner, const std::string&pfad)> stoeren, beheben;
        std::string grund;
    } faelle[] = {
        {"folder missing", [](const std::string&, const std::string&) {},
         [](const std::string& ordner, const std::string&) { ::mkdir(ordner.c_str(), 0700); },
         "Systemfehler 2: nicht vorhanden"},
        {"a file in the folder's place",
         [](const std::string& ordner, const std::string&) { writeFile(ordner, "kein Ordner"); },
         [](const std::string& ordner, const std::string&) {
             ::unlink(ordner.c_str());
             ::mkdir(ordner.c_str(), 0700);
         },
         "Systemfehler 20: nicht vorhanden"},
        {"read-only folder",
         [](const std::string& ordner, const std::string&) { ::mkdir(ordner.c_str(), 0500); },
         [](const std::string& ordner, const std::string&) { ::chmod(ordner.c_str(), 0700); },
         "Systemfehler 13: Zugriff verweigert"},
        {"read-only file",
         [](const std::string& ordner, const std::string& pfad) {
             ::mkdir(ordner.c_str(), 0700);
             writeFile(pfad, "");
             ::chmod(pfad.c_str(), 0444);
         },
         [](const std::string&, const std::string& pfad) { ::chmod(pfad.c_str(), 0644); },
         "Systemfehler 13: Zugriff verweigert"},
        {"a folder in the file's place",
         [](const std::string& ordner, const std::string& pfad) {
             ::mkdir(ordner.c_str(), 0700);
             ::mkdir(pfad.c_str(), 0700);
         },
         [](const std::string&, const std::string& pfad) { ::rmdir(pfad.c_str()); }, "Systemfehler 21"},
        {"held by another program",
         [&gehalten](const std::string& ordner, const std::string& pfad) {
             ::mkdir(ordner.c_str(), 0700);
             gehalten = ::open(pfad.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
             ::flock(gehalten, LOCK_EX);
         },
         [&gehalten](const std::string&, const std::string&) { ::close(gehalten); },
         "Die Datei wird gerade von einem anderen Programm benutzt."},
    };
    PermissionsEnforced rechte;
    ASSERT_TRUE(rechte.active());
    int nummer = 0;
    for (const Fall& fall : faelle) {
        SCOPED_TRACE(fall.name);
        const std::string ordner = dir / ("fall" + std::to_string(++nummer));
        const std::string pfad = ordner + "/Protokoll1.rls";
        ziel(pfad);
        desk.boxes.clear();
        desk.clipboard.clear();
        fall.stoeren(ordner, pfad);

        schreibe();
        schreibe();
        ASSERT_EQ(desk.boxes.size(), 1u);
        EXPECT_EQ(desk.boxes[0].text.rfind(nichtOeffnen(pfad, fall.grund), 0), 0u) << desk.boxes[0].text;
        EXPECT_EQ(desk.boxes[0].flags, Mb::Ok | Mb::IconError | Mb::SystemModal);
        EXPECT_EQ(desk.clipboard, (std::vector<std::string>{kSerie, kSerie}));
        EXPECT_EQ(ausgabe.queued(), 2u);

        fall.beheben(ordner, pfad);
        schreibe();
        EXPECT_EQ(readFile(pfad), kSerie + "\n" + kSerie + "\n" + kSerie + "\n");
        EXPECT_EQ(ausgabe.queued(), 0u);
        EXPECT_EQ(desk.boxes.size(), 1u);
        EXPECT_EQ(desk.clipboard.size(), 3u);
    }
}

// The message box runs an event loop, and the retry runs in it: the kept series reaches the
// file while the box is still open, as soon as the folder is there.
TEST_F(ProtokollFaults, KeptSeriesIsWrittenByTheRetryWhileTheMessageIsOpen) {
    PlainMainThread schleife;
    const std::string ordner = dir / "Protokolle";
    ziel(ordner + "/Protokoll1.rls");
    std::vector<std::string> imOffenenFenster;
    desk.whileOpen = [&] {
        schleife.advance(TProtokollAusgabe::Wiederholungsabstand); // still missing: kept, not told again
        EXPECT_EQ(desk.boxes.size(), 1u);
        ASSERT_EQ(::mkdir(ordner.c_str(), 0700), 0);
        schleife.advance(TProtokollAusgabe::Wiederholungsabstand - std::chrono::milliseconds(1));
        imOffenenFenster.push_back(readFile(ordner + "/Protokoll1.rls"));
        EXPECT_TRUE(desk.closed.empty());
        schleife.advance(std::chrono::milliseconds(1));
        imOffenenFenster.push_back(readFile(ordner + "/Protokoll1.rls"));
    };
    schreibe();
    EXPECT_EQ(imOffenenFenster, (std::vector<std::string>{"", kSerie + "\n"}));
    EXPECT_EQ(desk.closed, std::vector<std::string>{desk.boxes[0].text}); // the message no longer holds
    EXPECT_EQ(ausgabe.queued(), 0u);
    EXPECT_EQ(schleife.timersPending(), 0u); // nothing kept, nothing retried

    desk.whileOpen = {};
    schreibe();
    EXPECT_EQ(readFile(ordner + "/Protokoll1.rls"), kSerie + "\n" + kSerie + "\n");
    EXPECT_EQ(desk.clipboard.size(), 2u);
}

// Another process holds the file (a results program reading it): the series is refused with the
// message, and the next one is written once the other process lets go.
TEST_F(ProtokollFaults, FileLockedByAnotherProcessIsReportedUntilReleased) {
    for (const int32_t modus : {0, 1}) {
        SCOPED_TRACE(modus);
        liste.aktiv().Dateimodus = modus;
        liste.aktiv().Warnen = 1;
        ::unlink(datei.c_str());
        desk.boxes.clear();
        desk.clipboard.clear();
        desk.warnings.clear();

        int bereit[2], los[2];
        ASSERT_EQ(::pipe(bereit), 0);
        ASSERT_EQ(::pipe(los), 0);
        const pid_t kind = ::fork();
        ASSERT_GE(kind, 0);
        if (kind == 0) {
            const int fd = ::open(datei.c_str(), O_RDWR | O_CREAT, 0600);
            const bool gehalten = fd >= 0 && ::flock(fd, LOCK_EX) == 0;
            char c = gehalten ? 'j' : 'n';
            (void)!::write(bereit[1], &c, 1);
            (void)!::read(los[0], &c, 1); // until the parent is done
            ::_exit(0);
        }
        char c = 0;
        ASSERT_EQ(::read(bereit[0], &c, 1), 1);
        ASSERT_EQ(c, 'j');

        schreibe();
        ASSERT_EQ(desk.boxes.size(), 1u);
        EXPECT_EQ(desk.boxes[0].text.rfind(
                      nichtOeffnen(datei, "Die Datei wird gerade von einem anderen Programm benutzt."), 0),
                  0u);
        EXPECT_EQ(desk.clipboard.size(), 1u);
        EXPECT_EQ(ausgabe.queued(), 1u);
        EXPECT_EQ(readFile(datei), "");
        EXPECT_TRUE(desk.warnings.empty()); // a held file counts as absent for the warning

        ASSERT_EQ(::write(los[1], "x", 1), 1);
        int status = 0;
        ASSERT_EQ(::waitpid(kind, &status, 0), kind);
        for (int fd : {bereit[0], bereit[1], los[0], los[1]})
            ::close(fd);

        // The kept series first, then the new one; in the one-record mode each as any series:
        // each finds a file (the one the other process left, then the kept one's record) and
        // asks first (answered "overwrite" here).
        schreibe();
        EXPECT_EQ(desk.boxes.size(), 1u);
        EXPECT_EQ(readFile(datei), modus == 0 ? kSerie + "\n" + kSerie + "\n" : kSerie + "\n");
        EXPECT_EQ(desk.warnings.size(), modus == 0 ? 0u : 2u);
        EXPECT_EQ(desk.clipboard.size(), 2u);
        EXPECT_EQ(ausgabe.queued(), 0u);
    }
}

} // namespace
