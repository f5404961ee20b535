#pragma once

// Shared pieces of the settings window tests: a fake tty class directory for the port list, a
// start directory with a configuration file of given profiles, and a settings window that counts
// how often the machine was closed and opened and answers the save dialog from a script.

#include "Serienpfad.h"

#include "ComComboBox.h"
#include "ConfigFile.h"
#include "Einstellungsfenster.h"
#include "Einstellungslogik.h"
#include "ProtokollAusgabe.h"
#include "QtText.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"
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

// A start directory whose configuration file holds the given profiles.
class StartDir {
public:
    const std::string& path() const { return m_dir.path(); }

    // Profiles made from the default profile with the given names, on port COM1.
    void write(const std::vector<std::string>& names) {
        Profilliste liste;
        for (const std::string& name : names) {
            Profil p = Profil::standard(path());
            setText(p.Name, name);
            liste.append(p);
        }
        write(liste);
    }
    void write(const Profilliste& liste) { QVERIFY(ConfigFile::Save(ConfigFile::path(path()), liste).ok); }

    Profilliste saved() const {
        Profilliste liste;
        ConfigFile::Load(ConfigFile::path(path()), liste);
        return liste;
    }

private:
    ScratchDir m_dir{"start"};
};

inline std::string boxText(const ScriptedDesktop& desk) {
    return desk.boxes.empty() ? std::string() : desk.boxes.back().text;
}

} // namespace settings_test
