// The immediate commands: one frame each, written at once, never waited for
// nor read back; the long beep's caption as its only state; the clock frame
// from the clock field.

#include "../programming_support/programming_rig.h"
#include "protocol/builders.h"

#include <memory>

using Click = void (DeviceProgrammer::*)();
Q_DECLARE_METATYPE(Click)

class ProgrammingCommands : public QObject
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

    void commandSendsItsFramesAndReadsNothing_data()
    {
        QTest::addColumn<Click>("click");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QString>("captionBefore");
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::addColumn<QString>("captionAfter");

        QTest::newRow("clear") << &DeviceProgrammer::CzyscEkran_Command_Click << 1 << LongBeepOff
                               << QList<QByteArray>{protocol::dataFrame(0x61)} << LongBeepOff;
        QTest::newRow("short beep")
            << &DeviceProgrammer::KrotkiSygnalDzwiek_Command_Click << 1 << LongBeepOff
            << QList<QByteArray>{protocol::dataFrame(0x5A)} << LongBeepOff;
        QTest::newRow("long beep three times")
            << &DeviceProgrammer::DlugiDzwiek_Command_Click << 3 << LongBeepOff
            << QList<QByteArray>{protocol::dataFrame(0x5B), protocol::dataFrame(0x5C),
                                 protocol::dataFrame(0x5B)}
            << LongBeepOn;
        // Only the exact "on" caption switches it on.
        QTest::newRow("long beep from another caption")
            << &DeviceProgrammer::DlugiDzwiek_Command_Click << 1
            << QStringLiteral("włącz długi dźwięk") << QList<QByteArray>{protocol::dataFrame(0x5C)}
            << LongBeepOff;
        QTest::newRow("clock") << &DeviceProgrammer::PrzeslijZegar_Command_Click << 1 << LongBeepOff
                               << QList<QByteArray>{protocol::dataFrame(0x50, "\x17\x45")}
                               << LongBeepOff;
    }

    void commandSendsItsFramesAndReadsNothing()
    {
        QFETCH(Click, click);
        QFETCH(int, clicks);
        QFETCH(QString, captionBefore);
        QFETCH(QList<QByteArray>, frames);
        QFETCH(QString, captionAfter);
        QVERIFY(bench->connect());
        bench->window.longBeepCaption = captionBefore;
        bench->window.clock = QStringLiteral("17:45");

        for (int i = 0; i < clicks; ++i)
            (bench->programmer.*click)();
        QCOMPARE(bench->window.longBeepCaption, captionAfter);
        QCOMPARE(bench->programmer.RamkaZegara, QByteArray());
        QTRY_COMPARE(bench->frames(), QList<QByteArray>{rig::Prog} + frames);
        QCOMPARE(bench->display.received(), rig::Prog + frames.join());
        // The display's answers stay waiting, unread.
        QTRY_COMPARE(bench->programmer.Port_MSComm().InBufferCount(), 8 * clicks);
        QCOMPARE(bench->window.messages, QList<FakeWindow::Message>{});
    }

    void programWithoutClockSendsNoClock()
    {
        bench.reset(); // one display at a time
        bench = std::make_unique<rig::Bench>(false);
        QVERIFY(bench->ready);
        QVERIFY(bench->connect());
        bench->programmer.PrzeslijZegar_Command_Click();
        bench->programmer.Form_QueryUnload();
        QCOMPARE(bench->receivedOnceFree(), rig::Prog + rig::End);
    }

    void closedPortWritesNothingButTheCaptionToggles()
    {
        bench->display.setReply(0, rig::reply(emulator::Reply::Silent));
        QVERIFY(!bench->connect());
        QVERIFY(!bench->programmer.Port_MSComm().PortOpen());

        bench->clickEverything();
        QCOMPARE(bench->window.longBeepCaption, LongBeepOn);
        QCOMPARE(bench->programmer.RamkaZegara, QByteArray());
        QCOMPARE(bench->receivedOnceFree(), rig::Prog);
        // Only the handshake's message.
        QCOMPARE(bench->window.messages, QList<FakeWindow::Message>{warning(200)});
    }
};

QTEST_GUILESS_MAIN(ProgrammingCommands)
#include "tst_programming_commands.moc"
