// A port that goes away while connected (an adapter pulled out: here the
// emulator closes its side of the pty): one message, the connection down, no
// crash, no hang and no stream of messages, whatever the user does next.

#include "../programming_support/programming_rig.h"

#include <QSignalSpy>
#include <QTimer>

using emulator::DisplayEmulator;

class ProgrammingPortLoss : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lostWhileIdle();
    void lostDuringAnUpload();
    void lostLinkReportsOnceAndClosesItself();

private:
    void connectDisplay();
    // The state after a loss, and that nothing the user does afterwards
    // writes, shows a message or fails.
    void checkDisconnectedAndQuiet();

    FakeWindow window;
    DisplayEmulator *display = nullptr;
    DeviceProgrammer *programmer = nullptr;
};

void ProgrammingPortLoss::init()
{
    window = FakeWindow{};
    display = new DisplayEmulator;
    QVERIFY2(rig::useDisplay(*display), qPrintable(display->errorString()));
    programmer = new DeviceProgrammer(window, true);
}

void ProgrammingPortLoss::cleanup()
{
    delete programmer;
    delete display;
    setSerialDeviceSource(nullptr);
    Module1::NumerPortu = 0;
}

void ProgrammingPortLoss::connectDisplay()
{
    programmer->Form_Load();
    QVERIFY(programmer->isConnected());
}

void ProgrammingPortLoss::checkDisconnectedAndQuiet()
{
    QVERIFY(!programmer->isConnected());
    QVERIFY(!programmer->isUploading());
    QVERIFY(!programmer->Port_MSComm().PortOpen());
    QVERIFY(!programmer->Odswiez_Timer().isActive());
    QVERIFY(!window.enabledNow());

    window.checkAll(true, true);
    programmer->Odswiez_Timer_Timer();
    programmer->KrotkiSygnalDzwiek_Command_Click();
    programmer->CzyscEkran_Command_Click();
    programmer->DlugiDzwiek_Command_Click();
    programmer->PrzeslijZegar_Command_Click();
    programmer->PrzeslijRAM_Command_Click();
    programmer->PrzeslijEEPROM_Command_Click();
    QCoreApplication::processEvents();
    programmer->Form_QueryUnload();
    QCoreApplication::processEvents();

    QCOMPARE(window.messages, QList<FakeWindow::Message>{warning(200)});
    QVERIFY(!window.enabledNow());
}

void ProgrammingPortLoss::lostWhileIdle()
{
    connectDisplay();
    QSignalSpy lost(&programmer->Port_MSComm(), &SerialLink::portLost);
    display->closePort();
    QTRY_COMPARE(window.messages, QList<FakeWindow::Message>{warning(200)});
    QCOMPARE(lost.count(), 1);
    checkDisconnectedAndQuiet();
    QCOMPARE(lost.count(), 1);
}

void ProgrammingPortLoss::lostDuringAnUpload()
{
    connectDisplay();
    window.checkAll(true, false);
    QSignalSpy finished(programmer, &DeviceProgrammer::uploadFinished);
    // Pulled out while the upload waits for the first screen's answer.
    connect(display, &DisplayEmulator::frameReceived, this,
            [&](const emulator::ReceivedFrame &frame) {
                if (frame.bytes.at(4) == 0x0B)
                    QTimer::singleShot(100, display, &DisplayEmulator::closePort);
            });
    programmer->PrzeslijRAM_Command_Click();

    QCOMPARE(window.messages, QList<FakeWindow::Message>{warning(200)});
    QCOMPARE(finished.count(), 1);
    QCOMPARE(rig::framesOf(*display).size(), 3); // request, parameters, screen 1
    checkDisconnectedAndQuiet();
}

void ProgrammingPortLoss::lostLinkReportsOnceAndClosesItself()
{
    SerialLink link;
    link.setCommPort(1);
    QCOMPARE(link.open(), SerialLink::OpenResult::Opened);
    QSignalSpy lost(&link, &SerialLink::portLost);
    display->closePort();
    QVERIFY(lost.wait(5000));
    QVERIFY(!link.PortOpen());
    QCOMPARE(link.InBufferCount(), 0);
    QCOMPARE(link.Input(), -1);
    QVERIFY(!link.Output(rig::End));
    link.discardInput();
    link.close();
    QCoreApplication::processEvents();
    QCOMPARE(lost.count(), 1);
}

QTEST_GUILESS_MAIN(ProgrammingPortLoss)
#include "tst_programming_port_loss.moc"
