// The device logic and its serial link against the display emulator on a pty,
// through the logic's verbs and the outcome each ends in: the pacing wait,
// the uploads, the commands, a port pulled out, replugged or closed under an
// upload, the end, and the line and reply reader underneath. The messages
// the window makes of the outcomes are tested with the window.
//
// This executable defines ioctl() and tcdrain() itself, in front of the C
// library's (found with dlsym(RTLD_NEXT), which every call is passed on to):
// a pty shows neither the modem lines the port sets nor whether written bytes
// were drained before a close, so the calls are logged (lineCalls) instead.

#include "programming/device_programmer.h"
#include "programming/refresh_timer.h"
#include "programming/serial_link.h"
#include "programming/windows_comm.h"
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
using namespace std::chrono_literals;
Q_DECLARE_METATYPE(Reply)

namespace {

const QByteArray Prog = protocol::bytes(protocol::KomendaProg);
const QByteArray Ack = protocol::bytes(protocol::OdpowiedzOK);
const QByteArray Refresh = protocol::bytes(protocol::KomendaOdswiez);
const QByteArray End = protocol::bytes(protocol::KomendaKoniec);

Reply reply(Reply::Kind kind, int delayMs = 0)
{
    return {kind, delayMs, {}};
}

// The user's inputs as the logic reads them, set by the test.
struct FakeInputs : ProgrammingInputs
{
    QString texts[2][9];
    bool checks[2][9] = {};
    bool parameterBoxes[2] = {};
    ParameterChoice choice[2] = {{2, 3, 4, 0}, {1, 5, 0, 5}}; // unlike the defaults and each other

    static int at(Memory m) { return m == Memory::Ram ? 0 : 1; }
    QString screenText(Memory m, int n) const override { return texts[at(m)][n]; }
    bool screenChecked(Memory m, int n) const override { return checks[at(m)][n]; }
    bool parametersChecked(Memory m) const override { return parameterBoxes[at(m)]; }
    ParameterChoice parameters(Memory m) const override { return choice[at(m)]; }
    QString Godzina_MEB() const override { return {}; }
};

// An outcome as a line: "done", "unanswered screen 3 (EEPROM)", "lost", ...
QString describe(const Outcome &outcome)
{
    static const char *const kinds[] = {"done", "unanswered", "open failed", "lost", "ended"};
    QString text = QString::fromLatin1(kinds[outcome.kind]);
    if (const std::optional<AnsweredFrame> &f = outcome.frame)
        text += f->kind == AnsweredFrame::ProgrammingRequest
                    ? QStringLiteral(" request")
                    : QStringLiteral(" %1 (%2)")
                          .arg(f->kind == AnsweredFrame::Parameters
                                   ? QStringLiteral("parameters")
                                   : QStringLiteral("screen %1").arg(f->screen),
                               protocol::memoryName(f->memory));
    return text;
}

// A serial link whose port refuses to take the closing frame.
struct RefusingLink : SerialLink
{
    bool Output(const QByteArray &bytes) override
    {
        return bytes != protocol::bytes(protocol::KomendaKoniec) && SerialLink::Output(bytes);
    }
};

// One test's world: the logic with its inputs, the refresh timer and a fresh
// display on a pty; every outcome and loss the logic reports, as lines, and
// whether it was idle at each change of its state.
struct Bench
{
    explicit Bench(bool refusingLink = false)
        : programmer(inputs, [this, refusingLink](const QString &) {
              std::unique_ptr<SerialLink> made =
                  refusingLink ? std::make_unique<RefusingLink>() : std::make_unique<SerialLink>();
              link = made.get();
              return made;
          })
    {
        QObject::connect(&programmer, &DeviceProgrammer::connectionLost, &programmer,
                         [this] { note(QStringLiteral("connection lost")); });
        QObject::connect(&programmer, &DeviceProgrammer::stateChanged, &programmer,
                         [this] { idle.append(programmer.isIdle()); });
        QObject::connect(&refresh, &QTimer::timeout, &programmer, &DeviceProgrammer::refresh);
    }
    FakeInputs inputs;
    emulator::DisplayEmulator display;
    bool opened = display.open();
    SerialLink *link = nullptr; // the programmer's, once it has one
    DeviceProgrammer programmer;
    RefreshTimer refresh{programmer};
    QStringList events;
    QList<bool> idle;
    std::function<void()> onEvent;

    void note(const QString &event)
    {
        events.append(event);
        if (onEvent)
            onEvent();
    }
    Outcome run(const Outcome &outcome)
    {
        if (!outcome.succeeded())
            note(describe(outcome));
        return outcome;
    }
    Outcome connectTo(const QString &device) { return run(programmer.connectTo(device)); }
    bool connect() { return connectTo(display.slavePath()).succeeded(); }
    Outcome upload(Memory memory) { return run(programmer.upload(memory)); }
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
    // Every verb but the end, as a user's clicks would call them.
    void callEverything()
    {
        programmer.refresh();
        programmer.beep();
        programmer.setLongBeep(true);
        programmer.clear();
        programmer.sendClock();
        upload(Memory::Eeprom);
        upload(Memory::Ram);
    }
    // Bytes from the display, waited for until all wait at the PC; with
    // unread, without letting the event loop read any.
    void arrive(const QByteArray &bytes, bool unread = false)
    {
        const int all = link->InBufferCount() + int(bytes.size());
        display.send(bytes);
        const QDeadlineTimer deadline(5000);
        while (link->InBufferCount() < all && !deadline.hasExpired())
            unread ? QThread::msleep(1) : QTest::qWait(1);
    }
};

// A Windows COM port as the modem lines and the drain see it, on a clock of
// its own: it answers the line requests as scripted, and its output queue
// empties at drainsAt (never, by default).
struct ScriptedComm : windowsComm::WindowsCommApi
{
    QList<std::uint32_t> answers; // to the line requests, in order; then 0
    QStringList calls;
    windowsComm::Clock::time_point clock{};
    windowsComm::Clock::time_point drainsAt = windowsComm::Clock::time_point::max();
    bool saysQueue = true;

    std::uint32_t escape(std::uint32_t function) override
    {
        calls << (function == windowsComm::SetDtr ? "DTR on" : "RTS off");
        return answers.value(calls.size() - 1);
    }
    long outputQueue() override { return !saysQueue ? -1 : clock < drainsAt ? 16 : 0; }
    void purgeOutput() override { calls << "purge"; }
    void sleepUntil(windowsComm::Clock::time_point time) override { clock = std::max(clock, time); }
    windowsComm::Clock::time_point now() override { return clock; }
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

enum Interruption { Pull, Stop, Quit };
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
        QTest::addColumn<QString>("outcome");
        const Reply ack = reply(Reply::Acknowledge), silent = reply(Reply::Silent);
        const QList<int> ram{0, 1, 2, 3, 4, 5, 6, 7, 8}, eeprom{0, 1, 2, 3, 4, 5};
        QTest::newRow("RAM") << false << ram << QList<Reply>{} << ram + QList{-1} << "done";
        QTest::newRow("EEPROM") << true << eeprom << QList<Reply>{} << eeprom + QList{-1} << "done";
        QTest::newRow("refresh unanswered")
            << false << QList{1} << QList{ack, silent} << QList{1, -1} << "done";
        QTest::newRow("parameters half answered")
            << false << QList{0, 1} << QList{reply(Reply::Partial)} << QList{0}
            << "unanswered parameters (RAM)";
        QTest::newRow("screen 3 unanswered") << true << eeprom << QList{ack, ack, ack, silent}
                                             << QList{0, 1, 2, 3} << "unanswered screen 3 (EEPROM)";
    }

    // The checked frames in order, each paced and acknowledged, the refresh
    // last; the first missing acknowledgement ends it, and says which frame
    // it was. The other memory's boxes are all checked and must not matter.
    void upload()
    {
        QFETCH(bool, eeprom);
        QFETCH(QList<int>, boxes);
        QFETCH(QList<Reply>, answers);
        QFETCH(QList<int>, sent);
        QFETCH(QString, outcome);
        Bench b;
        QVERIFY(b.connect());
        FakeInputs &w = b.inputs;
        const Memory memory = eeprom ? Memory::Eeprom : Memory::Ram;
        const int m = FakeInputs::at(memory);
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
        QSignalSpy finished(&b.programmer, &DeviceProgrammer::uploadFinished);

        const Outcome ended = b.programmer.upload(memory);
        const Clock::time_point returned = Clock::now();
        const QList<emulator::ReceivedFrame> frames = b.display.frames();
        QCOMPARE(b.display.received(), Prog + expected);
        QCOMPARE(describe(ended), outcome);
        // The answer's wait, then a second one, before the next frame; the
        // outcome only after the last frame's wait, with nothing stale left
        // for the next check.
        for (int i = 2; i < frames.size(); ++i)
            QVERIFY2(frames[i].at - frames[i - 1].at >= 1390ms, qPrintable(QString::number(i)));
        QVERIFY(returned - frames.last().at >= 650ms);
        QCOMPARE(b.link->InBufferCount(), 0);
        QCOMPARE(finished.count(), 1);
        QVERIFY(b.programmer.isConnected() && b.refresh.isActive());
        QCOMPARE(b.idle, (QList<bool>{false, true, false, true}));
    }

    void userWorksOnDuringAnUpload_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::newRow("the upload ends well") << true;
        QTest::newRow("screen 1 unanswered") << false;
    }

    // While an upload waits: a refresh tick, every other verb, and edits.
    // Only the upload's frames go out, each screen as it is when its frame
    // is built; after a failed upload, the tick held back.
    void userWorksOnDuringAnUpload()
    {
        QFETCH(bool, answered);
        Bench b;
        QVERIFY(b.connect());
        FakeInputs &w = b.inputs;
        w.checks[0][1] = w.checks[1][1] = true;
        w.texts[0][1] = QStringLiteral("Cześć");
        if (!answered)
            b.display.setReply(1, reply(Reply::Silent));
        b.whileWaitingFor(0x0B, 200, [&] {
            b.callEverything();
            w.checks[0][4] = true;
            w.texts[0][4] = QStringLiteral("czwarty");
        });
        b.upload(Memory::Ram);
        QTRY_COMPARE(b.display.received(),
                     Prog + protocol::RamkaTekstuRAM(1, u"Cześć") +
                         (answered ? protocol::RamkaTekstuRAM(4, u"czwarty") : "") + Refresh);
        const QList<emulator::ReceivedFrame> frames = b.display.frames();
        QVERIFY(frames.last().at - frames[1].at >= 700ms);
        // The uploads called inside did not begin.
        QCOMPARE(b.events, (QStringList{"ended", "ended"} +
                            (answered ? QStringList() : QStringList{"unanswered screen 1 (RAM)"})));
    }

    // Each command is one frame, written at once; the answers stay waiting,
    // unread.
    void commands()
    {
        Bench b;
        QVERIFY(b.connect());
        QVERIFY(b.programmer.setLongBeep(true) && b.programmer.setLongBeep(false) &&
                b.programmer.beep() && b.programmer.clear());
        QTRY_COMPARE(b.link->InBufferCount(), 32);
        QCOMPARE(b.display.received(), Prog + protocol::dataFrame(protocol::LongBeepOn) +
                                           protocol::dataFrame(protocol::LongBeepOff) +
                                           protocol::dataFrame(protocol::ShortBeep) +
                                           protocol::dataFrame(protocol::ClearScreens));
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
        QVERIFY(b.connect());
        QCOMPARE(lineCalls, (QStringList{"DTR on", "RTS off"}));
        QSignalSpy lost(b.link, &Link::portLost);
        QCOMPARE(lineSettings(int(b.link->handle())), "1200 8N2");
        const QByteArray raw("\x0A\x0D\x11\x13\xFF", 5);
        QVERIFY(b.link->Output(raw));
        QTRY_COMPARE(b.display.received(), Prog + raw);
        b.arrive(raw, true);
        QCOMPARE(b.link->InBufferCount(), 5);
        for (char expected : raw)
            QCOMPARE(b.link->Input(), int(quint8(expected)));
        QCOMPARE(b.link->Input(), -1);

        b.arrive(Ack.left(7));
        QVERIFY(!b.programmer.SprawdzOdpowiedz());
        QCOMPARE(b.link->InBufferCount(), 7);
        b.arrive(Ack.right(1) + "abc" + Ack);
        for (int left : {11, 3, 3}) {
            QCOMPARE(b.programmer.SprawdzOdpowiedz(), left == 11);
            QCOMPARE(b.link->InBufferCount(), left);
        }

        b.arrive(Ack, true);
        QTimer::singleShot(0, &b.display, [&] { b.link->discardInput(); });
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        b.arrive(Ack);
        QVERIFY(b.programmer.SprawdzOdpowiedz());
        QCOMPARE(lost.count(), 0);
        b.display.closePort();
        QVERIFY(lost.wait(5000));
        QVERIFY(!b.link->PortOpen() && !b.link->Output(End));
        QCOMPARE(b.events, QStringList{"connection lost"});
    }

    void replugged_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::newRow("acknowledged: connected again") << true;
        QTest::newRow("not answered: as after the loss") << false;
    }

    // The same device back after a loss is opened and asked once more; only
    // its acknowledgement connects, and nothing more is reported either way.
    void replugged()
    {
        QFETCH(bool, answered);
        Bench b;
        QTemporaryDir dir; // the device's name, a link to the emulator's pty
        const QString device = dir.filePath(QStringLiteral("ttyUSB0"));
        QVERIFY(QFile::link(b.display.slavePath(), device));
        QVERIFY(b.connectTo(device).succeeded());
        b.display.closePort();
        QFile::remove(device);
        QTRY_COMPARE(b.events, QStringList{"connection lost"});
        if (!answered)
            b.display.answerOnlyFirst(1);
        QVERIFY(b.display.open() && QFile::link(b.display.slavePath(), device));
        QTRY_COMPARE(b.display.received(), Prog + Prog);
        QTRY_COMPARE(b.link->PortOpen(), answered);
        QTRY_COMPARE(b.idle.last(), answered);
        QCOMPARE(b.refresh.isActive(), answered);
        QTest::qWait(1500);
        QCOMPARE(b.display.received(), Prog + Prog);
        QCOMPARE(b.events.size(), 1);
    }

    // A chattering line: the program holds a few KiB of it, the system the rest.
    void floodStaysBounded()
    {
        Bench b;
        SerialLink link;
        QCOMPARE(link.open(b.display.slavePath()), Link::OpenResult::Opened);
        b.display.flood(1 << 20);
        QTest::qWait(300);
        QVERIFY2(link.InBufferCount() < 64 * 1024,
                 qPrintable(QString::number(link.InBufferCount())));
    }

    void windowsModemLines_data()
    {
        QTest::addColumn<QList<std::uint32_t>>("answers"); // to DTR on, RTS off
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QStringList>("calls");
        const QStringList both{"DTR on", "RTS off"}, dtr{"DTR on"};
        QTest::newRow("both set") << QList<std::uint32_t>{0, 0} << true << both;
        QTest::newRow("1, a driver without the request") << QList<std::uint32_t>{1} << true << dtr;
        QTest::newRow("31, a device that stalls it") << QList<std::uint32_t>{31} << true << dtr;
        QTest::newRow("50, not supported") << QList<std::uint32_t>{50} << true << dtr;
        QTest::newRow("87, RTS refused") << QList<std::uint32_t>{0, 87} << true << both;
        QTest::newRow("1167, the device gone") << QList<std::uint32_t>{1167} << false << dtr;
    }

    // A driver that cannot set the modem lines leaves the port usable; only a
    // device gone meanwhile fails the open.
    void windowsModemLines()
    {
        QFETCH(QList<std::uint32_t>, answers);
        QFETCH(bool, opens);
        QFETCH(QStringList, calls);
        ScriptedComm port;
        port.answers = answers;
        std::uint32_t error = 0;
        const windowsComm::ModemLines lines = windowsComm::setModemLines(port, error);
        QCOMPARE(lines != windowsComm::ModemLines::Gone, opens);
        QCOMPARE(lines == windowsComm::ModemLines::Set, answers.count(0) == 2);
        QCOMPARE(error, answers.last());
        QCOMPARE(port.calls, calls);
    }

    void windowsDrain_data()
    {
        QTest::addColumn<int>("drainsAtMs"); // -1: never; -2: the port does not say
        QTest::addColumn<int>("bytes");      // written at 0 ms
        QTest::addColumn<bool>("drained");
        QTest::addColumn<int>("endsAtMs");
        QTest::newRow("the closing frame's line time") << 100 << 16 << true << 146;
        QTest::newRow("a refresh just before it") << 100 << 32 << true << 293;
        QTest::newRow("a slow queue") << 400 << 16 << true << 400;
        QTest::newRow("the port does not say") << -2 << 16 << true << 146;
        QTest::newRow("a device that never drains") << -1 << 16 << false << 800;
    }

    // The drain waits for the queue and then for the line time of every byte
    // still on its way, but never past its deadline: what is left then is
    // dropped, and the port closes.
    void windowsDrain()
    {
        QFETCH(int, drainsAtMs);
        QFETCH(int, bytes);
        QFETCH(bool, drained);
        QFETCH(int, endsAtMs);
        ScriptedComm port;
        const windowsComm::Clock::time_point start = port.clock;
        if (drainsAtMs >= 0)
            port.drainsAt = start + std::chrono::milliseconds(drainsAtMs);
        port.saysQueue = drainsAtMs != -2;
        QCOMPARE(windowsComm::drain(port, start + windowsComm::lineTime(bytes), start + 800ms),
                 drained);
        QCOMPARE(std::chrono::duration_cast<std::chrono::milliseconds>(port.clock - start).count(),
                 endsAtMs);
        QCOMPARE(port.calls, drained ? QStringList() : QStringList{"purge"});
    }

    void ending_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("refused"); // the port takes no closing frame
        QTest::addColumn<bool>("endedWell");
        QTest::newRow("connected") << true << false << true;
        QTest::newRow("the closing frame refused") << true << true << false;
        QTest::newRow("never connected") << false << true << true;
    }

    // The end says whether the display was told to leave programming mode
    // when it was in it; a second end says the same and sends nothing.
    void ending()
    {
        QFETCH(bool, connected);
        QFETCH(bool, refused);
        QFETCH(bool, endedWell);
        Bench b(refused);
        if (!connected)
            b.display.setDefaultReply(reply(Reply::Silent));
        QCOMPARE(b.connect(), connected);
        QCOMPARE(b.programmer.end(), endedWell);
        QCOMPARE(b.programmer.end(), endedWell);
        QTest::qWait(50);
        QCOMPARE(b.display.received(), connected && !refused ? Prog + End : Prog);
    }

    void interrupted_data()
    {
        QTest::addColumn<int>("by");
        QTest::addColumn<int>("when");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("port pulled out while idle")
            << int(Pull) << int(Idle) << QStringList{"connection lost"};
        QTest::newRow("port pulled out during an upload")
            << int(Pull) << int(Upload) << QStringList{"lost screen 1 (RAM)"};
        QTest::newRow("ended during the handshake")
            << int(Stop) << int(Handshake) << QStringList{"ended"};
        QTest::newRow("ended while 200 shows")
            << int(Stop) << int(Unanswered) << QStringList{"unanswered request"};
        QTest::newRow("ended during an upload") << int(Stop) << int(Upload) << QStringList{"ended"};
        // Last of all: once told to quit, the application runs no event loop again.
        QTest::newRow("application quits during an upload")
            << int(Quit) << int(Upload) << QStringList{"ended"};
    }

    // A lost port: one report and the connection down, whatever comes next.
    // The end or a quit ends the handshake or the upload where it waits; the
    // closing frame goes out once, and only to a display that took the
    // programming request.
    void interrupted()
    {
        QFETCH(int, by);
        QFETCH(int, when);
        QFETCH(QStringList, events);
        Bench b;
        b.inputs.checks[0][1] = b.inputs.checks[0][2] = true;
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
                by == Stop ? void(b.programmer.end()) : QCoreApplication::exit(0);
        };
        if (when == Handshake) {
            b.whileWaitingFor(protocol::KomendaProg.back(), 100, interrupt);
            b.connect();
        } else if (when == Unanswered) {
            b.display.setDefaultReply(reply(Reply::Silent));
            b.onEvent = interrupt;
            b.connect();
            b.programmer.release();
        } else {
            QVERIFY(b.connect());
            if (when == Upload) {
                b.whileWaitingFor(0x0B, 100, interrupt);
                b.upload(Memory::Ram);
            } else {
                interrupt();
            }
        }
        QTRY_COMPARE(b.events, events);
        QVERIFY(!b.programmer.isUploading());
        QSignalSpy lost(b.link, &Link::portLost);
        if (by == Pull) {
            QVERIFY(!b.programmer.isConnected() && !b.link->PortOpen());
            QVERIFY(!b.refresh.isActive() && !b.idle.last());
            b.callEverything();
        }
        QCOMPARE(b.programmer.end(), true);
        QCoreApplication::processEvents();
        QCOMPARE(b.events.size(), events.size() + (by == Pull ? 2 : 0)); // the uploads not begun
        QCOMPARE(lost.count(), 0);
        if (by != Pull) {
            QCOMPARE(lineCalls, QStringList{"drain"}); // the closing frame has left
            QVERIFY(!b.link->PortOpen());
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
