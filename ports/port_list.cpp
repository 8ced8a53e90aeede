#include "ports/port_list.h"

#include "ports/registry.h"

#ifdef Q_OS_WIN
#include "ports/registry_windows.h"

#include <QSerialPortInfo>
#else
#include "ports/serial_device_registry.h"
#endif

QString PortEntry::deviceText() const
{
    if (description.isEmpty())
        return systemLocation;
    return systemLocation + QStringLiteral(" — ") + description;
}

QList<PortEntry> listSerialPorts()
{
    QList<PortEntry> entries;
#ifdef Q_OS_WIN
    modRegistry::WindowsRegistry registry;
    for (const std::string &name : modRegistry::probeSerialPorts(registry)) {
        PortEntry entry{QString::fromLocal8Bit(name.c_str()), {}, {}};
        const QSerialPortInfo info(entry.name);
        if (!info.isNull()) {
            entry.systemLocation = info.systemLocation();
            entry.description = info.description();
        }
        entries.append(entry);
    }
#else
    // One reading of the devices serves both the names and the devices behind them.
    SerialDeviceRegistry registry;
    for (const std::string &name : modRegistry::probeSerialPorts(registry)) {
        PortEntry entry{QString::fromLatin1(name.c_str()), {}, {}};
        const SerialDevice device = registry.devices().value(name.back() - '1');
        entry.systemLocation = device.systemLocation;
        entry.description = device.description;
        entries.append(entry);
    }
#endif
    return entries;
}
