// The connection from the window's load to its close: the pacing wait, the
// programming-mode handshake and its failures, the refresh tick, the closing
// frame, and a port that goes away while connected (an adapter pulled out:
// here the emulator closes its side of the pty).

#include "../programming_support/programming_rig.h"
#include "protocol/builders.h"

#include <QSignalSpy>
#include <QTimer>

#include <memory>

using emulator::Reply;
using Clock = DeviceProgrammer::Clock;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Reply)

namespace {
// The device the window is loaded with.
enum Port { NoPort, TheDisplay, Gone };
} // namespace

class ProgrammingConnection : public QObject
{
    Q_OBJECT

    std::unique_ptr<rig::Bench> bench;

private slots:
    void init()
    {
        bench = std::make_unique<rig::Bench>();
        QVERIFY2(bench->ready, qPrintable(bench->display.errorString()));
    }
    void cleanup() { bench.reset(); }

    void waitEndsSevenTenthsAfterItsStart_data()
    {
        QTest::addColumn<int>("startedMsAgo");
        QTest::addColumn<int>("eventsHandled");
        QTest::newRow("start now") << 0 << 2;
        QTest::newRow("start 0.4 s ago") << 400 << 2;
        // Over already: it returns at once, without running anything.
        QTest::newRow("start 0.7 s ago") << 700 << 0;
        QTest::newRow("start an hour ago") << 3600 * 1000 << 0;
    }

    void waitEndsSevenTenthsAfterItsStart()
    {
        QFETCH(int, startedMsAgo);
        QFETCH(int, eventsHandled);
        // The window keeps working while it waits: posted events and timers run.
        // (Both go with the context when a failed check ends the test early.)
        int handled = 0;
        QObject context;
        QTimer::singleShot(50, &context, [&] { ++handled; });
        QMetaObject::invokeMethod(
            &context, [&] { ++handled; }, Qt::QueuedConnection);

        const auto start = Clock::now() - std::chrono::milliseconds(startedMsAgo);
        bench->programmer.Czekaj(start);
        QVERIFY(Clock::now() - start >= 700ms);
        QCOMPARE(handled, eventsHandled);
        QTRY_COMPARE(handled, 2);
    }

    // Load, handshake, a refresh tick, and the window closed (twice).
    void lifeOfAConnection_data()
    {
        QTest::addColumn<QByteArray>("before"); // already on the line when the window loads
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<bool>("connected");
        QTest::newRow("acknowledged") << QByteArray() << rig::reply(Reply::Acknowledge) << true;
        QTest::newRow("no answer") << QByteArray() << rig::reply(Reply::Silent) << false;
        QTest::newRow("wrong checksum byte")
            << QByteArray() << rig::reply(Reply::WrongByte) << false;
        QTest::newRow("complete only after the wait")
            << QByteArray() << rig::reply(Reply::Acknowledge, 900) << false;
        // Only an answer to this request counts.
        QTest::newRow("an old acknowledgement, no answer")
            << rig::Ack << rig::reply(Reply::Silent) << false;
    }

    void lifeOfAConnection()
    {
        QFETCH(QByteArray, before);
        QFETCH(Reply, reply);
        QFETCH(bool, connected);
        DeviceProgrammer &programmer = bench->programmer;
        SerialLink &port = programmer.Port_MSComm();
        bench->display.send(before);
        bench->display.setReply(0, reply);
        bool openBeforeLoad = true;
        bench->window.onInitialSettings = [&] { openBeforeLoad = port.PortOpen(); };
        bool openWhileShown = true;
        bench->window.onMessage = [&](const FakeWindow::Message &) {
            openWhileShown = port.PortOpen();
        };

        const auto started = Clock::now();
        programmer.Form_Load(bench->device());
        QVERIFY(Clock::now() - started >= 700ms);
        QCOMPARE(bench->window.initialSettings, 1);
        QVERIFY2(!openBeforeLoad, "start-up settings come before the port opens");
        QCOMPARE(bench->frames(), QList<QByteArray>{rig::Prog});
        QCOMPARE(bench->window.messages,
                 connected ? QList<FakeWindow::Message>{} : QList{warning(200)});
        QVERIFY2(openWhileShown, "the port closes after the message box");
        QCOMPARE(port.PortOpen(), connected);
        QCOMPARE(programmer.isConnected(), connected);
        QCOMPARE(bench->window.enabledNow(), connected);
        QCOMPARE(programmer.Odswiez_Timer().isActive(), connected);
        QCOMPARE(programmer.Odswiez_Timer().interval(), 28000);
        // Nothing of the handshake's answer stays waiting.
        QCOMPARE(port.InBufferCount(), 0);

        // A tick writes the refresh and leaves its answer unread.
        programmer.Odswiez_Timer_Timer();
        QTRY_COMPARE(port.InBufferCount(), connected ? 8 : 0);
        // Closing writes the closing frame once, and all of it leaves before
        // the port is let go; unconnected, it writes nothing.
        programmer.Form_QueryUnload();
        programmer.Form_QueryUnload();
        QVERIFY(!port.PortOpen());
        QVERIFY(!programmer.Odswiez_Timer().isActive());
        QCOMPARE(bench->receivedOnceFree(),
                 connected ? rig::Prog + rig::Refresh + rig::End : rig::Prog);
        QCOMPARE(bench->window.messages.size(), connected ? 0 : 1);
    }

    void withoutAUsablePortNothingIsWritten_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("heldElsewhere");
        QTest::addColumn<QList<FakeWindow::Message>>("messages");
        QTest::newRow("no port chosen") << int(NoPort) << false << QList<FakeWindow::Message>{};
        QTest::newRow("taken by another program") << int(TheDisplay) << true << QList{warning(201)};
        QTest::newRow("gone") << int(Gone) << false << QList{warning(203)};
    }

    void withoutAUsablePortNothingIsWritten()
    {
        QFETCH(int, port);
        QFETCH(bool, heldElsewhere);
        QFETCH(QList<FakeWindow::Message>, messages);
        SerialLink holder;
        if (heldElsewhere)
            QCOMPARE(holder.open(bench->device()), SerialLink::OpenResult::Opened);
        QString device; // none chosen
        if (port == TheDisplay)
            device = bench->device();
        else if (port == Gone)
            device = QStringLiteral("/dev/screenprog-no-such-device");
        bench->programmer.Form_Load(device);

        QCOMPARE(bench->window.initialSettings, 1);
        QCOMPARE(bench->window.messages, messages);
        QCOMPARE(bench->window.commandsEnabled, QList<bool>{});
        QVERIFY(!bench->programmer.isConnected());
        QVERIFY(!bench->programmer.Odswiez_Timer().isActive());
        // The other program keeps its port.
        QCOMPARE(holder.PortOpen(), heldElsewhere);

        bench->clickEverything();
        bench->programmer.Form_QueryUnload();
        holder.close();
        QCOMPARE(bench->receivedOnceFree(), QByteArray());
        QCOMPARE(bench->window.messages, messages);
    }

    void portPulledOut_data()
    {
        QTest::addColumn<bool>("duringUpload");
        QTest::newRow("while idle") << false;
        QTest::newRow("during an upload") << true;
    }

    // One message, the connection down, no crash, no hang and no stream of
    // messages, whatever the user does next.
    void portPulledOut()
    {
        QFETCH(bool, duringUpload);
        FakeWindow &window = bench->window;
        DeviceProgrammer &programmer = bench->programmer;
        QVERIFY(bench->connect());
        QSignalSpy lost(&programmer.Port_MSComm(), &SerialLink::portLost);
        QSignalSpy finished(&programmer, &DeviceProgrammer::uploadFinished);

        if (duringUpload) {
            window.checkAll(true, false);
            bench->whileWaitingFor(0x0B, 100, [this] { bench->display.closePort(); });
            programmer.PrzeslijRAM_Command_Click();
            QCOMPARE(bench->frames().size(), 3); // request, parameters, screen 1
        } else {
            bench->display.closePort();
        }
        QTRY_COMPARE(window.messages, QList<FakeWindow::Message>{warning(200)});
        QCOMPARE(finished.count(), duringUpload ? 1 : 0);
        QVERIFY(!programmer.isConnected());
        QVERIFY(!programmer.isUploading());
        QVERIFY(!programmer.Port_MSComm().PortOpen());
        QVERIFY(!programmer.Odswiez_Timer().isActive());
        QVERIFY(!window.enabledNow());

        window.checkAll(true, true);
        bench->clickEverything();
        QCoreApplication::processEvents();
        programmer.Form_QueryUnload();
        QCoreApplication::processEvents();
        QCOMPARE(window.messages, QList<FakeWindow::Message>{warning(200)});
        QVERIFY(!window.enabledNow());
        QCOMPARE(lost.count(), 1);
    }

    void endingUnderAnUploadsWaitEndsItSilently_data()
    {
        QTest::addColumn<bool>("quitApplication");
        QTest::newRow("the window closes") << false;
        // Last: once told to quit, the application runs no event loop again.
        QTest::newRow("the application quits") << true;
    }

    void endingUnderAnUploadsWaitEndsItSilently()
    {
        QFETCH(bool, quitApplication);
        DeviceProgrammer &programmer = bench->programmer;
        QVERIFY(bench->connect());
        bench->window.checkAll(true, false);
        QSignalSpy finished(&programmer, &DeviceProgrammer::uploadFinished);
        // It ends while the upload waits for the first screen's answer.
        bench->whileWaitingFor(0x0B, 300, [&] {
            if (quitApplication)
                QCoreApplication::exit(0);
            else
                programmer.Form_QueryUnload();
        });
        programmer.PrzeslijRAM_Command_Click();

        QCOMPARE(finished.count(), 1);
        QCOMPARE(bench->window.messages, QList<FakeWindow::Message>{});
        QVERIFY(!programmer.isUploading());
        // Screen 1 was the upload's last frame: no later screen, no refresh,
        // and the closing frame once.
        programmer.Form_QueryUnload();
        QCOMPARE(bench->receivedOnceFree(), rig::Prog + protocol::RamkaParametrowRAM(0, 8, 9, 9) +
                                                protocol::RamkaTekstuRAM(1, u"") + rig::End);
    }
};

QTEST_GUILESS_MAIN(ProgrammingConnection)
#include "tst_programming_connection.moc"
