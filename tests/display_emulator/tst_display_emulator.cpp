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
    return QByteArray::fromHex(text);
}

} // namespace

class DisplayEmulatorTest : public QObject
{
    Q_OBJECT

    DisplayEmulator *display = nullptr;
    QSerialPort *pc = nullptr;
    QByteArray fromDisplay; // everything the PC side has received, in order

    // The PC side opens the device as the tool does (1200 baud, two stop bits).
    bool openPc(const QString &path)
    {
        pc->setPortName(path);
        pc->setBaudRate(QSerialPort::Baud1200);
        pc->setStopBits(QSerialPort::TwoStop);
        return pc->open(QIODevice::ReadWrite);
    }

    bool start() { return display->open() && openPc(display->slavePath()); }

    // Writes one chunk and waits until the emulator has read all of it.
    void writeAndWait(const QByteArray &chunk)
    {
        const qsizetype before = display->received().size();
        QCOMPARE(pc->write(chunk), chunk.size());
        QTRY_COMPARE_WITH_TIMEOUT(display->received().size(), before + chunk.size(), 5000);
    }

    // Sends a marker after everything else: what the PC got before it is all
    // the emulator ever sent.
    void expectAnswers(const QByteArray &answers)
    {
        display->send("MARK");
        QTRY_COMPARE_WITH_TIMEOUT(fromDisplay.size(), answers.size() + 4, 5000);
        QCOMPARE(fromDisplay, answers + "MARK");
    }

private slots:
    void init()
    {
        display = new DisplayEmulator;
        pc = new QSerialPort;
        fromDisplay.clear();
        connect(pc, &QSerialPort::readyRead, this, [this] { fromDisplay += pc->readAll(); });
    }

    void cleanup()
    {
        delete pc;
        delete display;
    }

    // Pure frame cutting, chunk by chunk.
    void parser_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QByteArrayList>("frames");
        QTest::addColumn<QByteArray>("skipped");

        const QByteArray text = protocol::RamkaTekstuRAM(1, u"Cześć");
        const QByteArray beep = bytes(protocol::KomendaKrotkiDzwiek);
        QByteArrayList oneByOne;
        for (char b : text)
            oneByOne.append(QByteArray(1, b));
        QTest::newRow("byte by byte") << oneByOne << QByteArrayList{text} << QByteArray();
        QTest::newRow("back to back")
            << QByteArrayList{Request + text + beep + Request}
            << QByteArrayList{Request, text, beep, Request} << QByteArray();
        const QByteArray withKeyword = protocol::RamkaTekstuRAM(2, u"PROGDATA");
        QTest::newRow("keywords inside a payload")
            << QByteArrayList{withKeyword} << QByteArrayList{withKeyword} << QByteArray();
        QTest::newRow("garbage between") << QByteArrayList{"xyz" + Request + hex("00FF0A") + text}
                                         << QByteArrayList{Request, text} << "xyz" + hex("00FF0A");
        QTest::newRow("PRO, then DATA in the next chunk")
            << QByteArrayList{"PRO", text} << QByteArrayList{text} << QByteArray("PRO");
        QTest::newRow("doubled first letter")
            << QByteArrayList{"P" + Request} << QByteArrayList{Request} << QByteArray("P");
    }

    void parser()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QByteArrayList, frames);
        QFETCH(QByteArray, skipped);

        FrameParser parser;
        QByteArrayList cut;
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
    // ends in a keyword is reported at once, and the keyword still starts a frame.
    void parserAfterLongGarbage()
    {
        FrameParser parser;
        const QByteArray garbage(1 << 20, 'x');
        QCOMPARE(parser.feed(garbage + "DA").skipped, garbage);
        const QByteArray end = bytes(protocol::KomendaKoniec);
        QCOMPARE(parser.feed(end.mid(2)).frames, QByteArrayList{end});
    }

    void describe_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("description");

        using namespace protocol;
        QTest::newRow("request, bad checksum")
            << hex("50524F47C9") << "PROG request, checksum WRONG (0xC9, should be 0xC8)";
        QTest::newRow("EEPROM text, spaces kept")
            << RamkaTekstuEEPROM(5, u" żółw ")
            << "DATA 0x05 EEPROM screen 5 \" żółw \", checksum ok";
        QTest::newRow("control bytes and quotes")
            << dataFrame(0x0C, QByteArray("a\x01\"b\0c", 6))
            << "DATA 0x0C RAM screen 2 \"a\\x01\\\"b\\x00c\", checksum ok";
        QTest::newRow("RAM parameters")
            << RamkaParametrowRAM(0, 8, 9, 9)
            << "DATA 0x0A RAM parameters: scroll 1 (Na przemian), screens 8, speed 10, "
               "brightness 10, checksum ok";
        QTest::newRow("clock") << RamkaZegara(u"14:05") << "DATA 0x50 clock 14:05, checksum ok";
        QTest::newRow("command with a payload")
            << dataFrame(0x62, "\x07")
            << "DATA 0x62 refresh, unused bytes not zero: 07 00 00 00 00 00 00 00 00 00, "
               "checksum ok";
        QTest::newRow("after the last RAM screen")
            << dataFrame(0x13, "ab")
            << "DATA 0x13 unknown code, payload 61 62 00 00 00 00 00 00 00 00, checksum ok";
        QTest::newRow("no frame") << QByteArray("OKf") << "not a frame (3 bytes): 4f 4b 66";
    }

    void describe()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, description);
        QCOMPARE(describeFrame(frame), description);
    }

    // Every frame is logged as it arrives, described and acknowledged, a bad
    // checksum included; nothing else goes to the PC.
    void framesAreLoggedAndAcknowledged()
    {
        QVERIFY(start());
        const auto before = std::chrono::steady_clock::now();
        QByteArray clear = bytes(protocol::KomendaCzyscEkran);
        clear[15] = 0;
        const QByteArray frames[] = {Request, protocol::RamkaTekstuRAM(3, u"Cześć"), clear};
        for (const QByteArray &frame : frames)
            writeAndWait(frame);
        expectAnswers(Ack + Ack + Ack);

        QCOMPARE(display->frames().size(), 3);
        QStringList descriptions;
        for (const ReceivedFrame &frame : display->frames()) {
            QCOMPARE(frame.bytes, frames[descriptions.size()]);
            QVERIFY(frame.at >= before);
            descriptions << frame.description.section(',', 0, 0) + (frame.checksumOk ? "" : " bad");
        }
        QCOMPARE(descriptions, (QStringList{"PROG request", "DATA 0x0D RAM screen 3 \"Cześć\"",
                                            "DATA 0x61 clear screens bad"}));
        QCOMPARE(display->received(), frames[0] + frames[1] + frames[2]);
        QVERIFY(display->skipped().isEmpty());
    }

    void replies_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("silent") << Reply{Reply::Silent, 0, {}} << QByteArray();
        QTest::newRow("wrong byte") << Reply{Reply::WrongByte, 0, {}} << hex("4F4B664E455854C0");
        QTest::newRow("wrong case") << Reply{Reply::WrongCase, 0, {}} << hex("4F4B464E455854C1");
        QTest::newRow("partial") << Reply{Reply::Partial, 0, {}} << hex("4F4B664E455854");
        QTest::newRow("extra garbage")
            << Reply{Reply::Acknowledge, 0, hex("00FF")} << hex("4F4B664E455854C100FF");
        QTest::newRow("silent, extra") << Reply{Reply::Silent, 0, hex("55")} << hex("55");
    }

    // Each scripted reply reaches the PC byte for byte, only for the frame it
    // was set for.
    void replies()
    {
        QFETCH(Reply, reply);
        QFETCH(QByteArray, expected);
        QVERIFY(start());
        display->setReply(1, reply);
        for (int i = 0; i < 3; ++i)
            writeAndWait(Request);
        expectAnswers(Ack + expected + Ack);
        QCOMPARE(display->frames().at(1).reply.kind, reply.kind);
    }

    // A late answer comes no sooner than its delay after the frame's last
    // byte, and does not hold back the answers to later frames.
    void lateAnswer()
    {
        constexpr int delay = 300;
        QVERIFY(start());
        display->setReply(0, Reply{Reply::WrongCase, delay, {}});
        std::chrono::steady_clock::time_point arrived;
        connect(pc, &QSerialPort::readyRead, this,
                [&] { arrived = std::chrono::steady_clock::now(); });
        writeAndWait(Request);
        writeAndWait(Request);
        const QByteArray wrongCase = replyBytes(Reply{Reply::WrongCase, 0, {}});
        QTRY_COMPARE_WITH_TIMEOUT(fromDisplay, Ack + wrongCase, 5000);
        QVERIFY(arrived - display->frames().at(0).at >= std::chrono::milliseconds(delay));
    }

    // The default reply, a reply for one frame and the limit on answered
    // frames, which wins over both; clearing the log keeps the frame count.
    void scriptedReplies()
    {
        QVERIFY(start());
        display->setDefaultReply(Reply{Reply::Partial, 0, {}});
        display->setReply(1, Reply{});
        display->setReply(4, Reply{});
        display->answerOnlyFirst(4);
        writeAndWait("xx" + Request);
        display->clearLog();
        QVERIFY(display->frames().isEmpty() && display->received().isEmpty() &&
                display->skipped().isEmpty());
        for (int i = 1; i <= 4; ++i)
            writeAndWait(Request);
        const QByteArray partial = Ack.left(7);
        expectAnswers(partial + Ack + partial + partial);
        QCOMPARE(display->received().size(), 4 * Request.size());
        QCOMPARE(display->frames().size(), 4);
        QCOMPARE(display->frames().at(3).reply.kind, Reply::Silent);
    }

    // Skipped bytes are reported between the frames they came between, and a
    // frame split over several writes is put together again.
    void garbageAndSplitFrames()
    {
        QVERIFY(start());
        QStringList events;
        connect(display, &DisplayEmulator::bytesSkipped, this, [&](const QByteArray &bytes) {
            events << "skipped " + QString::fromLatin1(bytes);
        });
        connect(display, &DisplayEmulator::frameReceived, this,
                [&](const ReceivedFrame &frame) { events << frame.description.left(9); });
        const QByteArray frame = protocol::RamkaParametrowRAM(2, 3, 4, 5);
        writeAndWait("junkPR" + Request + "zz" + frame.left(3));
        writeAndWait(frame.mid(3, 9));
        QCOMPARE(events, (QStringList{"skipped junkPR", "PROG requ", "skipped zz"}));
        writeAndWait(frame.mid(12) + "D");
        QCOMPARE(events.last(), "DATA 0x0A");
        QCOMPARE(display->frames().at(1).bytes, frame);
        // The held "D" is decided by what follows.
        writeAndWait("X");
        QCOMPARE(events.last(), "skipped DX");
        QCOMPARE(display->skipped(), "junkPRzzDX");
        expectAnswers(Ack + Ack);
    }

    // A mebibyte reaches the PC complete and in order, followed by the answer
    // to a frame written while it was still draining.
    void flood()
    {
        constexpr qint64 size = 1 << 20;
        QVERIFY(start());
        display->flood(size);
        QVERIFY(display->bytesPending() > 0); // a pty holds far less than that
        QCOMPARE(pc->write(Request), Request.size());
        QTRY_COMPARE_WITH_TIMEOUT(fromDisplay.size(), size + Ack.size(), 60000);
        QCOMPARE(fromDisplay.left(size), floodBytes(0, size));
        QCOMPARE(fromDisplay.mid(size), Ack);
        QCOMPARE(display->bytesWritten(), size + Ack.size());
        QCOMPARE(display->bytesPending() + display->bytesDropped(), 0);
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
        QVERIFY(start());
        writeAndWait(Request);
        QTRY_COMPARE(fromDisplay, Ack);
        pc->close();
        QVERIFY(openPc(display->slavePath()));
        writeAndWait(Request);
        QTRY_COMPARE(fromDisplay, Ack + Ack);
    }

    // To the PC the device has gone; both sides stay usable, and the device
    // plugged in again starts without the half frame it had.
    void closePortIsUnplugging()
    {
        QVERIFY(start());
        QSignalSpy errors(pc, &QSerialPort::errorOccurred);
        writeAndWait(Request + Request.left(3));
        QTRY_COMPARE(fromDisplay, Ack);

        display->closePort();
        QVERIFY(!display->isOpen());
        const auto unplugged = [&errors] {
            return std::any_of(errors.cbegin(), errors.cend(), [](const QList<QVariant> &e) {
                const auto error = e.at(0).value<QSerialPort::SerialPortError>();
                return error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(unplugged(), 5000);
        const qint64 written = display->bytesWritten();
        display->send("late");
        display->flood(1000);
        display->closePort();
        QCOMPARE(display->bytesWritten(), written);
        QCOMPARE(display->bytesPending(), 0);
        pc->write(Request);
        pc->close();
        QCOMPARE(display->frames().size(), 1);

        QVERIFY(start());
        writeAndWait(Request);
        QCOMPARE(display->frames().size(), 2);
        QCOMPARE(display->skipped(), QByteArray());
        expectAnswers(Ack + Ack);
    }

    // Unplugged in the middle of a chunk: frames after it are not handled, and
    // the late answers of the old port never reach the new one.
    void closePortFromAHandler()
    {
        QVERIFY(start());
        display->setReply(0, Reply{Reply::WrongByte, 100, {}});
        display->setReply(1, Reply{Reply::Acknowledge, 300, {}});
        connect(display, &DisplayEmulator::frameReceived, display, &DisplayEmulator::closePort);
        QCOMPARE(pc->write(Request + Request + Request), 3 * Request.size());
        QTRY_VERIFY(!display->isOpen());
        QCOMPARE(display->frames().size(), 1);

        disconnect(display, &DisplayEmulator::frameReceived, display, &DisplayEmulator::closePort);
        pc->close();
        QVERIFY(start());
        writeAndWait(Request);
        // The new frame's answer is due after the old one's would have been.
        QTRY_COMPARE_WITH_TIMEOUT(fromDisplay.size(), Ack.size(), 5000);
        expectAnswers(Ack);
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
            if (folder.isEmpty() && info.isReadable() && info.isWritable())
                folder = info.filePath();
        }
        QLockFile stillHeld(folder + "/LCK.." + path.mid(5).replace('/', '_'));
        QVERIFY(stillHeld.tryLock(0));
        QVERIFY(start());
        QCOMPARE(pc->write(Request), Request.size());
        QTRY_COMPARE(fromDisplay, Ack);
    }

    // The program as started by hand: path first, a line per frame, clean exit
    // on SIGTERM with its link removed; mixed faults are refused.
    void program()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("display");
        QProcess process;
        process.start(EMULATOR_PROGRAM,
                      {"--wrong-case", "--garbage-after", "00 7f", "--link", link});
        QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 10000);
        const QString path = QString::fromLocal8Bit(process.readLine()).trimmed();
        QVERIFY(path.startsWith("/dev/"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), path);

        QVERIFY(openPc(link));
        QCOMPARE(pc->write("??" + protocol::RamkaTekstuRAM(1, u"Cześć")), qint64(18));
        QTRY_COMPARE_WITH_TIMEOUT(fromDisplay, replyBytes({Reply::WrongCase, 0, hex("007f")}),
                                  10000);
        QByteArray printed;
        QTRY_VERIFY_WITH_TIMEOUT((printed += process.readAll()).count('\n') >= 2, 10000);
        const QString lines = QString::fromUtf8(printed);
        for (const char *line : {"skipped 2 bytes", "DATA 0x0B RAM screen 1 \"Cześć\", checksum ok",
                                 "answered in the wrong case, then 2 extra bytes"})
            QVERIFY2(lines.contains(QString::fromUtf8(line)), qPrintable(lines));

        process.terminate();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());

        process.start(EMULATOR_PROGRAM, {"--silent", "--partial"});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }
};

QTEST_GUILESS_MAIN(DisplayEmulatorTest)
#include "tst_display_emulator.moc"
