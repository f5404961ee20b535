#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class InstanceLock;

// One run of a program, from its start to its end, the same for the Qt, the Win32 and the
// headless program: what the instance holds while it runs (the single-instance guard, the
// transmission log, the journal) and the steps of the start that come before the settings
// window. What a program shows in between, and how it asks, is its toolkit's.
//
// The end is in the destructor: the journal closed, the guard released, the transmission log
// ended, in this order. (The series path's end is Einstellungslogik::Abschliessen for the
// window programs.)
//
// Main thread only.
class Programmlauf {
public:
    Programmlauf();
    ~Programmlauf();
    Programmlauf(const Programmlauf&) = delete;
    Programmlauf& operator=(const Programmlauf&) = delete;

    // What a window program gives its start.
    struct Fensterstart {
        // The message to a second start (Windows-1252).
        std::string laeuftBereits;
        // The start directory, once the program has entered it; nothing when it cannot, after
        // the program has told why.
        std::function<std::optional<std::string>()> startverzeichnis;
        // Whether a request to end came while a question of the start was open.
        std::function<bool()> endeVerlangt;
    };
    // The start of a window program (one instance per user), up to its settings window:
    // 1. the single-instance guard (a second start is told and touches nothing), the
    // transmission log of the instance, 2. the start directory, 3. the version test of
    // TFXConf.cnf (an older version is asked about), then the journal of the instance. A log or
    // journal that cannot be written is told once, on standard error and in a message box.
    // Returns the exit status when the program ends here, nothing when it goes on.
    std::optional<int> fensterprogrammStarten(const Fensterstart& start);

    // The transmission log and the journal of this instance until the end, as
    // uebertragungslogStarten and serienjournalStarten make them (the program without a window
    // names both after its port).
    void uebertragungslogStarten(std::string_view port, std::function<void(const std::string&)> melden);
    void serienjournalStarten(const std::string& startverzeichnis, std::string_view port,
                              std::function<void(const std::string&)> melden);

    // The start directory of a window program, once its start has it.
    const std::string& Startverzeichnis() const { return m_startverzeichnis; }

private:
    std::unique_ptr<InstanceLock> m_sperre;
    std::string m_startverzeichnis;
    bool m_log = false;
    bool m_journal = false;
};
