#include "ConfigFile.h"
#include "PermissionsEnforced.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/trefflux-cfg-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        file = ConfigFile::path(dir);
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove_all(dir);
    }
    void writeBytes(const std::vector<uint8_t>& bytes) {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<uint8_t> readBytes() {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static Profil sample(int n) {
        Profil::Record r;
        for (std::size_t i = 0; i < r.size(); ++i)
            r[i] = static_cast<uint8_t>(i * 7 + n);
        return Profil::decode(r.data());
    }
    std::string dir;
    std::string file;
};

TEST_F(ConfigFileTest, PathJoinsTheStartDirectory) {
    EXPECT_EQ(ConfigFile::path("/home/verein"), "/home/verein/TFXConf.cnf");
    EXPECT_EQ(ConfigFile::path("/"), "//TFXConf.cnf");
}

TEST_F(ConfigFileTest, TwoRecordsAndATrailingPieceSaveBackAs1513Bytes) {
    std::vector<uint8_t> bytes{2};
    for (int n : {1, 2}) {
        const auto r = sample(n).encode();
        bytes.insert(bytes.end(), r.begin(), r.end());
    }
    const std::vector<uint8_t> complete = bytes;
    bytes.insert(bytes.end(), 100, 0xAB);
    writeBytes(bytes);

    Profilliste l;
    ASSERT_TRUE(ConfigFile::Load(file, l));
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l.activeIndex(), 0u);
    EXPECT_EQ(l[0], sample(1));
    EXPECT_EQ(l[1], sample(2));

    ASSERT_TRUE(ConfigFile::Save(file, l).ok);
    EXPECT_EQ(readBytes(), complete);
    EXPECT_EQ(complete.size(), 1513u);
}

TEST_F(ConfigFileTest, ThreeProfilesSaveAs2269Bytes) {
    Profilliste l;
    l.appendStandard(dir);
    l.neuesProfil();
    l.neuesProfil();
    ASSERT_TRUE(ConfigFile::Save(file, l).ok);
    const auto bytes = readBytes();
    ASSERT_EQ(bytes.size(), 2269u);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[1])), "Standardprofil");
    EXPECT_EQ(ConfigFile::versionTest(file), ConfigFile::Version::Current);
}

TEST_F(ConfigFileTest, FilesWithoutACompleteRecordFailToLoad) {
    Profilliste l;
    EXPECT_FALSE(ConfigFile::Load(file, l)); // missing
    EXPECT_EQ(ConfigFile::versionTest(file), ConfigFile::Version::None);

    writeBytes({});
    EXPECT_FALSE(ConfigFile::Load(file, l));
    EXPECT_EQ(ConfigFile::versionTest(file), ConfigFile::Version::None);

    writeBytes({2});
    EXPECT_FALSE(ConfigFile::Load(file, l));
    EXPECT_EQ(ConfigFile::versionTest(file), ConfigFile::Version::Current);

    std::vector<uint8_t> piece(1 + 755, 0);
    piece[0] = 2;
    writeBytes(piece);
    EXPECT_FALSE(ConfigFile::Load(file, l));
    EXPECT_TRUE(l.empty());
}

TEST_F(ConfigFileTest, OtherVersionsAreRefusedAndLeftAlone) {
    for (uint8_t v : {1, 3}) {
        std::vector<uint8_t> bytes{v};
        const auto r = sample(v).encode();
        bytes.insert(bytes.end(), r.begin(), r.end());
        writeBytes(bytes);
        EXPECT_EQ(ConfigFile::versionTest(file), ConfigFile::Version::Other);
        Profilliste l;
        EXPECT_FALSE(ConfigFile::Load(file, l));
        EXPECT_TRUE(l.empty());
        EXPECT_EQ(readBytes(), bytes);
    }
}

// Something other than a file in the file's place: the start neither blocks on it (a FIFO
// without a writer) nor reads it, and the save leaves it as it is.
TEST_F(ConfigFileTest, AFifoAFolderOrALinkLoopIsNotAConfigurationFile) {
    const struct {
        const char* name;
        std::function<int(const std::string&)> anlegen;
        fs::file_type art;
        ConfigFile::Version version;
    } faelle[] = {
        {"FIFO", [](const std::string& f) { return ::mkfifo(f.c_str(), 0600); }, fs::file_type::fifo,
         ConfigFile::Version::KeineDatei},
        {"folder", [](const std::string& f) { return ::mkdir(f.c_str(), 0700); }, fs::file_type::directory,
         ConfigFile::Version::KeineDatei},
        {"link to itself", [](const std::string& f) { return ::symlink("TFXConf.cnf", f.c_str()); },
         fs::file_type::symlink, ConfigFile::Version::None},
    };
    for (const auto& fall : faelle) {
        SCOPED_TRACE(fall.name);
        fs::remove_all(file);
        ASSERT_EQ(fall.anlegen(file), 0);
        ::alarm(30); // an open that blocks ends the test here
        EXPECT_EQ(ConfigFile::versionTest(file), fall.version);
        Profilliste l;
        EXPECT_FALSE(ConfigFile::Load(file, l));
        l.appendStandard(dir);
        const auto result = ConfigFile::Save(file, l);
        ::alarm(0);
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.empty());
        EXPECT_EQ(fs::symlink_status(file).type(), fall.art);
    }
}

TEST_F(ConfigFileTest, AFailedSaveKeepsTheOldFileAndSaysWhy) {
    Profilliste l;
    l.appendStandard(dir);
    ASSERT_TRUE(ConfigFile::Save(file, l).ok);
    const auto before = readBytes();
    // Neither the folder nor the file may be written.
    fs::permissions(file, fs::perms::owner_read);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    l.neuesProfil();
    PermissionsEnforced rechte; // root, too
    ASSERT_TRUE(rechte.active());
    const auto result = ConfigFile::Save(file, l);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(readBytes(), before);
}

TEST_F(ConfigFileTest, SaveIntoAMissingDirectoryFails) {
    Profilliste l;
    l.appendStandard(dir);
    const auto result = ConfigFile::Save(dir + "/fehlt/TFXConf.cnf", l);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("Anlegen"), std::string::npos);
}

TEST_F(ConfigFileTest, SaveLeavesNoTemporaryFilesBehind) {
    Profilliste l;
    l.appendStandard(dir);
    ASSERT_TRUE(ConfigFile::Save(file, l).ok);
    ASSERT_TRUE(ConfigFile::Save(file, l).ok);
    int count = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        (void)e;
        ++count;
    }
    EXPECT_EQ(count, 1);
}

} // namespace
