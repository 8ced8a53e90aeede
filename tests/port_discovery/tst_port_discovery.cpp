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

// The device map with "\Device\Serial" + k holding nt[k] and "COM" + (k + 1)
// holding w9x[k], each with its NUL; a null name leaves that value out.
Values deviceMap(const QList<const char *> &nt, const QList<const char *> &w9x = {})
{
    Values values;
    for (int k = 0; k < qMax(nt.size(), w9x.size()); ++k) {
        if (nt.value(k) != nullptr)
            values.insert("\\Device\\Serial" + QByteArray::number(k), {StringValue, sz(nt[k])});
        if (w9x.value(k) != nullptr)
            values.insert("COM" + QByteArray::number(k + 1), {StringValue, sz(w9x[k])});
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

QString joined(const std::vector<std::string> &names)
{
    QStringList list;
    for (const std::string &name : names)
        list.append(QString::fromStdString(name));
    return list.join(' ');
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
        QTest::addColumn<int>("platform"); // -1: the version call fails
        QTest::addColumn<Values>("values");
        QTest::addColumn<QString>("expected");

        const int nt = PlatformNt;
        const int w9x = PlatformWindows9x;
        const auto _ = nullptr; // no value in that slot
        QTest::newRow("no ports") << nt << Values{} << "";
        QTest::newRow("Windows 98 reads the COM values")
            << w9x << deviceMap({"COM1"}, {_, "COM2", "COM3"}) << "COM2 COM3";
        QTest::newRow("NT reads the device values")
            << nt << deviceMap({_, _, _, "COM3"}, {_, "COM2"}) << "COM3";
        QTest::newRow("unknown platform counts as NT")
            << 3 << deviceMap({"COM1"}, {_, "COM2"}) << "COM1";
        // A failed call leaves platform 0, which is not the 9x family.
        QTest::newRow("version call fails") << -1 << deviceMap({"COM1"}, {_, "COM2"}) << "COM1";
        QTest::newRow("the filter")
            << nt << deviceMap({"COM12", "COM9", "COM0", "com1", "LPT1", "", " COM1", "COM8"})
            << "COM8";
        QTest::newRow("the filter's edges")
            << nt << deviceMap({"COM/", "COM:", "Com1", "COM1 ", "COM", "COM1"}) << "COM1";
        QTest::newRow("slot order kept") << nt << deviceMap({"COM3", "COM1"}) << "COM3 COM1";
        QTest::newRow("duplicates kept") << nt << deviceMap({"COM2", "COM2"}) << "COM2 COM2";
        QTest::newRow("gaps skipped")
            << nt << deviceMap({_, _, "COM1", _, _, _, _, "COM2"}) << "COM1 COM2";
        const Values ninth =
            deviceMap({_, _, _, _, _, _, _, _, "COM1"}, {_, _, _, _, _, _, _, _, "COM8"});
        QTest::newRow("ninth slot never probed") << nt << ninth << "";
        QTest::newRow("Windows 98 ninth slot never probed") << w9x << ninth << "";
    }

    void probe()
    {
        QFETCH(int, platform);
        QFETCH(Values, values);
        QFETCH(QString, expected);

        FakeRegistry registry;
        registry.versionFails = platform < 0;
        registry.platformId = std::uint32_t(platform);
        registry.values = values;
        QCOMPARE(joined(probeSerialPorts(registry)), expected);
        QCOMPARE(registry.closed, registry.opened);
        // Every slot 1..8 is probed once, in ascending order, with its key.
        const QString keys = platform == int(PlatformWindows9x)
                                 ? "COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8"
                                 : "\\Device\\Serial0 \\Device\\Serial1 \\Device\\Serial2 "
                                   "\\Device\\Serial3 \\Device\\Serial4 \\Device\\Serial5 "
                                   "\\Device\\Serial6 \\Device\\Serial7";
        QCOMPARE(QString::fromLatin1(registry.queriedNames.join(' ')), keys);

        // Without the device map key there is nothing, whatever the values.
        registry.keyExists = false;
        QVERIFY(probeSerialPorts(registry).empty());
    }
};

QTEST_APPLESS_MAIN(PortDiscovery)
#include "tst_port_discovery.moc"
