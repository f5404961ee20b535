// The configuration file when saving fails or is cut short: a save that cannot write says why
// and leaves the old file as it was; a process killed at any moment of a save leaves the old
// file or the new one, never a broken one.

#include "FaultDir.h"
#include "PermissionsEnforced.h"

#include "ConfigFile.h"
#include "Profilliste.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

Profilliste profile(int anzahl, const char* name) {
    Profilliste liste;
    for (int i = 0; i < anzahl; ++i) {
        liste.appendStandard("/tmp");
        liste.select(liste.size() - 1);
        liste.umbenennen(name + std::to_string(i));
    }
    liste.select(0);
    return liste;
}

std::string inhalt(const Profilliste& liste) {
    std::string s(1, static_cast<char>(ConfigFile::Konfigurationsversion));
    for (const Profil& p : liste) {
        const auto rec = p.encode();
        s.append(rec.begin(), rec.end());
    }
    return s;
}

TEST(ConfigFileFaults, SaveThatCannotWriteSaysWhyAndKeepsTheOldFile) {
    FaultDir dir;
    const Profilliste liste = profile(2, "Profil ");

    // A path below a regular file: no one can create it, root neither.
    writeFile(dir / "kein Ordner", "x");
    const auto ergebnis = ConfigFile::Save(ConfigFile::path(dir / "kein Ordner"), liste);
    EXPECT_FALSE(ergebnis.ok);
    EXPECT_FALSE(ergebnis.error.empty());

    // A folder without write permission, with the old file in it, read-only as well.
    const std::string ordner = dir / "nurLesen";
    ASSERT_EQ(::mkdir(ordner.c_str(), 0700), 0);
    const std::string pfad = ConfigFile::path(ordner);
    ASSERT_TRUE(ConfigFile::Save(pfad, profile(1, "Alt ")).ok);
    const std::string alt = readFile(pfad);
    ASSERT_EQ(::chmod(pfad.c_str(), 0400), 0); // neither folder nor file may be written
    ASSERT_EQ(::chmod(ordner.c_str(), 0500), 0);
    ConfigFile::SaveResult nurLesen;
    {
        PermissionsEnforced rechte;
        ASSERT_TRUE(rechte.active());
        nurLesen = ConfigFile::Save(pfad, liste);
    }
    ::chmod(ordner.c_str(), 0700);
    EXPECT_FALSE(nurLesen.ok);
    EXPECT_FALSE(nurLesen.error.empty());
    EXPECT_EQ(readFile(pfad), alt);
}

// Saving where the file is not simply a file in a writable folder: a symbolic link's target is
// replaced and the link stays; in a folder that takes no new file the file is written in place;
// the file keeps its permissions either way. Root, too, is held to the permissions here.
TEST(ConfigFileFaults, SaveReplacesALinksTargetOrWritesInPlaceAndKeepsPermissions) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const struct {
        const char* name;
        bool verknuepfung;
        mode_t ordnerModus;
        mode_t dateiModus; // 0: no file yet
    } faelle[] = {
        {"file of mode 0640", false, 0700, 0640},
        {"link to a file in another folder", true, 0700, 0600},
        {"link to a file not made yet", true, 0700, 0},
        {"read-only folder", false, 0500, 0620},
        {"link into a read-only folder", true, 0500, 0664},
    };
    const Profilliste alt = profile(1, "Alt ");
    const Profilliste neu = profile(3, "Neu ");
    for (const auto& fall : faelle) {
        SCOPED_TRACE(fall.name);
        FaultDir dir;
        const std::string ordner = dir / "Verein";
        ASSERT_EQ(::mkdir(ordner.c_str(), 0700), 0);
        const std::string ziel = ConfigFile::path(ordner);
        if (fall.dateiModus != 0) {
            ASSERT_TRUE(ConfigFile::Save(ziel, alt).ok);
            ASSERT_EQ(::chmod(ziel.c_str(), fall.dateiModus), 0);
        }
        std::string pfad = ziel;
        if (fall.verknuepfung) {
            const std::string start = dir / "Start";
            ASSERT_EQ(::mkdir(start.c_str(), 0700), 0);
            pfad = ConfigFile::path(start);
            ASSERT_EQ(::symlink("../Verein/TFXConf.cnf", pfad.c_str()), 0);
        }
        ASSERT_EQ(::chmod(ordner.c_str(), fall.ordnerModus), 0);
        ConfigFile::SaveResult ergebnis;
        {
            PermissionsEnforced rechte;
            ASSERT_TRUE(rechte.active());
            ergebnis = ConfigFile::Save(pfad, neu);
        }
        ::chmod(ordner.c_str(), 0700);
        EXPECT_TRUE(ergebnis.ok) << ergebnis.error;
        EXPECT_EQ(readFile(ziel), inhalt(neu));
        struct stat st {};
        ASSERT_EQ(::lstat(ziel.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, fall.dateiModus != 0 ? fall.dateiModus : 0666 & ~mask);
        ASSERT_EQ(::lstat(pfad.c_str(), &st), 0);
        EXPECT_EQ(S_ISLNK(st.st_mode), fall.verknuepfung);
        int dateien = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(ordner))
            ++dateien;
        EXPECT_EQ(dateien, 1); // no temporary file left
    }
}

// A child saves two different lists in turn without pause; it is killed at a random moment,
// again and again. Each time the file must be one of the two lists, whole.
TEST(ConfigFileFaults, KilledWhileSavingLeavesTheOldOrTheNewFile) {
    FaultDir dir;
    const std::string pfad = ConfigFile::path(dir.path());
    const Profilliste a = profile(2, "Erste ");
    const Profilliste b = profile(3, "Zweite ");
    const std::string inhaltA = inhalt(a);
    const std::string inhaltB = inhalt(b);
    ASSERT_TRUE(ConfigFile::Save(pfad, a).ok);

    std::mt19937 zufall(20261207);
    std::uniform_int_distribution<int> mikros(0, 20000);
    int neue = 0;
    for (int runde = 0; runde < 40; ++runde) {
        SCOPED_TRACE(runde);
        const pid_t kind = ::fork();
        ASSERT_GE(kind, 0);
        if (kind == 0) {
            for (unsigned i = 0;; ++i)
                ConfigFile::Save(pfad, i % 2 ? a : b);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(mikros(zufall)));
        ASSERT_EQ(::kill(kind, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(kind, &status, 0), kind);

        const std::string jetzt = readFile(pfad);
        ASSERT_TRUE(jetzt == inhaltA || jetzt == inhaltB) << "file of " << jetzt.size() << " bytes";
        neue += jetzt == inhaltB;
        Profilliste geladen;
        ASSERT_TRUE(ConfigFile::Load(pfad, geladen));
        EXPECT_EQ(geladen.size(), jetzt == inhaltA ? 2u : 3u);
    }
    std::printf("%d of 40 kills found the other list\n", neue);
}

} // namespace
