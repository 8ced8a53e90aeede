// Standard input on Unix: a descriptor the event loop watches.

#include "cli/input_lines.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

InputLines::InputLines(QObject *parent) : QObject(parent)
{
    auto *notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        char bytes[4096];
        const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (n > 0)
            return received(bytes, n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        m_ended = true;
        notifier->setEnabled(false);
    });
}

bool InputLines::isTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}
