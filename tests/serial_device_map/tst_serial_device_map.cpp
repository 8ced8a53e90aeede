// The serial device map made up from the machine's serial devices: what the
// registry calls answer, the ports the probe finds in it with the device each
// entry holds, and the order that gives the devices their numbers.

#include "ports/port_list.h"
#include "ports/serial_device_registry.h"
#include "ports/serial_devices.h"

#include <QTest>

#include <algorithm>

using namespace modRegistry;

namespace {

QList<SerialDevice> devicesNamed(const QStringList &paths)
{
    QList<SerialDevice> devices;
    for (const QString &path : paths)
        devices.append({path, QString()});
    return devices;
}

QStringList pathsOf(const QList<SerialDevice> &devices)
{
    QStringList paths;
    for (const SerialDevice &device : devices)
        paths.append(device.systemLocation);
    return paths;
}

QList<SerialDevice> devices(const QStringList &locations)
{
    QList<SerialDevice> list;
    for (const QString &location : locations)
        list.append({location, QStringLiteral("device at ") + location});
    return list;
}

// The entries the dialog would offer for these devices: "COMn" and the device text.
QStringList offered(const QList<SerialDevice> &devices)
{
    QStringList list;
    for (const PortEntry &entry : portsOfDevices(devices))
        list.append(entry.name + ' ' + entry.deviceText());
    return list;
}

} // namespace

class SerialDeviceMap : public QObject
{
    Q_OBJECT

private slots:
    void values_data()
    {
        QTest::addColumn<uint>("root");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("expected"); // empty: nothing there

        const uint hklm = LocalMachine;
        const QByteArray map = SerialCommKey;
        QTest::newRow("first device") << hklm << map << QByteArray("\\Device\\Serial0") << "COM1";
        QTest::newRow("third device") << hklm << map << QByteArray("\\Device\\Serial2") << "COM3";
        QTest::newRow("names ignore case") << hklm << QByteArray("HARDWARE\\DEVICEMAP\\SERIALCOMM")
                                           << QByteArray("\\device\\SERIAL1") << "COM2";
        QTest::newRow("another root")
            << 0x80000001u << map << QByteArray("\\Device\\Serial0") << "";
        QTest::newRow("the parent key")
            << hklm << QByteArray("Hardware\\DeviceMap") << QByteArray("\\Device\\Serial0") << "";
        QTest::newRow("a key below")
            << hklm << map + "\\x" << QByteArray("\\Device\\Serial0") << "";
        for (const char *number : {"3", "01", "+1", "-1", "", "1x", "99999999999999999999"})
            QTest::addRow("no value Serial%s", number)
                << hklm << map << QByteArray("\\Device\\Serial") + number << "";
        QTest::newRow("no value COM1") << hklm << map << QByteArray("COM1") << "";
    }

    void values()
    {
        QFETCH(uint, root);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, name);
        QFETCH(QString, expected);
        SerialDeviceRegistry registry(devices({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"}));
        const std::optional<std::string> value =
            OdczytajWartoscRejestru(registry, root, path.toStdString(), name.toStdString());
        QCOMPARE(QString::fromStdString(value.value_or("")), expected);
        QCOMPARE(value.has_value(), !expected.isEmpty());
    }

    // Too small a buffer is refused with the size it needs, and left alone.
    void smallBuffer()
    {
        SerialDeviceRegistry registry(devices({"/dev/ttyS0"}));
        RegistryApi::Key key = 0;
        QCOMPARE(registry.openKey(LocalMachine, SerialCommKey, key), Success);
        std::uint32_t type = 0;
        std::uint32_t size = 4;
        QByteArray buffer(4, ' ');
        QCOMPARE(registry.queryValue(key, "\\Device\\Serial0", &type, buffer.data(), &size),
                 MoreData);
        QCOMPARE(size, 5u); // "COM1" and its NUL
        QCOMPARE(buffer, QByteArray(4, ' '));
        QCOMPARE(registry.closeKey(key), Success);
    }

    void probe_data()
    {
        QTest::addColumn<int>("deviceCount");
        QTest::addColumn<int>("portCount");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("three") << 3 << 3;
        QTest::newRow("twelve, only eight slots") << 12 << 8;
    }

    void probe()
    {
        QFETCH(int, deviceCount);
        QFETCH(int, portCount);
        QStringList paths;
        QStringList expected;
        for (int i = 0; i < deviceCount; ++i) {
            paths.append(QStringLiteral("/dev/ttyUSB%1").arg(i));
            if (i < portCount)
                expected.append(QStringLiteral("COM%1 /dev/ttyUSB%2 — device at /dev/ttyUSB%2")
                                    .arg(i + 1)
                                    .arg(i));
        }
        QCOMPARE(offered(devices(paths)), expected);
    }

    // The same devices get the same numbers whatever order the system lists
    // them in, and each entry holds the device listed under its number.
    void stableOrder()
    {
        const QList<SerialDevice> listed{{"/dev/ttyUSB1", "FT232R USB UART"},
                                         {"/dev/ttyACM0", ""},
                                         {"/dev/ttyUSB0", "CP2102 USB to UART Bridge Controller"},
                                         {"/dev/ttyS0", ""}};
        const QStringList expected{"COM1 /dev/ttyS0",
                                   "COM2 /dev/ttyUSB0 — CP2102 USB to UART Bridge Controller",
                                   "COM3 /dev/ttyUSB1 — FT232R USB UART", "COM4 /dev/ttyACM0"};
        QCOMPARE(offered(listed), expected);
        QCOMPARE(offered({listed[3], listed[1], listed[0], listed[2]}), expected);
        const QList<PortEntry> entries = portsOfDevices(listed);
        for (int n = 1; n <= 4; ++n)
            QCOMPARE(entries.at(n - 1).device, expected[n - 1].section(' ', 1, 1));
    }

    void deviceOrder_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QStringList>("ordered");

        QTest::newRow("kinds") << QStringList{"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/rfcomm0",
                                              "/dev/ttyS0"}
                               << QStringList{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyACM0",
                                              "/dev/rfcomm0"};
        QTest::newRow("by number, not by letters")
            << QStringList{"/dev/ttyUSB11", "/dev/ttyS10", "/dev/ttyUSB9", "/dev/ttyS2"}
            << QStringList{"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB9", "/dev/ttyUSB11"};
        QTest::newRow("look-alike names are other kinds")
            << QStringList{"/dev/ttySAC0", "/dev/ttyS0", "/dev/ttyUSBx"}
            << QStringList{"/dev/ttyS0", "/dev/ttySAC0", "/dev/ttyUSBx"};
    }

    void deviceOrder()
    {
        QFETCH(QStringList, listed);
        QFETCH(QStringList, ordered);
        QCOMPARE(pathsOf(orderedSerialDevices(devicesNamed(listed))), ordered);
        // The same numbers whatever order the system lists the devices in.
        std::reverse(listed.begin(), listed.end());
        QCOMPARE(pathsOf(orderedSerialDevices(devicesNamed(listed))), ordered);
    }
};

QTEST_GUILESS_MAIN(SerialDeviceMap)
#include "tst_serial_device_map.moc"
