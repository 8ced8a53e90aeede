// Known frames, byte for byte as the display must receive them. Every value in
// a row differs from its neighbours, so a byte off by one, two bytes swapped or
// a checksum off by one changes the frame.
#include "protocol/builders.h"
#include "protocol/frames.h"

#include <QTest>

using namespace protocol;

namespace {

// "DATA", the code, the payload filled with zeros to ten bytes, the checksum.
QByteArray data(const char *code, const char *payload, const char *checksum)
{
    const QByteArray bytes = QByteArray::fromHex(payload);
    return QByteArray::fromHex(QByteArray("44415441") + code) + bytes +
           QByteArray(PayloadSize - bytes.size(), '\0') + QByteArray::fromHex(checksum);
}

} // namespace

class ProtocolFrames : public QObject
{
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray rows[][2] = {
            {bytes(KomendaProg), QByteArray::fromHex("50524f47c8")},
            {bytes(KomendaKrotkiDzwiek), data("5a", "", "8c")},
            {bytes(KomendaDlugiDzwiekWlacz), data("5b", "", "8b")},
            {bytes(KomendaDlugiDzwiekWylacz), data("5c", "", "8a")},
            {bytes(KomendaCzyscEkran), data("61", "", "85")},
            {bytes(KomendaOdswiez), data("62", "", "84")},
            {bytes(KomendaKoniec), data("63", "", "83")},
            // Windows-1250, one byte a character, spaces kept.
            {RamkaTekstuRAM(1, u"Łódź żąś€"), data("0b", "a3f3649f20bfb99c80", "8e")},
            // Outside the code page: '?', a surrogate pair as one character;
            // cut after the tenth.
            {RamkaTekstuEEPROM(5, u"中😀23456789AB"), data("05", "3f3f3233343536373839", "b7")},
            // No best fit: "ã" is not "a".
            {RamkaTekstuRAM(1, u"ä ã"), data("0b", "e4203f", "98")},
            {RamkaTekstuRAM(8, u""), data("12", "", "d4")},
            {RamkaTekstuEEPROM(1, u" mn "), data("01", "206d6e20", "ca")}, // blanks kept
            // Scroll kind 1, 2 or 4; screens as they are; speed and brightness from 1.
            {RamkaParametrowRAM(2, 3, 4, 6), data("0a", "04030507", "c9")},
            {RamkaParametrowEEPROM(1, 0, 9), data("00", "0205010a", "d4")},
            // Packed BCD as typed; what is no digit counts as 0. Checksum 0.
            {RamkaZegara(u"14:05"), data("50", "1405", "7d")},
            {RamkaZegara(u"16:80"), data("50", "1680", "00")},
            {RamkaZegara(u"9 :5 "), data("50", "9050", "b6")},
        };
        for (const auto &row : rows)
            QTest::newRow(row[1].toHex(' ').constData()) << row[0] << row[1];
    }

    void frames()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, expected);
        QCOMPARE(frame.toHex(' '), expected.toHex(' '));
    }

    void acknowledgement_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exact") << QByteArray::fromHex("4f4b664e455854c1") << true;
        QTest::newRow("upper case") << QByteArray::fromHex("4f4b464e455854c1") << false;
        QTest::newRow("last byte") << QByteArray::fromHex("4f4b664e455854c0") << false;
        QTest::newRow("seven bytes") << QByteArray::fromHex("4f4b664e455854") << false;
        QTest::newRow("nine bytes") << QByteArray::fromHex("4f4b664e455854c100") << false;
    }

    void acknowledgement()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, accepted);
        QCOMPARE(isAcknowledgement(reply), accepted);
    }
};

QTEST_APPLESS_MAIN(ProtocolFrames)
#include "tst_protocol_frames.moc"
