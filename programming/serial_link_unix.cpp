// The serial link's ways on Linux and other Unix systems: a device node
// opened by its path, FIONREAD for the bytes the system holds, tcdrain.

#include "programming/serial_link_p.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

qint64 SerialLink::Private::systemPending() const
{
    int count = 0;
    if (!port.isOpen() || ::ioctl(port.handle(), FIONREAD, &count) == -1)
        return 0;
    return count;
}

bool SerialLink::Private::deviceAnswers() const
{
    int count = 0;
    return ::ioctl(port.handle(), FIONREAD, &count) != -1;
}

Link::OpenResult SerialLink::Private::openFailure(QSerialPort::SerialPortError error,
                                                  const QString &name) const
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenResult::NoSuchPort;
    case QSerialPort::PermissionError:
        // The port refuses busy devices and devices this user may not use
        // alike; the system tells them apart.
        if (::access(QFile::encodeName(name).constData(), R_OK | W_OK) != 0)
            return errno == EACCES ? OpenResult::NotPermitted : OpenResult::NoSuchPort;
        return OpenResult::Busy;
    case QSerialPort::OpenError:
        return OpenResult::Busy;
    default:
        return OpenResult::OtherFailure;
    }
}

bool SerialLink::Private::setModemLines()
{
    // A port without modem lines says "Inappropriate ioctl", an unsupported
    // operation; any other refusal (a failing adapter, an I/O error) fails
    // the open.
    const auto setLine = [this](bool ok) {
        if (ok)
            return true;
        const QSerialPort::SerialPortError error = port.error();
        openError = port.errorString();
        port.clearError();
        return error == QSerialPort::UnsupportedOperationError;
    };
    return setLine(port.setDataTerminalReady(true)) && setLine(port.setRequestToSend(false));
}

void SerialLink::Private::opened() {}

void SerialLink::Private::wrote(qint64) {}

void SerialLink::Private::fetchHeld() {}

QString SerialLink::Private::systemName(const QString &name)
{
    return name;
}

bool SerialLink::Private::drain(std::chrono::steady_clock::time_point)
{
    // The system waits for the transmitter itself, at the line's speed.
    int result = 0;
    while ((result = ::tcdrain(port.handle())) == -1 && errno == EINTR) {
    }
    return result == 0;
}

void SerialLink::Private::release()
{
    // The port object puts the line's earlier settings back as it closes, and
    // Qt 6 has no switch for it; the line must keep its speed and frame for
    // the display. The device is let go first: its descriptor is left naming
    // /dev/null, which the port object then "restores" and closes. Its end of
    // exclusive use would land there too, and a pseudo-terminal stays
    // exclusive for as long as its other end is open: ended here, so that the
    // next program, root or not, can open the device.
    const int descriptor = int(port.handle());
    ::ioctl(descriptor, TIOCNXCL);
    const int nowhere = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nowhere < 0)
        return;
    if (::dup2(nowhere, descriptor) == descriptor)
        ::fcntl(descriptor, F_SETFD, FD_CLOEXEC);
    ::close(nowhere);
}

bool SerialLink::deviceExists(const QString &name) const
{
    return QFileInfo::exists(name);
}
