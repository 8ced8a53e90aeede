// The order that gives the machine's serial devices their port numbers: the
// same devices must get the same numbers at every start, whatever order the
// system lists them in.

#include "programming/serial_devices.h"

#include <QTest>

#include <algorithm>

namespace {

QList<SerialDevice> devicesNamed(const QStringList &paths)
{
    QList<SerialDevice> devices;
    for (const QString &path : paths)
        devices.append({path, QStringLiteral("about ") + path});
    return devices;
}

QStringList pathsOf(const QList<SerialDevice> &devices)
{
    QStringList paths;
    for (const SerialDevice &device : devices)
        paths.append(device.systemLocation);
    return paths;
}

QList<SerialDevice> threeDevices()
{
    return devicesNamed({"/dev/ttyUSB0", "/dev/ttyS1", "/dev/ttyS0"});
}

QList<SerialDevice> noDevices()
{
    return {};
}

} // namespace

class ProgrammingDeviceOrder : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { setSerialDeviceSource(nullptr); }

    void order_data();
    void order();
    void orderDoesNotDependOnHowTheSystemListsThem();
    void portNumbersNameDevicesInThatOrder();
    void noDevicesNoPorts();
};

void ProgrammingDeviceOrder::order_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("ordered");

    QTest::newRow("kinds") << QStringList{"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/rfcomm0",
                                          "/dev/ttyS0"}
                           << QStringList{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyACM0",
                                          "/dev/rfcomm0"};
    QTest::newRow("numbers, not letters") << QStringList{"/dev/ttyS10", "/dev/ttyS2", "/dev/ttyS1"}
                                          << QStringList{"/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS10"};
    QTest::newRow("usb by number") << QStringList{"/dev/ttyUSB11", "/dev/ttyS3", "/dev/ttyUSB9"}
                                   << QStringList{"/dev/ttyS3", "/dev/ttyUSB9", "/dev/ttyUSB11"};
    QTest::newRow("look-alike names are other kinds")
        << QStringList{"/dev/ttySAC0", "/dev/ttyS0", "/dev/ttyUSBx"}
        << QStringList{"/dev/ttyS0", "/dev/ttySAC0", "/dev/ttyUSBx"};
    QTest::newRow("one") << QStringList{"/dev/ttyACM3"} << QStringList{"/dev/ttyACM3"};
    QTest::newRow("none") << QStringList{} << QStringList{};
}

void ProgrammingDeviceOrder::order()
{
    QFETCH(QStringList, listed);
    QFETCH(QStringList, ordered);
    const QList<SerialDevice> result = orderedSerialDevices(devicesNamed(listed));
    QCOMPARE(pathsOf(result), ordered);
    // Each description stays with its device.
    for (const SerialDevice &device : result)
        QCOMPARE(device.description, QStringLiteral("about ") + device.systemLocation);
}

void ProgrammingDeviceOrder::orderDoesNotDependOnHowTheSystemListsThem()
{
    QStringList paths{"/dev/ttyUSB1", "/dev/ttyS4",   "/dev/ttyACM0",
                      "/dev/ttyS0",   "/dev/ttyUSB0", "/dev/pts/7"};
    const QStringList first = pathsOf(orderedSerialDevices(devicesNamed(paths)));
    std::reverse(paths.begin(), paths.end());
    QCOMPARE(pathsOf(orderedSerialDevices(devicesNamed(paths))), first);
}

void ProgrammingDeviceOrder::portNumbersNameDevicesInThatOrder()
{
    setSerialDeviceSource(&threeDevices);
    QCOMPARE(pathsOf(serialDevices()), (QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"}));
    QCOMPARE(systemPortName(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(systemPortName(2), QStringLiteral("/dev/ttyS1"));
    QCOMPARE(systemPortName(3), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(systemPortName(4), QString());
    QCOMPARE(systemPortName(0), QString());
    QCOMPARE(systemPortName(-1), QString());
}

void ProgrammingDeviceOrder::noDevicesNoPorts()
{
    setSerialDeviceSource(&noDevices);
    QVERIFY(serialDevices().isEmpty());
    QCOMPARE(systemPortName(1), QString());
}

QTEST_GUILESS_MAIN(ProgrammingDeviceOrder)
#include "tst_programming_device_order.moc"
