#pragma once

// The first window of the program: lists the serial ports, test-opens the one
// the user confirms and hands its device over to the main window.

#include "ports/port_list.h"

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
    static constexpr int DeviceRole = Qt::UserRole; // what the serial link opens
    // Qt::ToolTipRole holds the device and its description for the user.

    // Loads fMain with the device of the confirmed entry; empty when there is
    // no port.
    using LoadMainWindow = std::function<void(const QString &device)>;

    // listPorts gives the ports to offer (listSerialPorts on the machine);
    // the dialog calls loadMainWindow once it has handed over (a port
    // confirmed and test-opened), or at once when there is no port.
    fSelectSerialDevice(PortListing listPorts, LoadMainWindow loadMainWindow,
                        QWidget *parent = nullptr);
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
    void handOver(const QString &device);

    PortListing m_listPorts;
    LoadMainWindow m_loadMainWindow;
    bool m_handedOver = false;
};
