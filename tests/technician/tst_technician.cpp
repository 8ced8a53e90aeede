// What a technician meets: the clock field on a clock the test sets, a
// replugged adapter, the refresh after a failed upload, the closing frame on a
// signal, a user outside the dialout group, the question on closing mid-upload.

#include "programming/device_programmer.h"
#include "protocol/frames.h"
#include "tools/display_emulator.h"
#include "ui/clock_field.h"
#include "ui/main_window.h"
#include "ui/program.h"
#include "ui/termination.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using Clock = DeviceProgrammer::Clock;
using namespace std::chrono_literals;

namespace {

const QByteArray Prog = protocol::bytes(protocol::KomendaProg);
const QByteArray Refresh = protocol::bytes(protocol::KomendaOdswiez);
const QByteArray End = protocol::bytes(protocol::KomendaKoniec);
constexpr char Screen1 = 0x0B; // the code of the first RAM screen's frame

// The window as the device logic sees it: every box checked, and a log.
struct FakeWindow : ProgrammingWindow
{
    QList<bool> enabled;
    QStringList messages;
    void UstawieniaPoczatkoweProgramowania() override {}
    QString screenText(Memory, int) const override { return {}; }
    bool screenChecked(Memory, int) const override { return true; }
    bool parametersChecked(Memory) const override { return true; }
    ParameterChoice parameters(Memory) const override { return {}; }
    QString Godzina_MEB() const override { return {}; }
    QString DlugiDzwiek_Caption() const override { return {}; }
    void setDlugiDzwiek_Caption(const QString &) override {}
    void setDeviceCommandsEnabled(bool on) override { enabled.append(on); }
    void PokazInformacje(int n) override { messages << QStringLiteral("information %1").arg(n); }
    void PokazOstrzezenie(int n) override { messages << QStringLiteral("warning %1").arg(n); }
};

// The device logic and its window, connected to a fresh emulated display.
struct Connected
{
    FakeWindow window;
    emulator::DisplayEmulator display;
    bool ready = display.open();
    DeviceProgrammer programmer{window, true};
};

// Runs the action a while after the display has received a frame with this
// code: inside the program's wait for that frame's answer.
void whileWaitingFor(emulator::DisplayEmulator &display, char code, int delayMs,
                     const std::function<void()> &action)
{
    QObject::connect(&display, &emulator::DisplayEmulator::frameReceived, &display,
                     [=, &display](const emulator::ReceivedFrame &frame) {
                         if (frame.bytes.at(4) == code)
                             QTimer::singleShot(delayMs, &display, action);
                     });
}

// The process closingFrameOnSignals ends: the main window connected to the
// display, with the program's own way of ending on signals.
int runProgram(const QString &device)
{
    program::setUp(*qApp);
    fMain window;
    onTermination(&window, [&window] { window.endProgram(); });
    window.Form_Load(device);
    std::puts("ready");
    std::fflush(stdout);
    return QApplication::exec();
}

} // namespace

class Technician : public QObject
{
    Q_OBJECT

private slots:
    void clockField_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("shown");
        QTest::newRow("an hour above 23 refused") << "2934"
                                                  << "23:4 ";
        QTest::newRow("a minute above 59 refused") << "1260"
                                                   << "12:0 ";
        QTest::newRow("tens of hours above 2 refused") << "35"
                                                       << "  :  ";
    }

    // It follows the clock until the user types; then keeps what was typed.
    void clockField()
    {
        QFETCH(QString, keys);
        QFETCH(QString, shown);
        QTime now(8, 0, 59, 900);
        ClockField field(nullptr, [&now] { return now; });
        field.followClock();
        QCOMPARE(field.displayText(), QStringLiteral("08:00"));
        now = QTime(8, 1, 59, 950); // the next minute comes, and the one after it soon
        QTRY_COMPARE(field.displayText(), QStringLiteral("08:01"));
        field.selectAll();
        QTest::keyClick(&field, Qt::Key_Delete);
        QTest::keyClicks(&field, keys);
        QCOMPARE(field.displayText(), shown);
        now = QTime(9, 0);
        QTest::qWait(300); // past the minute the field would have shown
        QCOMPARE(field.displayText(), shown);
    }

    void replugged_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::newRow("acknowledged: connected again") << true;
        QTest::newRow("not answered: as after the loss") << false;
    }

    void replugged()
    {
        QFETCH(bool, answered);
        Connected c;
        QTemporaryDir dir; // the device's name, a link to the emulator's pty
        const QString device = dir.filePath(QStringLiteral("ttyUSB-replugged"));
        QVERIFY(c.ready && QFile::link(c.display.slavePath(), device));
        c.programmer.Form_Load(device);
        QVERIFY(c.programmer.isConnected());
        // Pulled out: the device goes, with its name.
        c.display.closePort();
        QFile::remove(device);
        QTRY_COMPARE(c.window.messages, QStringList{QStringLiteral("warning 200")});
        // Plugged in again: a new pty under the same name.
        if (!answered)
            c.display.answerOnlyFirst(1);
        QVERIFY(c.display.open());
        QVERIFY(QFile::link(c.display.slavePath(), device));
        QTRY_COMPARE(c.display.received(), Prog + Prog);
        QTRY_COMPARE(c.programmer.Port_MSComm().PortOpen(), answered);
        QCOMPARE(c.window.enabled,
                 (answered ? QList<bool>{true, false, true} : QList<bool>{true, false}));
        QCOMPARE(c.programmer.Odswiez_Timer().isActive(), answered);
        QTest::qWait(1500); // asked once, and no second message either way
        QCOMPARE(c.display.received(), Prog + Prog);
        QCOMPARE(c.window.messages.size(), 1);
    }

    // A tick inside an upload is held back; when the upload fails, it goes
    // out once the upload has ended.
    void tickAfterAFailedUpload()
    {
        Connected c;
        c.programmer.Form_Load(c.display.slavePath());
        c.display.answerOnlyFirst(2); // the request and the parameters, not screen 1
        whileWaitingFor(c.display, Screen1, 100, [&] { c.programmer.Odswiez_Timer_Timer(); });
        c.programmer.PrzeslijRAM_Command_Click();

        QCOMPARE(c.window.messages, QStringList{QStringLiteral("warning 200")});
        QTRY_COMPARE(c.display.frames().size(), 4);
        const QList<emulator::ReceivedFrame> frames = c.display.frames();
        QVERIFY(frames[2].bytes.at(4) == Screen1 && frames[3].bytes == Refresh);
        QVERIFY(frames[3].at - frames[2].at >= 700ms);
    }

    void closingFrameOnSignals_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void closingFrameOnSignals()
    {
        QFETCH(int, signal);
        emulator::DisplayEmulator display;
        QVERIFY(display.open());
        QProcess process;
        process.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--run-program"), display.slavePath()});
        QTRY_VERIFY(process.canReadLine());
        QCOMPARE(display.received(), Prog);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QTRY_COMPARE(display.received(), Prog + End);
    }

    // A device this user may not open is told from one that is not there.
    void deviceRefusedToThisUser()
    {
        if (::geteuid() != 0)
            QSKIP("needs root, to become a user outside the device's groups for a moment");
        emulator::DisplayEmulator display;
        QVERIFY(display.open());
        SerialLink link; // opened as nobody, then root again
        QCOMPARE(::setresuid(65534, 65534, 0), 0);
        const SerialLink::OpenResult result = link.open(display.slavePath());
        QCOMPARE(::setresuid(0, 0, 0), 0);
        QCOMPARE(result, SerialLink::OpenResult::NotPermitted);
    }

    void closeDuringAnUpload_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No: the upload goes on") << false;
        // Last: the program ends, and no event loop runs after that.
        QTest::newRow("Yes: the closing frame, and the end") << true;
    }

    // The user closes the window while the upload waits for screen 1's answer
    // and answers the question a second later.
    void closeDuringAnUpload()
    {
        QFETCH(bool, yes);
        emulator::DisplayEmulator display;
        QVERIFY(display.open());
        fMain window;
        window.Form_Load(display.slavePath());
        QVERIFY(window.programmer().isConnected());
        for (int n = 2; n <= 8; ++n)
            window.findChild<QCheckBox *>(QStringLiteral("TekstRAM_Check(%1)").arg(n))
                ->setChecked(false);
        whileWaitingFor(display, Screen1, 100, [&] { window.close(); });
        Clock::time_point asked{}, answered{};
        QStringList otherBoxes;
        QTimer boxes; // the user at the message boxes
        boxes.callOnTimeout([&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box != nullptr && box->icon() != QMessageBox::Question) {
                otherBoxes << box->text();
                box->accept();
            } else if (box != nullptr && asked == Clock::time_point{}) {
                asked = Clock::now();
            } else if (box != nullptr && Clock::now() - asked >= 1s) {
                answered = Clock::now();
                box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
            }
        });
        boxes.start(20);
        window.findChild<QPushButton *>(QStringLiteral("PrzeslijRAM_Command"))->click();

        QVERIFY2(answered != Clock::time_point{}, "no question was asked");
        QTRY_COMPARE(display.frames().size(), 4);
        const QList<emulator::ReceivedFrame> frames = display.frames();
        QVERIFY(frames[2].bytes.at(4) == Screen1 && frames[3].bytes == (yes ? End : Refresh));
        QCOMPARE(otherBoxes,
                 (yes ? QStringList() : QStringList{"Programowanie bieżące zakończone."}));
        // The wait under the question ended only after it; the next one was whole.
        if (!yes)
            QVERIFY(frames[3].at - answered >= 700ms);
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--run-program") == 0)
        return runProgram(QString::fromLocal8Bit(argv[2]));
    Technician test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_technician.moc"
