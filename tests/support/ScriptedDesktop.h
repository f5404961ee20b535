#pragma once

#include "Desktop.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

// A desktop for tests and benchmarks: records every message box, clipboard text and warning, and
// answers from scripted queues (or from a callback, to act while the "dialog" is open).
class ScriptedDesktop : public Desktop {
public:
    struct Box {
        std::string text;
        std::string title;
        unsigned flags;
    };

    ScriptedDesktop() { setDesktop(this); }
    ~ScriptedDesktop() override { setDesktop(nullptr); }
    ScriptedDesktop(const ScriptedDesktop&) = delete;
    ScriptedDesktop& operator=(const ScriptedDesktop&) = delete;

    int messageBox(const std::string& text, const std::string& title, unsigned flags) override;
    void closeMessageBox(const std::string& text) override { closed.push_back(text); }
    void setClipboardText(const std::string& text) override;
    int overwriteWarning(const std::string& fileName) override;
    bool overwriteWarningVisible() const override { return m_warningOpen; }
    void trayMessage(const std::string& text, const std::string&) override { trayMessages.push_back(text); }

    // Answers, used in order; when a queue is empty the first button is the answer
    // (OK, Yes, or for the warning "Datei überschreiben").
    std::deque<int> boxAnswers;
    std::deque<int> warningAnswers;
    // Called while a box or the warning is "open", before it is answered (may be empty).
    std::function<void()> whileOpen;

    std::vector<Box> boxes;
    std::vector<std::string> closed;    // the texts of the boxes taken away, in order
    std::vector<std::string> clipboard; // every text placed, in order
    std::vector<std::string> warnings;  // the file names the warning was shown for
    std::vector<std::string> trayMessages;

private:
    bool m_warningOpen = false;
};
