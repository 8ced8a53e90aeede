// The two paced uploads against the emulated display: which frames go out in
// which order, what ends them, what the user is told, and that nothing else
// gets between their frames and their answers.

#include "../programming_support/programming_rig.h"
#include "protocol/builders.h"

#include <QSignalSpy>
#include <QTimer>

using emulator::DisplayEmulator;
using emulator::Reply;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Reply)

class ProgrammingUploads : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fullRamUpload();
    void fullEepromUpload();
    void onlyRamScreenThree();
    void nothingCheckedSendsOnlyTheRefresh();
    void unacknowledgedParameterFrameStopsEverything_data();
    void unacknowledgedParameterFrameStopsEverything();
    void unacknowledgedThirdScreenStopsTheRest();
    void unacknowledgedRefreshStillSucceeds();
    void inputsAreReadWhenTheirFrameIsBuilt();

    void staleAcknowledgementsDoNotPassForAnswers();
    void nothingElseWritesWhileAnUploadWaits();

private:
    // Connects to the display; the handshake is frame 0 on its log.
    void connectDisplay();

    FakeWindow window;
    DisplayEmulator *display = nullptr;
    DeviceProgrammer *programmer = nullptr;
};

void ProgrammingUploads::init()
{
    window = FakeWindow{};
    display = new DisplayEmulator;
    QVERIFY2(rig::useDisplay(*display), qPrintable(display->errorString()));
    programmer = new DeviceProgrammer(window, true);
}

void ProgrammingUploads::cleanup()
{
    delete programmer;
    delete display;
    setSerialDeviceSource(nullptr);
    Module1::NumerPortu = 0;
}

void ProgrammingUploads::connectDisplay()
{
    programmer->Form_Load();
    QVERIFY(programmer->isConnected());
    QCOMPARE(window.commandsEnabled, QList<bool>{true});
}

void ProgrammingUploads::fullRamUpload()
{
    connectDisplay();
    window.checkAll(true, false);
    window.ramScroll = 2;
    window.ramScreens = 3;
    window.ramSpeed = 4;
    window.ramBrightness = 0;
    const QStringList texts{"Cześć", "", " spacja ", "0123456789", "żółw", "mn", "E", "koniec"};
    for (int n = 1; n <= 8; ++n)
        window.ramTexts[n] = texts[n - 1];

    QList<QByteArray> expected{rig::Prog, protocol::RamkaParametrowRAM(2, 3, 4, 0)};
    for (int n = 1; n <= 8; ++n)
        expected.append(protocol::RamkaTekstuRAM(n, texts[n - 1]));
    expected.append(rig::Refresh);

    QSignalSpy started(programmer, &DeviceProgrammer::uploadStarted);
    QSignalSpy progress(programmer, &DeviceProgrammer::uploadProgress);
    QSignalSpy finished(programmer, &DeviceProgrammer::uploadFinished);
    programmer->PrzeslijRAM_Command_Click();

    QCOMPARE(rig::framesOf(*display), expected);
    QCOMPARE(window.messages, QList<FakeWindow::Message>{information(101)});
    QCOMPARE(programmer->RamkaRAM, expected.at(9));
    QCOMPARE(window.commandsEnabled, (QList<bool>{true, false, true}));
    QVERIFY(programmer->isConnected());
    QVERIFY(programmer->Odswiez_Timer().isActive());

    QCOMPARE(started.count(), 1);
    QCOMPARE(started.first().first().toInt(), 10);
    QCOMPARE(progress.count(), 10);
    for (int k = 0; k < 10; ++k) {
        QCOMPARE(progress.at(k).at(0).toInt(), k + 1);
        QCOMPARE(progress.at(k).at(1).toInt(), 10);
    }
    QCOMPARE(finished.count(), 1);

    // Each frame follows the previous one only after its answer's wait and
    // the pause after it.
    const QList<emulator::ReceivedFrame> frames = display->frames();
    for (int i = 2; i < frames.size(); ++i)
        QVERIFY2(frames[i].at - frames[i - 1].at >= 1390ms, qPrintable(QString::number(i)));
}

void ProgrammingUploads::fullEepromUpload()
{
    connectDisplay();
    window.checkAll(false, true);
    window.eepromScroll = 1;
    window.eepromSpeed = 0;
    window.eepromBrightness = 5;
    for (int n = 1; n <= 5; ++n)
        window.eepromTexts[n] = QStringLiteral("Ekran %1").arg(n);

    QList<QByteArray> expected{rig::Prog, protocol::RamkaParametrowEEPROM(1, 0, 5)};
    for (int n = 1; n <= 5; ++n)
        expected.append(protocol::RamkaTekstuEEPROM(n, QStringLiteral("Ekran %1").arg(n)));
    expected.append(rig::Refresh);

    programmer->PrzeslijEEPROM_Command_Click();
    QCOMPARE(rig::framesOf(*display), expected);
    QCOMPARE(window.messages, QList<FakeWindow::Message>{information(100)});
    QCOMPARE(programmer->RamkaEEPROM, expected.at(6));
    QCOMPARE(programmer->RamkaRAM, QByteArray());
}

void ProgrammingUploads::onlyRamScreenThree()
{
    connectDisplay();
    window.ramChecks[3] = true;
    window.ramTexts[3] = QStringLiteral("trzeci");
    // The other tab's boxes belong to the other upload.
    window.eepromParameters = true;
    window.eepromChecks.fill(true);

    programmer->PrzeslijRAM_Command_Click();
    QCOMPARE(rig::framesOf(*display),
             (QList<QByteArray>{rig::Prog, protocol::RamkaTekstuRAM(3, u"trzeci"), rig::Refresh}));
    QCOMPARE(window.messages, QList<FakeWindow::Message>{information(101)});
}

void ProgrammingUploads::nothingCheckedSendsOnlyTheRefresh()
{
    connectDisplay();
    window.ramParameters = true;
    window.ramChecks.fill(true);
    QSignalSpy started(programmer, &DeviceProgrammer::uploadStarted);
    const auto clicked = DeviceProgrammer::Clock::now();
    DeviceProgrammer::Clock::time_point shown;
    window.onMessage = [&](const FakeWindow::Message &) { shown = DeviceProgrammer::Clock::now(); };

    programmer->PrzeslijEEPROM_Command_Click();
    QCOMPARE(rig::framesOf(*display), (QList<QByteArray>{rig::Prog, rig::Refresh}));
    QCOMPARE(window.messages, QList<FakeWindow::Message>{information(100)});
    QVERIFY(shown - clicked >= 700ms);
    QCOMPARE(started.first().first().toInt(), 1);
    // The refresh's answer was read, so it does not linger.
    QCOMPARE(programmer->Port_MSComm().InBufferCount(), 0);
}

void ProgrammingUploads::unacknowledgedParameterFrameStopsEverything_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::newRow("no answer") << rig::reply(Reply::Silent);
    QTest::newRow("seven bytes") << rig::reply(Reply::Partial);
    QTest::newRow("wrong byte") << rig::reply(Reply::WrongByte);
}

void ProgrammingUploads::unacknowledgedParameterFrameStopsEverything()
{
    QFETCH(Reply, reply);
    connectDisplay();
    window.checkAll(true, false);
    display->setReply(1, reply);
    int waitingWhenShown = -1;
    window.onMessage = [&](const FakeWindow::Message &) {
        waitingWhenShown = programmer->Port_MSComm().InBufferCount();
    };
    QSignalSpy finished(programmer, &DeviceProgrammer::uploadFinished);

    programmer->PrzeslijRAM_Command_Click();
    QCOMPARE(rig::framesOf(*display),
             (QList<QByteArray>{rig::Prog, protocol::RamkaParametrowRAM(0, 8, 9, 9)}));
    QCOMPARE(window.messages, QList<FakeWindow::Message>{warning(200)});
    QCOMPARE(waitingWhenShown, 0);
    QCOMPARE(finished.count(), 1);
    // The connection stays as it was: another upload may start at once.
    QVERIFY(programmer->isConnected());
    QVERIFY(programmer->Odswiez_Timer().isActive());
    QCOMPARE(window.commandsEnabled, (QList<bool>{true, false, true}));
}

void ProgrammingUploads::unacknowledgedThirdScreenStopsTheRest()
{
    connectDisplay();
    window.checkAll(true, false);
    display->answerOnlyFirst(4); // request, parameters, screens 1 and 2
    QSignalSpy progress(programmer, &DeviceProgrammer::uploadProgress);

    programmer->PrzeslijRAM_Command_Click();
    const QList<QByteArray> frames = rig::framesOf(*display);
    QCOMPARE(frames.size(), 5);
    QCOMPARE(frames.at(4), protocol::RamkaTekstuRAM(3, u""));
    QCOMPARE(window.messages, QList<FakeWindow::Message>{warning(200)});
    QCOMPARE(progress.count(), 3);
}

void ProgrammingUploads::unacknowledgedRefreshStillSucceeds()
{
    connectDisplay();
    window.ramChecks[1] = true;
    display->answerOnlyFirst(2); // request and screen 1
    programmer->PrzeslijRAM_Command_Click();
    QCOMPARE(rig::framesOf(*display),
             (QList<QByteArray>{rig::Prog, protocol::RamkaTekstuRAM(1, u""), rig::Refresh}));
    QCOMPARE(window.messages, QList<FakeWindow::Message>{information(101)});
}

void ProgrammingUploads::inputsAreReadWhenTheirFrameIsBuilt()
{
    connectDisplay();
    window.ramChecks[1] = true;
    window.ramChecks[2] = true;
    window.ramTexts[1] = QStringLiteral("pierwszy");
    window.ramTexts[2] = QStringLiteral("stary");
    // The user edits while the upload waits after screen 1.
    connect(programmer, &DeviceProgrammer::uploadProgress, this, [&](int sent) {
        if (sent == 1) {
            window.ramTexts[2] = QStringLiteral("nowy");
            window.ramChecks[4] = true;
            window.ramTexts[4] = QStringLiteral("czwarty");
        }
    });
    QSignalSpy progress(programmer, &DeviceProgrammer::uploadProgress);

    programmer->PrzeslijRAM_Command_Click();
    QCOMPARE(rig::framesOf(*display),
             (QList<QByteArray>{rig::Prog, protocol::RamkaTekstuRAM(1, u"pierwszy"),
                                protocol::RamkaTekstuRAM(2, u"nowy"),
                                protocol::RamkaTekstuRAM(4, u"czwarty"), rig::Refresh}));
    // The progress follows: 1 of 3, then 2 of 4 once a screen was added.
    QCOMPARE(progress.at(0).at(1).toInt(), 3);
    QCOMPARE(progress.last().at(0).toInt(), 4);
    QCOMPARE(progress.last().at(1).toInt(), 4);
}

void ProgrammingUploads::staleAcknowledgementsDoNotPassForAnswers()
{
    connectDisplay();
    for (int i = 0; i < 3; ++i)
        programmer->KrotkiSygnalDzwiek_Command_Click();
    // The beeps' answers wait unread when the upload starts.
    QTRY_COMPARE(programmer->Port_MSComm().InBufferCount(), 24);
    display->setReply(4, rig::reply(Reply::Silent));
    window.ramParameters = true;

    programmer->PrzeslijRAM_Command_Click();
    QCOMPARE(window.messages, QList<FakeWindow::Message>{warning(200)});
    const QList<QByteArray> frames = rig::framesOf(*display);
    QCOMPARE(frames.size(), 5);
    QCOMPARE(frames.last(), protocol::RamkaParametrowRAM(0, 8, 9, 9));
}

void ProgrammingUploads::nothingElseWritesWhileAnUploadWaits()
{
    connectDisplay();
    window.ramChecks[1] = true;
    window.eepromChecks[1] = true;
    bool triedDuringWait = false;
    bool uploadingThen = false;
    QList<bool> enabledThen;
    connect(display, &DisplayEmulator::frameReceived, this,
            [&](const emulator::ReceivedFrame &frame) {
                if (frame.bytes.at(4) != 0x0B)
                    return;
                // While the upload waits for screen 1's answer: a refresh
                // tick, and clicks that reach the handlers anyway.
                QTimer::singleShot(200, programmer, [&] {
                    triedDuringWait = true;
                    uploadingThen = programmer->isUploading();
                    enabledThen = window.commandsEnabled;
                    programmer->Odswiez_Timer_Timer();
                    programmer->KrotkiSygnalDzwiek_Command_Click();
                    programmer->DlugiDzwiek_Command_Click();
                    programmer->CzyscEkran_Command_Click();
                    programmer->PrzeslijZegar_Command_Click();
                    programmer->PrzeslijEEPROM_Command_Click();
                    programmer->PrzeslijRAM_Command_Click();
                });
            });

    programmer->PrzeslijRAM_Command_Click();
    QVERIFY(triedDuringWait);
    QVERIFY(uploadingThen);
    QCOMPARE(enabledThen, (QList<bool>{true, false}));
    QCOMPARE(rig::framesOf(*display),
             (QList<QByteArray>{rig::Prog, protocol::RamkaTekstuRAM(1, u""), rig::Refresh}));
    QCOMPARE(window.messages, QList<FakeWindow::Message>{information(101)});
    QCOMPARE(window.longBeepCaption, LongBeepOff);
    QCOMPARE(window.commandsEnabled, (QList<bool>{true, false, true}));
    QVERIFY(!programmer->isUploading());

    // Afterwards the commands work again.
    programmer->Odswiez_Timer_Timer();
    QTRY_COMPARE(rig::framesOf(*display).size(), 4);
    QCOMPARE(rig::framesOf(*display).last(), rig::Refresh);
}

QTEST_GUILESS_MAIN(ProgrammingUploads)
#include "tst_programming_uploads.moc"
