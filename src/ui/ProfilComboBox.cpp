#include "ProfilComboBox.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

ProfilComboBox::ProfilComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // A typed name is taken as typed, never completed to the name of another profile.
    setCompleter(nullptr);
}

void ProfilComboBox::showPopup() {
    emit listeOeffnet();
    QComboBox::showPopup();
}

void ProfilComboBox::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // Alt+Down and F4 still open the list.
        if (!(event->modifiers() & Qt::AltModifier)) {
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QComboBox::keyPressEvent(event);
}

void ProfilComboBox::wheelEvent(QWheelEvent* event) {
    event->accept();
}

void ProfilComboBox::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
        return;
    emit verlassen();
}
