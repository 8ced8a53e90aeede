#include "ui/port_combo_box.h"

#include <QKeyEvent>

void PortComboBox::showPopup()
{
    emit popupAboutToShow();
    QComboBox::showPopup();
}

void PortComboBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit enterPressed();
        return;
    }
    QComboBox::keyPressEvent(event);
}
