#pragma once

// The machine's serial devices in the order that numbers them COM1, COM2, ...
// on systems without the Windows serial device map: the same devices get the
// same numbers at every start.

#include <QList>
#include <QSerialPortInfo>
#include <QString>

struct SerialDevice
{
    QString systemLocation; // "/dev/ttyUSB0"
    QString description;    // "FT232R USB UART", may be empty
};

// Legacy ports first (ttyS), then USB adapters (ttyUSB), modems (ttyACM) and
// the rest; by number within each kind.
QList<SerialDevice> orderedSerialDevices(const QList<SerialDevice> &devices);

// The machine's devices as QSerialPortInfo reports them, ordered.
QList<SerialDevice> serialDevices();

// Where serialDevices() finds the devices before ordering them; by default
// QSerialPortInfo::availablePorts(). Tests put a list of their own devices
// (pseudo-terminals) in its place; nullptr restores the default. Either way
// the last listing is forgotten.
using SerialDeviceSource = QList<SerialDevice> (*)();
void setSerialDeviceSource(SerialDeviceSource source);

// The system name of the device behind "COM" + portNumber: on Windows that
// name itself, elsewhere the device at that place of the last serialDevices()
// listing (listing the devices first when they never were); empty when there
// is none.
QString systemPortName(int portNumber);
