// How a Unix program hears that it is to end: SIGTERM, SIGHUP and SIGINT,
// through a pipe from the signal handler to the event loop.

#include "programming/termination_p.h"

#include <QObject>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

static_assert(SIGHUP == termination::Hangup && SIGINT == termination::Interrupt &&
              SIGTERM == termination::Terminate);

// The pipe from the signal handler to the event loop: [0] written, [1] read.
int signalPipe[2] = {-1, -1};

void writeToPipe(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    // Nothing else may be done here: a write is safe in a signal handler.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[0], &byte, 1);
    errno = saved;
}

bool takeOverSignals()
{
    if (signalPipe[0] >= 0)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = &writeToPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
    return true;
}

} // namespace

void watchTermination(QObject *context, const std::function<void(int)> &end)
{
    if (!takeOverSignals())
        return;
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [end] {
        char bytes[16];
        int signal = termination::Terminate;
        for (ssize_t n; (n = ::read(signalPipe[1], bytes, sizeof bytes)) > 0;)
            signal = bytes[n - 1];
        end(signal);
    });
}
