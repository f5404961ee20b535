#include "ConfigFile.h"
#include "Einstellungsfenster.h"
#include "Einstellungslogik.h"
#include "PermissionsEnforced.h"
#include "ScriptedDesktop.h"
#include "StartFolder.h"

#include <QtTest>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <utility>

namespace {

// The logic of a settings window whose controls can be made to differ from the profile.
struct Logik : Einstellungslogik {
    using Einstellungslogik::Einstellungslogik;
    bool differs = false;
    int applied = 0;
    bool Aenderungspruefung() override { return !differs; }
    bool SteuerelementeUebernehmen() override {
        ++applied;
        m_liste.umbenennen("Uebernommen");
        return true;
    }
};

class Form : public Einstellungsfenster {
public:
    Form(Profilliste& liste, std::string startverzeichnis)
        : Einstellungsfenster(liste, std::move(startverzeichnis),
                              [](Profilliste& l, std::string s, Einstellungsansicht& a) {
                                  return std::make_unique<Logik>(l, std::move(s), a);
                              }),
          differs(static_cast<Logik&>(logik()).differs), applied(static_cast<Logik&>(logik()).applied) {}
    bool& differs;
    int& applied;
};

} // namespace

class EinstellungsfensterCloseTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<StartFolder>();
        m_start = m_dir->path();
        m_desk = std::make_unique<ScriptedDesktop>();
    }
    void cleanup() {
        m_desk.reset();
        m_dir.reset();
    }

    void firstStartMakesTheDefaultProfileAndStaysOpen() {
        Profilliste liste;
        Form form(liste, m_start);
        QVERIFY(form.logik().Ersteinrichtung());
        QCOMPARE(liste.size(), std::size_t(1));
        QCOMPARE(text(liste[0].Dateiname), m_start + "/Protokoll1.rls");
        QCOMPARE(form.logik().Profilindex(), 0);
        QVERIFY(!std::filesystem::exists(form.logik().configPath())); // nothing written before the end
    }

    void noChangesAsksWhetherToEnd() {
        Profilliste liste;
        Form form(liste, m_start);
        m_desk->boxAnswers = {IdNo};
        QVERIFY(!form.close());
        QCOMPARE(m_desk->boxes.back().text, std::string("Wirklich beenden ?"));
        QCOMPARE(m_desk->boxes.back().title, std::string("Hinweis"));
        QVERIFY(!std::filesystem::exists(form.logik().configPath()));

        m_desk->boxAnswers = {IdYes};
        QVERIFY(form.close());
        QCOMPARE(std::filesystem::file_size(form.logik().configPath()), std::uintmax_t(757));
    }

    void unappliedEditsAreAppliedOnYesDroppedOnNoKeptOnCancel() {
        Profilliste liste;
        Form form(liste, m_start);
        form.differs = true;

        m_desk->boxAnswers = {IdCancel};
        QVERIFY(!form.logik().CloseQuery());
        QCOMPARE(m_desk->boxes.back().text, std::string("Sollen die \xC4nderungen \xFC"
                                                        "bernommen werden?"));
        QCOMPARE(m_desk->boxes.back().flags & Mb::ButtonsMask, unsigned(Mb::YesNoCancel));
        QVERIFY(!std::filesystem::exists(form.logik().configPath()));

        m_desk->boxAnswers = {IdNo};
        QVERIFY(form.logik().CloseQuery());
        QCOMPARE(form.applied, 0);
        Profilliste saved;
        QVERIFY(ConfigFile::Load(form.logik().configPath(), saved));
        QCOMPARE(text(saved[0].Name), std::string("Standardprofil"));

        m_desk->boxAnswers = {IdYes};
        QVERIFY(form.logik().CloseQuery());
        QCOMPARE(form.applied, 1);
        saved.clear();
        QVERIFY(ConfigFile::Load(form.logik().configPath(), saved));
        QCOMPARE(text(saved[0].Name), std::string("Uebernommen"));
    }

    void loadedProfilesAreNotAFirstStart() {
        {
            Profilliste liste;
            liste.appendStandard(m_start);
            liste.neuesProfil();
            QVERIFY(m_dir->write(liste));
        }
        Profilliste liste;
        Form form(liste, m_start);
        QVERIFY(!form.logik().Ersteinrichtung());
        QCOMPARE(liste.size(), std::size_t(2));
        QCOMPARE(liste.activeIndex(), std::size_t(0));
    }

    void newProfileCopiesTheStoredProfileBeforeApplying() {
        Profilliste liste;
        Form form(liste, m_start);
        form.logik().NeuesProfilClick();
        QCOMPARE(liste.size(), std::size_t(2));
        QCOMPARE(liste.activeIndex(), std::size_t(1));
        QCOMPARE(text(liste[1].Name), std::string("Unbenannt"));
        QCOMPARE(text(liste[0].Name), std::string("Uebernommen")); // the edits went to the old one
        QCOMPARE(form.logik().Profilindex(), 1);
    }

    void aFailedSaveIsReported() {
        Profilliste liste;
        Form form(liste, m_start);
        // A directory where the file should be: the rename cannot replace it.
        std::filesystem::create_directories(form.logik().configPath() + "/x");
        m_desk->boxAnswers = {IdYes};
        QVERIFY(form.logik().CloseQuery());
        QCOMPARE(m_desk->boxes.back().title, std::string("Fehler"));
        QVERIFY(m_desk->boxes.back().text.find("TFXConf.cnf") != std::string::npos);
    }

    // The start folder and the file have become read-only (root, too, is held to it here): the
    // user reads the file and the system's reason, and the file from before stays as it was.
    void aSaveIntoAReadOnlyFolderIsReportedAndKeepsTheOldFile() {
        Profilliste liste;
        Form form(liste, m_start);
        QVERIFY(ConfigFile::Save(form.logik().configPath(), liste).ok);
        const auto vorher = std::filesystem::last_write_time(form.logik().configPath());
        liste.neuesProfil();
        QVERIFY(::chmod(form.logik().configPath().c_str(), 0400) == 0);
        QVERIFY(::chmod(m_start.c_str(), 0500) == 0);
        bool geschlossen = false;
        {
            PermissionsEnforced rechte;
            QVERIFY(rechte.active());
            m_desk->boxAnswers = {IdYes};
            geschlossen = form.logik().CloseQuery();
        }
        ::chmod(m_start.c_str(), 0700);
        QVERIFY(geschlossen);
        const auto& box = m_desk->boxes.back();
        QCOMPARE(box.title, std::string("Fehler"));
        const std::string kopf = "Die Einstellungen konnten nicht in der Datei\n\r" +
                                 form.logik().configPath() + "\n\rgespeichert werden:\n\r";
        QVERIFY2(box.text.rfind(kopf, 0) == 0, box.text.c_str());
        QVERIFY2(box.text.ends_with("Systemfehler 13: Zugriff verweigert"),
                 box.text.c_str()); // the system's reason
        QCOMPARE(box.flags, unsigned(Mb::Ok | Mb::IconError | Mb::SystemModal));
        QCOMPARE(std::filesystem::last_write_time(form.logik().configPath()), vorher);
        Profilliste gespeichert;
        QVERIFY(ConfigFile::Load(form.logik().configPath(), gespeichert));
        QCOMPARE(gespeichert.size(), std::size_t(1));
    }

private:
    std::unique_ptr<StartFolder> m_dir;
    std::string m_start;
    std::unique_ptr<ScriptedDesktop> m_desk;
};

QTEST_MAIN(EinstellungsfensterCloseTest)
#include "EinstellungsfensterCloseTest.moc"
