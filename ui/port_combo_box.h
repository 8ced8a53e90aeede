#pragma once

// The dialog's pick-only port list: Enter confirms, and opening the list asks
// for the ports anew, so an adapter plugged in after the start shows up.

#include <QComboBox>

class PortComboBox : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    void showPopup() override;

signals:
    // Return or the keypad's Enter, both character 13, while the list is closed.
    void enterPressed();
    // The list is about to open; whoever fills it does so now.
    void popupAboutToShow();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
