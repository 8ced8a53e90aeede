// The connection from the window's load to its close: the pacing wait, the
// programming-mode handshake and its failures, the refresh timer and the
// closing frame.

#include "../programming_support/programming_rig.h"
#include "protocol/builders.h"

#include <QSignalSpy>
#include <QTimer>

using emulator::DisplayEmulator;
using emulator::Reply;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Reply)

class ProgrammingConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void waitLastsUntilSevenTenthsAfterStart_data();
    void waitLastsUntilSevenTenthsAfterStart();
    void waitLetsTheWindowWork();
    void waitThatIsOverProcessesNothing();

    void handshakeConnects();
    void handshakeFails_data();
    void handshakeFails();
    void staleBytesDoNotPassForTheHandshakesAnswer();
    void withoutAPortNothingIsTouched();
    void portThatCannotBeOpened_data();
    void portThatCannotBeOpened();

    void refreshTickWritesTheRefreshFrameAndReadsNothing();
    void closingAConnectedWindowSendsTheClosingFrameOnce();
    void closingAfterAFailedHandshakeWritesNothing();
    void closingDuringAnUploadsWaitEndsItSilently();
    // Last: once told to quit, the application runs no event loop again.
    void quittingTheApplicationDuringAnUploadEndsItSilently();

private:
    FakeWindow window;
    DisplayEmulator *display = nullptr;
    DeviceProgrammer *programmer = nullptr;
};

void ProgrammingConnection::init()
{
    window = FakeWindow{};
    display = new DisplayEmulator;
    QVERIFY2(rig::useDisplay(*display), qPrintable(display->errorString()));
    programmer = new DeviceProgrammer(window, true);
}

void ProgrammingConnection::cleanup()
{
    delete programmer;
    delete display;
    setSerialDeviceSource(nullptr);
    Module1::NumerPortu = 0;
}

void ProgrammingConnection::waitLastsUntilSevenTenthsAfterStart_data()
{
    QTest::addColumn<int>("startedMsAgo");
    QTest::newRow("start now") << 0;
    QTest::newRow("start 0.4 s ago") << 400;
    QTest::newRow("start 0.69 s ago") << 690;
}

void ProgrammingConnection::waitLastsUntilSevenTenthsAfterStart()
{
    QFETCH(int, startedMsAgo);
    const auto start = DeviceProgrammer::Clock::now() - std::chrono::milliseconds(startedMsAgo);
    programmer->Czekaj(start);
    QVERIFY(DeviceProgrammer::Clock::now() - start >= 700ms);
}

void ProgrammingConnection::waitLetsTheWindowWork()
{
    int handled = 0;
    QTimer::singleShot(50, this, [&] { ++handled; });
    QMetaObject::invokeMethod(
        this, [&] { ++handled; }, Qt::QueuedConnection);
    programmer->Czekaj(DeviceProgrammer::Clock::now());
    QCOMPARE(handled, 2);
}

void ProgrammingConnection::waitThatIsOverProcessesNothing()
{
    bool handled = false;
    QMetaObject::invokeMethod(
        this, [&] { handled = true; }, Qt::QueuedConnection);
    programmer->Czekaj(DeviceProgrammer::Clock::now() - 700ms);
    QVERIFY(!handled);
    programmer->Czekaj(DeviceProgrammer::Clock::now() - 1h);
    QVERIFY(!handled);
    QTRY_VERIFY(handled);
}

void ProgrammingConnection::handshakeConnects()
{
    bool portClosedDuringSettings = false;
    window.onInitialSettings = [&] {
        portClosedDuringSettings = !programmer->Port_MSComm().PortOpen();
    };
    programmer->Form_Load();

    QCOMPARE(window.initialSettings, 1);
    QVERIFY2(portClosedDuringSettings, "start-up settings come before the port opens");
    QCOMPARE(rig::framesOf(*display), QList<QByteArray>{rig::Prog});
    QCOMPARE(window.messages, QList<FakeWindow::Message>{});
    QCOMPARE(window.commandsEnabled, QList<bool>{true});
    QVERIFY(programmer->isConnected());
    QVERIFY(programmer->Odswiez_Timer().isActive());
    QCOMPARE(programmer->Odswiez_Timer().interval(), 28000);
    QCOMPARE(programmer->Odswiez_Timer().timerType(), Qt::PreciseTimer);
    QCOMPARE(Module1::PortKomunikacyjny, &programmer->Port_MSComm());
    QCOMPARE(programmer->Port_MSComm().CommPort(), 1);
    // The handshake took the acknowledgement: nothing stays waiting.
    QCOMPARE(programmer->Port_MSComm().InBufferCount(), 0);
}

void ProgrammingConnection::handshakeFails_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::newRow("no answer") << rig::reply(Reply::Silent);
    QTest::newRow("wrong checksum byte") << rig::reply(Reply::WrongByte);
    QTest::newRow("wrong letter case") << rig::reply(Reply::WrongCase);
    QTest::newRow("seven bytes") << rig::reply(Reply::Partial);
    QTest::newRow("complete only after the wait") << rig::reply(Reply::Acknowledge, 900);
}

void ProgrammingConnection::handshakeFails()
{
    QFETCH(Reply, reply);
    display->setReply(0, reply);
    bool openWhileShown = false;
    window.onMessage = [&](const FakeWindow::Message &) {
        openWhileShown = programmer->Port_MSComm().PortOpen();
    };
    const auto started = DeviceProgrammer::Clock::now();
    programmer->Form_Load();

    QVERIFY(DeviceProgrammer::Clock::now() - started >= 700ms);
    QCOMPARE(window.messages, QList<FakeWindow::Message>{warning(200)});
    QVERIFY2(openWhileShown, "the port closes after the message box");
    QVERIFY(!programmer->Port_MSComm().PortOpen());
    QVERIFY(!programmer->isConnected());
    QVERIFY(!window.enabledNow());
    QVERIFY(!programmer->Odswiez_Timer().isActive());
    QCOMPARE(rig::framesOf(*display), QList<QByteArray>{rig::Prog});
}

void ProgrammingConnection::staleBytesDoNotPassForTheHandshakesAnswer()
{
    // An acknowledgement left on the line from before: only an answer to this
    // request counts.
    display->send(rig::Ack);
    display->setReply(0, rig::reply(Reply::Silent));
    programmer->Form_Load();
    QCOMPARE(window.messages, QList<FakeWindow::Message>{warning(200)});
    QVERIFY(!programmer->isConnected());
}

void ProgrammingConnection::withoutAPortNothingIsTouched()
{
    Module1::NumerPortu = 0;
    programmer->Form_Load();
    QCOMPARE(window.initialSettings, 1);
    QCOMPARE(Module1::PortKomunikacyjny, nullptr);
    QVERIFY(!programmer->Port_MSComm().PortOpen());
    QCOMPARE(window.messages, QList<FakeWindow::Message>{});
    QCOMPARE(window.commandsEnabled, QList<bool>{});
    QVERIFY(!programmer->Odswiez_Timer().isActive());

    programmer->Odswiez_Timer_Timer();
    programmer->KrotkiSygnalDzwiek_Command_Click();
    programmer->Form_QueryUnload();
    QCOMPARE(rig::receivedOnceFree(*display), QByteArray());
}

void ProgrammingConnection::portThatCannotBeOpened_data()
{
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<bool>("heldElsewhere");
    QTest::addColumn<int>("message");
    QTest::newRow("taken by another program") << 1 << true << 201;
    QTest::newRow("gone") << 3 << false << 203;
}

void ProgrammingConnection::portThatCannotBeOpened()
{
    QFETCH(int, portNumber);
    QFETCH(bool, heldElsewhere);
    QFETCH(int, message);

    SerialLink holder;
    if (heldElsewhere) {
        holder.setCommPort(1);
        QCOMPARE(holder.open(), SerialLink::OpenResult::Opened);
    }
    Module1::NumerPortu = quint8(portNumber);
    programmer->Form_Load();

    QCOMPARE(window.messages, QList<FakeWindow::Message>{warning(message)});
    QVERIFY(!programmer->isConnected());
    QVERIFY(!window.enabledNow());
    QVERIFY(!programmer->Odswiez_Timer().isActive());
    programmer->Form_QueryUnload();
    holder.close();
    QCOMPARE(rig::receivedOnceFree(*display), QByteArray());
}

void ProgrammingConnection::refreshTickWritesTheRefreshFrameAndReadsNothing()
{
    programmer->Form_Load();
    QVERIFY(programmer->isConnected());
    programmer->Odswiez_Timer_Timer();
    QTRY_COMPARE(rig::framesOf(*display), (QList<QByteArray>{rig::Prog, rig::Refresh}));
    // Its acknowledgement is left waiting.
    QTRY_COMPARE(programmer->Port_MSComm().InBufferCount(), 8);
    QCOMPARE(window.messages, QList<FakeWindow::Message>{});
}

void ProgrammingConnection::closingAConnectedWindowSendsTheClosingFrameOnce()
{
    programmer->Form_Load();
    QVERIFY(programmer->isConnected());
    programmer->Form_QueryUnload();
    programmer->Form_QueryUnload();

    QVERIFY(!programmer->Port_MSComm().PortOpen());
    QVERIFY(!programmer->Odswiez_Timer().isActive());
    QCOMPARE(rig::receivedOnceFree(*display), rig::Prog + rig::End);
    QCOMPARE(window.messages, QList<FakeWindow::Message>{});
}

void ProgrammingConnection::closingAfterAFailedHandshakeWritesNothing()
{
    display->setReply(0, rig::reply(Reply::Silent));
    programmer->Form_Load();
    programmer->Form_QueryUnload();
    QCOMPARE(rig::receivedOnceFree(*display), rig::Prog);
}

void ProgrammingConnection::closingDuringAnUploadsWaitEndsItSilently()
{
    programmer->Form_Load();
    window.checkAll(true, false);
    QSignalSpy finished(programmer, &DeviceProgrammer::uploadFinished);
    // The window closes while the upload waits for the first screen's answer.
    connect(display, &DisplayEmulator::frameReceived, this,
            [&](const emulator::ReceivedFrame &frame) {
                if (frame.bytes.at(4) == 0x0B)
                    QTimer::singleShot(300, programmer, &DeviceProgrammer::Form_QueryUnload);
            });
    programmer->PrzeslijRAM_Command_Click();

    QCOMPARE(finished.count(), 1);
    QCOMPARE(window.messages, QList<FakeWindow::Message>{});
    QVERIFY(!programmer->Port_MSComm().PortOpen());
    QTRY_COMPARE(rig::framesOf(*display).size(), 4);
    const QList<QByteArray> frames = rig::framesOf(*display);
    QCOMPARE(frames.at(1).at(4), char(0x0A));
    QCOMPARE(frames.at(2).at(4), char(0x0B));
    QCOMPARE(frames.at(3), rig::End);
    QVERIFY(!programmer->isUploading());
}

void ProgrammingConnection::quittingTheApplicationDuringAnUploadEndsItSilently()
{
    programmer->Form_Load();
    window.checkAll(true, false);
    connect(display, &DisplayEmulator::frameReceived, this,
            [&](const emulator::ReceivedFrame &frame) {
                if (frame.bytes.at(4) == 0x0B)
                    QTimer::singleShot(300, qApp, [] { QCoreApplication::exit(0); });
            });
    programmer->PrzeslijRAM_Command_Click();

    QCOMPARE(window.messages, QList<FakeWindow::Message>{});
    QVERIFY(!programmer->isUploading());
    // Screen 1 was the upload's last frame: no later screen, no refresh.
    programmer->Form_QueryUnload();
    QCOMPARE(rig::receivedOnceFree(*display), rig::Prog + protocol::RamkaParametrowRAM(0, 8, 9, 9) +
                                                  protocol::RamkaTekstuRAM(1, u"") + rig::End);
}

QTEST_GUILESS_MAIN(ProgrammingConnection)
#include "tst_programming_connection.moc"
