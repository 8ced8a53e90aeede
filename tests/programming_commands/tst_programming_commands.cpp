// The immediate commands: one frame each, written at once, never waited for
// nor read back; the long beep's caption as its only state; the clock frame
// from the clock field.

#include "../programming_support/programming_rig.h"
#include "protocol/builders.h"

using emulator::DisplayEmulator;

class ProgrammingCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void simpleCommandSendsOneFrameAndReadsNothing_data();
    void simpleCommandSendsOneFrameAndReadsNothing();
    void longBeepTogglesWithItsCaption();
    void longBeepFromAnyOtherCaptionSwitchesOff();
    void clockSendsTheFieldsTimeAndForgetsTheFrame_data();
    void clockSendsTheFieldsTimeAndForgetsTheFrame();
    void programWithoutClockSendsNoClock();
    void closedPortWritesNothingButTheCaptionToggles();

private:
    void connectDisplay();
    void click(const QByteArray &command);

    FakeWindow window;
    DisplayEmulator *display = nullptr;
    DeviceProgrammer *programmer = nullptr;
};

void ProgrammingCommands::init()
{
    window = FakeWindow{};
    display = new DisplayEmulator;
    QVERIFY2(rig::useDisplay(*display), qPrintable(display->errorString()));
    programmer = new DeviceProgrammer(window, true);
}

void ProgrammingCommands::cleanup()
{
    delete programmer;
    delete display;
    setSerialDeviceSource(nullptr);
    Module1::NumerPortu = 0;
}

void ProgrammingCommands::connectDisplay()
{
    programmer->Form_Load();
    QVERIFY(programmer->isConnected());
}

void ProgrammingCommands::click(const QByteArray &command)
{
    if (command == "clear")
        programmer->CzyscEkran_Command_Click();
    else if (command == "short beep")
        programmer->KrotkiSygnalDzwiek_Command_Click();
    else if (command == "long beep")
        programmer->DlugiDzwiek_Command_Click();
    else if (command == "clock")
        programmer->PrzeslijZegar_Command_Click();
    else
        QFAIL("no such command");
}

void ProgrammingCommands::simpleCommandSendsOneFrameAndReadsNothing_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("clear") << QByteArray("clear") << protocol::bytes(protocol::KomendaCzyscEkran);
    QTest::newRow("short beep") << QByteArray("short beep")
                                << protocol::bytes(protocol::KomendaKrotkiDzwiek);
}

void ProgrammingCommands::simpleCommandSendsOneFrameAndReadsNothing()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, frame);
    connectDisplay();
    click(command);
    QTRY_COMPARE(rig::framesOf(*display), (QList<QByteArray>{rig::Prog, frame}));
    QCOMPARE(display->received(), rig::Prog + frame);
    // The display's answer stays waiting, unread.
    QTRY_COMPARE(programmer->Port_MSComm().InBufferCount(), 8);
    QCOMPARE(window.messages, QList<FakeWindow::Message>{});
}

void ProgrammingCommands::longBeepTogglesWithItsCaption()
{
    connectDisplay();
    for (int i = 0; i < 3; ++i)
        programmer->DlugiDzwiek_Command_Click();
    QCOMPARE(window.longBeepCaption, LongBeepOn);
    QTRY_COMPARE(rig::framesOf(*display).size(), 4);
    const QList<QByteArray> frames = rig::framesOf(*display);
    QCOMPARE(frames.at(1), protocol::bytes(protocol::KomendaDlugiDzwiekWlacz));
    QCOMPARE(frames.at(2), protocol::bytes(protocol::KomendaDlugiDzwiekWylacz));
    QCOMPARE(frames.at(3), protocol::bytes(protocol::KomendaDlugiDzwiekWlacz));
    QCOMPARE(frames.at(3).at(4), char(0x5B));
    QCOMPARE(frames.at(2).at(4), char(0x5C));
}

void ProgrammingCommands::longBeepFromAnyOtherCaptionSwitchesOff()
{
    connectDisplay();
    window.longBeepCaption = QStringLiteral("włącz długi dźwięk"); // not exactly the "on" caption
    programmer->DlugiDzwiek_Command_Click();
    QCOMPARE(window.longBeepCaption, LongBeepOff);
    QTRY_COMPARE(rig::framesOf(*display).size(), 2);
    QCOMPARE(rig::framesOf(*display).last(), protocol::bytes(protocol::KomendaDlugiDzwiekWylacz));
}

void ProgrammingCommands::clockSendsTheFieldsTimeAndForgetsTheFrame_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("afternoon") << QStringLiteral("17:45") << QByteArray("\x17\x45", 2);
    QTest::newRow("midnight") << QStringLiteral("00:00") << QByteArray("\x00\x00", 2);
    QTest::newRow("half typed") << QStringLiteral("2 :3 ") << QByteArray("\x20\x30", 2);
}

void ProgrammingCommands::clockSendsTheFieldsTimeAndForgetsTheFrame()
{
    QFETCH(QString, field);
    QFETCH(QByteArray, payload);
    connectDisplay();
    window.clock = field;
    programmer->PrzeslijZegar_Command_Click();
    QCOMPARE(programmer->RamkaZegara, QByteArray());
    QTRY_COMPARE(rig::framesOf(*display).size(), 2);
    const QByteArray sent = rig::framesOf(*display).last();
    QCOMPARE(sent, protocol::dataFrame(protocol::Clock, payload));
    QCOMPARE(sent, protocol::RamkaZegara(field));
    QCOMPARE(window.messages, QList<FakeWindow::Message>{});
}

void ProgrammingCommands::programWithoutClockSendsNoClock()
{
    delete programmer;
    programmer = new DeviceProgrammer(window, false);
    connectDisplay();
    programmer->PrzeslijZegar_Command_Click();
    programmer->Form_QueryUnload();
    QCOMPARE(rig::receivedOnceFree(*display), rig::Prog + rig::End);
}

void ProgrammingCommands::closedPortWritesNothingButTheCaptionToggles()
{
    display->setReply(0, rig::reply(emulator::Reply::Silent));
    programmer->Form_Load();
    QVERIFY(!programmer->Port_MSComm().PortOpen());
    window.messages.clear();

    programmer->DlugiDzwiek_Command_Click();
    QCOMPARE(window.longBeepCaption, LongBeepOn);
    programmer->DlugiDzwiek_Command_Click();
    QCOMPARE(window.longBeepCaption, LongBeepOff);
    programmer->CzyscEkran_Command_Click();
    programmer->KrotkiSygnalDzwiek_Command_Click();
    window.clock = QStringLiteral("08:15");
    programmer->PrzeslijZegar_Command_Click();
    QCOMPARE(programmer->RamkaZegara, QByteArray());

    QCOMPARE(rig::receivedOnceFree(*display), rig::Prog);
    QCOMPARE(window.messages, QList<FakeWindow::Message>{});
}

QTEST_GUILESS_MAIN(ProgrammingCommands)
#include "tst_programming_commands.moc"
