#include "programming/serial_devices.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>

namespace {

SerialDeviceSource deviceSource = nullptr;

// The devices as last listed. "COMn" names what the user was shown, so a port
// number keeps meaning the same device until the ports are listed again, even
// when an adapter comes or goes in between; it also spares listing the ports
// anew at every opening.
std::optional<QList<SerialDevice>> lastListing;

QList<SerialDevice> systemDevices()
{
    QList<SerialDevice> devices;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        devices.append({port.systemLocation(), port.description()});
    return devices;
}

// Where a device's kind puts it: legacy ports first, then USB adapters, then
// modems, then anything else.
int kindRank(const QString &name)
{
    static const QStringList kinds{QStringLiteral("ttyS"), QStringLiteral("ttyUSB"),
                                   QStringLiteral("ttyACM")};
    for (int i = 0; i < kinds.size(); ++i) {
        if (name.startsWith(kinds[i]) && name.size() > kinds[i].size() &&
            name.at(kinds[i].size()).isDigit())
            return i;
    }
    return int(kinds.size());
}

// A device name cut into its stem and the number it ends in, so that ttyS10
// comes after ttyS9; -1 when it ends in no number.
std::pair<QString, qint64> stemAndNumber(const QString &name)
{
    qsizetype digits = 0;
    while (digits < name.size() && name.at(name.size() - 1 - digits).isDigit())
        ++digits;
    if (digits == 0)
        return {name, -1};
    return {name.chopped(digits), name.right(digits).toLongLong()};
}

} // namespace

QList<SerialDevice> orderedSerialDevices(const QList<SerialDevice> &devices)
{
    QList<SerialDevice> ordered = devices;
    const auto key = [](const SerialDevice &device) {
        const QString name = QFileInfo(device.systemLocation).fileName();
        const auto [stem, number] = stemAndNumber(name);
        return std::make_tuple(kindRank(name), stem, number, device.systemLocation);
    };
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const SerialDevice &a, const SerialDevice &b) { return key(a) < key(b); });
    return ordered;
}

QList<SerialDevice> serialDevices()
{
    lastListing = orderedSerialDevices(deviceSource ? deviceSource() : systemDevices());
    return *lastListing;
}

void setSerialDeviceSource(SerialDeviceSource source)
{
    deviceSource = source;
    lastListing.reset();
}

QString systemPortName(int portNumber)
{
    if (portNumber < 1)
        return {};
#ifdef Q_OS_WIN
    // Windows numbers its ports itself; a test's own list still wins.
    if (!deviceSource)
        return QStringLiteral("COM%1").arg(portNumber);
#endif
    const QList<SerialDevice> devices = lastListing ? *lastListing : serialDevices();
    if (portNumber > devices.size())
        return {};
    return devices.at(portNumber - 1).systemLocation;
}
