#include "ui/select_serial_device.h"

#include "programming/open_failure.h"
#include "programming/serial_link.h"
#include "resources/message_numbers.h"
#include "ui/message_boxes.h"
#include "ui/module1.h"
#include "ui/port_combo_box.h"
#include "ui/window_setup.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

fSelectSerialDevice::fSelectSerialDevice(PortListing listPorts, LoadMainWindow loadMainWindow,
                                         QWidget *parent)
    : QDialog(parent), m_listPorts(std::move(listPorts)),
      m_loadMainWindow(std::move(loadMainWindow))
{
    setObjectName(QStringLiteral("fSelectSerialDevice"));
    setWindowTitle(QStringLiteral("Wybór portu szeregowego"));
    setUpFixedWindow(this, 2955, 1050);
    setModal(true);

    Label1 = new QLabel(QStringLiteral("Port:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twipsRect(240, 195, 345, 195));
    // The box was measured for an 8-point system font; with a larger one the
    // label grows to the right, into the free space, rather than cut "Port:".
    if (Label1->sizeHint().width() > Label1->width())
        Label1->resize(Label1->sizeHint().width(), Label1->height());

    auto *combo = new PortComboBox(this);
    Combo1 = combo;
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setGeometry(twipsRect(840, 120, 2055, 315));

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twipsRect(1920, 600, 975, 375));
    // Not the default button: Enter confirms only from the list.
    Command1->setAutoDefault(false);
    Command1->setDefault(false);

    MSComm1 = new SerialLink(this);
    MSComm1->setObjectName(QStringLiteral("MSComm1"));

    setTabOrder(Combo1, Command1);
    Combo1->setFocus();

    connect(Command1, &QPushButton::clicked, this, &fSelectSerialDevice::ZatwierdzWyborPortu);
    connect(combo, &PortComboBox::enterPressed, this, &fSelectSerialDevice::ZatwierdzWyborPortu);
    connect(combo, &PortComboBox::popupAboutToShow, this, &fSelectSerialDevice::refreshPortList);
}

fSelectSerialDevice::~fSelectSerialDevice() = default;

bool fSelectSerialDevice::Form_Load()
{
    WypelnijListePortow();
    if (Combo1->count() > 0) {
        // Returns once the port is handed over (accepted) or the user closed
        // the window (rejected), which ends the program.
        exec();
        return m_handedOver;
    }
    PokazOstrzezenie(messages::NoSerialPorts);
    m_handedOver = true;
    m_loadMainWindow(QString());
    return true;
}

void fSelectSerialDevice::WypelnijListePortow()
{
    for (const PortEntry &entry : m_listPorts()) {
        Combo1->addItem(entry.name, entry.device);
        Combo1->setItemData(Combo1->count() - 1, entry.deviceText(), Qt::ToolTipRole);
    }
    if (Combo1->count() > 0)
        Combo1->setCurrentIndex(0);
}

void fSelectSerialDevice::refreshPortList()
{
    // Keep the user's device selected while it is still there, even when
    // another device plugged in before it moved it to another number.
    const QString device = Combo1->currentData(DeviceRole).toString();
    const QString name = Combo1->currentText();
    Combo1->clear();
    WypelnijListePortow();
    const int index =
        device.isEmpty() ? Combo1->findText(name) : Combo1->findData(device, DeviceRole);
    if (index >= 0)
        Combo1->setCurrentIndex(index);
}

void fSelectSerialDevice::ZatwierdzWyborPortu()
{
    // After the hand-over the dialog has nothing more to confirm; a second
    // main window must never load.
    if (m_handedOver)
        return;

    // The port number is n of the entry's name COMn. An empty list gives no
    // number, and nothing is shown.
    const quint8 number = portNumberOf(Combo1->currentText());
    if (number == 0)
        return;
    Module1::NumerPortu = number;

    // The device the entry was listed with, though another adapter may have
    // taken its number since: the user chose what the list showed.
    const QString device = Combo1->currentData(DeviceRole).toString();
    const SerialLink::OpenResult opened = MSComm1->open(device);
    if (opened == SerialLink::OpenResult::Opened) {
        MSComm1->close();
        handOver(device);
        return;
    }
    // The dialog stays up with the message, and the user may try again.
    const OpenFailureReport report = reportOpenFailure(opened, device, MSComm1->errorString());
    PokazOstrzezenie(report.message, report.detail);
}

void fSelectSerialDevice::handOver(const QString &device)
{
    m_handedOver = true;
    // Gone from the screen before the main window loads; the modal loop ends
    // when the main window's load has returned.
    done(Accepted);
    QCoreApplication::processEvents();
    m_loadMainWindow(device);
}

void fSelectSerialDevice::keyPressEvent(QKeyEvent *event)
{
    // Escape does not close the dialog: it has no cancel button, and closing
    // it ends the program. The close box and Alt+F4 do that.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
