// The two paced uploads against the emulated display: which frames go out in
// which order, what ends them, what the user is told, and that nothing else
// gets between their frames and their answers.

#include "../programming_support/programming_rig.h"
#include "protocol/builders.h"

#include <QSignalSpy>

#include <memory>

using emulator::Reply;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Reply)
Q_DECLARE_METATYPE(FakeWindow::Message)

// Frames on the wire by what they carry: 0 the parameters, n screen n.
constexpr int Refresh = -1;
constexpr int Beep = -2;

class ProgrammingUploads : public QObject
{
    Q_OBJECT

    std::unique_ptr<rig::Bench> bench;

    QByteArray frame(bool eeprom, int k) const
    {
        const FakeWindow &w = bench->window;
        if (k == Refresh || k == Beep)
            return k == Refresh ? rig::Refresh : protocol::bytes(protocol::KomendaKrotkiDzwiek);
        if (eeprom)
            return k == 0 ? protocol::RamkaParametrowEEPROM(w.eepromScroll, w.eepromSpeed,
                                                            w.eepromBrightness)
                          : protocol::RamkaTekstuEEPROM(k, w.eepromTexts[k]);
        return k == 0 ? protocol::RamkaParametrowRAM(w.ramScroll, w.ramScreens, w.ramSpeed,
                                                     w.ramBrightness)
                      : protocol::RamkaTekstuRAM(k, w.ramTexts[k]);
    }

private slots:
    void init()
    {
        bench = std::make_unique<rig::Bench>();
        QVERIFY2(bench->ready, qPrintable(bench->display.errorString()));
        QVERIFY(bench->connect());
        // Inputs that differ between the tabs and from the defaults, so that a
        // mix-up shows.
        FakeWindow &window = bench->window;
        window.ramScroll = 2;
        window.ramScreens = 3;
        window.ramSpeed = 4;
        window.ramBrightness = 0;
        window.eepromScroll = 1;
        window.eepromSpeed = 0;
        window.eepromBrightness = 5;
        window.ramTexts = {"", "Cześć", "", " spacja ", "0123456789", "żółw", "mn", "E", "koniec"};
        window.eepromTexts = {"", "Ekran 1", "Ekran 2", "Ekran 3", "Ekran 4", "Ekran 5"};
    }
    void cleanup() { bench.reset(); }

    void uploadEnds_data()
    {
        QTest::addColumn<bool>("eeprom");
        QTest::addColumn<int>("beepsBefore");  // their answers wait unread when the upload starts
        QTest::addColumn<QList<int>>("boxes"); // set on the tab: 0 the parameters, n screen n
        QTest::addColumn<QList<Reply>>("replies"); // to the upload's frames; the rest acknowledged
        QTest::addColumn<QList<int>>("sent");      // after the handshake's
        QTest::addColumn<FakeWindow::Message>("message");

        const Reply ack = rig::reply(Reply::Acknowledge);
        const Reply silent = rig::reply(Reply::Silent);
        const QList<int> allRam{0, 1, 2, 3, 4, 5, 6, 7, 8};
        const QList<int> allEeprom{0, 1, 2, 3, 4, 5};

        QTest::newRow("full RAM") << false << 0 << allRam << QList<Reply>{}
                                  << allRam + QList{Refresh} << information(101);
        QTest::newRow("full EEPROM") << true << 0 << allEeprom << QList<Reply>{}
                                     << allEeprom + QList{Refresh} << information(100);
        QTest::newRow("only RAM screen 3")
            << false << 0 << QList{3} << QList<Reply>{} << QList{3, Refresh} << information(101);
        QTest::newRow("nothing checked")
            << true << 0 << QList<int>{} << QList<Reply>{} << QList{Refresh} << information(100);
        QTest::newRow("refresh unanswered") << false << 0 << QList{1} << QList{ack, silent}
                                            << QList{1, Refresh} << information(101);
        QTest::newRow("parameters unanswered")
            << false << 0 << QList{0, 1} << QList{silent} << QList{0} << warning(200);
        QTest::newRow("parameters half answered")
            << false << 0 << QList{0, 1} << QList{rig::reply(Reply::Partial)} << QList{0}
            << warning(200);
        QTest::newRow("parameters unanswered after three beeps")
            << false << 3 << QList{0, 1} << QList{silent} << QList{Beep, Beep, Beep, 0}
            << warning(200);
        QTest::newRow("screen 3 unanswered") << false << 0 << allRam << QList{ack, ack, ack, silent}
                                             << QList{0, 1, 2, 3} << warning(200);
    }

    void uploadEnds()
    {
        QFETCH(bool, eeprom);
        QFETCH(int, beepsBefore);
        QFETCH(QList<int>, boxes);
        QFETCH(QList<Reply>, replies);
        QFETCH(QList<int>, sent);
        QFETCH(FakeWindow::Message, message);
        FakeWindow &window = bench->window;
        DeviceProgrammer &programmer = bench->programmer;

        for (int i = 0; i < beepsBefore; ++i)
            programmer.KrotkiSygnalDzwiek_Command_Click();
        QTRY_COMPARE(programmer.Port_MSComm().InBufferCount(), 8 * beepsBefore);
        for (int i = 0; i < replies.size(); ++i)
            bench->display.setReply(1 + beepsBefore + i, replies[i]);
        // The other tab's boxes are all set: they belong to the other upload.
        window.checkAll(eeprom, !eeprom);
        for (int box : std::as_const(boxes)) {
            bool &check = box == 0 ? (eeprom ? window.eepromParameters : window.ramParameters)
                                   : (eeprom ? window.eepromChecks[box] : window.ramChecks[box]);
            check = true;
        }
        QList<QByteArray> expected{rig::Prog};
        for (int k : std::as_const(sent))
            expected.append(frame(eeprom, k));
        int waitingWhenShown = -1;
        DeviceProgrammer::Clock::time_point shown;
        window.onMessage = [&](const FakeWindow::Message &) {
            waitingWhenShown = programmer.Port_MSComm().InBufferCount();
            shown = DeviceProgrammer::Clock::now();
        };
        QSignalSpy started(&programmer, &DeviceProgrammer::uploadStarted);
        QSignalSpy progress(&programmer, &DeviceProgrammer::uploadProgress);
        QSignalSpy finished(&programmer, &DeviceProgrammer::uploadFinished);

        const auto clicked = DeviceProgrammer::Clock::now();
        eeprom ? programmer.PrzeslijEEPROM_Command_Click() : programmer.PrzeslijRAM_Command_Click();
        QCOMPARE(bench->frames(), expected);
        QCOMPARE(window.messages, QList<FakeWindow::Message>{message});
        // Not before the last frame's answer had its time.
        QVERIFY(shown - clicked >= 700ms);
        // Each frame follows the previous one only after its answer's wait
        // and the pause after it.
        const QList<emulator::ReceivedFrame> received = bench->display.frames();
        for (int i = 2 + beepsBefore; i < received.size(); ++i)
            QVERIFY2(received[i].at - received[i - 1].at >= 1390ms, qPrintable(QString::number(i)));
        // A failure throws away what waits; a success has read the refresh's answer.
        QCOMPARE(waitingWhenShown, 0);
        QCOMPARE(finished.count(), 1);
        // Progress counts each acknowledged frame; a finished upload, all it sent.
        const bool done = message.kind == FakeWindow::Message::Information;
        QCOMPARE(progress.count(), sent.size() - beepsBefore - (done ? 0 : 1));
        if (done) {
            QCOMPARE(started.first().first().toInt(), int(sent.size()));
            for (int k = 0; k < progress.count(); ++k)
                QCOMPARE(progress.at(k), (QVariantList{k + 1, int(sent.size())}));
        }
        // The tab's holder keeps the last frame built.
        if (done && sent.size() > 1)
            QCOMPARE(eeprom ? programmer.RamkaEEPROM : programmer.RamkaRAM,
                     expected.at(sent.size() - 1));
        // The connection stays as it was: another upload may start at once.
        QVERIFY(programmer.isConnected());
        QVERIFY(programmer.Odswiez_Timer().isActive());
        QCOMPARE(window.commandsEnabled, (QList<bool>{true, false, true}));
    }

    void userWorksOnWhileAnUploadWaits()
    {
        FakeWindow &window = bench->window;
        DeviceProgrammer &programmer = bench->programmer;
        window.ramChecks[1] = true;
        window.eepromChecks[1] = true;
        // While the upload waits for screen 1's answer: a refresh tick, clicks
        // that reach the handlers anyway, and edits.
        bench->whileWaitingFor(0x0B, 200, [&] {
            bench->clickEverything();
            window.ramChecks[4] = true;
            window.ramTexts[4] = QStringLiteral("czwarty");
        });
        QSignalSpy progress(&programmer, &DeviceProgrammer::uploadProgress);

        programmer.PrzeslijRAM_Command_Click();
        // Only the upload's frames; each screen as it is when its frame is built.
        QCOMPARE(bench->frames(),
                 (QList<QByteArray>{rig::Prog, protocol::RamkaTekstuRAM(1, u"Cześć"),
                                    protocol::RamkaTekstuRAM(4, u"czwarty"), rig::Refresh}));
        QCOMPARE(progress.first(), (QVariantList{1, 3}));
        QCOMPARE(progress.last(), (QVariantList{3, 3}));
        QCOMPARE(window.messages, QList<FakeWindow::Message>{information(101)});
        QCOMPARE(window.longBeepCaption, LongBeepOff);
        QCOMPARE(window.commandsEnabled, (QList<bool>{true, false, true}));

        // Afterwards the commands work again.
        programmer.Odswiez_Timer_Timer();
        QTRY_COMPARE(bench->frames().size(), 5);
        QCOMPARE(bench->frames().last(), rig::Refresh);
    }
};

QTEST_GUILESS_MAIN(ProgrammingUploads)
#include "tst_programming_uploads.moc"
