#include "protocol/builders.h"
#include "protocol/frames.h"
#include "protocol/windows1250.h"

#include <QRandomGenerator>
#include <QTest>

using namespace protocol;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

int byteSum(const QByteArray &frame)
{
    int sum = 0;
    for (char b : frame)
        sum += std::uint8_t(b);
    return sum;
}

} // namespace

class ProtocolFrames : public QObject
{
    Q_OBJECT

private slots:
    void constants_data()
    {
        QTest::addColumn<QByteArray>("constant");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("code");
        QTest::newRow("KomendaProg") << bytes(KomendaProg) << hex("50 52 4F 47 C8") << -1;
        QTest::newRow("OdpowiedzOK") << bytes(OdpowiedzOK) << hex("4F 4B 66 4E 45 58 54 C1") << -1;
        const struct {
            const char *name;
            QByteArray constant;
            int code;
            const char *checksum;
        } frames[] = {
            {"KomendaKrotkiDzwiek", bytes(KomendaKrotkiDzwiek), 0x5A, "8C"},
            {"KomendaDlugiDzwiekWlacz", bytes(KomendaDlugiDzwiekWlacz), 0x5B, "8B"},
            {"KomendaDlugiDzwiekWylacz", bytes(KomendaDlugiDzwiekWylacz), 0x5C, "8A"},
            {"KomendaCzyscEkran", bytes(KomendaCzyscEkran), 0x61, "85"},
            {"KomendaOdswiez", bytes(KomendaOdswiez), 0x62, "84"},
            {"KomendaKoniec", bytes(KomendaKoniec), 0x63, "83"},
        };
        for (const auto &f : frames) {
            const QByteArray expected = hex("44 41 54 41") + char(f.code) + QByteArray(10, '\0') +
                                        hex(f.checksum);
            QTest::newRow(f.name) << f.constant << expected << f.code;
        }
    }

    void constants()
    {
        QFETCH(QByteArray, constant);
        QFETCH(QByteArray, expected);
        QFETCH(int, code);
        QCOMPARE(constant.toHex(' '), expected.toHex(' '));
        QCOMPARE(byteSum(constant) % 256, 0);
        if (code >= 0) // the fixed data frames are the builder's result for an empty payload
            QCOMPARE(dataFrame(std::uint8_t(code)).toHex(' '), expected.toHex(' '));
        else
            QCOMPARE(FrameChecksum(constant.chopped(1)), std::uint8_t(constant.back()));
    }

    void textFrames_data()
    {
        QTest::addColumn<bool>("ram");
        QTest::addColumn<int>("screen");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("RAM 1 Cześć") << true << 1 << QStringLiteral("Cześć")
                                     << hex("44 41 54 41 0B 43 7A 65 9C E6 00 00 00 00 00 37");
        QTest::newRow("EEPROM 3 Cześć") << false << 3 << QStringLiteral("Cześć")
                                        << hex("44 41 54 41 03 43 7A 65 9C E6 00 00 00 00 00 3F");
        QTest::newRow("EEPROM 5 ten digits, no padding")
            << false << 5 << QStringLiteral("0123456789")
            << hex("44 41 54 41 05 30 31 32 33 34 35 36 37 38 39 D4");
        QTest::newRow("RAM 8 empty") << true << 8 << QString()
                                     << hex("44 41 54 41 12 00 00 00 00 00 00 00 00 00 00 D4");
        QTest::newRow("RAM 1 mn, checksum 0x00")
            << true << 1 << QStringLiteral("mn")
            << hex("44 41 54 41 0B 6D 6E 00 00 00 00 00 00 00 00 00");
        QTest::newRow("spaces kept") << false << 2 << QStringLiteral(" a ")
                                     << hex("44 41 54 41 02 20 61 20 00 00 00 00 00 00 00 43");
        QTest::newRow("Polish letters, one byte each")
            << true << 2 << QStringLiteral("ąęśćłńóźż")
            << hex("44 41 54 41 0C B9 EA 9C E6 B3 F1 F3 9F BF 00 C0");
        // Only possible when the field's limits are bypassed: still 16 bytes, cut after ten.
        QTest::newRow("eleven characters cut to ten")
            << false << 5 << QStringLiteral("0123456789X")
            << hex("44 41 54 41 05 30 31 32 33 34 35 36 37 38 39 D4");
        // "ã" is not in the code page; a best-fit mapping would send "a".
        QTest::newRow("euro sign, ä, ã outside the code page")
            << true << 1 << QStringLiteral("€ä ã")
            << hex("44 41 54 41 0B 80 E4 20 3F 00 00 00 00 00 00 18");
        QTest::newRow("characters outside the code page go as ?")
            << true << 1 << QStringLiteral("a\u4e2d\U0001F600b")
            << hex("44 41 54 41 0B 61 3F 3F 62 00 00 00 00 00 00 9A");
    }

    void textFrames()
    {
        QFETCH(bool, ram);
        QFETCH(int, screen);
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        const QByteArray frame = ram ? RamkaTekstuRAM(screen, text) : RamkaTekstuEEPROM(screen, text);
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
        QCOMPARE(byteSum(frame) % 256, 0);
    }

    void emptyTextChecksums()
    {
        for (int n = 1; n <= RamScreens; ++n)
            QCOMPARE(std::uint8_t(RamkaTekstuRAM(n, {}).back()), std::uint8_t(220 - n));
        for (int n = 1; n <= EepromScreens; ++n)
            QCOMPARE(std::uint8_t(RamkaTekstuEEPROM(n, {}).back()), std::uint8_t(230 - n));
    }

    void ramAndEepromDifferOnlyInCodeAndChecksum()
    {
        for (int n = 1; n <= EepromScreens; ++n) {
            const QByteArray ram = RamkaTekstuRAM(n, u"Łódź 1");
            const QByteArray eeprom = RamkaTekstuEEPROM(n, u"Łódź 1");
            QCOMPARE(std::uint8_t(ram[4]), std::uint8_t(n + 10));
            QCOMPARE(std::uint8_t(eeprom[4]), std::uint8_t(n));
            QCOMPARE(ram.mid(5, 10), eeprom.mid(5, 10));
            QCOMPARE(std::uint8_t(eeprom.back() - ram.back()), std::uint8_t(10));
        }
    }

    void parameterFrames_data()
    {
        QTest::addColumn<bool>("ram");
        QTest::addColumn<QList<int>>("positions");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("RAM start-up") << true << QList<int>{0, 8, 9, 9}
                                      << hex("44 41 54 41 0A 01 08 0A 0A 00 00 00 00 00 00 BF");
        QTest::newRow("EEPROM start-up") << false << QList<int>{0, 9, 9}
                                         << hex("44 41 54 41 00 01 05 0A 0A 00 00 00 00 00 00 CC");
        QTest::newRow("RAM Płynące 3 5 7") << true << QList<int>{2, 3, 4, 6}
                                           << hex("44 41 54 41 0A 04 03 05 07 00 00 00 00 00 00 C9");
        QTest::newRow("RAM lowest") << true << QList<int>{0, 0, 0, 0}
                                    << hex("44 41 54 41 0A 01 00 01 01 00 00 00 00 00 00 D9");
        QTest::newRow("EEPROM highest") << false << QList<int>{2, 9, 9}
                                        << hex("44 41 54 41 00 04 05 0A 0A 00 00 00 00 00 00 C9");
        QTest::newRow("RAM Co znak sends 2") << true << QList<int>{1, 8, 9, 9}
                                             << hex("44 41 54 41 0A 02 08 0A 0A 00 00 00 00 00 00 BE");
    }

    void parameterFrames()
    {
        QFETCH(bool, ram);
        QFETCH(QList<int>, positions);
        QFETCH(QByteArray, expected);
        const QByteArray frame =
            ram ? RamkaParametrowRAM(positions[0], positions[1], positions[2], positions[3])
                : RamkaParametrowEEPROM(positions[0], positions[1], positions[2]);
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
    }

    void clockFrames_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("14:05") << "14:05" << hex("44 41 54 41 50 14 05 00 00 00 00 00 00 00 00 7D");
        QTest::newRow("00:00") << "00:00" << hex("44 41 54 41 50 00 00 00 00 00 00 00 00 00 00 96");
        QTest::newRow("09:30") << "09:30" << hex("44 41 54 41 50 09 30 00 00 00 00 00 00 00 00 5D");
        QTest::newRow("23:59") << "23:59" << hex("44 41 54 41 50 23 59 00 00 00 00 00 00 00 00 1A");
        QTest::newRow("minutes untyped") << "14:  " << hex("44 41 54 41 50 14 00 00 00 00 00 00 00 00 00 82");
        QTest::newRow("out of range, checksum 0x00")
            << "16:80" << hex("44 41 54 41 50 16 80 00 00 00 00 00 00 00 00 00");
        QTest::newRow("29:75 as typed") << "29:75" << hex("44 41 54 41 50 29 75 00 00 00 00 00 00 00 00 F8");
        QTest::newRow("colon ignored") << "14x05" << hex("44 41 54 41 50 14 05 00 00 00 00 00 00 00 00 7D");
        QTest::newRow("too short") << "1" << hex("44 41 54 41 50 10 00 00 00 00 00 00 00 00 00 86");
        QTest::newRow("letters count as 0") << "a4:b5" << hex("44 41 54 41 50 04 05 00 00 00 00 00 00 00 00 8D");
    }

    void clockFrames()
    {
        QFETCH(QString, field);
        QFETCH(QByteArray, expected);
        QCOMPARE(RamkaZegara(field).toHex(' '), expected.toHex(' '));
    }

    void acknowledgement_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exact") << hex("4F 4B 66 4E 45 58 54 C1") << true;
        QTest::newRow("upper case") << hex("4F 4B 46 4E 45 58 54 C1") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("nine bytes") << hex("4F 4B 66 4E 45 58 54 C1 00") << false;
        for (int last = 0; last < 256; ++last)
            if (last != 0xC1)
                QTest::addRow("last byte %02X", last) << hex("4F 4B 66 4E 45 58 54") + char(last) << false;
        // every 7-byte reply drawn from the acknowledgement itself
        const QByteArray ok = bytes(OdpowiedzOK);
        for (int skip = 0; skip < 8; ++skip)
            QTest::addRow("seven bytes without byte %d", skip)
                << QByteArray(ok).remove(skip, 1) << false;
    }

    void acknowledgement()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, accepted);
        QCOMPARE(isAcknowledgement(reply), accepted);
    }

    void everyDataFrameSumsToZero()
    {
        auto *random = QRandomGenerator::global();
        const QString alphabet = QStringLiteral("abcXYZ 019ąćęłńóśźżĄĆĘŁŃÓŚŹŻ!?-€\u4e2d\u00e9");
        for (int i = 0; i < 5000; ++i) {
            QString text;
            const int length = random->bounded(14);
            for (int k = 0; k < length; ++k)
                text.append(alphabet.at(random->bounded(alphabet.size())));
            QByteArray payload;
            for (int k = random->bounded(12); k > 0; --k)
                payload.append(char(random->bounded(256)));
            QString time;
            for (int k = random->bounded(7); k > 0; --k)
                time.append(QChar(u' ' + random->bounded(90)));
            const QByteArray frames[] = {
                RamkaTekstuRAM(1 + random->bounded(8), text),
                RamkaTekstuEEPROM(1 + random->bounded(5), text),
                RamkaParametrowRAM(random->bounded(3), random->bounded(9), random->bounded(10),
                                   random->bounded(10)),
                RamkaParametrowEEPROM(random->bounded(3), random->bounded(10), random->bounded(10)),
                RamkaZegara(time),
                dataFrame(std::uint8_t(random->bounded(256)), payload),
            };
            for (const QByteArray &frame : frames) {
                QCOMPARE(frame.size(), DataFrameSize);
                QVERIFY(frame.startsWith("DATA"));
                QCOMPARE(byteSum(frame) % 256, 0);
            }
        }
    }

    void windows1250()
    {
        QVERIFY(isWindows1250(u"Zażółć gęślą jaźń"));
        QVERIFY(!isWindows1250(u"a\U0001F600"));
        QCOMPARE(keepWindows1250(u"a\U0001F600ł\u4e2db"), QStringLiteral("ałb"));
        QCOMPARE(fromWindows1250(toWindows1250(u"Zażółć")), QStringLiteral("Zażółć"));
    }
};

QTEST_APPLESS_MAIN(ProtocolFrames)
#include "tst_protocol_frames.moc"
