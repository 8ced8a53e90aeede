#include "programming/serial_devices.h"

QList<SerialDevice> orderedSerialDevices(const QList<SerialDevice> &devices)
{
    return devices;
}

QList<SerialDevice> serialDevices()
{
    return {};
}

void setSerialDeviceSource(SerialDeviceSource) {}

QString systemPortName(int)
{
    return {};
}
