// Port discovery: the probe of the eight slots and of the device map's other
// values, through the registry reader, against a registry that answers as
// Windows does; and the ports offered on a system without it, numbered from
// the machine's serial devices.

#include "ports/port_list.h"
#include "ports/registry.h"

#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>

using namespace modRegistry;

namespace {

// The device map key, holding the values a test stores; a value may be
// rewritten between the query of its size and the read.
struct FakeRegistry : RegistryApi
{
    QMap<QByteArray, QPair<uint, QByteArray>> values; // name: type, stored bytes
    std::uint32_t platform = PlatformNt;              // 0: the version call fails
    QByteArray rewritten;
    int openKeys = 0;

    bool version(VersionRecord &record) override
    {
        if (platform == 0 || record.size != sizeof record)
            return false;
        record.platformId = platform;
        return true;
    }
    long openKey(std::uint32_t root, const char *path, Key &key) override
    {
        if (root != LocalMachine || qstricmp(path, SerialCommKey) != 0)
            return FileNotFound;
        ++openKeys;
        key = 42;
        return Success;
    }
    long queryValue(Key key, const char *name, std::uint32_t *type, char *data,
                    std::uint32_t *size) override
    {
        if (key != 42 || !values.contains(name))
            return key != 42 ? InvalidHandle : FileNotFound;
        *type = values[name].first;
        const QByteArray bytes = data && !rewritten.isNull() ? rewritten : values[name].second;
        const bool fits = data == nullptr || *size >= std::uint32_t(bytes.size());
        if (data && fits)
            std::memcpy(data, bytes.constData(), size_t(bytes.size()));
        *size = std::uint32_t(bytes.size());
        return fits ? Success : MoreData;
    }
    long enumValue(Key key, std::uint32_t index, char *name, std::uint32_t *size) override
    {
        if (key != 42 || index >= std::uint32_t(values.size()))
            return key != 42 ? InvalidHandle : NoMoreItems;
        *size = std::uint32_t(qsnprintf(name, *size, "%s", values.keys().at(index).constData()));
        return Success;
    }
    long closeKey(Key key) override
    {
        openKeys -= key == 42;
        return key == 42 ? Success : InvalidHandle;
    }
};

} // namespace

class Ports : public QObject
{
    Q_OBJECT

private slots:
    void probe_data()
    {
        // Slot k's value, as stored, '|' a NUL; "name=value" under a driver's own name.
        QTest::addColumn<QByteArrayList>("stored");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<uint>("platform");
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("rewritten"); // by the read, after the size query
        const auto row = [](const char *what, QByteArrayList stored, const char *expected,
                            uint platform = PlatformNt, uint type = StringValue,
                            QByteArray rewritten = {}) {
            QTest::newRow(what) << stored << QString::fromLatin1(expected) << platform << type
                                << rewritten;
        };
        row("none", {}, "");
        row("with, without, or cut at a NUL", {"COM3|", "COM5", "COM6|junk", "|COM7"},
            "COM3 COM5 COM6");
        row("COM1 to COM255 only",
            {"COM9|", "COM0", "com1", "COM012", " COM1", "COM256", "LPT1", "COM255"},
            "COM9 COM255");
        row("slot order and duplicates kept", {"COM3", "", "COM1", "COM3"}, "COM3 COM1 COM3");
        row("adapters after the slots, by number, each once",
            {"COM7", "COM3", "\\Device\\VCP0=COM5|", "\\Device\\Silabser0=COM12",
             "\\Device\\VCP1=COM12", "\\Device\\USBSER000=COM3", "\\Device\\Modem0=COM05"},
            "COM7 COM3 COM5 COM12");
        row("a ninth slot: as any value", {"", "", "", "", "", "", "", "", "COM2"}, "COM2");
        row("Windows 98", {"COM2", "", "COM1"}, "COM2 COM1", PlatformWindows9x);
        row("the version call fails: NT", {"COM3"}, "COM3", 0);
        row("an expandable string is no port", {"COM1|"}, "", PlatformNt, 2);
        row("a value grown between size and read", {"COM1", "COM2"}, "", PlatformNt, StringValue,
            "COM123");
    }

    // Slots 1..8 in order, each under its platform's name, then the other
    // values' ports; the key closed again after each look.
    void probe()
    {
        QFETCH(QByteArrayList, stored);
        QFETCH(QString, expected);
        QFETCH(uint, platform);
        QFETCH(uint, type);
        QFETCH(QByteArray, rewritten);
        FakeRegistry registry;
        registry.platform = platform;
        registry.rewritten = rewritten;
        for (int k = 1; k <= stored.size(); ++k) {
            QByteArrayList named = stored[k - 1].split('=');
            const QByteArray key = named.size() == 2 ? named[0]
                                   : platform == PlatformWindows9x
                                       ? "COM" + QByteArray::number(k)
                                       : "\\Device\\Serial" + QByteArray::number(k - 1);
            registry.values[key] = {type, named.last().replace('|', '\0')};
        }
        QStringList names;
        for (const std::string &name : probeSerialPorts(registry))
            names.append(QString::fromStdString(name));
        QCOMPARE(names.join(' '), expected);
        // Each port back to the value name it is stored under: its stable name.
        for (const QString &name : std::as_const(names)) {
            const std::string valueName = deviceMapName(registry, name.toLower().toStdString());
            QVERIFY(registry.values[valueName.c_str()].second.startsWith(name.toLatin1()));
        }
        QCOMPARE(deviceMapName(registry, "COM99"), "");
        QCOMPARE(registry.openKeys, 0);
    }

    // On Linux a device's stable name is its link in /dev/serial/by-id.
    void linkToDevice()
    {
        QTemporaryDir byId, dev;
        const QString device = dev.filePath("ttyUSB1");
        QFile(device).open(QIODevice::WriteOnly);
        QFile::link(dev.filePath("ttyUSB0"), byId.filePath("usb-FTDI_A-if00-port0"));
        QFile::link(device, byId.filePath("usb-FTDI_B-if00-port0"));
        QFile::link(device, dev.filePath("alias"));
        const QString link = byId.filePath("usb-FTDI_B-if00-port0");
        QCOMPARE(linkInFolderTo(byId.path(), dev.filePath("alias")), link);
        QCOMPARE(linkInFolderTo(byId.path(), link), link);
        QCOMPARE(linkInFolderTo(byId.path(), dev.filePath("ttyS0")), QString());
        QCOMPARE(stableIdOf("rfc2217://10.0.0.5:4001", QString()), "rfc2217://10.0.0.5:4001");
    }

    void numbering_data()
    {
        QTest::addColumn<QStringList>("devices"); // as the system lists them
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("none") << QStringList{} << QStringList{};
        QTest::newRow("built-in, then USB, modems, the rest")
            << QStringList{"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/rfcomm0", "/dev/ttyS0"}
            << QStringList{"COM1 /dev/ttyS0", "COM2 /dev/ttyUSB0", "COM3 /dev/ttyACM0",
                           "COM4 /dev/rfcomm0"};
        QTest::newRow("by number, look-alikes apart")
            << QStringList{"/dev/ttyS10", "/dev/ttyUSB0", "/dev/ttySAC0", "/dev/ttyS2"}
            << QStringList{"COM1 /dev/ttyS2", "COM2 /dev/ttyS10", "COM3 /dev/ttyUSB0",
                           "COM4 /dev/ttySAC0"};
        QStringList twelve, offered;
        for (int i = 0; i < 12; ++i) {
            twelve.append(QStringLiteral("/dev/ttyUSB%1").arg(i));
            offered.append(QStringLiteral("COM%1 /dev/ttyUSB%2").arg(i + 1).arg(i));
        }
        QTest::newRow("twelve, all offered") << twelve << offered;
    }

    // The same devices get the same numbers whatever order the system lists
    // them in; each entry holds its device and, for the user, its description.
    void numbering()
    {
        QFETCH(QStringList, devices);
        QFETCH(QStringList, offered);
        for (bool reversed : {false, true}) {
            QList<SerialDevice> listed;
            for (const QString &path : std::as_const(devices))
                listed.append({path, QString()});
            if (reversed)
                std::reverse(listed.begin(), listed.end());
            QStringList entries;
            for (const PortEntry &entry : portsOfDevices(listed))
                entries.append(entry.name + ' ' + entry.device);
            QCOMPARE(entries, offered);
        }
        QCOMPARE(portsOfDevices({{"/dev/ttyUSB1", "FT232R"}}).value(0).deviceText(),
                 QStringLiteral("/dev/ttyUSB1 — FT232R"));
        QCOMPARE(portNumberOf(QStringLiteral("COM12")), 12);
    }
};

QTEST_APPLESS_MAIN(Ports)
#include "tst_ports.moc"
