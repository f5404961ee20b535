#pragma once

#include "Desktop.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QDialog;
class QSystemTrayIcon;
class Ueberschreibwarnung;

// A core text (Windows-1252, "\n\r" line breaks) as it is shown on screen.
QString bildschirmtext(const std::string& text);

// The desktop of the running program: message boxes, the clipboard and the overwrite warning
// with Qt. Installs itself as the desktop of the core while it lives. Main thread only.
class QtDesktop : public Desktop {
public:
    QtDesktop();
    ~QtDesktop() override;
    QtDesktop(const QtDesktop&) = delete;
    QtDesktop& operator=(const QtDesktop&) = delete;

    int messageBox(const std::string& text, const std::string& title, unsigned flags) override;
    void closeMessageBox(const std::string& text) override;
    void setClipboardText(const std::string& text) override;
    int overwriteWarning(const std::string& fileName) override;
    bool overwriteWarningVisible() const override;
    // A balloon at the tray icon; without one, a box that closes without an answer.
    void trayMessage(const std::string& text, const std::string& title) override;

    // The program's tray icon, for trayMessage (nullptr: none).
    void setTrayIcon(QSystemTrayIcon* icon);

    // The overwrite warning window, created hidden with the desktop and reused.
    Ueberschreibwarnung& ueberschreibwarnung() const { return *m_ueberschreibwarnung; }

    // Called from inside the event loop of every modal dialog once it is on screen (for tests
    // and tools that must answer a dialog; empty in the program).
    std::function<void(QDialog&)> onDialogShown;

private:
    int runModal(QDialog& dialog);

    std::unique_ptr<Ueberschreibwarnung> m_ueberschreibwarnung;
    QPointer<QSystemTrayIcon> m_trayIcon;
};
