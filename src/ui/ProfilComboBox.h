#pragma once

#include <QComboBox>

// The profile box of the settings window: an editable combo box in which the name of the shown
// profile is typed over to rename it, or cleared to delete it. It reports when the user leaves
// it and when its list is about to open, so the window can take the typed name over first.
// Keys and the mouse wheel never switch the entry while the list is closed: a profile is only
// chosen from the open list.
class ProfilComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit ProfilComboBox(QWidget* parent = nullptr);

    void showPopup() override;

signals:
    // The focus went to another control of the window (not to this box's own list, and not
    // because another window was activated).
    void verlassen();
    // The list is about to open.
    void listeOeffnet();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
