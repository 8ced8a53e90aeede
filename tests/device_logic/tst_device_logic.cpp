// The device logic and its serial link against the display emulator on a pty:
// the pacing wait, the uploads, the commands the window cannot show, a port
// pulled out, replugged or closed under an upload, and the line and reply
// reader underneath. The handshake is tested with the main window.
//
// This executable defines ioctl() and tcdrain() itself, in front of the C
// library's (found with dlsym(RTLD_NEXT), which every call is passed on to):
// a pty shows neither the modem lines the port sets nor whether written bytes
// were drained before a close, so the calls are logged (lineCalls) instead.

#include "programming/device_programmer.h"
#include "protocol/builders.h"
#include "protocol/frames.h"
#include "tools/display_emulator.h"

#include <QtCore>
#include <QtTest>

#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using emulator::Reply;
using Clock = DeviceProgrammer::Clock;
using Click = void (DeviceProgrammer::*)();
using namespace std::chrono_literals;
Q_DECLARE_METATYPE(Reply)
Q_DECLARE_METATYPE(Click)

namespace {

const QByteArray Prog = protocol::bytes(protocol::KomendaProg);
const QByteArray Ack = protocol::bytes(protocol::OdpowiedzOK);
const QByteArray Refresh = protocol::bytes(protocol::KomendaOdswiez);
const QByteArray End = protocol::bytes(protocol::KomendaKoniec);

Reply reply(Reply::Kind kind, int delayMs = 0)
{
    return {kind, delayMs, {}};
}

// The window as the logic sees it: inputs the test sets, and a log of the
// messages ("warning 200", "information 101") and of the command buttons.
struct FakeWindow : ProgrammingWindow
{
    QString texts[2][9];
    bool checks[2][9] = {};
    bool parameterBoxes[2] = {};
    ParameterChoice choice[2] = {{2, 3, 4, 0}, {1, 5, 0, 5}}; // unlike the defaults and each other
    QList<bool> longBeeps; // the long beep's state as the window was told it
    QList<bool> enabled;
    QStringList messages;
    std::function<void()> onMessage;

    static int at(Memory m) { return m == Memory::Ram ? 0 : 1; }
    void UstawieniaPoczatkoweProgramowania() override {}
    QString screenText(Memory m, int n) const override { return texts[at(m)][n]; }
    bool screenChecked(Memory m, int n) const override { return checks[at(m)][n]; }
    bool parametersChecked(Memory m) const override { return parameterBoxes[at(m)]; }
    ParameterChoice parameters(Memory m) const override { return choice[at(m)]; }
    QString Godzina_MEB() const override { return {}; }
    void showLongBeep(bool on) override { longBeeps.append(on); }
    void setDeviceCommandsEnabled(bool on) override { enabled.append(on); }
    void PokazInformacje(int n) override { show(QStringLiteral("information %1").arg(n)); }
    void PokazOstrzezenie(int n, const QString &) override
    {
        show(QStringLiteral("warning %1").arg(n));
    }
    void show(const QString &message)
    {
        messages.append(message);
        if (onMessage)
            onMessage();
    }
};

// One test's world: the logic, its window and a fresh display on a pty.
struct Bench
{
    explicit Bench(bool withClock = true) : programmer(window, withClock) {}
    FakeWindow window;
    emulator::DisplayEmulator display;
    bool opened = display.open();
    DeviceProgrammer programmer;
    SerialLink &link = programmer.Port_MSComm();

    bool connect()
    {
        programmer.Form_Load(display.slavePath());
        return programmer.isConnected();
    }
    // Runs the action a while after the display received a frame with this
    // code: inside the program's wait for its answer.
    void whileWaitingFor(char code, int delayMs, const std::function<void()> &action)
    {
        QObject::connect(&display, &emulator::DisplayEmulator::frameReceived, &display,
                         [=, this](const emulator::ReceivedFrame &f) {
                             if (f.bytes.at(4) == code)
                                 QTimer::singleShot(delayMs, &display, action);
                         });
    }
    void clickEverything()
    {
        for (Click click : {&DeviceProgrammer::Odswiez_Timer_Timer,
                            &DeviceProgrammer::KrotkiSygnalDzwiek_Command_Click,
                            &DeviceProgrammer::DlugiDzwiek_Command_Click,
                            &DeviceProgrammer::CzyscEkran_Command_Click,
                            &DeviceProgrammer::PrzeslijZegar_Command_Click,
                            &DeviceProgrammer::PrzeslijEEPROM_Command_Click,
                            &DeviceProgrammer::PrzeslijRAM_Command_Click})
            (programmer.*click)();
    }
    // Bytes from the display, waited for until all wait at the PC; with
    // unread, without letting the event loop read any.
    void arrive(const QByteArray &bytes, bool unread = false)
    {
        const int all = link.InBufferCount() + int(bytes.size());
        display.send(bytes);
        const QDeadlineTimer deadline(5000);
        while (link.InBufferCount() < all && !deadline.hasExpired())
            unread ? QThread::msleep(1) : QTest::qWait(1);
    }
};

// The line as the system has it set: "1200 8N2" for 1200 baud, eight data
// bits, no parity, two stop bits and no hardware flow control.
QString lineSettings(int fd)
{
    termios line{};
    if (::tcgetattr(fd, &line) != 0)
        return QStringLiteral("unreadable");
    const tcflag_t c = line.c_cflag;
    return QString(::cfgetospeed(&line) == B1200 ? "1200 " : "not 1200 ") +
           ((c & CSIZE) == CS8 ? "8" : "not 8") + (c & PARENB ? "P" : "N") +
           (c & CSTOPB ? "2" : "1") + (c & CRTSCTS ? " RTS/CTS" : "");
}

enum Interruption { Pull, Close, Quit };
// When: connected and idle, in an upload's wait for screen 1's answer, in the
// handshake's wait, or while message 200 of an unanswered handshake shows.
enum Moment { Idle, Upload, Handshake, Unanswered };

// What a pty cannot show: the modem lines set and the waits for written bytes
// to leave, as the calls the port makes to the system.
QStringList lineCalls;

template <typename F> F *nextDefinition(const char *name)
{
    return reinterpret_cast<F *>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);
    const int lines =
        request == TIOCMBIS || request == TIOCMBIC ? *static_cast<int *>(argument) : 0;
    if (lines == TIOCM_DTR || lines == TIOCM_RTS)
        lineCalls << QString(lines == TIOCM_DTR ? "DTR " : "RTS ") +
                         (request == TIOCMBIS ? "on" : "off");
    static auto *next = nextDefinition<int(int, unsigned long, ...)>("ioctl");
    return next(fd, request, argument);
}

extern "C" int tcdrain(int fd)
{
    lineCalls << QStringLiteral("drain");
    static auto *next = nextDefinition<int(int)>("tcdrain");
    return next(fd);
}

class DeviceLogic : public QObject
{
    Q_OBJECT

private slots:
    // The wait ends 0.7 s after the start it is given.
    void pacingWait()
    {
        Bench b;
        const auto called = Clock::now();
        b.programmer.Czekaj(called - 400ms);
        QVERIFY(Clock::now() - called >= 300ms && Clock::now() - called < 650ms);
    }

    void upload_data()
    {
        QTest::addColumn<bool>("eeprom");
        QTest::addColumn<QList<int>>("boxes");     // checked: 0 the parameters, n screen n
        QTest::addColumn<QList<Reply>>("answers"); // to the upload's frames; then acknowledged
        QTest::addColumn<QList<int>>("sent");      // -1 the refresh
        QTest::addColumn<QString>("message");
        const Reply ack = reply(Reply::Acknowledge), silent = reply(Reply::Silent);
        const QList<int> ram{0, 1, 2, 3, 4, 5, 6, 7, 8}, eeprom{0, 1, 2, 3, 4, 5};
        const QString ramDone = "information 101", error = "warning 200";
        QTest::newRow("RAM") << false << ram << QList<Reply>{} << ram + QList{-1} << ramDone;
        QTest::newRow("EEPROM") << true << eeprom << QList<Reply>{} << eeprom + QList{-1}
                                << "information 100";
        QTest::newRow("refresh unanswered")
            << false << QList{1} << QList{ack, silent} << QList{1, -1} << ramDone;
        QTest::newRow("parameters half answered")
            << false << QList{0, 1} << QList{reply(Reply::Partial)} << QList{0} << error;
        QTest::newRow("screen 3 unanswered")
            << true << eeprom << QList{ack, ack, ack, silent} << QList{0, 1, 2, 3} << error;
    }

    // The checked frames in order, each paced and acknowledged, the refresh
    // last; the first missing acknowledgement ends it. The other memory's
    // boxes are all checked and must not matter.
    void upload()
    {
        QFETCH(bool, eeprom);
        QFETCH(QList<int>, boxes);
        QFETCH(QList<Reply>, answers);
        QFETCH(QList<int>, sent);
        QFETCH(QString, message);
        Bench b;
        QVERIFY(b.connect());
        FakeWindow &w = b.window;
        const Memory memory = eeprom ? Memory::Eeprom : Memory::Ram;
        const int m = FakeWindow::at(memory);
        for (int n = 1; n <= 8; ++n) {
            w.texts[m][n] = QStringLiteral("ekran %1").arg(n);
            w.checks[1 - m][n] = true;
        }
        w.parameterBoxes[1 - m] = true;
        for (int box : std::as_const(boxes))
            (box == 0 ? w.parameterBoxes[m] : w.checks[m][box]) = true;
        for (int i = 0; i < answers.size(); ++i)
            b.display.setReply(1 + i, answers[i]);
        QByteArray expected;
        for (int k : std::as_const(sent)) {
            const ParameterChoice c = w.choice[m];
            expected.append(
                k < 0             ? Refresh
                : k > 0 && eeprom ? protocol::RamkaTekstuEEPROM(k, w.texts[m][k])
                : k > 0           ? protocol::RamkaTekstuRAM(k, w.texts[m][k])
                : eeprom ? protocol::RamkaParametrowEEPROM(c.scrollKind, c.speed, c.brightness)
                         : protocol::RamkaParametrowRAM(c.scrollKind, c.screenCount, c.speed,
                                                        c.brightness));
        }
        int waitingWhenShown = -1;
        Clock::time_point shown;
        w.onMessage = [&] {
            waitingWhenShown = b.link.InBufferCount();
            shown = Clock::now();
        };
        QSignalSpy finished(&b.programmer, &DeviceProgrammer::uploadFinished);

        eeprom ? b.programmer.PrzeslijEEPROM_Command_Click()
               : b.programmer.PrzeslijRAM_Command_Click();
        const QList<emulator::ReceivedFrame> frames = b.display.frames();
        QCOMPARE(b.display.received(), Prog + expected);
        QCOMPARE(w.messages, QStringList{message});
        // The answer's wait, then a second one, before the next frame; the
        // message only after the last frame's wait.
        for (int i = 2; i < frames.size(); ++i)
            QVERIFY2(frames[i].at - frames[i - 1].at >= 1390ms, qPrintable(QString::number(i)));
        QVERIFY(shown - frames.last().at >= 650ms);
        QCOMPARE(waitingWhenShown, 0); // nothing stale left for the next check
        QCOMPARE(finished.count(), 1);
        QVERIFY(b.programmer.isConnected() && b.programmer.Odswiez_Timer().isActive());
        QCOMPARE(w.enabled, (QList<bool>{true, false, true}));
    }

    void userWorksOnDuringAnUpload_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::newRow("the upload ends well") << true;
        QTest::newRow("screen 1 unanswered") << false;
    }

    // While an upload waits: a refresh tick, clicks that reach the handlers
    // anyway, and edits. Only the upload's frames go out, each screen as it
    // is when its frame is built; after a failed upload, the tick held back.
    void userWorksOnDuringAnUpload()
    {
        QFETCH(bool, answered);
        Bench b;
        QVERIFY(b.connect());
        FakeWindow &w = b.window;
        w.checks[0][1] = w.checks[1][1] = true;
        w.texts[0][1] = QStringLiteral("Cześć");
        if (!answered)
            b.display.setReply(1, reply(Reply::Silent));
        b.whileWaitingFor(0x0B, 200, [&] {
            b.clickEverything();
            w.checks[0][4] = true;
            w.texts[0][4] = QStringLiteral("czwarty");
        });
        b.programmer.PrzeslijRAM_Command_Click();
        QTRY_COMPARE(b.display.received(),
                     Prog + protocol::RamkaTekstuRAM(1, u"Cześć") +
                         (answered ? protocol::RamkaTekstuRAM(4, u"czwarty") : "") + Refresh);
        const QList<emulator::ReceivedFrame> frames = b.display.frames();
        QVERIFY(frames.last().at - frames[1].at >= 700ms);
        QCOMPARE(w.messages, QStringList{answered ? "information 101" : "warning 200"});
        QCOMPARE(w.longBeeps, QList<bool>());
    }

    // The long beep toggles from off, the window told before each frame; the
    // program without the clock sends no clock frame. Answers stay waiting,
    // unread.
    void commands()
    {
        Bench b(false);
        QVERIFY(b.connect());
        for (int click = 0; click < 3; ++click)
            b.programmer.DlugiDzwiek_Command_Click();
        b.programmer.PrzeslijZegar_Command_Click();
        QTRY_COMPARE(b.link.InBufferCount(), 24);
        const QByteArray on = protocol::dataFrame(protocol::LongBeepOn);
        QCOMPARE(b.display.received(), Prog + on + protocol::dataFrame(protocol::LongBeepOff) + on);
        QCOMPARE(b.window.longBeeps, (QList<bool>{true, false, true}));
    }

    // The line: 1200 baud, eight data bits, two stop bits, no parity, raw
    // both ways. Waiting bytes count though the event loop has not read them;
    // the reply reader takes eight when eight wait, and judges them whole. A
    // read woken by bytes that a discard took meanwhile is no loss; the
    // display's side going away is, reported once.
    void serialLink()
    {
        Bench b;
        lineCalls.clear();
        QCOMPARE(b.link.open(b.display.slavePath()), SerialLink::OpenResult::Opened);
        QCOMPARE(lineCalls, (QStringList{"DTR on", "RTS off"}));
        QSignalSpy lost(&b.link, &SerialLink::portLost);
        QCOMPARE(lineSettings(int(b.link.handle())), "1200 8N2");
        const QByteArray raw("\x0A\x0D\x11\x13\xFF", 5);
        QVERIFY(b.link.Output(raw));
        QTRY_COMPARE(b.display.received(), raw);
        b.arrive(raw, true);
        QCOMPARE(b.link.InBufferCount(), 5);
        for (char expected : raw)
            QCOMPARE(b.link.Input(), int(quint8(expected)));
        QCOMPARE(b.link.Input(), -1);

        b.arrive(Ack.left(7));
        QVERIFY(!b.programmer.SprawdzOdpowiedz());
        QCOMPARE(b.link.InBufferCount(), 7);
        b.arrive(Ack.right(1) + "abc" + Ack);
        for (int left : {11, 3, 3}) {
            QCOMPARE(b.programmer.SprawdzOdpowiedz(), left == 11);
            QCOMPARE(b.link.InBufferCount(), left);
        }

        b.arrive(Ack, true);
        QTimer::singleShot(0, &b.display, [&] { b.link.discardInput(); });
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        b.arrive(Ack);
        QVERIFY(b.programmer.SprawdzOdpowiedz());
        QCOMPARE(lost.count(), 0);
        b.display.closePort();
        QVERIFY(lost.wait(5000));
        QVERIFY(!b.link.PortOpen() && !b.link.Output(End));
    }

    void replugged_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::newRow("acknowledged: connected again") << true;
        QTest::newRow("not answered: as after the loss") << false;
    }

    // The same device back after a loss is opened and asked once more; only
    // its acknowledgement connects, and nothing is shown either way.
    void replugged()
    {
        QFETCH(bool, answered);
        Bench b;
        QTemporaryDir dir; // the device's name, a link to the emulator's pty
        const QString device = dir.filePath(QStringLiteral("ttyUSB0"));
        QVERIFY(QFile::link(b.display.slavePath(), device));
        b.programmer.Form_Load(device);
        b.display.closePort();
        QFile::remove(device);
        QTRY_COMPARE(b.window.messages, QStringList{"warning 200"});
        if (!answered)
            b.display.answerOnlyFirst(1);
        QVERIFY(b.display.open() && QFile::link(b.display.slavePath(), device));
        QTRY_COMPARE(b.display.received(), Prog + Prog);
        QTRY_COMPARE(b.link.PortOpen(), answered);
        QCOMPARE(b.window.enabled,
                 (answered ? QList<bool>{true, false, true} : QList<bool>{true, false}));
        QCOMPARE(b.programmer.Odswiez_Timer().isActive(), answered);
        QTest::qWait(1500);
        QCOMPARE(b.display.received(), Prog + Prog);
        QCOMPARE(b.window.messages.size(), 1);
    }

    // A chattering line: the program holds a few KiB of it, the system the rest.
    void floodStaysBounded()
    {
        Bench b;
        QCOMPARE(b.link.open(b.display.slavePath()), SerialLink::OpenResult::Opened);
        b.display.flood(1 << 20);
        QTest::qWait(300);
        QVERIFY2(b.link.InBufferCount() < 64 * 1024,
                 qPrintable(QString::number(b.link.InBufferCount())));
    }

    void interrupted_data()
    {
        QTest::addColumn<int>("by");
        QTest::addColumn<int>("when");
        QTest::newRow("port pulled out while idle") << int(Pull) << int(Idle);
        QTest::newRow("port pulled out during an upload") << int(Pull) << int(Upload);
        QTest::newRow("window closed during the handshake") << int(Close) << int(Handshake);
        QTest::newRow("window closed while 200 shows") << int(Close) << int(Unanswered);
        QTest::newRow("window closed during an upload") << int(Close) << int(Upload);
        // Last: once told to quit, the application runs no event loop again.
        QTest::newRow("application quits during an upload") << int(Quit) << int(Upload);
    }

    // A lost port: one message and the connection down, whatever the user
    // does next. A close or a quit ends the handshake or the upload where it
    // waits, silently; the closing frame goes out once, and only to a display
    // that took the programming request.
    void interrupted()
    {
        QFETCH(int, by);
        QFETCH(int, when);
        Bench b;
        QSignalSpy lost(&b.link, &SerialLink::portLost);
        b.window.checks[0][1] = b.window.checks[0][2] = true;
        // Another program left the line at 9600 baud, 8N1.
        const int device = ::open(QFile::encodeName(b.display.slavePath()), O_RDWR | O_NOCTTY);
        termios other{};
        QVERIFY(::tcgetattr(device, &other) == 0 && ::cfsetspeed(&other, B9600) == 0);
        other.c_cflag &= ~CSTOPB;
        QVERIFY(::tcsetattr(device, TCSANOW, &other) == 0);
        const auto interrupt = [&] {
            lineCalls.clear();
            if (by == Pull)
                b.display.closePort();
            else
                by == Close ? b.programmer.Form_QueryUnload() : QCoreApplication::exit(0);
        };
        if (when == Handshake || when == Unanswered) {
            if (when == Handshake)
                b.whileWaitingFor(protocol::KomendaProg.back(), 100, interrupt);
            else
                b.display.setDefaultReply(reply(Reply::Silent));
            b.window.onMessage = interrupt;
            b.programmer.Form_Load(b.display.slavePath());
        } else {
            QVERIFY(b.connect());
            if (when == Upload) {
                b.whileWaitingFor(0x0B, 100, interrupt);
                b.programmer.PrzeslijRAM_Command_Click();
            } else {
                interrupt();
            }
        }
        const QStringList messages(by == Pull || when == Unanswered ? 1 : 0,
                                   QStringLiteral("warning 200"));
        QTRY_COMPARE(b.window.messages, messages);
        QVERIFY(!b.programmer.isUploading());
        if (by == Pull) {
            QVERIFY(!b.programmer.isConnected() && !b.link.PortOpen());
            QVERIFY(!b.programmer.Odswiez_Timer().isActive() && !b.window.enabled.last());
            b.clickEverything();
        }
        b.programmer.Form_QueryUnload();
        QCoreApplication::processEvents();
        QCOMPARE(b.window.messages, messages);
        QCOMPARE(lost.count(), by == Pull ? 1 : 0);
        if (by != Pull) {
            QCOMPARE(lineCalls, QStringList{"drain"}); // the closing frame has left
            QVERIFY(!b.link.PortOpen());
            // and the line keeps its settings after it: nothing is put back;
            // but it is no longer held for this program alone.
            QCOMPARE(lineSettings(device), "1200 8N2");
            int exclusive = -1;
            QVERIFY(::ioctl(device, TIOCGEXCL, &exclusive) == 0);
            QCOMPARE(exclusive, 0);
            QTRY_COMPARE(b.display.received(),
                         when == Upload ? Prog + protocol::RamkaTekstuRAM(1, u"") + End : Prog);
        }
        ::close(device);
    }
};

QTEST_GUILESS_MAIN(DeviceLogic)
#include "tst_device_logic.moc"
