// The serial link over a real pty: the line settings, counting, reading and
// discarding waiting bytes, a lost port, and the acknowledgement reader on top
// of it.

#include "../programming_support/programming_rig.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>

#include <memory>

#include <termios.h>

class ProgrammingSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        bench = std::make_unique<rig::Bench>();
        QVERIFY2(bench->ready, qPrintable(bench->display.errorString()));
        link = &bench->programmer.Port_MSComm();
        QCOMPARE(link->open(bench->device()), SerialLink::OpenResult::Opened);
    }
    void cleanup() { bench.reset(); }

    void opensWithTheDisplaysLineSettingsAndPassesBytesRaw()
    {
        termios line{};
        QCOMPARE(::tcgetattr(int(link->handle()), &line), 0);
        QCOMPARE(::cfgetospeed(&line), speed_t(B1200));
        QCOMPARE(::cfgetispeed(&line), speed_t(B1200));
        // Eight data bits, two stop bits, no parity, no hardware handshake.
        QCOMPARE(line.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS), tcflag_t(CS8 | CSTOPB));
        // Raw and without software handshake: 0x0A, 0x0D, 0x11 or 0x13 pass unchanged.
        QCOMPARE(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), tcflag_t(0));
        QCOMPARE(line.c_lflag & (ICANON | ECHO), tcflag_t(0));
        QCOMPARE(line.c_oflag & OPOST, tcflag_t(0));

        const QByteArray raw("\x0A\x0D\x11\x13\xFF", 5);
        QVERIFY(link->Output(raw));
        QTRY_COMPARE(bench->display.received(), raw);
        arrive(raw);
        for (char expected : raw)
            QCOMPARE(link->Input(), int(static_cast<unsigned char>(expected)));
        QCOMPARE(link->InBufferCount(), 0);
        QCOMPARE(link->Input(), -1);
    }

    void countIncludesBytesTheEventLoopHasNotRead()
    {
        arriveUnread(rig::Ack);
        QCOMPARE(link->Input(), 0x4F);
        QCOMPARE(link->InBufferCount(), 7);
    }

    void floodOfNoiseStaysBoundedAndCanBeDiscarded()
    {
        bench->display.flood(1024 * 1024);
        int mostWaiting = 0;
        qint64 discarded = 0;
        const QDeadlineTimer deadline(120000);
        while (bench->display.bytesPending() > 0 && !deadline.hasExpired()) {
            QTest::qWait(5);
            const int waiting = link->InBufferCount();
            mostWaiting = qMax(mostWaiting, waiting);
            discarded += waiting;
            link->discardInput();
        }
        QCOMPARE(bench->display.bytesPending(), 0);
        // The program holds a few KiB of it at most; the system bounds the rest.
        QVERIFY2(mostWaiting <= 64 * 1024, qPrintable(QString::number(mostWaiting)));
        QVERIFY(discarded > 0);

        QTest::qWait(20);
        link->discardInput();
        arrive(rig::Ack);
        QVERIFY(bench->programmer.SprawdzOdpowiedz());
    }

    void readinessThatWentStaleIsNoLossButAClosedPeerIs()
    {
        QSignalSpy lost(link, &SerialLink::portLost);
        arriveUnread(rig::Ack);
        // One pass of the event loop sees the port readable, then a handler run
        // before the port's own turn discards what waited: the port's read then
        // finds nothing, which is no sign of a lost device.
        QTimer::singleShot(0, this, [this] { link->discardInput(); });
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QVERIFY(link->PortOpen());
        QCOMPARE(lost.count(), 0);
        arrive(rig::Ack);
        QVERIFY(bench->programmer.SprawdzOdpowiedz());

        // The display's side going away is a loss: reported once, the port closed.
        bench->display.closePort();
        QVERIFY(lost.wait(5000));
        QVERIFY(!link->PortOpen());
        QCOMPARE(link->Input(), -1);
        QVERIFY(!link->Output(rig::End));
        link->close();
        QCoreApplication::processEvents();
        QCOMPARE(lost.count(), 1);
    }

    void replyReader_data()
    {
        QTest::addColumn<QByteArray>("waiting");
        QTest::addColumn<QList<bool>>("results"); // of checks in a row
        QTest::addColumn<QList<int>>("left");     // bytes still waiting after each

        QByteArray wrongSum = rig::Ack;
        wrongSum[7] = char(0xC0);

        QTest::newRow("seven bytes") << rig::Ack.left(7) << QList<bool>{false} << QList<int>{7};
        QTest::newRow("the acknowledgement")
            << rig::Ack << QList<bool>{true, false} << QList<int>{0, 0};
        QTest::newRow("two acknowledgements")
            << rig::Ack + rig::Ack << QList<bool>{true, true, false} << QList<int>{8, 0, 0};
        QTest::newRow("checksum byte wrong") << wrongSum << QList<bool>{false} << QList<int>{0};
        QTest::newRow("upper case")
            << QByteArray("OKFNEXT\xC1") << QList<bool>{false} << QList<int>{0};
        QTest::newRow("noise before the acknowledgement")
            << "abc" + rig::Ack << QList<bool>{false, false} << QList<int>{3, 3};
    }

    void replyReader()
    {
        QFETCH(QByteArray, waiting);
        QFETCH(QList<bool>, results);
        QFETCH(QList<int>, left);

        arrive(waiting);
        for (int i = 0; i < results.size(); ++i) {
            QCOMPARE(bench->programmer.SprawdzOdpowiedz(), results[i]);
            QCOMPARE(link->InBufferCount(), left[i]);
        }
    }

private:
    // Sends bytes from the display and waits until all of them wait at the PC.
    void arrive(const QByteArray &bytes)
    {
        bench->display.send(bytes);
        QTRY_COMPARE(link->InBufferCount(), int(bytes.size()));
    }
    // Waits for bytes from the display without letting the event loop read any.
    void arriveUnread(const QByteArray &bytes)
    {
        bench->display.send(bytes);
        const QDeadlineTimer deadline(5000);
        while (link->InBufferCount() < bytes.size() && !deadline.hasExpired())
            QThread::msleep(1);
        QCOMPARE(link->InBufferCount(), int(bytes.size()));
    }

    std::unique_ptr<rig::Bench> bench;
    SerialLink *link = nullptr;
};

QTEST_GUILESS_MAIN(ProgrammingSerialLink)
#include "tst_programming_serial_link.moc"
