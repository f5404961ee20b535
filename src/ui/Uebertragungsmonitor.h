#pragma once

// The window "Übertragungsmonitor": the transmission log as it is written, the last 10,000
// lines of the current file, with pause, clear, copy and "Speichern unter…". Events stand out,
// errors most. It only reads the file; the log is written whether the window is open or not.

#include "Lognachleser.h"

#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class Uebertragungsmonitor : public QWidget {
    Q_OBJECT
public:
    static constexpr int Zeilen = 10000;

    // Shows the log file at the path (the log of this process when empty).
    explicit Uebertragungsmonitor(QString pfad = {}, QWidget* parent = nullptr);
    ~Uebertragungsmonitor() override;

    // Opens the monitor of the window (one at most) and brings it to the front.
    static Uebertragungsmonitor* zeigen(QWidget* fenster);

    // Reads what was added to the file since the last look (the timer calls it).
    void nachlesen();
    QPlainTextEdit* anzeige() const { return m_anzeige; }
    bool angehalten() const { return m_angehalten; }

public slots:
    void anhaltenUmschalten();
    void leeren();
    void kopieren();
    void speichernUnter();

protected:
    // The save dialog, preset with a name; returns the chosen path, empty when cancelled.
    virtual QString speichernDialog(const QString& vorschlag);

private:
    void anhaengen(const QByteArray& zeilen);

    QString m_pfad;
    Lognachleser m_leser;
    bool m_angehalten = false;
    bool m_folgen = true;      // the view stays at the end as lines come
    bool m_anhaengend = false; // lines are being added: the view moves, not the user
    QLabel* m_dateiLabel;
    QPlainTextEdit* m_anzeige;
    QPushButton* m_anhalten;
    QTimer* m_timer;
};
