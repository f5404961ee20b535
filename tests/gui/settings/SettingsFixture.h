#pragma once

// Shared pieces of the settings window tests: a fake tty class directory for the port list, a
// start directory with a configuration file of given profiles, a settings window that counts
// how often the machine was closed and opened and answers the save dialog from a script, and the
// fixture that builds them for each test.

#include "Serienpfad.h"

#include "ComComboBox.h"
#include "Einstellungsfenster.h"
#include "Einstellungslogik.h"
#include "ProtokollAusgabe.h"
#include "QtText.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"
#include "StartFolder.h"
#include "ui_Einstellungsfenster.h"

#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace settings_test {

namespace fs = std::filesystem;

// A tty class directory with the given ports (each with a "device", so each is listed).
class FakeTtyTree {
public:
    explicit FakeTtyTree(const std::vector<std::string>& ports = {}) {
        m_root = fs::path(m_dir.path());
        for (const std::string& port : ports)
            add(port);
        TComComboBox::setSysfsRoot(m_root.string());
    }
    ~FakeTtyTree() {
        if (TComComboBox::sysfsRoot() == m_root.string())
            TComComboBox::setSysfsRoot("/sys/class/tty");
    }
    FakeTtyTree(const FakeTtyTree&) = delete;
    FakeTtyTree& operator=(const FakeTtyTree&) = delete;

    void add(const std::string& port) { fs::create_directories(m_root / port / "device"); }
    std::string root() const { return m_root.string(); }

private:
    ScratchDir m_dir{"tty"};
    fs::path m_root;
};

// The settings logic of TestForm. While the window is built it opens the active profile's
// machine as the program does (its port is not there), so the connection is in the state the
// program starts with; from then on it counts the closing and opening of the machine ports
// instead of opening any.
struct ZaehlendeLogik : Einstellungslogik {
    using Einstellungslogik::Einstellungslogik;
    bool zaehlen = false;
    int geschlossen = 0;
    int geoeffnet = 0;
    void MaschinenSchliessen() override {
        if (!zaehlen)
            return Einstellungslogik::MaschinenSchliessen();
        ++geschlossen;
    }
    void MaschineOeffnen() override {
        if (!zaehlen)
            return Einstellungslogik::MaschineOeffnen();
        ++geoeffnet;
    }
};

// A settings window without machines: it counts the closing and opening of the machine ports
// and takes the save dialog's answer from saveAnswer.
class TestForm : public Einstellungsfenster {
public:
    TestForm(Profilliste& liste, std::string startverzeichnis)
        : Einstellungsfenster(liste, std::move(startverzeichnis),
                              [](Profilliste& l, std::string s, Einstellungsansicht& a) {
                                  return std::make_unique<ZaehlendeLogik>(l, std::move(s), a);
                              }),
          geschlossen(static_cast<ZaehlendeLogik&>(logik()).geschlossen),
          geoeffnet(static_cast<ZaehlendeLogik&>(logik()).geoeffnet) {
        static_cast<ZaehlendeLogik&>(logik()).zaehlen = true;
    }
    using Einstellungsfenster::eventFilter;

    int& geschlossen;
    int& geoeffnet;
    QString saveAnswer;
    QString savePreset;

    Ui::Einstellungsfenster& f() { return *ui(); }

protected:
    std::string speichernDialog(const std::string& vorgabe) override {
        savePreset = QString::fromStdString(vorgabe);
        return saveAnswer.toStdString();
    }
};

// A start folder whose configuration file holds the given profiles; a failed write fails the test.
class StartDir : public StartFolder {
public:
    // Profiles made from the default profile with the given names, on port COM1.
    void write(const std::vector<std::string>& names) {
        std::vector<ProfileEdit> edits;
        for (const std::string& name : names)
            edits.push_back([name](Profil& p) { setText(p.Name, name); });
        QVERIFY(StartFolder::write(edits));
    }
    void write(const Profilliste& liste) { QVERIFY(StartFolder::write(liste)); }
};

// What the window tests build before each test and take down after it, in the reverse order: a
// start folder, a scripted desktop, a fake port list and the window on the profiles of that folder.
class WindowFixture : public QObject {
protected:
    std::unique_ptr<FakeTtyTree> m_ports;
    std::unique_ptr<StartDir> m_start;
    std::unique_ptr<ScriptedDesktop> m_desk;
    std::unique_ptr<Profilliste> m_liste;
    std::unique_ptr<TestForm> m_form;

    // The start folder and the desktop; the test writes its profiles, then opens the window.
    void prepare() {
        m_start = std::make_unique<StartDir>();
        m_desk = std::make_unique<ScriptedDesktop>();
    }
    // The window on the fake ports with the profiles of the start folder; what its start said is
    // not part of the tests.
    void openForm(const std::vector<std::string>& ports) {
        m_ports = std::make_unique<FakeTtyTree>(ports);
        m_liste = std::make_unique<Profilliste>();
        m_form = std::make_unique<TestForm>(*m_liste, m_start->path());
        m_desk->boxes.clear();
    }
    void tearDown() {
        m_form.reset();
        m_liste.reset();
        m_desk.reset();
        m_start.reset();
        m_ports.reset();
    }
};

inline std::string boxText(const ScriptedDesktop& desk) {
    return desk.boxes.empty() ? std::string() : desk.boxes.back().text;
}

} // namespace settings_test
