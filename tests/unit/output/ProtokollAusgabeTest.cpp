#include "ProtokollAusgabe.h"

#include "Profilliste.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"
#include "Trennzeichen.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Schuesse = std::vector<std::pair<std::string, std::string>>; // ring value, divisor

TSerienDatensatz serie(const Schuesse& schuesse) {
    TSerienDatensatz s;
    s.Scheibentyp = "LG";
    s.Teilerfaktor = "1";
    s.Schusszahl = std::to_string(schuesse.size());
    for (const auto& [ring, teiler] : schuesse) {
        TSchussDatensatz schuss;
        schuss.Ringwert = ring;
        schuss.Teiler = teiler;
        s.Schuesse.push_back(schuss);
    }
    return s;
}

// The example series: two shots, 10.4 / 123.4 and 9.7 / 5.0.
const Schuesse beispiel{{"104", "01234"}, {"097", "00050"}};
const std::string beispielZwischenablage = "10,4;123,4;\n9,7; 5,0;\n";
const std::string beispielDatei = beispielZwischenablage + "\n";
const std::string kannNichtOeffnen = "Kann Protokolldatei nicht \xF6"
                                     "ffnen";

std::string lies(const std::string& pfad) {
    std::ifstream in(pfad, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void schreib(const std::string& pfad, const std::string& inhalt) {
    std::ofstream(pfad, std::ios::binary) << inhalt;
}

// Holds an exclusive flock on a file from a child process until destroyed.
class FremdeSperre {
public:
    explicit FremdeSperre(const std::string& pfad) {
        int bereit[2], ende[2];
        if (::pipe(bereit) != 0 || ::pipe(ende) != 0)
            std::abort();
        m_kind = ::fork();
        if (m_kind == 0) {
            ::close(bereit[0]);
            ::close(ende[1]);
            const int fd = ::open(pfad.c_str(), O_RDWR);
            const char ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
            if (::write(bereit[1], &ok, 1) != 1)
                ::_exit(2);
            char c;
            while (::read(ende[0], &c, 1) > 0) {
            }
            ::_exit(0);
        }
        ::close(bereit[1]);
        ::close(ende[0]);
        m_ende = ende[1];
        char ok = 'n';
        m_gesperrt = ::read(bereit[0], &ok, 1) == 1 && ok == 'y';
        ::close(bereit[0]);
    }
    ~FremdeSperre() {
        ::close(m_ende); // the child sees end of file and exits
        int status = 0;
        ::waitpid(m_kind, &status, 0);
    }
    bool gesperrt() const { return m_gesperrt; }

private:
    pid_t m_kind = -1;
    int m_ende = -1;
    bool m_gesperrt = false;
};

class ProtokollAusgabe : public ::testing::Test {
protected:
    void SetUp() override {
        liste.appendStandard(m_ordner.path());
        p().Datensatz = {2, 3, -1, -1, -1, -1}; // "Ringwert", then "Teiler"
        datei = m_ordner / "Protokoll1.rls";
        ASSERT_EQ(text(p().Dateiname), datei);
    }

    Profil& p() { return liste.aktiv(); }
    void einzelsatz(bool warnen) {
        p().Dateimodus = 1;
        p().Warnen = warnen ? 1 : 0;
    }

    ScratchDir m_ordner{"output"};
    std::string datei;
    ScriptedDesktop desk;
    Profilliste liste;
    TProtokollAusgabe ausgabe{liste};
};

TEST_F(ProtokollAusgabe, ExampleSeriesIsWrittenByteForByteAndAppended) {
    ausgabe.WriteSeries(serie(beispiel));
    EXPECT_EQ(lies(datei), beispielDatei);
    ASSERT_EQ(desk.clipboard.size(), 1u);
    EXPECT_EQ(desk.clipboard[0], beispielZwischenablage);
    EXPECT_EQ(ausgabe.Zwischenablage(), beispielZwischenablage);

    ausgabe.WriteSeries(serie({{"109", "7"}}));
    EXPECT_EQ(lies(datei), beispielDatei + "10,9; 0,7;\n\n");
    EXPECT_EQ(desk.clipboard.back(), "10,9; 0,7;\n");
    EXPECT_TRUE(desk.boxes.empty());
    EXPECT_FALSE(ausgabe.busy());
}

TEST_F(ProtokollAusgabe, OutputDoesNotDependOnTheNumericLocale) {
    const std::string vorher = std::setlocale(LC_NUMERIC, nullptr);
    // Where de_DE.UTF-8 is not installed this keeps what the system gives; the output must
    // be the same either way.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    p().Header = 1;
    p().Datensatz = {0, 1, 2, 3, 4, 5};
    TSerienDatensatz s = serie({{"104", "12345"}, {"097", "00050"}});
    s.Schuesse[0].XKoordinate = "-1.5";
    s.Schuesse[0].YKoordinate = "2";
    ausgabe.WriteSeries(s);
    std::setlocale(LC_NUMERIC, vorher.c_str());
    EXPECT_EQ(lies(datei), "Scheibentyp;Teilerfaktor;Ringwert;Teiler;X-Koordinate;Y-Koordinate;\n\n"
                           "LG;1;10,4;1234,5;-1.5;2;\n"
                           "LG;1;9,7; 5,0;;;\n\n");
}

TEST_F(ProtokollAusgabe, HeaderOnlyOnANewFileWithTheTitlesShownInTheEditor) {
    p().Header = 1;
    std::vector<std::string> titel{"Teiler", "Ringwert"}; // not yet applied to the profile
    ausgabe.setKopfzeilenquelle([&] { return titel; });
    ausgabe.WriteSeries(serie(beispiel));
    ausgabe.WriteSeries(serie(beispiel));
    EXPECT_EQ(lies(datei), "Teiler;Ringwert;\n\n" + beispielDatei + beispielDatei);
    for (const std::string& c : desk.clipboard)
        EXPECT_EQ(c, beispielZwischenablage); // the header never reaches the clipboard

    // A file that is there but empty is not new: no header.
    std::filesystem::remove(datei);
    schreib(datei, "");
    ausgabe.WriteSeries(serie(beispiel));
    EXPECT_EQ(lies(datei), beispielDatei);
}

TEST_F(ProtokollAusgabe, OneRecordModeReplacesTheFileAfterAskingWhenTheWarningIsOn) {
    einzelsatz(false);
    p().Header = 1;
    schreib(datei, "alter Datensatz, viel l\xE4nger als der neue\n");
    ausgabe.WriteSeries(serie(beispiel));
    EXPECT_EQ(lies(datei), "Ringwert;Teiler;\n\n" + beispielDatei);
    EXPECT_TRUE(desk.warnings.empty());

    einzelsatz(true);
    p().Header = 0;
    desk.warningAnswers = {mrIgnore};
    ausgabe.WriteSeries(serie({{"100", "1"}}));
    EXPECT_EQ(desk.warnings, std::vector<std::string>{datei});
    EXPECT_EQ(lies(datei), "10,0; 0,1;\n\n");
    EXPECT_EQ(desk.clipboard.back(), "10,0; 0,1;\n");

    std::filesystem::remove(datei);
    ausgabe.WriteSeries(serie(beispiel)); // no file: no warning
    EXPECT_EQ(desk.warnings.size(), 1u);
}

TEST_F(ProtokollAusgabe, RetryWaitsUntilTheResultsProgramTookTheFile) {
    einzelsatz(true);
    schreib(datei, "noch nicht abgeholt");
    // Closing the warning any other way (0) asks again, as "&Wiederholen" does.
    desk.warningAnswers = {0, mrRetry, mrRetry};
    int gezeigt = 0;
    desk.whileOpen = [&] {
        if (++gezeigt == 2)
            std::filesystem::remove(datei); // the results program takes the record
    };
    ausgabe.WriteSeries(serie(beispiel));
    EXPECT_EQ(desk.warnings.size(), 2u);
    EXPECT_EQ(lies(datei), beispielDatei);
    EXPECT_EQ(desk.clipboard, std::vector<std::string>{beispielZwischenablage});
}

TEST_F(ProtokollAusgabe, AbortLeavesFileAndClipboardUntouched) {
    einzelsatz(true);
    schreib(datei, "noch nicht abgeholt");
    desk.warningAnswers = {mrRetry, mrAbort};
    ausgabe.WriteSeries(serie(beispiel));
    EXPECT_EQ(desk.warnings.size(), 2u);
    EXPECT_EQ(lies(datei), "noch nicht abgeholt");
    EXPECT_TRUE(desk.clipboard.empty());
    EXPECT_TRUE(desk.boxes.empty());
    EXPECT_FALSE(ausgabe.busy());
}

// The answer of a program without a window: the record not taken yet is never overwritten; the
// series wait in order, and it is said once, not once per series.
TEST_F(ProtokollAusgabe, KeepAnswerHoldsTheSeriesInOrderUntilTheFileIsTakenAndSaysSoOnce) {
    einzelsatz(true);
    schreib(datei, "noch nicht abgeholt");
    desk.warningAnswers = {mrKeep, mrKeep, mrKeep};
    ausgabe.WriteSeries(serie({{"101", "1"}}));
    ausgabe.WriteSeries(serie({{"102", "2"}}));
    EXPECT_EQ(lies(datei), "noch nicht abgeholt");
    EXPECT_EQ(ausgabe.queued(), 2u);
    ASSERT_EQ(desk.boxes.size(), 1u);

    for (const char* erwartet : {"10,1; 0,1;\n\n", "10,2; 0,2;\n\n"}) {
        std::filesystem::remove(datei); // the results program takes the record
        ausgabe.Wiederholen();
        EXPECT_EQ(lies(datei), erwartet);
    }
    EXPECT_EQ(ausgabe.queued(), 0u);
    EXPECT_EQ(desk.warnings.size(), 3u);
    EXPECT_EQ(desk.boxes.size(), 1u);
}

TEST_F(ProtokollAusgabe, EmptyRecordListWritesOnlyShotSeparators) {
    p().Datensatz = {-1, -1, -1, -1, -1, -1};
    ausgabe.WriteSeries(serie(Schuesse(10, {"104", "1234"})));
    EXPECT_EQ(lies(datei), std::string(11, '\n'));
    EXPECT_EQ(desk.clipboard.back(), std::string(10, '\n'));

    std::filesystem::remove(datei);
    ausgabe.WriteSeries(serie({})); // no shots: only the series separator, empty clipboard text
    EXPECT_EQ(lies(datei), "\n");
    EXPECT_EQ(desk.clipboard.back(), "");
}

TEST_F(ProtokollAusgabe, SeparatorCodesZeroCrLfAndNone) {
    p().Trennzeichen = {0, TrennCrLf, 10};
    ausgabe.WriteSeries(serie(beispiel));
    using namespace std::string_literals;
    EXPECT_EQ(lies(datei), "10,4\0"s
                           "123,4\0"s
                           "\r\n9,7\0"s
                           " 5,0\0"s
                           "\r\n\n");
    EXPECT_EQ(ausgabe.Zwischenablage(), "10,4\0"s
                                        "123,4\0"s
                                        "\r\n9,7\0"s
                                        " 5,0\0"s
                                        "\r\n");
    EXPECT_EQ(desk.clipboard.back(), "10,4"); // the clipboard text ends at its first zero byte

    std::filesystem::remove(datei);
    p().Trennzeichen = {TrennKeins, TrennKeins, TrennKeins};
    ausgabe.WriteSeries(serie(beispiel));
    EXPECT_EQ(lies(datei), "10,4123,49,7 5,0");
    EXPECT_EQ(desk.clipboard.back(), "10,4123,49,7 5,0");
}

// A name that cannot work is never tried: each fault is told once, with the file and the
// reason, every series goes into the clipboard and is kept, and the kept series reach the file
// first, in order, once the name is mended.
TEST_F(ProtokollAusgabe, NameThatCannotWorkIsToldOncePerFaultAndTheSeriesKept) {
    const struct {
        std::string name;
        std::string grund;
    } faelle[] = {
        {"", "Es ist kein Dateiname eingetragen."},
        {"C:\\Verein\\Protokoll1.rls", "Das ist ein Windows-Pfad"},
        {m_ordner / "fehlt/Protokoll1.rls", "Systemfehler 2: nicht vorhanden"},
    };
    std::vector<std::string> erwartet;
    for (std::size_t i = 0; i < std::size(faelle); ++i) {
        SCOPED_TRACE(faelle[i].name);
        setText(p().Dateiname, faelle[i].name);
        for (const char* ring : {"101", "102"}) {
            ausgabe.WriteSeries(serie({{ring, std::to_string(i)}}));
            erwartet.push_back(desk.clipboard.back());
        }
        ASSERT_EQ(desk.boxes.size(), i + 1);
        const auto& box = desk.boxes.back();
        EXPECT_EQ(box.title, "Fehler");
        EXPECT_EQ(box.flags, unsigned{Mb::Ok | Mb::IconError | Mb::SystemModal});
        EXPECT_EQ(box.text.rfind(kannNichtOeffnen + (faelle[i].name.empty() ? "" : "\n\r" + faelle[i].name) +
                                     "\n\r" + faelle[i].grund,
                                 0),
                  0u)
            << box.text;
        EXPECT_NE(box.text.find("Zwischenablage"), std::string::npos);
        EXPECT_EQ(ausgabe.queued(), 2 * (i + 1));
    }
    EXPECT_FALSE(std::filesystem::exists("C:\\Verein\\Protokoll1.rls")); // no file of the literal name
    EXPECT_EQ(desk.clipboard.size(), 6u);

    setText(p().Dateiname, datei);
    ausgabe.WriteSeries(serie(beispiel));
    std::string alle;
    for (const std::string& c : erwartet)
        alle += c + "\n";
    EXPECT_EQ(lies(datei), alle + beispielDatei);
    EXPECT_EQ(desk.clipboard.size(), 7u); // the kept series are not placed a second time
    EXPECT_EQ(ausgabe.queued(), 0u);
    EXPECT_EQ(desk.boxes.size(), 3u);
}

TEST_F(ProtokollAusgabe, FileHeldByAnotherProgramIsNeitherWrittenNorTruncatedButKept) {
    schreib(datei, "gehalten");
    {
        FremdeSperre sperre(datei);
        ASSERT_TRUE(sperre.gesperrt());

        ausgabe.WriteSeries(serie(beispiel));
        ASSERT_EQ(desk.boxes.size(), 1u);
        EXPECT_EQ(
            desk.boxes[0].text.rfind(kannNichtOeffnen + "\n\r" + datei +
                                         "\n\rDie Datei wird gerade von einem anderen Programm benutzt.",
                                     0),
            0u);

        // With the warning on, a held file counts as absent; creating it then fails as well.
        einzelsatz(true);
        ausgabe.WriteSeries(serie(beispiel));
        EXPECT_TRUE(desk.warnings.empty());
        EXPECT_EQ(desk.boxes.size(), 1u); // the same fault
        EXPECT_EQ(lies(datei), "gehalten");
        EXPECT_EQ(desk.clipboard.size(), 2u);
        ausgabe.Wiederholen();
        EXPECT_EQ(ausgabe.queued(), 2u);
    }
    p().Dateimodus = 0;
    ausgabe.Wiederholen();
    EXPECT_EQ(lies(datei), "gehalten" + beispielDatei + beispielDatei);
    EXPECT_EQ(ausgabe.queued(), 0u);
}

// In the one-record mode the kept series go to the file one at a time, each as any series:
// the second one finds the first one's record and waits for the results program to take it.
TEST_F(ProtokollAusgabe, KeptSeriesInOneRecordModeAreWrittenOneAtATimeWithTheWarning) {
    einzelsatz(true);
    setText(p().Dateiname, m_ordner / "fehlt/x.rls");
    ausgabe.WriteSeries(serie({{"101", "1"}}));
    ausgabe.WriteSeries(serie({{"102", "2"}}));
    ASSERT_EQ(ausgabe.queued(), 2u);

    setText(p().Dateiname, datei);
    desk.warningAnswers = {mrRetry};
    std::vector<std::string> abgeholt;
    desk.whileOpen = [&] { // the results program takes the record while the warning is open
        abgeholt.push_back(lies(datei));
        std::filesystem::remove(datei);
    };
    ausgabe.Wiederholen();
    EXPECT_EQ(abgeholt, std::vector<std::string>{"10,1; 0,1;\n\n"});
    EXPECT_EQ(desk.warnings.size(), 1u);
    EXPECT_EQ(lies(datei), "10,2; 0,2;\n\n");
    EXPECT_EQ(desk.clipboard, (std::vector<std::string>{"10,1; 0,1;\n", "10,2; 0,2;\n"}));
    EXPECT_EQ(ausgabe.queued(), 0u);
}

// A modal dialog keeps delivering machine data: a series that arrives meanwhile is written
// after the current one, with its own warning and clipboard update.
TEST_F(ProtokollAusgabe, SeriesArrivingDuringTheWarningIsWrittenAfterwards) {
    einzelsatz(true);
    schreib(datei, "alt");
    bool geliefert = false;
    desk.whileOpen = [&] {
        if (std::exchange(geliefert, true))
            return;
        EXPECT_TRUE(ausgabe.busy());
        ausgabe.WriteSeries(serie({{"088", "00999"}}));
        EXPECT_EQ(ausgabe.queued(), 1u);
    };
    ausgabe.WriteSeries(serie(beispiel));
    EXPECT_EQ(desk.warnings.size(), 2u); // the second series finds the first one's file
    EXPECT_EQ(desk.clipboard, (std::vector<std::string>{beispielZwischenablage, "8,8;99,9;\n"}));
    EXPECT_EQ(lies(datei), "8,8;99,9;\n\n");
    EXPECT_EQ(ausgabe.queued(), 0u);
}

TEST_F(ProtokollAusgabe, SeriesArrivingDuringAnErrorBoxIsWrittenAfterTheKeptOne) {
    setText(p().Dateiname, m_ordner / "fehlt/x.rls");
    std::vector<TSerienDatensatz> geliefert{serie({{"101", "1"}}), serie({{"102", "2"}})};
    desk.whileOpen = [&] {
        setText(p().Dateiname, datei); // the user mends the file name meanwhile
        for (const auto& s : std::exchange(geliefert, {}))
            ausgabe.WriteSeries(s);
    };
    ausgabe.WriteSeries(serie(beispiel));
    EXPECT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(lies(datei), beispielDatei + "10,1; 0,1;\n\n10,2; 0,2;\n\n");
    EXPECT_EQ(desk.clipboard,
              (std::vector<std::string>{beispielZwischenablage, "10,1; 0,1;\n", "10,2; 0,2;\n"}));
}

TEST_F(ProtokollAusgabe, WriteFailureIsReportedAndTheClipboardStillGetsTheSeries) {
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    setText(p().Dateiname, "/dev/full");
    ausgabe.WriteSeries(serie(beispiel));
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(desk.boxes[0].title, "Fehler");
    EXPECT_EQ(desk.boxes[0].text, "Fehler beim Schreiben der Protokolldatei\n\r/dev/full\n\r"
                                  "Der Datentr\xE4ger ist voll.\n\r"
                                  "Die Serie steht in der Zwischenablage. Sie wird aufbewahrt und in die "
                                  "Datei geschrieben, sobald das wieder m\xF6glich ist.");
    EXPECT_EQ(desk.clipboard, std::vector<std::string>{beispielZwischenablage});
    EXPECT_EQ(ausgabe.queued(), 1u);
}

TEST_F(ProtokollAusgabe, SeriesCutShortByAFullDiskIsTakenBackFromTheFile) {
    const std::string vorher(100, 'v');
    schreib(datei, vorher);
    struct rlimit alt {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &alt), 0);
    struct rlimit eng = alt;
    eng.rlim_cur = vorher.size() + 5;
    auto* altesSignal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &eng), 0);
    ausgabe.WriteSeries(serie(beispiel));
    ::setrlimit(RLIMIT_FSIZE, &alt);
    std::signal(SIGXFSZ, altesSignal);

    EXPECT_EQ(lies(datei), vorher);
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_NE(desk.boxes[0].text.find(datei), std::string::npos);
    EXPECT_EQ(desk.clipboard, std::vector<std::string>{beispielZwischenablage});
}

TEST_F(ProtokollAusgabe, DamagedProfileValuesWriteNothingForTheDamagedPart) {
    p().Dateimodus = 7;                    // taken as "all records"
    p().Datensatz = {2, 17, -5, 3, 6, -1}; // only 2 and 3 are elements
    p().Trennzeichen = {59, 999, -1};      // unknown codes write nothing
    schreib(datei, "alt\n");
    TSerienDatensatz s = serie(beispiel);
    s.Schusszahl = "99"; // more than the machine delivered: only the shots present
    ausgabe.WriteSeries(s);
    EXPECT_EQ(lies(datei), "alt\n10,4;123,4;9,7; 5,0;");
    EXPECT_TRUE(desk.boxes.empty());
}

TEST_F(ProtokollAusgabe, FileNameIsWindows1252) {
    setText(p().Dateiname, m_ordner / "Sch\xFC"
                                      "tzen.rls");
    ausgabe.WriteSeries(serie(beispiel));
    EXPECT_EQ(lies(m_ordner / "Sch\xC3\xBCtzen.rls"), beispielDatei);
}

} // namespace
