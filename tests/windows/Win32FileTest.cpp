// The core's file handling on Windows: the protocol writer, the configuration file and the
// single-instance guard through the Win32 side of the platform layer. Paths are relative to a
// scratch folder in the current directory, as a profile stores them.

#include "ConfigFile.h"
#include "InstanceLock.h"
#include "PlatformFile.h"
#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "ScriptedDesktop.h"

#include <gtest/gtest.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string lies(const std::string& pfad) {
    std::ifstream in(pfad, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Win32Datei : public ::testing::Test {
protected:
    void SetUp() override {
        m_ordner = "trefflux-win32-" + std::to_string(::GetCurrentProcessId());
        std::filesystem::create_directory(m_ordner);
    }
    void TearDown() override { std::filesystem::remove_all(m_ordner); }
    std::string m_ordner;
};

TSerienDatensatz beispielserie() {
    TSerienDatensatz s;
    s.Scheibentyp = "LG";
    s.Teilerfaktor = "1";
    s.Schusszahl = "1";
    TSchussDatensatz schuss;
    schuss.Ringwert = "104";
    schuss.Teiler = "01234";
    s.Schuesse.push_back(schuss);
    return s;
}

// A series meets a file another program has open: it is kept with the reason named, and
// written behind the next one once the file is free again.
TEST_F(Win32Datei, ProtocolFileHeldByAnotherProgramKeepsTheSeriesUntilItIsFree) {
    ScriptedDesktop desk;
    Profilliste liste;
    liste.appendStandard(m_ordner);
    liste.aktiv().Datensatz = {2, 3, -1, -1, -1, -1};
    const std::string datei = m_ordner + "/Protokoll1.rls";
    TProtokollAusgabe ausgabe{liste};

    ausgabe.WriteSeries(beispielserie());
    EXPECT_EQ(lies(datei), "10,4;123,4;\n\n");
    {
        platform::FileError fehler;
        platform::PlatformFile fremd =
            platform::PlatformFile::openExclusive(datei, platform::PlatformFile::Create::no, fehler);
        ASSERT_TRUE(fremd.isOpen()) << fehler.text;
        ausgabe.WriteSeries(beispielserie());
        ASSERT_EQ(desk.boxes.size(), 1u);
        EXPECT_NE(desk.boxes[0].text.find("von einem anderen Programm benutzt"), std::string::npos)
            << desk.boxes[0].text;
        EXPECT_EQ(ausgabe.queued(), 1u);
    }
    ausgabe.WriteSeries(beispielserie());
    EXPECT_EQ(ausgabe.queued(), 0u);
    EXPECT_EQ(lies(datei), "10,4;123,4;\n\n10,4;123,4;\n\n10,4;123,4;\n\n");
}

TEST_F(Win32Datei, ConfigurationFileIsReplacedWholeAndNeverOverAFolder) {
    Profilliste liste;
    liste.appendStandard(m_ordner);
    liste.appendStandard(m_ordner);
    const std::string pfad = ConfigFile::path(m_ordner);
    for (int mal = 0; mal < 2; ++mal) { // new, then over the old file
        const ConfigFile::SaveResult r = ConfigFile::Save(pfad, liste);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(lies(pfad).size(), 1 + liste.size() * Profil::RecordSize);
        liste.append(liste.aktiv());
    }
    EXPECT_EQ(ConfigFile::versionTest(pfad), ConfigFile::Version::Current);
    Profilliste gelesen;
    EXPECT_TRUE(ConfigFile::Load(pfad, gelesen));
    EXPECT_EQ(gelesen.size(), 3u);
    EXPECT_EQ(platform::folderEntries(m_ordner).size(), 1u) << "no temporary file is left behind";

    const std::string ordner = m_ordner + "/Ordner";
    std::filesystem::create_directory(ordner);
    EXPECT_EQ(ConfigFile::versionTest(ordner), ConfigFile::Version::KeineDatei);
    EXPECT_FALSE(ConfigFile::Save(ordner, liste).ok);
    EXPECT_TRUE(std::filesystem::is_directory(ordner));
}

TEST(Win32Instanz, SecondInstanceIsToldTheFirstRuns) {
    const std::string name = "TreffluxTest" + std::to_string(::GetCurrentProcessId());
    InstanceLock erste(name), zweite(name);
    ASSERT_TRUE(erste.acquire()) << erste.error();
    EXPECT_FALSE(zweite.acquire());
    EXPECT_TRUE(zweite.heldElsewhere());
    erste.release();
    EXPECT_TRUE(zweite.acquire());
}

} // namespace
