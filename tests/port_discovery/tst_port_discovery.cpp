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
using Values = QMap<QByteArray, StoredValue>;
using Text = std::optional<QByteArray>;

QByteArray sz(const char *text)
{
    return QByteArray(text, qsizetype(std::strlen(text)) + 1); // with its NUL
}

// The device map with "\Device\Serial" + k holding names[k] with its NUL;
// a null name leaves that slot without a value.
Values ntSlots(const QList<const char *> &names)
{
    Values values;
    for (int k = 0; k < names.size(); ++k) {
        if (names[k] != nullptr)
            values.insert("\\Device\\Serial" + QByteArray::number(k), {StringValue, sz(names[k])});
    }
    return values;
}

// One key, LocalMachine\Hardware\DeviceMap\SerialComm, with the values a
// test stores.
class FakeRegistry : public RegistryApi
{
public:
    bool keyExists = true;
    Values values;
    bool versionFails = false;
    std::uint32_t platformId = PlatformNt;
    long secondQueryStatus = Success;
    // What the second query hands back instead (a value rewritten between the queries).
    Text dataOnSecondQuery;

    int opened = 0;
    int closed = 0;
    QList<QByteArray> queriedNames;

    bool version(VersionRecord &record) override
    {
        // Windows refuses a record whose size field it does not know.
        if (versionFails || record.size != sizeof(VersionRecord))
            return false;
        record.platformId = platformId;
        return true;
    }

    long openKey(std::uint32_t root, const char *path, Key &key) override
    {
        if (!keyExists || root != LocalMachine || qstricmp(path, SerialCommKey) != 0)
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
        if (data == nullptr)
            queriedNames.append(name); // each read starts by asking for the size
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
        const bool fits = *size >= std::uint32_t(bytes.size());
        if (fits)
            std::memcpy(data, bytes.constData(), size_t(bytes.size()));
        *size = std::uint32_t(bytes.size());
        return fits ? Success : MoreData;
    }

    long closeKey(Key key) override
    {
        if (key != 42)
            return InvalidHandle;
        ++closed;
        return Success;
    }
};

QStringList toStringList(const std::vector<std::string> &names)
{
    QStringList list;
    for (const std::string &name : names)
        list.append(QString::fromStdString(name));
    return list;
}

QStringList slotNames(const char *prefix, int first)
{
    QStringList list;
    for (int i = 0; i < 8; ++i)
        list.append(prefix + QString::number(first + i));
    return list;
}

// Where the read looks: the stored value, or somewhere it is not.
enum Ask { Stored, MissingKey, OtherRoot, OtherPath, OtherName };

} // namespace

Q_DECLARE_METATYPE(Text)

class PortDiscovery : public QObject
{
    Q_OBJECT

    static void row(const char *what, std::uint32_t type, const QByteArray &data, Text expected,
                    Ask ask = Stored, long secondStatus = Success, Text secondData = {})
    {
        QTest::newRow(what) << int(ask) << uint(type) << data << secondStatus << secondData
                            << expected;
    }

private slots:
    void readValue_data()
    {
        QTest::addColumn<int>("ask");
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<long>("secondQueryStatus");
        QTest::addColumn<Text>("dataOnSecondQuery");
        QTest::addColumn<Text>("expected");

        const QByteArray com1 = sz("COM1");
        row("key missing", StringValue, com1, {}, MissingKey);
        row("another root", StringValue, com1, {}, OtherRoot);
        row("another key", StringValue, com1, {}, OtherPath);
        row("value missing", StringValue, com1, {}, OtherName);
        row("expandable string", ExpandableString, com1, {});
        row("multi-string", MultiString, QByteArray("COM1\0COM2\0\0", 11), {});
        row("number", NumberValue, QByteArray("\x01\0\0\0", 4), {});
        row("binary", BinaryValue, QByteArray("COM1"), {});
        row("string with its NUL", StringValue, com1, QByteArray("COM1"));
        row("string without any NUL, returned whole", StringValue, "COM12", QByteArray("COM12"));
        row("characters after an embedded NUL are cut", StringValue, QByteArray("COM2\0COM7\0", 10),
            QByteArray("COM2"));
        row("NUL first gives the empty text", StringValue, QByteArray("\0COM1", 5), QByteArray());
        row("no data gives the empty text", StringValue, QByteArray(), QByteArray());
        row("second query fails", StringValue, com1, {}, Stored, AccessDenied);
        row("value grew between the queries", StringValue, com1, {}, Stored, Success, sz("COM12"));
        // The buffer starts as blanks; what the second query leaves unwritten stays so.
        row("value shrank between the queries, no NUL", StringValue, sz("COM1234"),
            QByteArray("COM1    "), Stored, Success, QByteArray("COM1"));
    }

    void readValue()
    {
        QFETCH(int, ask);
        QFETCH(uint, type);
        QFETCH(QByteArray, data);
        QFETCH(long, secondQueryStatus);
        QFETCH(Text, dataOnSecondQuery);
        QFETCH(Text, expected);

        FakeRegistry registry;
        registry.keyExists = ask != MissingKey;
        registry.values.insert("Wartosc", {type, data});
        registry.secondQueryStatus = secondQueryStatus;
        registry.dataOnSecondQuery = dataOnSecondQuery;

        const std::optional<std::string> result =
            OdczytajWartoscRejestru(registry, ask == OtherRoot ? CurrentUser : LocalMachine,
                                    ask == OtherPath ? "Hardware\\DeviceMap" : SerialCommKey,
                                    ask == OtherName ? "Wartosc2" : "Wartosc");

        QCOMPARE(result.has_value(), expected.has_value());
        if (expected)
            QCOMPARE(QByteArray::fromStdString(*result), *expected);
        // The key opened for one read is closed after it, whatever came of it.
        QCOMPARE(registry.opened, ask == Stored || ask == OtherName ? 1 : 0);
        QCOMPARE(registry.closed, registry.opened);
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

        QTest::newRow("no ports") << false << nt << Values{} << QStringList{};
        QTest::newRow("Windows 98 reads the COM values")
            << false << w9x << Values{{"COM2", com2}, {"COM3", com3}, {"\\Device\\Serial0", com1}}
            << QStringList{"COM2", "COM3"};
        QTest::newRow("NT reads the device values")
            << false << nt << Values{{"COM2", com2}, {"\\Device\\Serial3", com3}, {"Serial0", com1}}
            << QStringList{"COM3"};
        // A failed version call leaves platform 0, which is not the 9x family.
        QTest::newRow("unknown platform counts as NT")
            << false << 3u << Values{{"COM2", com2}, {"\\Device\\Serial0", com1}}
            << QStringList{"COM1"};
        QTest::newRow("version call fails")
            << true << w9x << Values{{"COM2", com2}, {"\\Device\\Serial0", com1}}
            << QStringList{"COM1"};
        QTest::newRow("the filter")
            << false << nt
            << ntSlots({"COM12", "COM9", "COM0", "com1", "LPT1", "", " COM1", "COM8"})
            << QStringList{"COM8"};
        QTest::newRow("the filter's edges")
            << false << nt << ntSlots({"COM/", "COM:", "Com1", "COM1 ", "COM", "COM1"})
            << QStringList{"COM1"};
        QTest::newRow("slot order kept")
            << false << nt << ntSlots({"COM3", "COM1"}) << QStringList{"COM3", "COM1"};
        QTest::newRow("duplicates kept")
            << false << nt << ntSlots({"COM2", "COM2"}) << QStringList{"COM2", "COM2"};
        QTest::newRow("gaps skipped")
            << false << nt << Values{{"\\Device\\Serial2", com1}, {"\\Device\\Serial7", com2}}
            << QStringList{"COM1", "COM2"};
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
        // Every slot 1..8 is probed once, in ascending order, with its key.
        const bool w9x = platformId == PlatformWindows9x && !versionFails;
        QStringList queried;
        for (const QByteArray &name : std::as_const(registry.queriedNames))
            queried.append(QString::fromLatin1(name));
        QCOMPARE(queried, w9x ? slotNames("COM", 1) : slotNames("\\Device\\Serial", 0));

        // Without the device map key there is nothing, whatever the values.
        registry.keyExists = false;
        QVERIFY(probeSerialPorts(registry).empty());
    }
};

QTEST_APPLESS_MAIN(PortDiscovery)
#include "tst_port_discovery.moc"
