// Plays the VELTA-ORSO display on a pseudo-terminal, for trying screenprog by
// hand: prints the device path to open, then one line per frame received.
// With --record it also writes every event in a form a script can check:
// the frame's bytes and the monotonic time its last byte arrived.

#include "tools/display_emulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSocketNotifier>
#include <QTextStream>

#include <chrono>
#include <climits>
#include <csignal>
#include <memory>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using emulator::Reply;

int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[0], &byte, 1);
}

// SIGINT and SIGTERM end the event loop, so the symlink is removed and the pty
// closed on the way out.
bool quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        [[maybe_unused]] const ssize_t ignored = ::read(signalPipe[1], &byte, 1);
        app.quit();
    });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

struct Options
{
    Reply reply;
    int answerFirst = -1;
    qint64 flood = 0;
    int floodAt = 0;
    QHash<int, Reply> faults; // by frame index
    int closeAt = -1;
    QString link;
    QString record;
};

// The options, as --help lists them.
struct OptionNames
{
    QCommandLineOption silent{"silent", "Answer no frame."};
    QCommandLineOption answerFirst{"answer-first", "Answer only the first N frames.", "N"};
    QCommandLineOption late{"late", "Answer MS milliseconds after each frame.", "MS"};
    QCommandLineOption wrongByte{"wrong-byte",
                                 "Answer with the acknowledgement's last byte changed."};
    QCommandLineOption wrongCase{"wrong-case", "Answer \"OKFNEXT\" instead of \"OKfNEXT\"."};
    QCommandLineOption partial{"partial", "Answer the first 7 bytes of the acknowledgement."};
    QCommandLineOption garbage{"garbage-after",
                               "Send these bytes after every answer, written in hex.", "HEX"};
    QCommandLineOption flood{"flood", "After the first frame, send BYTES bytes of noise.", "BYTES"};
    QCommandLineOption floodAt{"flood-at", "Start the --flood after frame N (0 first) instead.",
                               "N"};
    QCommandLineOption faultAt{
        "fault-at",
        "Answer frame N (0 first) otherwise: N:silent, N:wrong-byte, N:wrong-case, N:partial, "
        "N:late=MS or N:garbage=HEX. May be given for several frames.",
        "N:KIND"};
    QCommandLineOption closeAt{
        "close-at", "Close the device, unanswered, when frame N (0 first) has arrived.", "N"};
    QCommandLineOption link{"link", "Also make PATH a symbolic link to the device.", "PATH"};
    QCommandLineOption record{
        "record",
        "Also write every event to FILE, one line each: \"frame INDEX SECONDS HEX REPLY\", "
        "\"skipped SECONDS HEX\", \"flood SECONDS BYTES\", \"closed SECONDS\" and at the end "
        "\"end SECONDS received=N written=N pending=N dropped=N\"; SECONDS on the system's "
        "monotonic clock.",
        "FILE"};
};

// Bytes written in hex, blanks allowed between them; nothing when the text is
// empty or not whole bytes of hex digits.
std::optional<QByteArray> hexBytes(QString text)
{
    const QByteArray hex = text.remove(u' ').toLatin1();
    const QByteArray bytes = QByteArray::fromHex(hex);
    if (hex.isEmpty() || bytes.toHex().compare(hex, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return bytes;
}

// A whole number from 0 to INT_MAX.
std::optional<int> count(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < 0 || value > INT_MAX)
        return std::nullopt;
    return int(value);
}

// "N:KIND" for --fault-at: the answer to frame N (0 first), one of silent,
// wrong-byte, wrong-case, partial, late=MS (the acknowledgement MS ms late)
// or garbage=HEX (these bytes instead of the acknowledgement).
std::optional<std::pair<int, Reply>> parseFault(const QString &text)
{
    const std::optional<int> index = count(text.section(u':', 0, 0));
    const QString kind = text.section(u':', 1);
    const QHash<QString, Reply::Kind> plain{{"silent", Reply::Silent},
                                            {"wrong-byte", Reply::WrongByte},
                                            {"wrong-case", Reply::WrongCase},
                                            {"partial", Reply::Partial}};
    Reply reply;
    if (plain.contains(kind)) {
        reply.kind = plain.value(kind);
    } else if (kind.startsWith(u"late=")) {
        const std::optional<int> delay = count(kind.mid(5));
        if (!delay)
            return std::nullopt;
        reply.delayMs = *delay;
    } else if (const auto bytes =
                   kind.startsWith(u"garbage=") ? hexBytes(kind.mid(8)) : std::nullopt) {
        reply = {Reply::Silent, 0, *bytes};
    } else {
        return std::nullopt;
    }
    if (!index)
        return std::nullopt;
    return std::pair{*index, reply};
}

// The one kind of answer to every frame that --silent, --wrong-byte,
// --wrong-case or --partial asks for; nothing when more than one is given.
std::optional<Reply::Kind> replyKind(const QCommandLineParser &parser, const OptionNames &o)
{
    Reply::Kind kind = Reply::Acknowledge;
    int given = 0;
    for (const auto &[option, k] :
         {std::pair{&o.silent, Reply::Silent}, std::pair{&o.wrongByte, Reply::WrongByte},
          std::pair{&o.wrongCase, Reply::WrongCase}, std::pair{&o.partial, Reply::Partial}}) {
        if (parser.isSet(*option)) {
            kind = k;
            ++given;
        }
    }
    if (given > 1)
        return std::nullopt;
    return kind;
}

std::optional<Options> interpret(const QCommandLineParser &parser, const OptionNames &o);

// Reads the command line; on a mistake, says why on stderr and returns nothing.
std::optional<Options> readOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Plays the VELTA-ORSO display on a pseudo-terminal. Prints the device to open, then one "
        "line per frame received and what was answered. Runs until interrupted.");
    parser.addHelpOption();
    const OptionNames o;
    parser.addOptions({o.silent, o.answerFirst, o.late, o.wrongByte, o.wrongCase, o.partial,
                       o.garbage, o.flood, o.floodAt, o.faultAt, o.closeAt, o.link, o.record});
    parser.process(app);
    return interpret(parser, o);
}

// The options the command line gives, each checked; on a mistake, says why
// on stderr and returns nothing.
std::optional<Options> interpret(const QCommandLineParser &parser, const OptionNames &o)
{
    QTextStream err(stderr);
    Options options;
    const std::optional<Reply::Kind> kind = replyKind(parser, o);
    if (!kind) {
        err << "Choose one of --silent, --wrong-byte, --wrong-case and --partial.\n";
        return std::nullopt;
    }
    options.reply.kind = *kind;
    for (const auto &[option, value] :
         {std::pair{&o.answerFirst, &options.answerFirst},
          std::pair{&o.late, &options.reply.delayMs}, std::pair{&o.floodAt, &options.floodAt},
          std::pair{&o.closeAt, &options.closeAt}}) {
        const std::optional<int> number =
            parser.isSet(*option) ? count(parser.value(*option)) : *value;
        if (!number) {
            err << "--" << option->names().constFirst() << " needs a number from 0 to " << INT_MAX
                << ".\n";
            return std::nullopt;
        }
        *value = *number;
    }
    bool floodOk = true;
    options.flood = parser.isSet(o.flood) ? parser.value(o.flood).toLongLong(&floodOk) : 0;
    if (!floodOk || options.flood < 0) {
        err << "--flood needs a number of 0 or more.\n";
        return std::nullopt;
    }
    for (const QString &value : parser.values(o.faultAt)) {
        const auto fault = parseFault(value);
        if (!fault) {
            err << "--fault-at needs N:KIND, e.g. 3:silent, 2:late=900 or 1:garbage=00FF.\n";
            return std::nullopt;
        }
        options.faults.insert(fault->first, fault->second);
    }
    if (parser.isSet(o.garbage)) {
        const std::optional<QByteArray> bytes = hexBytes(parser.value(o.garbage));
        if (!bytes) {
            err << "--garbage-after needs bytes in hex, e.g. 00FF55.\n";
            return std::nullopt;
        }
        options.reply.extra = *bytes;
    }
    options.link = parser.value(o.link);
    options.record = parser.value(o.record);
    return options;
}

// Every reply the options ask for, set on the display.
void script(emulator::DisplayEmulator &display, const Options &options)
{
    display.setDefaultReply(options.reply);
    if (options.answerFirst >= 0)
        display.answerOnlyFirst(options.answerFirst);
    for (auto fault = options.faults.cbegin(); fault != options.faults.cend(); ++fault)
        display.setReply(fault.key(), fault.value());
    // The frame that closes the device goes unanswered.
    if (options.closeAt >= 0)
        display.setReply(options.closeAt, Reply{Reply::Silent, 0, {}});
}

// The --record file: one line an event, flushed, so that a script can follow
// while the emulator runs. Writes nothing when no file was asked for.
class Record
{
public:
    bool open(const QString &path)
    {
        m_file.setFileName(path);
        return path.isEmpty() ||
               m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    }
    QString errorString() const { return m_file.errorString(); }

    // "WHAT SECONDS DETAIL", SECONDS on the monotonic clock.
    void line(const QString &what, std::chrono::steady_clock::time_point at,
              const QString &detail = QString())
    {
        if (!m_file.isOpen())
            return;
        const auto us =
            std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch());
        QString text = what + u' ' + QString::number(double(us.count()) / 1e6, 'f', 6);
        if (!detail.isEmpty())
            text += u' ' + detail;
        m_file.write(text.toUtf8() + '\n');
        m_file.flush();
    }
    void line(const QString &what, const QString &detail = QString())
    {
        line(what, std::chrono::steady_clock::now(), detail);
    }

private:
    QFile m_file;
};

// The device also as a symbolic link, never in place of anything else.
bool makeLink(const QString &link, const QString &device, QTextStream &err)
{
    if (link.isEmpty())
        return true;
    const QFileInfo existing(link);
    if (existing.exists() && !existing.isSymLink()) {
        err << link << " exists and is no symbolic link; not replaced.\n";
        return false;
    }
    QFile::remove(link);
    if (!QFile::link(device, link)) {
        err << "Cannot make the link " << link << ".\n";
        return false;
    }
    return true;
}

// Tells each frame and each run of skipped bytes, on stdout and in the
// record; closes the device or starts the flood at the frames asked for.
void report(emulator::DisplayEmulator &display, const Options &options, Record &record,
            QTextStream &out)
{
    struct Progress
    {
        QElapsedTimer clock;
        int frameIndex = 0;
        bool flooded = false;
    };
    const auto progress = std::make_shared<Progress>();
    progress->clock.start();
    progress->flooded = options.flood == 0;
    const auto stamp = [progress] {
        return QStringLiteral("%1").arg(double(progress->clock.elapsed()) / 1000.0, 9, 'f', 3);
    };
    QObject::connect(&display, &emulator::DisplayEmulator::frameReceived, &display,
                     [=, &display, &record, &out](const emulator::ReceivedFrame &frame) {
                         const int index = progress->frameIndex++;
                         const QString reply = emulator::describeReply(frame.reply);
                         out << stamp() << "  " << frame.description << "  -> " << reply
                             << Qt::endl;
                         record.line(QStringLiteral("frame %1").arg(index), frame.at,
                                     QString::fromLatin1(frame.bytes.toHex()) + u' ' +
                                         QString(reply).replace(u' ', u'_'));
                         if (index == options.closeAt) {
                             display.closePort();
                             out << stamp() << "  closed the device" << Qt::endl;
                             record.line(QStringLiteral("closed"));
                         } else if (!progress->flooded && index >= options.floodAt) {
                             progress->flooded = true;
                             display.flood(options.flood);
                             out << stamp() << "  flooding " << options.flood << " bytes"
                                 << Qt::endl;
                             record.line(QStringLiteral("flood"), QString::number(options.flood));
                         }
                     });
    QObject::connect(&display, &emulator::DisplayEmulator::bytesSkipped, &display,
                     [=, &record, &out](const QByteArray &bytes) {
                         out << stamp() << "  skipped " << bytes.size()
                             << " bytes that start no frame: " << bytes.left(32).toHex(' ')
                             << (bytes.size() > 32 ? " ..." : "") << Qt::endl;
                         record.line(QStringLiteral("skipped"), QString::fromLatin1(bytes.toHex()));
                     });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("velta-display-emulator");
    const std::optional<Options> options = readOptions(app);
    if (!options)
        return 2;

    std::signal(SIGPIPE, SIG_IGN);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!quitOnSignals(app)) {
        err << "Cannot handle signals.\n";
        return 1;
    }
    emulator::DisplayEmulator display;
    if (!display.open()) {
        err << "Cannot open a pseudo-terminal: " << display.errorString() << "\n";
        return 1;
    }
    script(display, *options);
    Record record;
    if (!record.open(options->record)) {
        err << "Cannot write " << options->record << ": " << record.errorString() << "\n";
        return 1;
    }
    if (!makeLink(options->link, display.slavePath(), err))
        return 1;

    out << display.slavePath() << Qt::endl;
    report(display, *options, record, out);
    const int status = app.exec();

    record.line(QStringLiteral("end"),
                QStringLiteral("received=%1 written=%2 pending=%3 dropped=%4")
                    .arg(display.received().size())
                    .arg(display.bytesWritten())
                    .arg(display.bytesPending())
                    .arg(display.bytesDropped()));
    // Only our own link goes: someone may have pointed it elsewhere meanwhile.
    if (!options->link.isEmpty() && QFileInfo(options->link).symLinkTarget() == display.slavePath())
        QFile::remove(options->link);
    display.closePort();
    return status;
}
