#pragma once

#include "Desktop.h"

#include <cstdio>
#include <string>

// The desktop of the program without a window: every message box is one line on standard error,
// "trefflux: " and the text in UTF-8, for the journal. A question takes the answer that loses
// nothing (the one that leaves things as they are) and the line says which. There is no
// clipboard; the overwrite warning keeps the series until the results program has taken the
// file away (mrKeep).
class StderrDesktop : public Desktop {
public:
    explicit StderrDesktop(std::FILE* out = stderr) : m_out(out) {}

    int messageBox(const std::string& text, const std::string& title, unsigned flags) override;
    void setClipboardText(const std::string&) override {}
    bool hasClipboard() const override { return false; }
    int overwriteWarning(const std::string&) override { return mrKeep; }
    bool overwriteWarningVisible() const override { return false; }
    void trayMessage(const std::string& text, const std::string&) override { sagen(text); }

    // Writes one line: "trefflux: " and the text (Windows-1252) with its line breaks as blanks.
    void sagen(const std::string& text);

private:
    std::FILE* m_out;
};
