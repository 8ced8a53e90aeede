// The registry reader and the slot probe against a scripted registry that
// answers as Windows does.

#include "ports/registry.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QTest>

#include <cstring>

using namespace modRegistry;

namespace {

constexpr std::uint32_t ExpandableString = 2;
constexpr std::uint32_t BinaryValue = 3;
constexpr std::uint32_t NumberValue = 4;
constexpr std::uint32_t MultiString = 7;
constexpr std::uint32_t CurrentUser = 0x80000001;
constexpr long AccessDenied = 5;

struct StoredValue
{
    std::uint32_t type = StringValue;
    QByteArray data;
};

QByteArray sz(const char *text)
{
    return QByteArray(text, qsizetype(std::strlen(text)) + 1); // with its NUL
}

// One key, LocalMachine\Hardware\DeviceMap\SerialComm unless a test
// moves it, with the values a test stores.
class FakeRegistry : public RegistryApi
{
public:
    std::uint32_t root = LocalMachine;
    QByteArray path = SerialCommKey;
    bool keyExists = true;
    QMap<QByteArray, StoredValue> values;

    bool versionFails = false;
    std::uint32_t platformId = PlatformNt;
    long secondQueryStatus = Success;
    // Data the second query hands back instead of the stored data (a value
    // rewritten between the two queries).
    std::optional<QByteArray> dataOnSecondQuery;

    int opened = 0;
    int closed = 0;
    QList<QByteArray> queriedNames;

    bool version(VersionRecord &record) override
    {
        // Windows refuses a record whose size field it does not know.
        if (versionFails || record.size != sizeof(VersionRecord))
            return false;
        record.majorVersion = 5;
        record.platformId = platformId;
        return true;
    }

    long openKey(std::uint32_t r, const char *p, Key &key) override
    {
        if (!keyExists || r != root || path.compare(p, Qt::CaseInsensitive) != 0)
            return FileNotFound;
        ++opened;
        key = 42;
        return Success;
    }

    long queryValue(Key key, const char *name, std::uint32_t *type, char *data,
                    std::uint32_t *size) override
    {
        if (key != 42)
            return InvalidHandle;
        queriedNames.append(name);
        const auto found = values.constFind(name);
        if (found == values.constEnd())
            return FileNotFound;
        *type = found->type;
        if (data == nullptr) {
            *size = std::uint32_t(found->data.size());
            return Success;
        }
        if (secondQueryStatus != Success)
            return secondQueryStatus;
        const QByteArray bytes = dataOnSecondQuery.value_or(found->data);
        if (*size < std::uint32_t(bytes.size())) {
            *size = std::uint32_t(bytes.size());
            return MoreData;
        }
        std::memcpy(data, bytes.constData(), size_t(bytes.size()));
        *size = std::uint32_t(bytes.size());
        return Success;
    }

    long closeKey(Key key) override
    {
        if (key != 42)
            return InvalidHandle;
        ++closed;
        return Success;
    }
};

using Values = QMap<QByteArray, StoredValue>;

QStringList toStringList(const std::vector<std::string> &names)
{
    QStringList list;
    for (const std::string &name : names)
        list.append(QString::fromStdString(name));
    return list;
}

} // namespace

Q_DECLARE_METATYPE(std::optional<QByteArray>)

class PortDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void readValue_data()
    {
        QTest::addColumn<bool>("keyExists");
        QTest::addColumn<bool>("valueExists");
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<long>("secondQueryStatus");
        QTest::addColumn<std::optional<QByteArray>>("dataOnSecondQuery");
        QTest::addColumn<std::optional<QByteArray>>("expected");

        const std::optional<QByteArray> nothing;
        const std::optional<QByteArray> same;
        const long ok = Success;
        QTest::newRow("key missing")
            << false << true << uint(StringValue) << sz("COM1") << ok << same << nothing;
        QTest::newRow("value missing")
            << true << false << uint(StringValue) << sz("COM1") << ok << same << nothing;
        QTest::newRow("expandable string")
            << true << true << uint(ExpandableString) << sz("COM1") << ok << same << nothing;
        QTest::newRow("multi-string") << true << true << uint(MultiString)
                                      << QByteArray("COM1\0COM2\0\0", 11) << ok << same << nothing;
        QTest::newRow("number") << true << true << uint(NumberValue) << QByteArray("\x01\0\0\0", 4)
                                << ok << same << nothing;
        QTest::newRow("binary") << true << true << uint(BinaryValue) << QByteArray("COM1") << ok
                                << same << nothing;
        QTest::newRow("no type") << true << true << 0u << sz("COM1") << ok << same << nothing;
        QTest::newRow("string with its NUL") << true << true << uint(StringValue) << sz("COM1")
                                             << ok << same << std::optional(QByteArray("COM1"));
        QTest::newRow("string without any NUL, returned whole")
            << true << true << uint(StringValue) << QByteArray("COM12") << ok << same
            << std::optional(QByteArray("COM12"));
        QTest::newRow("characters after an embedded NUL are cut")
            << true << true << uint(StringValue) << QByteArray("COM2\0COM7\0", 10) << ok << same
            << std::optional(QByteArray("COM2"));
        QTest::newRow("NUL first gives the empty text")
            << true << true << uint(StringValue) << QByteArray("\0COM1", 5) << ok << same
            << std::optional(QByteArray());
        QTest::newRow("no data gives the empty text")
            << true << true << uint(StringValue) << QByteArray() << ok << same
            << std::optional(QByteArray());
        QTest::newRow("second query fails")
            << true << true << uint(StringValue) << sz("COM1") << AccessDenied << same << nothing;
        QTest::newRow("value grew between the queries")
            << true << true << uint(StringValue) << sz("COM1") << ok << std::optional(sz("COM12"))
            << nothing;
        // The buffer starts as blanks; what the second query leaves unwritten stays so.
        QTest::newRow("value shrank between the queries, no NUL")
            << true << true << uint(StringValue) << sz("COM1234") << ok
            << std::optional(QByteArray("COM1")) << std::optional(QByteArray("COM1    "));
    }

    void readValue()
    {
        QFETCH(bool, keyExists);
        QFETCH(bool, valueExists);
        QFETCH(uint, type);
        QFETCH(QByteArray, data);
        QFETCH(long, secondQueryStatus);
        QFETCH(std::optional<QByteArray>, dataOnSecondQuery);
        QFETCH(std::optional<QByteArray>, expected);

        FakeRegistry registry;
        registry.root = CurrentUser;
        registry.path = "Software\\Test";
        registry.keyExists = keyExists;
        if (valueExists)
            registry.values.insert("Wartosc", {type, data});
        registry.secondQueryStatus = secondQueryStatus;
        registry.dataOnSecondQuery = dataOnSecondQuery;

        const std::optional<std::string> result =
            OdczytajWartoscRejestru(registry, CurrentUser, "Software\\Test", "Wartosc");

        QCOMPARE(result.has_value(), expected.has_value());
        if (expected)
            QCOMPARE(QByteArray::fromStdString(*result), *expected);
        // The key opened for one read is closed after it, whatever came of it.
        QCOMPARE(registry.opened, keyExists ? 1 : 0);
        QCOMPARE(registry.closed, registry.opened);
    }

    void readValueUsesRootPathAndName()
    {
        FakeRegistry registry;
        registry.values.insert("\\Device\\Serial0", {StringValue, sz("COM1")});

        QCOMPARE(OdczytajWartoscRejestru(registry, CurrentUser, SerialCommKey, "\\Device\\Serial0"),
                 std::nullopt);
        QCOMPARE(OdczytajWartoscRejestru(registry, LocalMachine, "Hardware\\DeviceMap",
                                         "\\Device\\Serial0"),
                 std::nullopt);
        QCOMPARE(
            OdczytajWartoscRejestru(registry, LocalMachine, SerialCommKey, "\\Device\\Serial1"),
            std::nullopt);
        QCOMPARE(
            OdczytajWartoscRejestru(registry, LocalMachine, SerialCommKey, "\\Device\\Serial0"),
            std::optional<std::string>("COM1"));
        QCOMPARE(registry.closed, registry.opened);
    }

    void slotKeys_data()
    {
        QTest::addColumn<uint>("platformId");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("Windows 95/98/Me")
            << uint(PlatformWindows9x)
            << QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"};
        const QStringList nt{"\\Device\\Serial0", "\\Device\\Serial1", "\\Device\\Serial2",
                             "\\Device\\Serial3", "\\Device\\Serial4", "\\Device\\Serial5",
                             "\\Device\\Serial6", "\\Device\\Serial7"};
        QTest::newRow("NT") << uint(PlatformNt) << nt;
        QTest::newRow("unknown platform counts as NT") << 3u << nt;
        QTest::newRow("zeroed record counts as NT") << 0u << nt;
    }

    void slotKeys()
    {
        QFETCH(uint, platformId);
        QFETCH(QStringList, keys);

        // Every slot 1..8 is probed once, in ascending order, with its key.
        FakeRegistry registry;
        registry.platformId = platformId;
        probeSerialPorts(registry);
        QStringList queried;
        for (const QByteArray &name : std::as_const(registry.queriedNames))
            queried.append(QString::fromLatin1(name));
        QCOMPARE(queried, keys);
        for (int slot = 1; slot <= 8; ++slot)
            QCOMPARE(QString::fromStdString(slotKey(platformId, slot)), keys.at(slot - 1));
    }

    void probe_data()
    {
        QTest::addColumn<bool>("versionFails");
        QTest::addColumn<uint>("platformId");
        QTest::addColumn<Values>("values");
        QTest::addColumn<QStringList>("expected");

        const uint nt = PlatformNt;
        const uint w9x = PlatformWindows9x;
        const StoredValue com1{StringValue, sz("COM1")};
        const StoredValue com2{StringValue, sz("COM2")};
        const StoredValue com3{StringValue, sz("COM3")};

        QTest::newRow("two ports")
            << false << nt << Values{{"\\Device\\Serial0", com1}, {"\\Device\\Serial1", com2}}
            << QStringList{"COM1", "COM2"};
        QTest::newRow("no ports") << false << nt << Values{} << QStringList{};
        QTest::newRow("Windows 98 reads the COM values")
            << false << w9x << Values{{"COM2", com2}, {"COM3", com3}, {"\\Device\\Serial0", com1}}
            << QStringList{"COM2", "COM3"};
        QTest::newRow("NT reads the device values")
            << false << nt << Values{{"COM2", com2}, {"\\Device\\Serial3", com3}, {"Serial0", com1}}
            << QStringList{"COM3"};
        // A failed version call leaves platform 0, which is not the 9x family.
        QTest::newRow("version call fails")
            << true << w9x << Values{{"COM2", com2}, {"\\Device\\Serial0", com1}}
            << QStringList{"COM1"};
        QTest::newRow("the filter")
            << false << nt << Values{{"\\Device\\Serial0", {StringValue, sz("COM12")}},
                                     {"\\Device\\Serial1", {StringValue, sz("COM9")}},
                                     {"\\Device\\Serial2", {StringValue, sz("COM0")}},
                                     {"\\Device\\Serial3", {StringValue, sz("com1")}},
                                     {"\\Device\\Serial4", {StringValue, sz("LPT1")}},
                                     {"\\Device\\Serial5", {StringValue, sz("")}},
                                     {"\\Device\\Serial6", {StringValue, sz(" COM1")}},
                                     {"\\Device\\Serial7", {StringValue, sz("COM8")}}}
            << QStringList{"COM8"};
        QTest::newRow("the filter's edges")
            << false << nt << Values{{"\\Device\\Serial0", {StringValue, sz("COM/")}},
                                     {"\\Device\\Serial1", {StringValue, sz("COM:")}},
                                     {"\\Device\\Serial2", {StringValue, sz("Com1")}},
                                     {"\\Device\\Serial3", {StringValue, sz("COM1 ")}},
                                     {"\\Device\\Serial4", {StringValue, sz("COM")}},
                                     {"\\Device\\Serial5", {StringValue, sz("COM1")}}}
            << QStringList{"COM1"};
        QTest::newRow("slot order kept")
            << false << nt << Values{{"\\Device\\Serial0", com3}, {"\\Device\\Serial1", com1}}
            << QStringList{"COM3", "COM1"};
        QTest::newRow("duplicates kept")
            << false << nt << Values{{"\\Device\\Serial0", com2}, {"\\Device\\Serial1", com2}}
            << QStringList{"COM2", "COM2"};
        QTest::newRow("gaps skipped")
            << false << nt << Values{{"\\Device\\Serial2", com1}, {"\\Device\\Serial7", com2}}
            << QStringList{"COM1", "COM2"};
        QTest::newRow("other types give no port")
            << false << nt
            << Values{{"\\Device\\Serial0", {ExpandableString, sz("COM1")}},
                      {"\\Device\\Serial1", {BinaryValue, QByteArray("COM2")}},
                      {"\\Device\\Serial2", com3}}
            << QStringList{"COM3"};
        QTest::newRow("a name without NUL and one cut at a NUL")
            << false << nt
            << Values{{"\\Device\\Serial0", {StringValue, QByteArray("COM4")}},
                      {"\\Device\\Serial1", {StringValue, QByteArray("COM5\0junk", 9)}}}
            << QStringList{"COM4", "COM5"};
        QTest::newRow("ninth slot never probed")
            << false << nt << Values{{"\\Device\\Serial8", com1}, {"\\Device\\Serial10", com2}}
            << QStringList{};
        QTest::newRow("Windows 98 ninth slot never probed")
            << false << w9x << Values{{"COM9", {StringValue, sz("COM8")}}} << QStringList{};
    }

    void probe()
    {
        QFETCH(bool, versionFails);
        QFETCH(uint, platformId);
        QFETCH(Values, values);
        QFETCH(QStringList, expected);

        FakeRegistry registry;
        registry.versionFails = versionFails;
        registry.platformId = platformId;
        registry.values = values;

        QCOMPARE(toStringList(probeSerialPorts(registry)), expected);
        QCOMPARE(registry.closed, registry.opened);
    }

    void probeWithoutTheKey()
    {
        FakeRegistry registry;
        registry.keyExists = false;
        QVERIFY(probeSerialPorts(registry).empty());
        QCOMPARE(registry.opened, 0);
        QCOMPARE(registry.closed, 0);
    }
};

QTEST_APPLESS_MAIN(PortDiscovery)
#include "tst_port_discovery.moc"
