#pragma once

#include <QDialog>

#include <memory>
#include <string>

class QLabel;
class QPushButton;

namespace Ui {
class TForm2;
}

// The overwrite warning "Warnung": shown modally when a series is to replace a protocol file
// whose record has not been taken yet. Created hidden at start and reused for every warning.
// Ends with 3 ("&Abbrechen"), 4 ("&Wiederholen", the default button) or 5 ("&Datei
// überschreiben"); closed any other way it ends with 0.
class TForm2 : public QDialog {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Puts the file name (Windows-1252) into the label between the two fixed texts.
    void setDateiname(const std::string& dateiname);
    // The label text for a file name, Windows-1252, with its "\n\r" line breaks.
    static std::string warntext(const std::string& dateiname);

    QLabel* Label1() const;
    QPushButton* Button1() const;
    QPushButton* Button2() const;
    QPushButton* Button3() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TForm2> m_ui;
};
