#include "tools/display_emulator.h"

#include "protocol/frames.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QLockFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace emulator {

namespace {

// Bytes that wait for room in the pty are kept up to this much; beyond it
// send() drops and counts, so a PC that never reads cannot exhaust memory.
// A flood is made as it drains and never counts here.
constexpr qint64 MaxQueued = 16 * 1024 * 1024;
// One write notification hands at most this much to the pty, so a fast reader
// on the PC side cannot keep the event loop busy writing.
constexpr qint64 WriteBudget = 256 * 1024;
constexpr qint64 FloodChunk = 4096;
// The flood pattern repeats every 251 bytes, a prime, so it never lines up
// with the 8-byte acknowledgement or the 4 KiB pty chunks.
constexpr int FloodPeriod = 251;

// QSerialPort locks a device with a file named after it in the first of
// these folders it can use; those locks outlive the pty when the PC side does
// not close its port after the device went away.
bool serialPortLockHeld(const QString &devicePath)
{
    QString name = devicePath;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name = QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString folders[] = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                               "/var/spool/uucp",   "/tmp",       "/var/tmp",
                               "/var/lock/lockdev", "/run/lock",  QDir::tempPath()};
    for (const QString &folder : folders) {
        const QString path = folder + QLatin1Char('/') + name;
        if (!QFile::exists(path))
            continue;
        // A lock whose owner is gone is stale: taking it clears it, as
        // QSerialPort would.
        QLockFile lock(path);
        if (!lock.tryLock(0))
            return true;
    }
    return false;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

} // namespace

QByteArray replyBytes(const Reply &reply)
{
    QByteArray answer = protocol::bytes(protocol::OdpowiedzOK);
    switch (reply.kind) {
    case Reply::Acknowledge:
        break;
    case Reply::Silent:
        answer.clear();
        break;
    case Reply::WrongByte:
        answer[answer.size() - 1] = char(answer.back() ^ 0x01);
        break;
    case Reply::WrongCase:
        answer[2] = 'F';
        break;
    case Reply::Partial:
        answer.chop(1);
        break;
    }
    return answer + reply.extra;
}

QString describeReply(const Reply &reply)
{
    static const char *const kinds[] = {"acknowledged", "silent", "answered with a wrong byte",
                                        "answered in the wrong case", "answered 7 bytes only"};
    QString text = QString::fromLatin1(kinds[reply.kind]);
    if (reply.delayMs > 0 && (reply.kind != Reply::Silent || !reply.extra.isEmpty()))
        text += QStringLiteral(" %1 ms late").arg(reply.delayMs);
    if (!reply.extra.isEmpty())
        text += QStringLiteral(", then %1 extra bytes").arg(reply.extra.size());
    return text;
}

QByteArray floodBytes(qint64 offset, qint64 count)
{
    QByteArray bytes(qMax<qint64>(count, 0), Qt::Uninitialized);
    int value = int(offset % FloodPeriod);
    for (char &b : bytes) {
        b = char(value);
        value = value + 1 == FloodPeriod ? 0 : value + 1;
    }
    return bytes;
}

struct DisplayEmulator::Private
{
    // Something to hand to the pty: given bytes, or a flood made as it drains.
    struct Segment
    {
        QByteArray bytes;
        qsizetype written = 0;
        qint64 floodOffset = 0;
        qint64 floodLeft = 0;
        bool isFlood() const { return floodLeft > 0; }
    };

    explicit Private(DisplayEmulator *owner) : q(owner) {}

    DisplayEmulator *q;
    int master = -1;
    int slaveKeeper = -1; // keeps the slave open, so the master never reads EIO
    QString path;
    QString error;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    quint64 generation = 0; // late answers of a closed port are not sent

    FrameParser parser;
    QList<ReceivedFrame> frames;
    QByteArray received;

    Reply defaultReply;
    QHash<int, Reply> replies;
    int answerLimit = -1;
    int nextIndex = 0;

    std::deque<Segment> out;
    qint64 queuedBytes = 0; // given bytes still to write, floods not counted
    qint64 written = 0;
    qint64 dropped = 0;

    void readFromPc();
    void handleFrame(const QByteArray &bytes, std::chrono::steady_clock::time_point at);
    void queue(const QByteArray &bytes);
    void writeToPc();
    void updateWriteNotifier();
};

void DisplayEmulator::Private::readFromPc()
{
    char buffer[4096];
    while (master >= 0) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            // Only when the slave has no opener, which the keeper prevents;
            // never let the notifier spin on it.
            readNotifier->setEnabled(false);
            return;
        }
        const auto at = std::chrono::steady_clock::now();
        const QByteArrayView chunk(buffer, n);
        received.append(chunk);
        // Byte by byte, so skipped bytes and frames are reported in the order
        // they came.
        const quint64 readGeneration = generation;
        QByteArray skippedRun;
        const auto reportSkipped = [&] {
            if (skippedRun.isEmpty())
                return;
            emit q->bytesSkipped(std::exchange(skippedRun, {}));
        };
        for (qsizetype i = 0; i < chunk.size() && generation == readGeneration; ++i) {
            const FrameParser::Output parsed = parser.feed(chunk.sliced(i, 1));
            skippedRun.append(parsed.skipped);
            for (const QByteArray &frame : parsed.frames) {
                reportSkipped();
                if (generation == readGeneration) // unless a handler closed the port
                    handleFrame(frame, at);
            }
        }
        if (generation == readGeneration)
            reportSkipped();
    }
}

void DisplayEmulator::Private::handleFrame(const QByteArray &bytes,
                                           std::chrono::steady_clock::time_point at)
{
    const int index = nextIndex++;
    const bool answered = answerLimit < 0 || index < answerLimit;
    ReceivedFrame frame;
    frame.bytes = bytes;
    frame.at = at;
    frame.checksumOk = protocol::FrameChecksum(bytes) == 0;
    frame.description = describeFrame(bytes);
    frame.reply = answered ? replies.value(index, defaultReply) : Reply{Reply::Silent, 0, {}};

    const QByteArray answer = replyBytes(frame.reply);
    if (frame.reply.delayMs > 0 && !answer.isEmpty()) {
        // A precise timer never fires early: a late answer is never on time.
        QTimer::singleShot(frame.reply.delayMs, Qt::PreciseTimer, q,
                           [this, answer, sentFor = generation] {
                               if (sentFor == generation)
                                   queue(answer);
                           });
    } else {
        queue(answer);
    }
    frames.append(frame);
    emit q->frameReceived(frame);
}

void DisplayEmulator::Private::queue(const QByteArray &bytes)
{
    if (master < 0 || bytes.isEmpty())
        return;
    if (queuedBytes + bytes.size() > MaxQueued) {
        dropped += bytes.size();
        return;
    }
    out.push_back(Segment{bytes});
    queuedBytes += bytes.size();
    writeToPc();
}

void DisplayEmulator::Private::writeToPc()
{
    qint64 budget = WriteBudget;
    while (master >= 0 && !out.empty() && budget > 0) {
        Segment &segment = out.front();
        const QByteArray flood =
            segment.isFlood() ? floodBytes(segment.floodOffset, qMin(segment.floodLeft, FloodChunk))
                              : QByteArray();
        const QByteArrayView chunk = segment.isFlood()
                                         ? QByteArrayView(flood)
                                         : QByteArrayView(segment.bytes).sliced(segment.written);
        const ssize_t n = ::write(master, chunk.data(), size_t(chunk.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break; // the pty is full: the write notifier resumes when it drains
        if (n <= 0) {
            dropped += q->bytesPending();
            out.clear();
            queuedBytes = 0;
            break;
        }
        written += n;
        budget -= n;
        if (segment.isFlood()) {
            segment.floodOffset += n;
            segment.floodLeft -= n;
            if (segment.floodLeft == 0)
                out.pop_front();
        } else {
            segment.written += n;
            queuedBytes -= n;
            if (segment.written == segment.bytes.size())
                out.pop_front();
        }
    }
    updateWriteNotifier();
}

void DisplayEmulator::Private::updateWriteNotifier()
{
    if (writeNotifier)
        writeNotifier->setEnabled(master >= 0 && !out.empty());
}

DisplayEmulator::DisplayEmulator(QObject *parent) : QObject(parent), d(new Private(this)) {}

DisplayEmulator::~DisplayEmulator()
{
    closePort();
    delete d;
}

namespace {

// One pseudo-terminal pair: the master, non-blocking, and a keeper of the slave
// side in raw mode. False with the reason in error when the system refuses.
bool openPty(int &master, int &keeper, QString &path, QString &error)
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    keeper = -1;
    if (master < 0) {
        error = systemError("posix_openpt");
        return false;
    }
    char name[128];
    auto fail = [&](const char *what) {
        error = systemError(what);
        if (keeper >= 0)
            ::close(keeper);
        ::close(master);
        return false;
    };
    if (::fcntl(master, F_SETFD, FD_CLOEXEC) < 0 ||
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) < 0)
        return fail("fcntl");
    if (::grantpt(master) < 0 || ::unlockpt(master) < 0)
        return fail("grantpt/unlockpt");
    if (::ptsname_r(master, name, sizeof name) != 0)
        return fail("ptsname");
    keeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (keeper < 0)
        return fail("open slave");
    // Raw from the start: no echo of the PC's frames back to it, no newline
    // translation of bytes that happen to be 0x0A or 0x0D.
    termios settings{};
    if (::tcgetattr(keeper, &settings) < 0)
        return fail("tcgetattr");
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B1200);
    settings.c_cflag |= CSTOPB | CLOCAL | CREAD;
    if (::tcsetattr(keeper, TCSANOW, &settings) < 0)
        return fail("tcsetattr");
    path = QString::fromLocal8Bit(name);
    return true;
}

} // namespace

bool DisplayEmulator::open()
{
    if (d->master >= 0)
        return true;
    // The kernel reuses pty numbers at once; one whose name a PC-side port
    // still holds locked would be refused to the PC, so take the next one
    // while holding the refused ones, then let them go.
    constexpr int Attempts = 32;
    QList<std::pair<int, int>> refused;
    int master = -1;
    int keeper = -1;
    QString path;
    bool opened = false;
    for (int i = 0; i < Attempts && !opened; ++i) {
        if (!openPty(master, keeper, path, d->error))
            break;
        opened = !serialPortLockHeld(path);
        if (!opened) {
            refused.append({master, keeper});
            d->error = QStringLiteral("every pty offered is locked by a serial port");
        }
    }
    for (const auto &[refusedMaster, refusedKeeper] : refused) {
        ::close(refusedKeeper);
        ::close(refusedMaster);
    }
    if (!opened)
        return false;

    d->master = master;
    d->slaveKeeper = keeper;
    d->path = path;
    d->error.clear();
    d->readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(d->readNotifier, &QSocketNotifier::activated, this, [this] { d->readFromPc(); });
    d->writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
    d->writeNotifier->setEnabled(false);
    connect(d->writeNotifier, &QSocketNotifier::activated, this, [this] { d->writeToPc(); });
    return true;
}

QString DisplayEmulator::slavePath() const
{
    return d->path;
}

void DisplayEmulator::closePort()
{
    if (d->master < 0)
        return;
    ++d->generation;
    // Notifiers go before their descriptor; later, since this may run inside
    // one of their own signals.
    for (QSocketNotifier *notifier : {d->readNotifier, d->writeNotifier}) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    d->readNotifier = nullptr;
    d->writeNotifier = nullptr;
    ::close(d->master);
    ::close(d->slaveKeeper);
    d->master = -1;
    d->slaveKeeper = -1;
    d->parser = FrameParser(); // a new port starts with no half frame
    d->dropped += bytesPending();
    d->out.clear();
    d->queuedBytes = 0;
}

QString DisplayEmulator::errorString() const
{
    return d->error;
}

void DisplayEmulator::setDefaultReply(const Reply &reply)
{
    d->defaultReply = reply;
}

void DisplayEmulator::setReply(int frameIndex, const Reply &reply)
{
    d->replies.insert(frameIndex, reply);
}

void DisplayEmulator::answerOnlyFirst(int count)
{
    d->answerLimit = count;
}

void DisplayEmulator::send(const QByteArray &bytes)
{
    d->queue(bytes);
}

void DisplayEmulator::flood(qint64 byteCount)
{
    if (d->master < 0 || byteCount <= 0)
        return;
    Private::Segment segment;
    segment.floodLeft = byteCount;
    d->out.push_back(segment);
    d->writeToPc();
}

QList<ReceivedFrame> DisplayEmulator::frames() const
{
    return d->frames;
}

QByteArray DisplayEmulator::received() const
{
    return d->received;
}

qint64 DisplayEmulator::bytesWritten() const
{
    return d->written;
}

qint64 DisplayEmulator::bytesPending() const
{
    qint64 pending = d->queuedBytes;
    for (const Private::Segment &segment : d->out)
        pending += segment.floodLeft;
    return pending;
}

qint64 DisplayEmulator::bytesDropped() const
{
    return d->dropped;
}

} // namespace emulator
