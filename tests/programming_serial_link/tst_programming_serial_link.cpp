// The serial link over a real pty: opening and its failures, the line
// settings, counting and reading waiting bytes, discarding them, and the
// acknowledgement reader on top of it.

#include "../programming_support/programming_rig.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>

#include <termios.h>

using emulator::DisplayEmulator;

class ProgrammingSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensTheChosenDeviceWithTheDisplaysLineSettings();
    void openTellsAMissingPortFromABusyOne_data();
    void openTellsAMissingPortFromABusyOne();

    void countIncludesBytesTheEventLoopHasNotRead();
    void inputHandsOutOneByteAtATime();
    void discardThrowsAwayEveryWaitingByte();
    void floodOfNoiseStaysBoundedAndCanBeDiscarded();
    void closeLetsTheLastFrameOut();
    void readinessThatWentStaleIsNoLoss();

    void replyReader_data();
    void replyReader();

private:
    // Sends bytes from the display and waits until all of them wait at the PC.
    void arrive(const QByteArray &bytes, int alreadyWaiting = 0);

    FakeWindow window;
    DisplayEmulator *display = nullptr;
    DeviceProgrammer *programmer = nullptr;
    SerialLink *link = nullptr;
};

void ProgrammingSerialLink::init()
{
    window = FakeWindow{};
    display = new DisplayEmulator;
    QVERIFY2(rig::useDisplay(*display), qPrintable(display->errorString()));
    programmer = new DeviceProgrammer(window, true);
    link = &programmer->Port_MSComm();
    link->setCommPort(1);
    QCOMPARE(link->open(), SerialLink::OpenResult::Opened);
}

void ProgrammingSerialLink::cleanup()
{
    delete programmer;
    delete display;
    setSerialDeviceSource(nullptr);
}

void ProgrammingSerialLink::arrive(const QByteArray &bytes, int alreadyWaiting)
{
    display->send(bytes);
    QTRY_COMPARE(link->InBufferCount(), alreadyWaiting + int(bytes.size()));
}

void ProgrammingSerialLink::opensTheChosenDeviceWithTheDisplaysLineSettings()
{
    QVERIFY(link->PortOpen());
    QCOMPARE(link->CommPort(), 1);

    termios line{};
    QCOMPARE(::tcgetattr(int(link->handle()), &line), 0);
    QCOMPARE(::cfgetospeed(&line), speed_t(B1200));
    QCOMPARE(::cfgetispeed(&line), speed_t(B1200));
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QVERIFY2(line.c_cflag & CSTOPB, "two stop bits");
    QVERIFY2(!(line.c_cflag & PARENB), "no parity");
    QVERIFY2(!(line.c_cflag & CRTSCTS), "no hardware handshake");
    QVERIFY2(!(line.c_iflag & (IXON | IXOFF)), "no software handshake");
    // Raw: frame bytes such as 0x0A, 0x0D or 0x11 pass unchanged.
    QVERIFY(!(line.c_iflag & (ICRNL | INLCR | ISTRIP)));
    QVERIFY(!(line.c_lflag & (ICANON | ECHO)));
    QVERIFY(!(line.c_oflag & OPOST));

    const QByteArray raw("\x0A\x0D\x11\x13\xFF", 5);
    QVERIFY(link->Output(raw));
    QTRY_COMPARE(display->received(), raw);
    arrive(raw);
    for (char expected : raw)
        QCOMPARE(link->Input(), int(static_cast<unsigned char>(expected)));

    link->close();
    QVERIFY(!link->PortOpen());
    QCOMPARE(link->handle(), qintptr(-1));
    QVERIFY(!link->Output(rig::End));
}

void ProgrammingSerialLink::openTellsAMissingPortFromABusyOne_data()
{
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<bool>("heldElsewhere");
    QTest::addColumn<SerialLink::OpenResult>("result");

    QTest::newRow("free") << 1 << false << SerialLink::OpenResult::Opened;
    QTest::newRow("held by another") << 1 << true << SerialLink::OpenResult::Busy;
    QTest::newRow("no port chosen") << 0 << false << SerialLink::OpenResult::NoSuchPort;
    QTest::newRow("beyond the devices") << 2 << false << SerialLink::OpenResult::NoSuchPort;
}

void ProgrammingSerialLink::openTellsAMissingPortFromABusyOne()
{
    QFETCH(int, portNumber);
    QFETCH(bool, heldElsewhere);
    QFETCH(SerialLink::OpenResult, result);

    if (!heldElsewhere)
        link->close();
    SerialLink other;
    other.setCommPort(portNumber);
    QCOMPARE(other.open(), result);
    QCOMPARE(other.PortOpen(), result == SerialLink::OpenResult::Opened);
    // The holder keeps its port whatever the other tried.
    QCOMPARE(link->PortOpen(), heldElsewhere);
}

void ProgrammingSerialLink::countIncludesBytesTheEventLoopHasNotRead()
{
    display->send(rig::Ack);
    // No event is processed here: the count must come from the system.
    const QDeadlineTimer deadline(5000);
    while (link->InBufferCount() < 8 && !deadline.hasExpired())
        QThread::msleep(1);
    QCOMPARE(link->InBufferCount(), 8);
    QCOMPARE(link->Input(), 0x4F);
    QCOMPARE(link->InBufferCount(), 7);
}

void ProgrammingSerialLink::inputHandsOutOneByteAtATime()
{
    QCOMPARE(link->Input(), -1);
    arrive("ab");
    QCOMPARE(link->Input(), int('a'));
    QCOMPARE(link->InBufferCount(), 1);
    QCOMPARE(link->Input(), int('b'));
    QCOMPARE(link->InBufferCount(), 0);
    QCOMPARE(link->Input(), -1);
}

void ProgrammingSerialLink::discardThrowsAwayEveryWaitingByte()
{
    arrive(rig::Ack + rig::Ack + "xyz");
    link->discardInput();
    QCOMPARE(link->InBufferCount(), 0);
    QVERIFY(!programmer->SprawdzOdpowiedz());

    arrive(rig::Ack);
    QVERIFY(programmer->SprawdzOdpowiedz());
}

void ProgrammingSerialLink::floodOfNoiseStaysBoundedAndCanBeDiscarded()
{
    constexpr qint64 FloodSize = 1024 * 1024;
    display->flood(FloodSize);
    int mostWaiting = 0;
    qint64 discarded = 0;
    const QDeadlineTimer deadline(120000);
    while (display->bytesPending() > 0 && !deadline.hasExpired()) {
        QTest::qWait(5);
        const int waiting = link->InBufferCount();
        mostWaiting = qMax(mostWaiting, waiting);
        discarded += waiting;
        link->discardInput();
    }
    QCOMPARE(display->bytesPending(), 0);
    // The program holds a few KiB of it at most; the system bounds the rest.
    QVERIFY2(mostWaiting <= 64 * 1024, qPrintable(QString::number(mostWaiting)));
    QVERIFY(discarded > 0);

    QTest::qWait(20);
    link->discardInput();
    arrive(rig::Ack);
    QVERIFY(programmer->SprawdzOdpowiedz());
}

void ProgrammingSerialLink::closeLetsTheLastFrameOut()
{
    QVERIFY(link->Output(rig::Refresh));
    QVERIFY(link->Output(rig::End));
    link->close();
    QTRY_COMPARE(display->received(), rig::Refresh + rig::End);
    QCOMPARE(rig::framesOf(*display), (QList<QByteArray>{rig::Refresh, rig::End}));
}

void ProgrammingSerialLink::readinessThatWentStaleIsNoLoss()
{
    QSignalSpy lost(link, &SerialLink::portLost);
    display->send(rig::Ack);
    const QDeadlineTimer deadline(5000);
    while (link->InBufferCount() < 8 && !deadline.hasExpired())
        QThread::msleep(1);
    // One pass of the event loop sees the port readable, then a handler run
    // before the port's own turn discards what waited: the port's read then
    // finds nothing, which is no sign of a lost device.
    QTimer::singleShot(0, this, [this] { link->discardInput(); });
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(link->PortOpen());
    QCOMPARE(lost.count(), 0);

    arrive(rig::Ack);
    QVERIFY(programmer->SprawdzOdpowiedz());
    display->closePort();
    QVERIFY(lost.wait(5000));
}

void ProgrammingSerialLink::replyReader_data()
{
    QTest::addColumn<QByteArray>("waiting");
    QTest::addColumn<QList<bool>>("checks");
    QTest::addColumn<int>("left");

    QByteArray wrongSum = rig::Ack;
    wrongSum[7] = char(0xC0);
    QByteArray wrongFirst = rig::Ack;
    wrongFirst[0] = 'o';

    QTest::newRow("seven bytes") << rig::Ack.left(7) << QList<bool>{false, false} << 7;
    QTest::newRow("the acknowledgement") << rig::Ack << QList<bool>{true, false} << 0;
    QTest::newRow("two acknowledgements")
        << rig::Ack + rig::Ack << QList<bool>{true, true, false} << 0;
    QTest::newRow("checksum byte wrong") << wrongSum << QList<bool>{false} << 0;
    QTest::newRow("first byte wrong") << wrongFirst << QList<bool>{false} << 0;
    QTest::newRow("upper case") << QByteArray("OKFNEXT\xC1") << QList<bool>{false} << 0;
    QTest::newRow("acknowledgement then noise")
        << rig::Ack + "abc" << QList<bool>{true, false} << 3;
    QTest::newRow("noise then acknowledgement")
        << "abc" + rig::Ack << QList<bool>{false, false} << 3;
}

void ProgrammingSerialLink::replyReader()
{
    QFETCH(QByteArray, waiting);
    QFETCH(QList<bool>, checks);
    QFETCH(int, left);

    arrive(waiting);
    int expectedLeft = int(waiting.size());
    for (int i = 0; i < checks.size(); ++i) {
        QCOMPARE(programmer->SprawdzOdpowiedz(), checks[i]);
        // Eight bytes go with every check that finds eight; fewer stay.
        if (expectedLeft >= 8)
            expectedLeft -= 8;
        QCOMPARE(link->InBufferCount(), expectedLeft);
    }
    QCOMPARE(link->InBufferCount(), left);
}

QTEST_GUILESS_MAIN(ProgrammingSerialLink)
#include "tst_programming_serial_link.moc"
