#include "Desktop.h"

namespace {

class SilentDesktop : public Desktop {
public:
    int messageBox(const std::string&, const std::string&, unsigned flags) override {
        return jaOderOk(flags);
    }
    void setClipboardText(const std::string&) override {}
    int overwriteWarning(const std::string&) override { return mrIgnore; }
    bool overwriteWarningVisible() const override { return false; }
    void trayMessage(const std::string&, const std::string&) override {}
};

SilentDesktop g_silent;
Desktop* g_desktop = nullptr;

} // namespace

Desktop& desktop() {
    return g_desktop ? *g_desktop : g_silent;
}

void setDesktop(Desktop* d) {
    g_desktop = d;
}
