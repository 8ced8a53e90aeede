#include "ports/serial_devices.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <tuple>
#include <utility>

namespace {

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

QList<SerialDevice> systemSerialDevices()
{
    QList<SerialDevice> devices;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        devices.append({port.systemLocation(), port.description()});
    return devices;
}
