#include "Programm.h"
#include "ConfigFile.h"
#include "InstanceLock.h"
#include "ScriptedDesktop.h"
#include "TForm1.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

class ProgrammTest : public QObject {
    Q_OBJECT

    // The questions and messages shown, leaving out any report that a port cannot be opened (a
    // first start opens none).
    std::vector<ScriptedDesktop::Box> fragen() const {
        std::vector<ScriptedDesktop::Box> result;
        for (const auto& box : m_desk->boxes)
            if (box.text.rfind("Schnittstelle ", 0) != 0)
                result.push_back(box);
        return result;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_runtime = std::make_unique<QTemporaryDir>();
        qputenv("XDG_RUNTIME_DIR", m_runtime->path().toLocal8Bit());
        QVERIFY(::chdir(m_dir->path().toLocal8Bit().constData()) == 0);
        m_start = fs::current_path().string();
        m_desk = std::make_unique<ScriptedDesktop>();
    }
    void cleanup() {
        m_desk.reset();
        QVERIFY(::chdir("/") == 0);
        m_dir.reset();
        m_runtime.reset();
    }

    void secondInstanceShowsTheMessageAndTouchesNothing() {
        InstanceLock first("DuzavozozMutex");
        QVERIFY(first.acquire());
        bool started = false;
        QCOMPARE(runTrefflux([&](TForm1&) { started = true; }), 0);
        QVERIFY(!started);
        QCOMPARE(m_desk->boxes.size(), std::size_t(1));
        QCOMPARE(m_desk->boxes[0].text, std::string(kLaeuftBereits));
        QCOMPARE(m_desk->boxes[0].title, std::string("Meldung"));
        QVERIFY(fs::is_empty(m_start));
    }

    void terminationSavesTheDefaultProfileWithoutAsking() {
        QCOMPARE(runTrefflux([](TForm1&) { std::raise(SIGTERM); }), 0);
        QVERIFY(fragen().empty());
        const auto file = ConfigFile::path(m_start);
        QCOMPARE(fs::file_size(file), std::uintmax_t(757));
        Profilliste saved;
        QVERIFY(ConfigFile::Load(file, saved));
        // the default profile, on the first port this computer has
        QCOMPARE(saved[0], Profil::standard(m_start, text(saved[0].Port)));
        // The guard was released: a next start runs.
        InstanceLock next("DuzavozozMutex");
        QVERIFY(next.acquire());
    }

    void anOldVersionIsKeptOnCancelAndReplacedOnOk() {
        const auto file = ConfigFile::path(m_start);
        std::vector<char> old(1 + 756, 'x');
        old[0] = 1;
        {
            std::ofstream out(file, std::ios::binary);
            out.write(old.data(), static_cast<std::streamsize>(old.size()));
        }
        m_desk->boxAnswers = {IdCancel};
        bool started = false;
        QCOMPARE(runTrefflux([&](TForm1&) { started = true; }), 0);
        QVERIFY(!started);
        QCOMPARE(m_desk->boxes.back().text, std::string(kVeralteteVersion));
        std::ifstream in(file, std::ios::binary);
        QVERIFY(std::vector<char>(std::istreambuf_iterator<char>(in), {}) == old);

        m_desk->boxAnswers = {IdOk};
        QCOMPARE(runTrefflux([&](TForm1& form) {
                     started = true;
                     QVERIFY(form.Ersteinrichtung());
                     form.endWithoutAsking();
                 }),
                 0);
        QVERIFY(started);
        Profilliste saved;
        QVERIFY(ConfigFile::Load(file, saved));
        QCOMPARE(saved.size(), std::size_t(1));
        QCOMPARE(text(saved[0].Name), std::string("Standardprofil"));
    }

    void anEmptyFileAsksNothingAndStartsWithTheDefaultProfile() {
        std::ofstream(ConfigFile::path(m_start)).close();
        QCOMPARE(runTrefflux([](TForm1& form) {
                     QVERIFY(form.Ersteinrichtung());
                     QVERIFY(form.isVisible());
                     form.endWithoutAsking();
                 }),
                 0);
        QVERIFY(fragen().empty());
        QCOMPARE(fs::file_size(ConfigFile::path(m_start)), std::uintmax_t(757));
    }

    void endingThroughTheWindowAsksFirst() {
        m_desk->boxAnswers = {IdNo, IdYes}; // a first start opens no port: no report before
        QCOMPARE(runTrefflux([](TForm1& form) {
                     form.Button4Click(); // "Wirklich beenden ?" No: goes on
                     QVERIFY(!fs::exists(form.configPath()));
                     form.Button4Click(); // Yes
                 }),
                 0);
        QCOMPARE(fragen().size(), std::size_t(2));
        QCOMPARE(fs::file_size(ConfigFile::path(m_start)), std::uintmax_t(757));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_runtime;
    std::string m_start;
    std::unique_ptr<ScriptedDesktop> m_desk;
};

QTEST_MAIN(ProgrammTest)
#include "ProgrammTest.moc"
