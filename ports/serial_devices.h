#pragma once

// The machine's serial devices, and the order that numbers them COM1, COM2, ...
// on systems without the Windows serial device map: the same devices get the
// same numbers at every start.

#include <QList>
#include <QString>

struct SerialDevice
{
    QString systemLocation; // "/dev/ttyUSB0"
    QString description;    // "FT232R USB UART", may be empty
};

// Legacy ports first (ttyS), then USB adapters (ttyUSB), modems (ttyACM) and
// the rest; by number within each kind.
QList<SerialDevice> orderedSerialDevices(const QList<SerialDevice> &devices);

// The machine's devices as QSerialPortInfo reports them: on Linux read from
// sysfs directly, much faster with the same devices; elsewhere from it.
QList<SerialDevice> systemSerialDevices();
