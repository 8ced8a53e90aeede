#pragma once

// The ports the dialog offers: the probe of the serial device map on this
// system, each accepted name with the device behind it, so that two adapters
// can be told apart.

#include <QList>
#include <QString>

struct PortEntry
{
    QString name;           // "COM1" .. "COM8"
    QString systemLocation; // "/dev/ttyUSB0"; empty when nothing is known of it
    QString description;    // "FT232R USB UART"; may be empty

    // "/dev/ttyUSB0 — FT232R USB UART", the location alone without a description.
    QString deviceText() const;
};

// In slot order, duplicates kept, at most eight.
QList<PortEntry> listSerialPorts();
