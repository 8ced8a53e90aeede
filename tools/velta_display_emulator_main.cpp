// Plays the VELTA-ORSO display on a pseudo-terminal, for trying screenprog by
// hand: prints the device path to open, then one line per frame received.

#include "tools/display_emulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

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
    QString link;
};

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
    const QCommandLineOption link("link", "Also make PATH a symbolic link to the device.", "PATH");
    parser.setApplicationDescription(
        "Plays the VELTA-ORSO display on a pseudo-terminal. Prints the device to open, then one "
        "line per frame received and what was answered. Runs until interrupted.");
    parser.addHelpOption();
    parser.addOptions(
        {silent, answerFirst, late, wrongByte, wrongCase, partial, garbage, flood, link});
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
    if (!number(answerFirst, answerCount) || !number(late, delay) || !number(flood, options.flood))
        return std::nullopt;
    if (answerCount > INT_MAX || delay > INT_MAX) {
        err << "--answer-first and --late are too large.\n";
        return std::nullopt;
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
    QObject::connect(&display, &emulator::DisplayEmulator::frameReceived, &app,
                     [&](const emulator::ReceivedFrame &frame) {
                         out << stamp() << "  " << frame.description << "  -> "
                             << emulator::describeReply(frame.reply) << Qt::endl;
                         if (!flooded) {
                             flooded = true;
                             display.flood(options->flood);
                             out << stamp() << "  flooding " << options->flood << " bytes"
                                 << Qt::endl;
                         }
                     });
    QObject::connect(&display, &emulator::DisplayEmulator::bytesSkipped, &app,
                     [&](const QByteArray &bytes) {
                         out << stamp() << "  skipped " << bytes.size()
                             << " bytes that start no frame: " << bytes.left(32).toHex(' ')
                             << (bytes.size() > 32 ? " ..." : "") << Qt::endl;
                     });

    const int status = app.exec();
    // Only our own link goes: someone may have pointed it elsewhere meanwhile.
    if (!options->link.isEmpty() && QFileInfo(options->link).symLinkTarget() == display.slavePath())
        QFile::remove(options->link);
    display.closePort();
    return status;
}
