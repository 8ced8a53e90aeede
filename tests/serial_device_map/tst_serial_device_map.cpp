// The serial device map made up from the machine's serial devices: what the
// registry calls answer, the ports the probe finds in it, and that COMn opens
// the device listed as COMn.

#include "ports/port_list.h"
#include "ports/serial_device_registry.h"
#include "programming/serial_devices.h"
#include "programming/serial_link.h"
#include "protocol/frames.h"
#include "tools/display_emulator.h"

#include <QTest>

#include <algorithm>
#include <memory>

using namespace modRegistry;

namespace {

constexpr std::uint32_t CurrentUser = 0x80000001;

QList<SerialDevice> testDevices;

QList<SerialDevice> listTestDevices()
{
    return testDevices;
}

QList<SerialDevice> devices(const QStringList &locations)
{
    QList<SerialDevice> list;
    for (const QString &location : locations)
        list.append({location, QStringLiteral("device at ") + location});
    return list;
}

QStringList names(const std::vector<std::string> &probed)
{
    QStringList list;
    for (const std::string &name : probed)
        list.append(QString::fromStdString(name));
    return list;
}

QStringList comNames(int count)
{
    QStringList list;
    for (int n = 1; n <= count; ++n)
        list.append(QStringLiteral("COM%1").arg(n));
    return list;
}

QStringList locations(const QList<PortEntry> &entries)
{
    QStringList list;
    for (const PortEntry &entry : entries)
        list.append(entry.systemLocation);
    return list;
}

} // namespace

class SerialDeviceMap : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        setSerialDeviceSource(nullptr);
        testDevices.clear();
    }

    void reportsTheNtFamily()
    {
        SerialDeviceRegistry registry(devices({"/dev/ttyS0"}));
        VersionRecord record;
        record.size = sizeof(VersionRecord);
        QVERIFY(registry.version(record));
        QCOMPARE(record.platformId, PlatformNt);

        VersionRecord wrongSize;
        wrongSize.size = 100;
        QVERIFY(!registry.version(wrongSize));
        QCOMPARE(wrongSize.platformId, 0u);
    }

    void openKey_data()
    {
        QTest::addColumn<uint>("root");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("opens");
        QTest::newRow("the device map") << uint(LocalMachine) << QByteArray(SerialCommKey) << true;
        QTest::newRow("names ignore case")
            << uint(LocalMachine) << QByteArray("HARDWARE\\DEVICEMAP\\SERIALCOMM") << true;
        QTest::newRow("another root") << uint(CurrentUser) << QByteArray(SerialCommKey) << false;
        QTest::newRow("its parent")
            << uint(LocalMachine) << QByteArray("Hardware\\DeviceMap") << false;
        QTest::newRow("below it") << uint(LocalMachine)
                                  << QByteArray("Hardware\\DeviceMap\\SerialComm\\x") << false;
        QTest::newRow("empty") << uint(LocalMachine) << QByteArray() << false;
    }

    void openKey()
    {
        QFETCH(uint, root);
        QFETCH(QByteArray, path);
        QFETCH(bool, opens);
        SerialDeviceRegistry registry(devices({"/dev/ttyS0"}));
        RegistryApi::Key key = 0;
        const long status = registry.openKey(root, path.constData(), key);
        QCOMPARE(status == Success, opens);
        if (opens)
            QCOMPARE(registry.closeKey(key), Success);
    }

    void values_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("expected"); // empty: no such value
        QTest::newRow("first device") << QByteArray("\\Device\\Serial0") << QByteArray("COM1\0", 5);
        QTest::newRow("third device") << QByteArray("\\Device\\Serial2") << QByteArray("COM3\0", 5);
        QTest::newRow("names ignore case")
            << QByteArray("\\device\\SERIAL1") << QByteArray("COM2\0", 5);
        QTest::newRow("past the last device") << QByteArray("\\Device\\Serial3") << QByteArray();
        QTest::newRow("leading zero") << QByteArray("\\Device\\Serial01") << QByteArray();
        QTest::newRow("sign") << QByteArray("\\Device\\Serial+1") << QByteArray();
        QTest::newRow("negative") << QByteArray("\\Device\\Serial-1") << QByteArray();
        QTest::newRow("no number") << QByteArray("\\Device\\Serial") << QByteArray();
        QTest::newRow("trailing text") << QByteArray("\\Device\\Serial1x") << QByteArray();
        QTest::newRow("huge number")
            << QByteArray("\\Device\\Serial99999999999999999999") << QByteArray();
        QTest::newRow("Windows 98 name") << QByteArray("COM1") << QByteArray();
    }

    void values()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, expected);
        SerialDeviceRegistry registry(devices({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"}));
        RegistryApi::Key key = 0;
        QCOMPARE(registry.openKey(LocalMachine, SerialCommKey, key), Success);

        std::uint32_t type = 0;
        std::uint32_t size = 0;
        const long sizeStatus = registry.queryValue(key, name.constData(), &type, nullptr, &size);
        if (expected.isEmpty()) {
            QCOMPARE(sizeStatus, FileNotFound);
            QCOMPARE(type, 0u);
            return;
        }
        QCOMPARE(sizeStatus, Success);
        QCOMPARE(type, StringValue);
        QCOMPARE(size, std::uint32_t(expected.size()));

        QByteArray buffer(qsizetype(size), ' ');
        QCOMPARE(registry.queryValue(key, name.constData(), &type, buffer.data(), &size), Success);
        QCOMPARE(buffer, expected);

        // Too small a buffer is refused, with the size it needs.
        std::uint32_t small = size - 1;
        QByteArray smallBuffer(qsizetype(small), ' ');
        QCOMPARE(registry.queryValue(key, name.constData(), &type, smallBuffer.data(), &small),
                 MoreData);
        QCOMPARE(small, size);
        QCOMPARE(smallBuffer, QByteArray(qsizetype(size - 1), ' '));
    }

    void probe_data()
    {
        QTest::addColumn<int>("deviceCount");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("none") << 0 << QStringList{};
        QTest::newRow("one") << 1 << comNames(1);
        QTest::newRow("three") << 3 << comNames(3);
        QTest::newRow("eight") << 8 << comNames(8);
        QTest::newRow("twelve, only eight slots") << 12 << comNames(8);
    }

    void probe()
    {
        QFETCH(int, deviceCount);
        QFETCH(QStringList, expected);
        QStringList paths;
        for (int i = 0; i < deviceCount; ++i)
            paths.append(QStringLiteral("/dev/ttyUSB%1").arg(i));

        SerialDeviceRegistry registry(devices(paths));
        QCOMPARE(names(probeSerialPorts(registry)), expected);
        QCOMPARE(OdczytajWartoscRejestru(registry, LocalMachine, SerialCommKey, "\\Device\\Serial0")
                     .has_value(),
                 deviceCount > 0);

        testDevices = devices(paths);
        setSerialDeviceSource(listTestDevices);
        const QList<PortEntry> entries = listSerialPorts();
        QCOMPARE(entries.size(), expected.size());
        for (int i = 0; i < entries.size(); ++i) {
            QCOMPARE(entries[i].name, expected[i]);
            QCOMPARE(entries[i].systemLocation, paths[i]);
        }
    }

    // The same devices get the same numbers whatever order the system lists
    // them in: legacy ports, USB adapters, modems, then the rest, by number.
    void stableOrder()
    {
        const QStringList ordered{"/dev/ttyS0",   "/dev/ttyS2",   "/dev/ttyS10",
                                  "/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0"};
        QStringList shuffled = ordered;
        std::sort(shuffled.begin(), shuffled.end());
        int permutations = 0;
        do {
            testDevices = devices(shuffled);
            setSerialDeviceSource(listTestDevices);
            const QList<PortEntry> entries = listSerialPorts();
            QCOMPARE(locations(entries), ordered);
            ++permutations;
        } while (std::next_permutation(shuffled.begin(), shuffled.end()) && permutations < 100);
    }

    void entriesNameTheirDevice()
    {
        testDevices = {{"/dev/ttyUSB1", "FT232R USB UART"},
                       {"/dev/ttyUSB0", "CP2102 USB to UART Bridge Controller"},
                       {"/dev/ttyS0", ""}};
        setSerialDeviceSource(listTestDevices);
        const QList<PortEntry> entries = listSerialPorts();
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0].deviceText(), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(entries[1].deviceText(),
                 QStringLiteral("/dev/ttyUSB0 — CP2102 USB to UART Bridge Controller"));
        QCOMPARE(entries[2].deviceText(), QStringLiteral("/dev/ttyUSB1 — FT232R USB UART"));
        // The serial link opens, for each port number, the device listed under it.
        for (int n = 1; n <= 3; ++n)
            QCOMPARE(systemPortName(n), entries[n - 1].systemLocation);
    }

    void comNOpensTheDeviceListedAsComN()
    {
        std::vector<std::unique_ptr<emulator::DisplayEmulator>> displays;
        QStringList paths;
        for (int i = 0; i < 3; ++i) {
            displays.push_back(std::make_unique<emulator::DisplayEmulator>());
            QVERIFY2(displays.back()->open(), qPrintable(displays.back()->errorString()));
            paths.prepend(displays.back()->slavePath());
        }
        testDevices = devices(paths);
        setSerialDeviceSource(listTestDevices);
        const QList<PortEntry> entries = listSerialPorts();
        QCOMPARE(entries.size(), 3);

        for (int n = 1; n <= 3; ++n) {
            for (auto &display : displays)
                display->clearLog();
            SerialLink link;
            link.setCommPort(n);
            QCOMPARE(link.open(), SerialLink::OpenResult::Opened);
            QVERIFY(link.Output(protocol::bytes(protocol::KomendaProg)));
            link.close();

            for (auto &display : displays) {
                if (display->slavePath() == entries[n - 1].systemLocation) {
                    QTRY_COMPARE_WITH_TIMEOUT(display->received(),
                                              protocol::bytes(protocol::KomendaProg), 5000);
                }
            }
            for (auto &display : displays) {
                if (display->slavePath() != entries[n - 1].systemLocation)
                    QCOMPARE(display->received(), QByteArray());
            }
        }
    }
};

QTEST_GUILESS_MAIN(SerialDeviceMap)
#include "tst_serial_device_map.moc"
