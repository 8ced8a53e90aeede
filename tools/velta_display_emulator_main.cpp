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
#include <cstdio>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

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
    emulator::Reply reply;
    int answerFirst = -1;
    qint64 flood = 0;
    int floodAt = 0;
    QHash<int, emulator::Reply> faults; // by frame index
    int closeAt = -1;
    QString link;
    QString record;
};

// "N:KIND" for --fault-at: the answer to frame N (0 first), one of silent,
// wrong-byte, wrong-case, partial, late=MS (the acknowledgement MS ms late)
// or garbage=HEX (these bytes instead of the acknowledgement).
std::optional<std::pair<int, emulator::Reply>> parseFault(const QString &text)
{
    const qsizetype colon = text.indexOf(u':');
    if (colon <= 0)
        return std::nullopt;
    bool ok = false;
    const int index = text.left(colon).toInt(&ok);
    if (!ok || index < 0)
        return std::nullopt;
    const QString kind = text.mid(colon + 1);
    emulator::Reply reply;
    if (kind == u"silent") {
        reply.kind = emulator::Reply::Silent;
    } else if (kind == u"wrong-byte") {
        reply.kind = emulator::Reply::WrongByte;
    } else if (kind == u"wrong-case") {
        reply.kind = emulator::Reply::WrongCase;
    } else if (kind == u"partial") {
        reply.kind = emulator::Reply::Partial;
    } else if (kind.startsWith(u"late=")) {
        reply.delayMs = kind.mid(5).toInt(&ok);
        if (!ok || reply.delayMs < 0)
            return std::nullopt;
    } else if (kind.startsWith(u"garbage=")) {
        const QByteArray hex = kind.mid(8).toLatin1();
        reply.kind = emulator::Reply::Silent;
        reply.extra = QByteArray::fromHex(hex);
        if (hex.isEmpty() || reply.extra.size() * 2 != hex.size() ||
            reply.extra.toHex().compare(hex, Qt::CaseInsensitive) != 0)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    return std::pair{index, reply};
}

// Reads the fault options; on a mistake prints why and returns nothing.
std::optional<Options> parseOptions(QCommandLineParser &parser, const QStringList &arguments)
{
    const QCommandLineOption silent("silent", "Answer no frame.");
    const QCommandLineOption answerFirst("answer-first", "Answer only the first N frames.", "N");
    const QCommandLineOption late("late", "Answer MS milliseconds after each frame.", "MS");
    const QCommandLineOption wrongByte("wrong-byte",
                                       "Answer with the acknowledgement's last byte changed.");
    const QCommandLineOption wrongCase("wrong-case", "Answer \"OKFNEXT\" instead of \"OKfNEXT\".");
    const QCommandLineOption partial("partial", "Answer the first 7 bytes of the acknowledgement.");
    const QCommandLineOption garbage("garbage-after",
                                     "Send these bytes after every answer, written in hex.", "HEX");
    const QCommandLineOption flood("flood", "After the first frame, send BYTES bytes of noise.",
                                   "BYTES");
    const QCommandLineOption floodAt("flood-at",
                                     "Start the --flood after frame N (0 first) instead.", "N");
    const QCommandLineOption faultAt(
        "fault-at",
        "Answer frame N (0 first) otherwise: N:silent, N:wrong-byte, N:wrong-case, N:partial, "
        "N:late=MS or N:garbage=HEX. May be given for several frames.",
        "N:KIND");
    const QCommandLineOption closeAt(
        "close-at", "Close the device, unanswered, when frame N (0 first) has arrived.", "N");
    const QCommandLineOption link("link", "Also make PATH a symbolic link to the device.", "PATH");
    const QCommandLineOption record(
        "record",
        "Also write every event to FILE, one line each: \"frame INDEX SECONDS HEX REPLY\", "
        "\"skipped SECONDS HEX\", \"flood SECONDS BYTES\", \"closed SECONDS\" and at the end "
        "\"end SECONDS received=N written=N pending=N dropped=N\"; SECONDS on the system's "
        "monotonic clock.",
        "FILE");
    parser.setApplicationDescription(
        "Plays the VELTA-ORSO display on a pseudo-terminal. Prints the device to open, then one "
        "line per frame received and what was answered. Runs until interrupted.");
    parser.addHelpOption();
    parser.addOptions({silent, answerFirst, late, wrongByte, wrongCase, partial, garbage, flood,
                       floodAt, faultAt, closeAt, link, record});
    parser.process(arguments);

    Options options;
    QTextStream err(stderr);
    int kinds = 0;
    const std::pair<const QCommandLineOption *, emulator::Reply::Kind> kindOptions[] = {
        {&silent, emulator::Reply::Silent},
        {&wrongByte, emulator::Reply::WrongByte},
        {&wrongCase, emulator::Reply::WrongCase},
        {&partial, emulator::Reply::Partial},
    };
    for (const auto &[option, kind] : kindOptions) {
        if (parser.isSet(*option)) {
            options.reply.kind = kind;
            ++kinds;
        }
    }
    if (kinds > 1) {
        err << "Choose one of --silent, --wrong-byte, --wrong-case and --partial.\n";
        return std::nullopt;
    }
    auto number = [&](const QCommandLineOption &option, qint64 &value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        value = parser.value(option).toLongLong(&ok);
        if (!ok || value < 0) {
            err << "--" << option.names().constFirst() << " needs a number of 0 or more.\n";
            return false;
        }
        return true;
    };
    qint64 answerCount = -1;
    qint64 delay = 0;
    qint64 floodIndex = 0;
    qint64 closeIndex = -1;
    if (!number(answerFirst, answerCount) || !number(late, delay) ||
        !number(flood, options.flood) || !number(floodAt, floodIndex) ||
        !number(closeAt, closeIndex))
        return std::nullopt;
    if (answerCount > INT_MAX || delay > INT_MAX || floodIndex > INT_MAX || closeIndex > INT_MAX) {
        err << "--answer-first, --late, --flood-at and --close-at are too large.\n";
        return std::nullopt;
    }
    options.floodAt = int(floodIndex);
    options.closeAt = int(closeIndex);
    for (const QString &value : parser.values(faultAt)) {
        const auto fault = parseFault(value);
        if (!fault) {
            err << "--fault-at needs N:KIND, e.g. 3:silent, 2:late=900 or 1:garbage=00FF.\n";
            return std::nullopt;
        }
        options.faults.insert(fault->first, fault->second);
    }
    options.answerFirst = int(answerCount);
    options.reply.delayMs = int(delay);
    if (parser.isSet(garbage)) {
        const QByteArray hex = parser.value(garbage).toLatin1().replace(' ', "");
        const auto decoded = QByteArray::fromHex(hex);
        if (hex.isEmpty() || hex.size() % 2 != 0 || decoded.size() * 2 != hex.size() ||
            decoded.toHex().compare(hex, Qt::CaseInsensitive) != 0) {
            err << "--garbage-after needs bytes in hex, e.g. 00FF55.\n";
            return std::nullopt;
        }
        options.reply.extra = decoded;
    }
    options.link = parser.value(link);
    options.record = parser.value(record);
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("velta-display-emulator");
    QCommandLineParser parser;
    const std::optional<Options> options = parseOptions(parser, app.arguments());
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
    display.setDefaultReply(options->reply);
    if (options->answerFirst >= 0)
        display.answerOnlyFirst(options->answerFirst);
    for (auto fault = options->faults.cbegin(); fault != options->faults.cend(); ++fault)
        display.setReply(fault.key(), fault.value());
    // The frame that closes the device goes unanswered.
    if (options->closeAt >= 0)
        display.setReply(options->closeAt, emulator::Reply{emulator::Reply::Silent, 0, {}});

    QFile recordFile(options->record);
    if (!options->record.isEmpty() &&
        !recordFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        err << "Cannot write " << options->record << ": " << recordFile.errorString() << "\n";
        return 1;
    }
    const auto seconds = [](std::chrono::steady_clock::time_point at) {
        const auto us =
            std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch());
        return QString::number(double(us.count()) / 1e6, 'f', 6);
    };
    // Line by line and flushed, so a script can follow while the program runs.
    const auto recordLine = [&](const QString &line) {
        if (!recordFile.isOpen())
            return;
        recordFile.write(line.toUtf8() + '\n');
        recordFile.flush();
    };

    if (!options->link.isEmpty()) {
        const QFileInfo existing(options->link);
        if (existing.exists() && !existing.isSymLink()) {
            err << options->link << " exists and is no symbolic link; not replaced.\n";
            return 1;
        }
        QFile::remove(options->link);
        if (!QFile::link(display.slavePath(), options->link)) {
            err << "Cannot make the link " << options->link << ".\n";
            return 1;
        }
    }

    out << display.slavePath() << Qt::endl;

    QElapsedTimer clock;
    clock.start();
    const auto stamp = [&clock] {
        return QStringLiteral("%1").arg(double(clock.elapsed()) / 1000.0, 9, 'f', 3);
    };
    bool flooded = options->flood == 0;
    int frameIndex = 0;
    QObject::connect(
        &display, &emulator::DisplayEmulator::frameReceived, &app,
        [&](const emulator::ReceivedFrame &frame) {
            const int index = frameIndex++;
            out << stamp() << "  " << frame.description << "  -> "
                << emulator::describeReply(frame.reply) << Qt::endl;
            recordLine(QStringLiteral("frame %1 %2 %3 %4")
                           .arg(index)
                           .arg(seconds(frame.at), QString::fromLatin1(frame.bytes.toHex()),
                                emulator::describeReply(frame.reply).replace(u' ', u'_')));
            if (index == options->closeAt) {
                display.closePort();
                out << stamp() << "  closed the device" << Qt::endl;
                recordLine(
                    QStringLiteral("closed %1").arg(seconds(std::chrono::steady_clock::now())));
                return;
            }
            if (!flooded && index >= options->floodAt) {
                flooded = true;
                display.flood(options->flood);
                out << stamp() << "  flooding " << options->flood << " bytes" << Qt::endl;
                recordLine(QStringLiteral("flood %1 %2")
                               .arg(seconds(std::chrono::steady_clock::now()))
                               .arg(options->flood));
            }
        });
    QObject::connect(&display, &emulator::DisplayEmulator::bytesSkipped, &app,
                     [&](const QByteArray &bytes) {
                         out << stamp() << "  skipped " << bytes.size()
                             << " bytes that start no frame: " << bytes.left(32).toHex(' ')
                             << (bytes.size() > 32 ? " ..." : "") << Qt::endl;
                         recordLine(QStringLiteral("skipped %1 %2")
                                        .arg(seconds(std::chrono::steady_clock::now()),
                                             QString::fromLatin1(bytes.toHex())));
                     });

    const int status = app.exec();
    recordLine(QStringLiteral("end %1 received=%2 written=%3 pending=%4 dropped=%5")
                   .arg(seconds(std::chrono::steady_clock::now()))
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
