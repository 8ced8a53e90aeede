#pragma once

// The ports the dialog offers: the probe of the serial device map on this
// system, each accepted name with the device behind it. The entry carries its
// device, so confirming an entry opens what the user was shown, even when
// an adapter has come or gone since the list was made.

#include "ports/serial_devices.h"

#include <QList>
#include <QString>

#include <functional>

struct PortEntry
{
    QString name;        // "COM1" .. "COM255"
    QString device;      // what the serial link opens: "COM3" on Windows, "/dev/ttyUSB0" elsewhere
    QString description; // "FT232R USB UART"; may be empty

    // "/dev/ttyUSB0 — FT232R USB UART", the device alone without a description.
    QString deviceText() const;
};

// A listing of the ports to offer, in the order of the device map's probe.
// The program lists the machine's (listSerialPorts); tests give their own.
using PortListing = std::function<QList<PortEntry>()>;

// The number n of the port named "COMn" (1 to 255), the number the program
// keeps for the chosen port; 0 for a name that is no port.
quint8 portNumberOf(const QString &name);

// The machine's ports: the Windows serial device map, or elsewhere the map
// made up from the machine's serial devices.
QList<PortEntry> listSerialPorts();

// The device behind a port name as the port dialog lists it, or a name given
// as it stands: a path or a server's URL, or on Windows any port name. Empty
// when the name is not listed.
QString deviceOf(const QString &port);

// The ports of the map made up from these devices, as listSerialPorts() gives
// them on a system without the Windows serial device map.
QList<PortEntry> portsOfDevices(const QList<SerialDevice> &devices);

// The name that keeps naming the port's device whatever else is plugged in:
// for a network port its URL; on Windows the serial device map's value name
// (\Device\VCP0); elsewhere its link in /dev/serial/by-id. Empty when there
// is none (a built-in port, a pseudo-terminal).
QString stableIdOf(const QString &port, const QString &device);

// The link in folder that leads to device, as a path; empty when none does.
QString linkInFolderTo(const QString &folder, const QString &device);
