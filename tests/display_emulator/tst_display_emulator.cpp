#include "tools/display_emulator.h"

#include "protocol/builders.h"
#include "protocol/frames.h"

#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace emulator;
using protocol::bytes;

namespace {

const QByteArray Request = bytes(protocol::KomendaProg);
const QByteArray Ack = bytes(protocol::OdpowiedzOK);

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The PC side: the tool's serial settings on the pty's slave. Ptys have no
// modem lines; exactly that refusal is tolerated.
bool openPc(QSerialPort &pc, const QString &path)
{
    pc.setPortName(path);
    pc.setBaudRate(QSerialPort::Baud1200);
    pc.setDataBits(QSerialPort::Data8);
    pc.setParity(QSerialPort::NoParity);
    pc.setStopBits(QSerialPort::TwoStop);
    pc.setFlowControl(QSerialPort::NoFlowControl);
    if (!pc.open(QIODevice::ReadWrite)) {
        qWarning() << "cannot open" << path << pc.error() << pc.errorString();
        return false;
    }
    const auto tolerated = [&pc, &path](bool ok) {
        if (!ok && pc.error() != QSerialPort::UnsupportedOperationError) {
            qWarning() << "modem line of" << path << pc.error() << pc.errorString();
            return false;
        }
        pc.clearError();
        return true;
    };
    return tolerated(pc.setDataTerminalReady(true)) && tolerated(pc.setRequestToSend(false));
}

// Collects everything the PC side receives, as it arrives.
struct PcReader
{
    explicit PcReader(QSerialPort &port)
    {
        QObject::connect(&port, &QSerialPort::readyRead, &port,
                         [this, &port] { bytes += port.readAll(); });
    }
    QByteArray bytes;
};

} // namespace

class DisplayEmulatorTest : public QObject
{
    Q_OBJECT

private:
    DisplayEmulator *display = nullptr;
    QSerialPort *pc = nullptr;
    PcReader *reader = nullptr;

    // Writes one chunk and waits until the emulator has read all of it.
    void writeAndWait(const QByteArray &chunk)
    {
        const qsizetype before = display->received().size();
        QCOMPARE(pc->write(chunk), chunk.size());
        QTRY_COMPARE_WITH_TIMEOUT(display->received().size(), before + chunk.size(), 5000);
    }

private slots:
    // Pure frame cutting, chunk by chunk.
    void parser_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QByteArray>("skipped");

        const QByteArray text = protocol::RamkaTekstuRAM(1, u"Cześć");
        const QByteArray beep = bytes(protocol::KomendaKrotkiDzwiek);
        const QByteArray withKeyword = protocol::RamkaTekstuRAM(2, u"PROGDATA");

        QTest::newRow("request") << QList{Request} << QList{Request} << QByteArray();
        QTest::newRow("data frame") << QList{text} << QList{text} << QByteArray();
        QList<QByteArray> oneByOne;
        for (char b : text)
            oneByOne.append(QByteArray(1, b));
        QTest::newRow("data frame byte by byte") << oneByOne << QList{text} << QByteArray();
        QTest::newRow("split inside the keyword")
            << QList{text.left(2), text.mid(2)} << QList{text} << QByteArray();
        QTest::newRow("split after the keyword")
            << QList{text.left(4), text.mid(4, 6), text.mid(10)} << QList{text} << QByteArray();
        QTest::newRow("back to back, one chunk")
            << QList{Request + text + beep + Request} << QList{Request, text, beep, Request}
            << QByteArray();
        QTest::newRow("keywords inside a payload")
            << QList{withKeyword} << QList{withKeyword} << QByteArray();
        QTest::newRow("garbage before")
            << QList{QByteArray("xyz") + Request} << QList{Request} << QByteArray("xyz");
        QTest::newRow("garbage between")
            << QList{Request + hex("00 FF 0A") + text} << QList{Request, text} << hex("00 FF 0A");
        QTest::newRow("PRO then DATA")
            << QList{QByteArray("PRO") + text} << QList{text} << QByteArray("PRO");
        QTest::newRow("PRO, then DATA in the next chunk")
            << QList{QByteArray("PRO"), text} << QList{text} << QByteArray("PRO");
        QTest::newRow("DAT then PROG")
            << QList{QByteArray("DAT"), Request} << QList{Request} << QByteArray("DAT");
        QTest::newRow("doubled first letter")
            << QList{QByteArray("P") + Request} << QList{Request} << QByteArray("P");
        QTest::newRow("lower case keyword")
            << QList{QByteArray("prog") + Request} << QList{Request} << QByteArray("prog");
        QTest::newRow("bad checksum is still a frame")
            << QList{hex("50 52 4F 47 00")} << QList{hex("50 52 4F 47 00")} << QByteArray();
        QTest::newRow("unfinished frame is kept")
            << QList{text.left(15)} << QList<QByteArray>() << QByteArray();
        QTest::newRow("unfinished keyword is kept")
            << QList{QByteArray("DAT")} << QList<QByteArray>() << QByteArray();
    }

    void parser()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QByteArray, skipped);

        FrameParser parser;
        QList<QByteArray> cut;
        QByteArray dropped;
        for (const QByteArray &chunk : chunks) {
            const FrameParser::Output out = parser.feed(chunk);
            cut += out.frames;
            dropped += out.skipped;
        }
        QCOMPARE(cut, frames);
        QCOMPARE(dropped, skipped);
    }

    // What is kept undecided is at most one frame: a long run of garbage that
    // ends in a keyword is all reported, and the keyword still starts a frame.
    void parserAfterLongGarbage()
    {
        FrameParser parser;
        const QByteArray garbage(1 << 20, 'x');
        const FrameParser::Output first = parser.feed(garbage + "DA");
        QCOMPARE(first.skipped.size(), garbage.size());
        QVERIFY(first.frames.isEmpty());
        const QByteArray end = bytes(protocol::KomendaKoniec);
        const FrameParser::Output second = parser.feed(end.mid(2));
        QCOMPARE(second.frames, QList{end});
        QVERIFY(second.skipped.isEmpty());
    }

    void describe_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("description");

        using namespace protocol;
        QTest::newRow("request") << Request << "PROG request, checksum ok";
        QTest::newRow("request, bad checksum")
            << hex("50 52 4F 47 C9") << "PROG request, checksum WRONG (0xC9, should be 0xC8)";
        QTest::newRow("RAM text") << RamkaTekstuRAM(1, u"Cześć")
                                  << "DATA 0x0B RAM screen 1 \"Cześć\", checksum ok";
        QTest::newRow("RAM screen 8, empty")
            << RamkaTekstuRAM(8, u"") << "DATA 0x12 RAM screen 8 \"\", checksum ok";
        QTest::newRow("EEPROM text, spaces kept")
            << RamkaTekstuEEPROM(5, u" żółw ")
            << "DATA 0x05 EEPROM screen 5 \" żółw \", checksum ok";
        QTest::newRow("ten characters") << RamkaTekstuEEPROM(1, u"0123456789")
                                        << "DATA 0x01 EEPROM screen 1 \"0123456789\", checksum ok";
        QTest::newRow("control bytes and quotes")
            << dataFrame(0x0C, QByteArray("a\x01\"b\0c", 6))
            << "DATA 0x0C RAM screen 2 \"a\\x01\\\"b\\x00c\", "
               "checksum ok";
        QTest::newRow("RAM parameters")
            << RamkaParametrowRAM(0, 8, 9, 9)
            << "DATA 0x0A RAM parameters: scroll 1 (Na przemian), screens 8, speed 10, "
               "brightness 10, checksum ok";
        QTest::newRow("EEPROM parameters")
            << RamkaParametrowEEPROM(2, 0, 4)
            << "DATA 0x00 EEPROM parameters: scroll 4 (Płynące), screens 5, speed 1, brightness "
               "5, checksum ok";
        QTest::newRow("parameters, unknown scroll kind")
            << dataFrame(0x0A, hex("03 02 01 01"))
            << "DATA 0x0A RAM parameters: scroll 3 (unknown), screens 2, speed 1, brightness 1, "
               "checksum ok";
        QTest::newRow("clock") << RamkaZegara(u"14:05") << "DATA 0x50 clock 14:05, checksum ok";
        QTest::newRow("clock as typed")
            << RamkaZegara(u"29:75") << "DATA 0x50 clock 29:75, checksum ok";
        QTest::newRow("short beep")
            << bytes(KomendaKrotkiDzwiek) << "DATA 0x5A short beep, checksum ok";
        QTest::newRow("long beep on")
            << bytes(KomendaDlugiDzwiekWlacz) << "DATA 0x5B long beep on, checksum ok";
        QTest::newRow("long beep off")
            << bytes(KomendaDlugiDzwiekWylacz) << "DATA 0x5C long beep off, checksum ok";
        QTest::newRow("clear") << bytes(KomendaCzyscEkran)
                               << "DATA 0x61 clear screens, checksum ok";
        QTest::newRow("refresh") << bytes(KomendaOdswiez) << "DATA 0x62 refresh, checksum ok";
        QTest::newRow("end") << bytes(KomendaKoniec) << "DATA 0x63 end, checksum ok";
        QTest::newRow("command with a payload")
            << dataFrame(0x62, "\x07")
            << "DATA 0x62 refresh, unused bytes not zero: 07 00 00 00 00 00 00 00 00 00, "
               "checksum ok";
        QTest::newRow("between the memories")
            << dataFrame(0x06, "ab")
            << "DATA 0x06 unknown code, payload 61 62 00 00 00 00 00 00 00 00, checksum ok";
        QTest::newRow("after RAM screen 8")
            << dataFrame(0x13)
            << "DATA 0x13 unknown code, payload 00 00 00 00 00 00 00 00 00 00, "
               "checksum ok";
        QByteArray corrupted = bytes(KomendaKoniec);
        corrupted[15] = char(0x84);
        QTest::newRow("data, bad checksum")
            << corrupted << "DATA 0x63 end, checksum WRONG (0x84, should be 0x83)";
        QTest::newRow("no frame") << QByteArray("OKf") << "not a frame (3 bytes): 4f 4b 66";
    }

    void describe()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, description);
        QCOMPARE(describeFrame(frame), description);
    }

    void replies_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("acknowledge") << Reply{} << hex("4F 4B 66 4E 45 58 54 C1");
        QTest::newRow("silent") << Reply{Reply::Silent, 0, {}} << QByteArray();
        QTest::newRow("wrong byte")
            << Reply{Reply::WrongByte, 0, {}} << hex("4F 4B 66 4E 45 58 54 C0");
        QTest::newRow("wrong case")
            << Reply{Reply::WrongCase, 0, {}} << hex("4F 4B 46 4E 45 58 54 C1");
        QTest::newRow("partial") << Reply{Reply::Partial, 0, {}} << hex("4F 4B 66 4E 45 58 54");
        QTest::newRow("extra") << Reply{Reply::Acknowledge, 0, hex("00 FF")}
                               << hex("4F 4B 66 4E 45 58 54 C1 00 FF");
        QTest::newRow("silent, extra") << Reply{Reply::Silent, 0, hex("55")} << hex("55");
    }

    // Each scripted reply reaches the PC byte for byte, only for the frame it
    // was set for, and before what the display says next.
    void replies()
    {
        QFETCH(Reply, reply);
        QFETCH(QByteArray, expected);
        QCOMPARE(replyBytes(reply), expected);
        QCOMPARE(protocol::isAcknowledgement(replyBytes(reply)),
                 reply.kind == Reply::Acknowledge && reply.extra.isEmpty());

        QVERIFY(display->open());
        display->setReply(1, reply);
        QVERIFY(openPc(*pc, display->slavePath()));
        const QByteArray frames[] = {bytes(protocol::KomendaOdswiez), Request, Request};
        for (const QByteArray &frame : frames)
            writeAndWait(frame);
        QTRY_COMPARE(display->frames().size(), 3);
        display->send("MARK");
        const QByteArray all = Ack + expected + Ack + "MARK";
        QTRY_COMPARE_WITH_TIMEOUT(reader->bytes.size(), all.size(), 5000);
        QCOMPARE(reader->bytes, all);
        QCOMPARE(display->frames().at(1).reply.kind, reply.kind);
        QCOMPARE(display->frames().at(0).reply.kind, Reply::Acknowledge);
    }

    void requestAcknowledged()
    {
        QVERIFY(display->open());
        QSignalSpy logged(display, &DisplayEmulator::frameReceived);
        QVERIFY(openPc(*pc, display->slavePath()));
        const auto before = std::chrono::steady_clock::now();
        QCOMPARE(pc->write(Request), Request.size());
        QTRY_COMPARE(reader->bytes.size(), Ack.size());
        QCOMPARE(reader->bytes, Ack);

        QCOMPARE(logged.size(), 1);
        const ReceivedFrame frame = logged.at(0).at(0).value<ReceivedFrame>();
        QCOMPARE(frame.bytes, Request);
        QVERIFY(frame.checksumOk);
        QCOMPARE(frame.description, QString("PROG request, checksum ok"));
        QVERIFY(frame.at >= before);
        QCOMPARE(display->received(), Request);
        QVERIFY(display->skipped().isEmpty());

        // Nothing else arrives: the next thing the PC gets is a marker.
        display->send("MARK");
        QTRY_COMPARE(reader->bytes, Ack + "MARK");
    }

    void textFrameDecoded()
    {
        QVERIFY(display->open());
        QVERIFY(openPc(*pc, display->slavePath()));
        writeAndWait(protocol::RamkaTekstuRAM(3, u"Cześć"));
        QCOMPARE(display->frames().size(), 1);
        QVERIFY(display->frames().at(0).description.contains(u"\"Cześć\""));
        QVERIFY(display->frames().at(0).description.contains(u"RAM screen 3"));
    }

    void badChecksumIsLoggedAndAnswered()
    {
        QVERIFY(display->open());
        QVERIFY(openPc(*pc, display->slavePath()));
        QByteArray frame = bytes(protocol::KomendaCzyscEkran);
        frame[15] = 0;
        writeAndWait(frame);
        QCOMPARE(display->frames().size(), 1);
        QVERIFY(!display->frames().at(0).checksumOk);
        QTRY_COMPARE(reader->bytes, Ack);
    }

    // The answer comes no sooner than the delay after the frame's last byte.
    void lateAnswer()
    {
        constexpr int delay = 300;
        QVERIFY(display->open());
        display->setReply(0, Reply{Reply::Acknowledge, delay, {}});
        QVERIFY(openPc(*pc, display->slavePath()));
        std::chrono::steady_clock::time_point arrived;
        connect(pc, &QSerialPort::readyRead, this,
                [&] { arrived = std::chrono::steady_clock::now(); });
        writeAndWait(Request);
        QVERIFY(reader->bytes.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(reader->bytes, Ack, 5000);
        QVERIFY(arrived - display->frames().at(0).at >= std::chrono::milliseconds(delay));
        QCOMPARE(display->frames().at(0).reply.delayMs, delay);
    }

    // A late answer does not hold back the answers to later frames.
    void lateAnswerComesAfterLaterAnswers()
    {
        QVERIFY(display->open());
        display->setReply(0, Reply{Reply::WrongCase, 200, {}});
        QVERIFY(openPc(*pc, display->slavePath()));
        writeAndWait(Request);
        writeAndWait(Request);
        QTRY_COMPARE_WITH_TIMEOUT(reader->bytes.size(), 16, 5000);
        QCOMPARE(reader->bytes, Ack + replyBytes(Reply{Reply::WrongCase, 0, {}}));
    }

    void answerOnlyFirst()
    {
        QVERIFY(display->open());
        display->answerOnlyFirst(2);
        display->setReply(2, Reply{}); // the limit wins over a script for a later frame
        QVERIFY(openPc(*pc, display->slavePath()));
        for (int i = 0; i < 4; ++i)
            writeAndWait(Request);
        display->send("MARK");
        QTRY_COMPARE(reader->bytes.size(), 2 * Ack.size() + 4);
        QCOMPARE(reader->bytes, Ack + Ack + "MARK");
        QCOMPARE(display->frames().size(), 4);
        QCOMPARE(display->frames().at(3).reply.kind, Reply::Silent);
    }

    void defaultReplyForEveryFrame()
    {
        QVERIFY(display->open());
        display->setDefaultReply(Reply{Reply::Partial, 0, {}});
        display->setReply(1, Reply{});
        QVERIFY(openPc(*pc, display->slavePath()));
        for (int i = 0; i < 3; ++i)
            writeAndWait(bytes(protocol::KomendaOdswiez));
        display->send("MARK");
        const QByteArray partial = Ack.left(7);
        QTRY_COMPARE(reader->bytes, partial + Ack + partial + "MARK");
    }

    // Clearing the log leaves the script's frame indexes where they were.
    void clearLogKeepsCounting()
    {
        QVERIFY(display->open());
        display->setReply(1, Reply{Reply::Silent, 0, {}});
        QVERIFY(openPc(*pc, display->slavePath()));
        writeAndWait("xx" + Request);
        display->clearLog();
        QVERIFY(display->frames().isEmpty());
        QVERIFY(display->received().isEmpty());
        QVERIFY(display->skipped().isEmpty());
        writeAndWait(Request);
        writeAndWait(Request);
        QCOMPARE(display->received(), Request + Request);
        QCOMPARE(display->frames().size(), 2);
        QCOMPARE(display->frames().at(0).reply.kind, Reply::Silent);
        display->send("MARK");
        QTRY_COMPARE(reader->bytes, Ack + Ack + "MARK");
    }

    // Skipped bytes are reported between the frames they came between.
    void garbageFromPcIsSkipped()
    {
        QVERIFY(display->open());
        QStringList events;
        connect(display, &DisplayEmulator::bytesSkipped, this,
                [&](const QByteArray &bytes) { events << "skipped " + bytes.toHex(); });
        connect(display, &DisplayEmulator::frameReceived, this,
                [&](const ReceivedFrame &frame) { events << "frame " + frame.bytes.toHex(); });
        QVERIFY(openPc(*pc, display->slavePath()));
        const QByteArray text = protocol::RamkaTekstuEEPROM(2, u"ab");
        writeAndWait(hex("FF 00") + "junkPR" + Request + "zz" + text + "D");
        const QStringList expected = {
            "skipped " + (hex("FF 00") + "junkPR").toHex(), "frame " + Request.toHex(),
            "skipped " + QByteArray("zz").toHex(), "frame " + text.toHex()};
        QCOMPARE(events, expected);
        QCOMPARE(display->skipped(), hex("FF 00") + "junkPRzz");
        QTRY_COMPARE(reader->bytes, Ack + Ack);
        // The held "D" is decided by what follows.
        writeAndWait("X");
        QCOMPARE(events.last(), "skipped " + QByteArray("DX").toHex());
    }

    void splitWritesAreReassembled()
    {
        QVERIFY(display->open());
        QVERIFY(openPc(*pc, display->slavePath()));
        const QByteArray frame = protocol::RamkaParametrowRAM(2, 3, 4, 5);
        writeAndWait(frame.left(3));
        writeAndWait(frame.mid(3, 9));
        QVERIFY(display->frames().isEmpty());
        writeAndWait(frame.mid(12));
        QCOMPARE(display->frames().size(), 1);
        QCOMPARE(display->frames().at(0).bytes, frame);
        QVERIFY(display->skipped().isEmpty());
        QTRY_COMPARE(reader->bytes, Ack);
    }

    // A mebibyte reaches the PC complete and in order, followed by the answer
    // to a frame written while it was still draining.
    void flood()
    {
        constexpr qint64 size = 1 << 20;
        QVERIFY(display->open());
        QVERIFY(openPc(*pc, display->slavePath()));
        display->flood(size);
        QVERIFY(display->bytesPending() > 0); // a pty holds far less than that
        QCOMPARE(pc->write(Request), Request.size());
        QTRY_COMPARE_WITH_TIMEOUT(reader->bytes.size(), size + Ack.size(), 60000);
        QCOMPARE(reader->bytes.left(size), floodBytes(0, size));
        QCOMPARE(reader->bytes.mid(size), Ack);
        QCOMPARE(display->bytesWritten(), size + Ack.size());
        QCOMPARE(display->bytesPending(), 0);
        QCOMPARE(display->bytesDropped(), 0);
    }

    void floodPatternContinues()
    {
        QCOMPARE(floodBytes(0, 700), floodBytes(0, 333) + floodBytes(333, 367));
        QCOMPARE(floodBytes(251, 1), floodBytes(0, 1));
        QVERIFY(floodBytes(0, 251).count(char(0)) == 1);
    }

    // Whatever the PC does not read waits, bounded; nothing blocks.
    void sendWhileNobodyReads()
    {
        QVERIFY(display->open());
        const QByteArray chunk(1 << 20, 'n');
        for (int i = 0; i < 20; ++i)
            display->send(chunk);
        QVERIFY(display->bytesDropped() > 0);
        QCOMPARE(display->bytesWritten() + display->bytesPending() + display->bytesDropped(),
                 20 * chunk.size());
    }

    // The PC closing and opening the port again is no unplugging.
    void pcReopens()
    {
        QVERIFY(display->open());
        QVERIFY(openPc(*pc, display->slavePath()));
        writeAndWait(Request);
        QTRY_COMPARE(reader->bytes, Ack);
        pc->close();
        QVERIFY(openPc(*pc, display->slavePath()));
        writeAndWait(Request);
        QTRY_COMPARE(reader->bytes, Ack + Ack);
        QCOMPARE(display->frames().size(), 2);
    }

    void closePortIsUnplugging()
    {
        QVERIFY(display->open());
        QVERIFY(openPc(*pc, display->slavePath()));
        QSignalSpy errors(pc, &QSerialPort::errorOccurred);
        writeAndWait(Request);
        QTRY_COMPARE(reader->bytes, Ack);

        display->closePort();
        QVERIFY(!display->isOpen());
        const auto unplugged = [&] {
            for (const QList<QVariant> &e : errors) {
                const auto error = e.at(0).value<QSerialPort::SerialPortError>();
                if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)
                    return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(unplugged(), 5000);

        // Both sides stay usable.
        const qint64 written = display->bytesWritten();
        display->send("late");
        display->flood(1000);
        display->closePort();
        QCOMPARE(display->bytesWritten(), written);
        QCOMPARE(display->bytesPending(), 0);
        pc->write(Request);
        pc->close();
        QCOMPARE(display->frames().size(), 1);
    }

    // A PC-side port that saw its device vanish keeps the device's lock file
    // until it is closed, while the kernel hands the pty number out again at
    // once. The emulator must still offer a device the PC can open.
    void lockedPtyNameIsPassedOver()
    {
        QVERIFY(display->open());
        const QString path = display->slavePath();
        display->closePort();
        // The lock as QSerialPort takes it: in the first usable lock folder.
        QString folder;
        for (const char *candidate :
             {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp"}) {
            const QFileInfo info(QString::fromLatin1(candidate));
            if (info.isReadable() && info.isWritable()) {
                folder = info.filePath();
                break;
            }
        }
        QVERIFY(!folder.isEmpty());
        QLockFile stillHeld(folder + "/LCK.." + path.mid(5).replace('/', '_'));
        QVERIFY(stillHeld.tryLock(0));

        QVERIFY(display->open());
        QVERIFY(openPc(*pc, display->slavePath()));
        QCOMPARE(pc->write(Request), Request.size());
        QTRY_COMPARE(reader->bytes, Ack);
    }

    // Unplugged in the middle of a chunk: frames after it are not handled, and
    // the late answer of the old port never reaches the new one.
    void closePortFromAHandler()
    {
        QVERIFY(display->open());
        display->setReply(0, Reply{Reply::WrongByte, 100, {}});
        display->setReply(1, Reply{Reply::Acknowledge, 300, {}});
        connect(display, &DisplayEmulator::frameReceived, display, &DisplayEmulator::closePort);
        QVERIFY(openPc(*pc, display->slavePath()));
        QCOMPARE(pc->write(Request + Request + Request), 3 * Request.size());
        QTRY_VERIFY(!display->isOpen());
        QCOMPARE(display->frames().size(), 1);

        disconnect(display, &DisplayEmulator::frameReceived, display, &DisplayEmulator::closePort);
        pc->close();
        QVERIFY(display->open());
        QVERIFY(openPc(*pc, display->slavePath()));
        writeAndWait(Request);
        // The new frame's answer is due after the old one's would have been.
        QTRY_COMPARE_WITH_TIMEOUT(reader->bytes.size(), Ack.size(), 5000);
        display->send("MARK");
        QTRY_COMPARE(reader->bytes, Ack + "MARK");
    }

    // The program as started by hand: path first, a line per frame, clean exit
    // on SIGTERM with its link removed.
    void program()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath("display");
        QProcess process;
        process.start(EMULATOR_PROGRAM,
                      {"--wrong-case", "--garbage-after", "00 7f", "--link", link});
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 10000);
        const QString path = QString::fromLocal8Bit(process.readLine()).trimmed();
        QVERIFY(path.startsWith("/dev/"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), path);

        QVERIFY(openPc(*pc, link));
        QCOMPARE(pc->write(QByteArray("??") + protocol::RamkaTekstuRAM(1, u"Cześć")), qint64(18));
        const QByteArray answer = replyBytes(Reply{Reply::WrongCase, 0, hex("00 7f")});
        QTRY_COMPARE_WITH_TIMEOUT(reader->bytes, answer, 10000);
        QByteArray printed;
        QTRY_VERIFY_WITH_TIMEOUT((printed += process.readAll()).contains("Cześć"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT((printed += process.readAll()).count('\n') >= 2, 10000);
        const QString lines = QString::fromUtf8(printed);
        QVERIFY2(lines.contains("skipped 2 bytes"), qPrintable(lines));
        QVERIFY2(lines.contains("DATA 0x0B RAM screen 1 \"Cześć\", checksum ok"),
                 qPrintable(lines));
        QVERIFY2(lines.contains("answered in the wrong case, then 2 extra bytes"),
                 qPrintable(lines));

        process.terminate();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void programRefusesMixedFaults()
    {
        QProcess process;
        process.start(EMULATOR_PROGRAM, {"--silent", "--partial"});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }

    void init()
    {
        display = new DisplayEmulator;
        pc = new QSerialPort;
        reader = new PcReader(*pc);
    }

    void cleanup()
    {
        delete reader;
        delete pc;
        delete display;
    }
};

QTEST_GUILESS_MAIN(DisplayEmulatorTest)
#include "tst_display_emulator.moc"
