// The protocol file on a file system that fails: a full device, a file that reaches its size
// limit part-way, a folder that cannot take the file, a file another process holds. In every
// case the user is told, nothing is half-written, and the next series is written once the
// fault is gone.

#include "FaultDir.h"
#include "PermissionsEnforced.h"

#include "Profilliste.h"
#include "ScriptedDesktop.h"
#include "TProtokollAusgabe.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
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
        EXPECT_EQ(ausgabe.queued(), 0u);
    }

    FaultDir dir;
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

    ziel(datei);
    schreibe();
    EXPECT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(readFile(datei), kSerie + "\n");
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

    schreibe();
    EXPECT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(readFile(datei), erste + kSerie + "\n");
}

TEST_F(ProtokollFaults, FolderThatCannotTakeTheFileIsReportedUntilItCan) {
    // A path below a regular file cannot be created, for root too.
    const std::string ordner = dir / "Protokolle";
    writeFile(ordner, "kein Ordner");
    ziel(ordner + "/Protokoll1.rls");
    schreibe();
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].text, kKannNichtOeffnen);
    EXPECT_EQ(desk.boxes[0].flags, Mb::Ok | Mb::SystemModal);
    EXPECT_TRUE(desk.clipboard.empty()); // unchanged

    ASSERT_EQ(::unlink(ordner.c_str()), 0);
    ASSERT_EQ(::mkdir(ordner.c_str(), 0700), 0);
    schreibe();
    EXPECT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(readFile(ordner + "/Protokoll1.rls"), kSerie + "\n");

    // A read-only folder (root, too, is held to its permissions here).
    const std::string nurLesen = dir / "nurLesen";
    ASSERT_EQ(::mkdir(nurLesen.c_str(), 0500), 0);
    ziel(nurLesen + "/Protokoll1.rls");
    {
        PermissionsEnforced rechte;
        ASSERT_TRUE(rechte.active());
        schreibe();
    }
    ASSERT_EQ(desk.boxes.size(), 2u);
    EXPECT_EQ(desk.boxes[1].text, kKannNichtOeffnen);
    ASSERT_EQ(::chmod(nurLesen.c_str(), 0700), 0);
    schreibe();
    EXPECT_EQ(readFile(nurLesen + "/Protokoll1.rls"), kSerie + "\n");
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
        EXPECT_EQ(desk.boxes[0].text, kKannNichtOeffnen);
        EXPECT_TRUE(desk.clipboard.empty());
        EXPECT_EQ(readFile(datei), "");
        EXPECT_TRUE(desk.warnings.empty()); // a held file counts as absent for the warning

        ASSERT_EQ(::write(los[1], "x", 1), 1);
        int status = 0;
        ASSERT_EQ(::waitpid(kind, &status, 0), kind);
        for (int fd : {bereit[0], bereit[1], los[0], los[1]})
            ::close(fd);

        schreibe();
        EXPECT_EQ(desk.boxes.size(), 1u);
        EXPECT_EQ(readFile(datei), kSerie + "\n");
        ASSERT_EQ(desk.clipboard.size(), 1u);
    }
}

} // namespace
