#pragma once

// The first window of the program: lists the serial ports, test-opens the one
// the user confirms and hands over to the main window.

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class SerialLink;

class fSelectSerialDevice : public QDialog
{
    Q_OBJECT

public:
    // Each entry of Combo1 reads "COMn"; the device behind it is in these roles.
    static constexpr int DeviceRole = Qt::UserRole; // its system location
    // Qt::ToolTipRole holds the location and the description for the user.

    // loadMainWindow loads fMain; the dialog calls it once it has handed over
    // (a port confirmed and test-opened), or at once when there is no port.
    explicit fSelectSerialDevice(std::function<void()> loadMainWindow, QWidget *parent = nullptr);
    ~fSelectSerialDevice() override;

    // Fills the list, then shows the dialog modally and returns when it has
    // handed over or the user closed it; with no port it shows message 202 and
    // loads the main window without showing itself. True when the main window
    // was loaded, false when the user closed the dialog (the program ends).
    bool Form_Load();

    void ZatwierdzWyborPortu();

    QComboBox *Combo1;
    QPushButton *Command1;
    QLabel *Label1;
    SerialLink *MSComm1;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void WypelnijListePortow();
    void refreshPortList();
    void handOver();

    std::function<void()> m_loadMainWindow;
    bool m_handedOver = false;
};
