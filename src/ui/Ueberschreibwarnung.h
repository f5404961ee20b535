#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class Ueberschreibwarnung;
}

// The overwrite warning "Warnung": shown modally when a series is to replace a protocol file
// whose record has not been taken yet. Created hidden at start and reused for every warning.
// Ends with 3 ("&Abbrechen"), 4 ("&Wiederholen", the default button) or 5 ("&Datei
// überschreiben"); closed any other way it ends with 0.
class Ueberschreibwarnung : public QDialog {
    Q_OBJECT

public:
    explicit Ueberschreibwarnung(QWidget* parent = nullptr);
    ~Ueberschreibwarnung() override;

    // Puts the file name (Windows-1252) into the label between the two fixed texts.
    void setDateiname(const std::string& dateiname);
    // The label text for a file name, Windows-1252, with its "\n\r" line breaks.
    static std::string warntext(const std::string& dateiname);

    // Its controls: Meldung, Abbrechen, Wiederholen, Ueberschreiben.
    Ui::Ueberschreibwarnung* ui() const { return m_ui.get(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::Ueberschreibwarnung> m_ui;
};
