#include "ports/port_list.h"

#include "ports/registry.h"
#include "ports/serial_device_registry.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include "ports/registry_windows.h"

#include <QHash>
#include <QSerialPortInfo>
#endif

QString PortEntry::deviceText() const
{
    if (description.isEmpty())
        return device;
    return device + QStringLiteral(" — ") + description;
}

QList<PortEntry> portsOfDevices(const QList<SerialDevice> &devices)
{
    QList<PortEntry> entries;
    // One reading of the devices serves both the names and the devices behind them.
    SerialDeviceRegistry registry(devices);
    for (const std::string &name : modRegistry::probeSerialPorts(registry)) {
        const SerialDevice device = registry.devices().value(modRegistry::portNumber(name) - 1);
        entries.append(
            {QString::fromLatin1(name.c_str()), device.systemLocation, device.description});
    }
    return entries;
}

quint8 portNumberOf(const QString &name)
{
    return quint8(modRegistry::portNumber(name.toStdString()));
}

QList<PortEntry> listSerialPorts()
{
#ifdef Q_OS_WIN
    // Windows numbers its ports itself: the device is the name, which
    // QSerialPort opens as \\.\COMn, as COM10 and up need. The descriptions
    // come from one walk through Windows' device list (SetupAPI), which takes
    // a while: QSerialPortInfo(name) would walk it once for each port.
    QHash<QString, QString> descriptions;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        descriptions.insert(port.portName(), port.description());
    QList<PortEntry> entries;
    modRegistry::WindowsRegistry registry;
    for (const std::string &name : modRegistry::probeSerialPorts(registry)) {
        const QString portName = QString::fromLocal8Bit(name.c_str());
        entries.append({portName, portName, descriptions.value(portName)});
    }
    return entries;
#else
    return portsOfDevices(systemSerialDevices());
#endif
}

QString linkInFolderTo(const QString &folder, const QString &device)
{
    // A link given as the device is the name itself.
    if (QFileInfo(device).absolutePath() == QDir(folder).absolutePath())
        return QFileInfo(device).absoluteFilePath();
    const QString target = QFileInfo(device).canonicalFilePath();
    const QFileInfoList links = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &link : links) {
        if (!target.isEmpty() && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return QString();
}

QString stableIdOf(const QString &port, const QString &device)
{
    if (port.contains(QStringLiteral("://")))
        return port;
#ifdef Q_OS_WIN
    modRegistry::WindowsRegistry registry;
    QString name = device.toUpper();
    name.remove(QStringLiteral("\\\\.\\"));
    return QString::fromLocal8Bit(modRegistry::deviceMapName(registry, name.toStdString()));
#else
    return linkInFolderTo(QStringLiteral("/dev/serial/by-id"), device);
#endif
}

QString deviceOf(const QString &port)
{
#ifndef Q_OS_WIN
    if (port.contains(u'/'))
        return port;
#endif
    const QList<PortEntry> ports = listSerialPorts();
    for (const PortEntry &entry : ports) {
        if (entry.name.compare(port, Qt::CaseInsensitive) == 0)
            return entry.device;
    }
#ifdef Q_OS_WIN
    return port;
#else
    return QString();
#endif
}
