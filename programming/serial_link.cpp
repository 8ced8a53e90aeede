#include "programming/serial_link.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>

#ifdef Q_OS_WIN
#include <QSerialPortInfo>

#include <algorithm>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

// Unread noise beyond this stays with the system (which bounds it in turn), so
// a chattering line cannot make the program grow.
constexpr qint64 ReadBufferLimit = 4096;

// How long closing may wait for written bytes to leave the port; the closing
// frame takes about 0.15 s at 1200 baud.
constexpr int DrainTimeoutMs = 2000;

#ifdef Q_OS_WIN
// The time bytes need on the line: 11 bits each (start, 8 data, 2 stop) at
// 1200 baud.
constexpr int lineTimeMs(qint64 bytes)
{
    return int((bytes * 11 * 1000 + 1199) / 1200);
}
// A frame is 16 bytes at most; the system is given that long and a margin to
// empty its output queue.
constexpr int FrameLineTimeMs = lineTimeMs(16);
constexpr int QueueMarginMs = 50;
#endif

// How long a read may wait for the port object to fetch bytes that the system
// already holds.
constexpr int FetchTimeoutMs = 100;

} // namespace

struct SerialLink::Private
{
    QSerialPort port;
    bool lost = false;
    QString openError; // the system's words for the last failed open
    // Changes at every opening and closing, so a loss reported late is dropped
    // when the port has been closed or opened again since.
    int opening = 0;

    // Bytes the system has received that the port object has not read yet.
    qint64 systemPending() const
    {
        if (!port.isOpen())
            return 0;
#ifdef Q_OS_WIN
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(reinterpret_cast<HANDLE>(port.handle()), &errors, &status))
            return 0;
        return qint64(status.cbInQue);
#else
        int count = 0;
        if (::ioctl(port.handle(), FIONREAD, &count) == -1)
            return 0;
        return count;
#endif
    }

    // False once the system has let go of the device.
    bool deviceAnswers() const
    {
#ifdef Q_OS_WIN
        DWORD errors = 0;
        COMSTAT status{};
        return ClearCommError(reinterpret_cast<HANDLE>(port.handle()), &errors, &status);
#else
        int count = 0;
        return ::ioctl(port.handle(), FIONREAD, &count) != -1;
#endif
    }

#ifdef Q_OS_WIN
    // Bytes read straight from the system by fetchHeld(): newer than all the
    // port object held then, older than all it reads after.
    QByteArray held;
    // The size of the last write since the port opened, 0 for none.
    qint64 lastWrite = 0;

    HANDLE handle() const
    {
        return reinterpret_cast<HANDLE>(port.handle());
    }

    // The port object learns of received bytes from the line's event, which
    // Wine never posts to the completion port it waits on; the replies would
    // stay with the system for good. Reads what the system holds directly.
    void fetchHeld()
    {
        const qint64 count = systemPending();
        const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (count <= 0 || event == nullptr) {
            if (event != nullptr)
                CloseHandle(event);
            return;
        }
        QByteArray bytes(count, Qt::Uninitialized);
        OVERLAPPED overlapped{};
        // The low bit keeps this read's completion out of the port object's queue.
        overlapped.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<quintptr>(event) | 1);
        DWORD read = 0;
        if (ReadFile(handle(), bytes.data(), DWORD(count), nullptr, &overlapped) ||
            GetLastError() == ERROR_IO_PENDING) {
            // The port reads without waiting (the port object set it so): the
            // read ends at once with what there is.
            if (WaitForSingleObject(event, FetchTimeoutMs) != WAIT_OBJECT_0) {
                CancelIoEx(handle(), &overlapped);
                WaitForSingleObject(event, INFINITE);
            }
            if (GetOverlappedResult(handle(), &overlapped, &read, FALSE))
                held.append(bytes.constData(), qsizetype(read));
        }
        CloseHandle(event);
    }
#endif

    static OpenResult openFailure(QSerialPort::SerialPortError error, const QString &name)
    {
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return OpenResult::NoSuchPort;
        case QSerialPort::PermissionError:
#ifndef Q_OS_WIN
            // The port refuses busy devices and devices this user may not use
            // alike; the system tells them apart.
            if (::access(QFile::encodeName(name).constData(), R_OK | W_OK) != 0)
                return errno == EACCES ? OpenResult::NotPermitted : OpenResult::NoSuchPort;
#else
            Q_UNUSED(name)
#endif
            return OpenResult::Busy;
        case QSerialPort::OpenError:
            return OpenResult::Busy;
        default:
            return OpenResult::OtherFailure;
        }
    }

    // DTR on, RTS off. Pseudo-terminals and some virtual ports have no modem
    // lines and refuse to set them; every other refusal (a failing adapter,
    // an I/O error) fails the open.
    bool setModemLines()
    {
#ifdef Q_OS_WIN
        // Windows says "not supported" or "invalid parameter" then, which Qt
        // names no better than any other error: the system is asked directly.
        const auto setLine = [this](DWORD function) {
            if (EscapeCommFunction(handle(), function))
                return true;
            const DWORD error = GetLastError();
            openError = qt_error_string(int(error));
            return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER;
        };
        return setLine(SETDTR) && setLine(CLRRTS);
#else
        // Linux says "Inappropriate ioctl", an unsupported operation.
        const auto setLine = [this](bool ok) {
            if (ok)
                return true;
            const QSerialPort::SerialPortError error = port.error();
            openError = port.errorString();
            port.clearError();
            return error == QSerialPort::UnsupportedOperationError;
        };
        return setLine(port.setDataTerminalReady(true)) && setLine(port.setRequestToSend(false));
#endif
    }

#ifndef Q_OS_WIN
    // The port object puts the line's earlier settings back as it closes, and
    // Qt 6 has no switch for it; the line must keep its speed and frame for
    // the display. The device is let go first: its descriptor is left naming
    // /dev/null, which the port object then "restores" and closes. Its end of
    // exclusive use would land there too, and a pseudo-terminal stays
    // exclusive for as long as its other end is open: ended here, so that the
    // next program, root or not, can open the device.
    void releaseDevice()
    {
        const int descriptor = int(port.handle());
        ::ioctl(descriptor, TIOCNXCL);
        const int nowhere = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (nowhere < 0)
            return;
        if (::dup2(nowhere, descriptor) == descriptor)
            ::fcntl(descriptor, F_SETFD, FD_CLOEXEC);
        ::close(nowhere);
    }
#endif

    // Waits, boundedly, until every written byte has left the port.
    void drain()
    {
        const QDeadlineTimer deadline(DrainTimeoutMs);
        while (port.bytesToWrite() > 0 && !deadline.hasExpired()) {
            if (!port.waitForBytesWritten(int(deadline.remainingTime())))
                break;
        }
#ifdef Q_OS_WIN
        // FlushFileBuffers returns once the driver has handed the bytes on,
        // while the UART or the adapter may still hold them; the system says
        // when its output queue is empty, and the last bytes then still need
        // their time on the line.
        FlushFileBuffers(handle());
        if (lastWrite > 0) {
            const QDeadlineTimer queueEmpty(FrameLineTimeMs + QueueMarginMs);
            DWORD errors = 0;
            COMSTAT status{};
            while (ClearCommError(handle(), &errors, &status) && status.cbOutQue > 0 &&
                   !queueEmpty.hasExpired())
                Sleep(1);
            Sleep(DWORD(lineTimeMs(qMin<qint64>(lastWrite, 16))));
        }
#else
        while (::tcdrain(port.handle()) == -1 && errno == EINTR) {
        }
#endif
    }
};

SerialLink::SerialLink(QObject *parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->port.setReadBufferSize(ReadBufferLimit);
    connect(&d->port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) {
                switch (error) {
                case QSerialPort::ResourceError:
                case QSerialPort::ReadError:
                case QSerialPort::WriteError:
                    // A vanished device (an adapter pulled out, the far end of a pty
                    // closed) fails reads and writes. So does a read woken by bytes
                    // that a discard took meanwhile; the device is still there then
                    // and must answer the system.
                    if (d->port.isOpen() && d->deviceAnswers()) {
                        d->port.clearError();
                        rearmReading();
                    } else {
                        markLost();
                    }
                    break;
                default:
                    break;
                }
            });
}

SerialLink::~SerialLink()
{
    close();
}

SerialLink::OpenResult SerialLink::open(const QString &name)
{
    if (d->port.isOpen())
        close();

    if (name.isEmpty())
        return OpenResult::NoSuchPort;

    d->port.setPortName(name);
    d->port.setBaudRate(QSerialPort::Baud1200);
    d->port.setDataBits(QSerialPort::Data8);
    d->port.setParity(QSerialPort::NoParity);
    d->port.setStopBits(QSerialPort::TwoStop);
    d->port.setFlowControl(QSerialPort::NoFlowControl);

    if (!d->port.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = d->port.error();
        d->openError = d->port.errorString();
        d->port.clearError();
        return d->openFailure(error, name);
    }
    if (!d->setModemLines()) {
        d->port.close();
        return OpenResult::OtherFailure;
    }

    d->lost = false;
#ifdef Q_OS_WIN
    d->lastWrite = 0;
#endif
    ++d->opening;
    return OpenResult::Opened;
}

bool SerialLink::deviceExists(const QString &name)
{
#ifdef Q_OS_WIN
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    return std::any_of(ports.begin(), ports.end(), [&](const QSerialPortInfo &port) {
        return port.portName().compare(name, Qt::CaseInsensitive) == 0;
    });
#else
    return QFileInfo::exists(name);
#endif
}

bool SerialLink::PortOpen() const
{
    return d->port.isOpen() && !d->lost;
}

QString SerialLink::errorString() const
{
    return d->openError;
}

bool SerialLink::Output(const QByteArray &bytes)
{
    if (!PortOpen())
        return false;
    if (d->port.write(bytes) != bytes.size()) {
        markLost();
        return false;
    }
    // Hands the bytes to the system at once; the reply is never waited for here.
    d->port.flush();
#ifdef Q_OS_WIN
    d->lastWrite = bytes.size();
#endif
    return !d->lost;
}

int SerialLink::InBufferCount()
{
    if (!PortOpen())
        return 0;
    qint64 count = d->port.bytesAvailable() + d->systemPending();
#ifdef Q_OS_WIN
    count += d->held.size();
#endif
    return int(qMin<qint64>(count, 0x7fffffff));
}

int SerialLink::Input()
{
    if (!PortOpen())
        return -1;
#ifdef Q_OS_WIN
    const bool nothingHeld = d->held.isEmpty();
#else
    const bool nothingHeld = true;
#endif
    if (d->port.bytesAvailable() == 0 && nothingHeld && d->systemPending() > 0) {
        // The bytes are with the system already. On Windows the port object
        // fetches them in two overlapped steps (the line's event, then the
        // read), so a wait of no time at all may end before the read began.
        const QDeadlineTimer deadline(FetchTimeoutMs);
        while (d->port.bytesAvailable() == 0 && !deadline.hasExpired() &&
               d->port.waitForReadyRead(int(deadline.remainingTime()))) {
        }
#ifdef Q_OS_WIN
        if (d->port.bytesAvailable() == 0) {
            d->port.clearError();
            d->fetchHeld();
        }
#endif
    }
#ifdef Q_OS_WIN
    if (!d->held.isEmpty()) {
        const int byte = static_cast<unsigned char>(d->held.front());
        d->held.remove(0, 1);
        return byte;
    }
#endif
    char byte = 0;
    if (!d->port.getChar(&byte))
        return -1;
    return int(static_cast<unsigned char>(byte));
}

void SerialLink::discardInput()
{
    if (!PortOpen())
        return;
    d->port.clear(QSerialPort::Input);
#ifdef Q_OS_WIN
    d->held.clear();
#endif
    rearmReading();
}

void SerialLink::rearmReading()
{
    // The port stops taking in bytes when its buffer was full or a read
    // failed, until someone reads from it with nothing buffered.
    if (d->port.bytesAvailable() == 0)
        d->port.readAll();
}

void SerialLink::close()
{
    if (!d->port.isOpen())
        return;
    if (!d->lost)
        d->drain();
#ifndef Q_OS_WIN
    d->releaseDevice();
#endif
    d->port.close();
    d->port.clearError();
#ifdef Q_OS_WIN
    d->held.clear();
#endif
    // A loss not yet reported is moot once the port is closed on purpose.
    ++d->opening;
}

qintptr SerialLink::handle() const
{
    return PortOpen() ? qintptr(d->port.handle()) : -1;
}

void SerialLink::markLost()
{
    if (!d->port.isOpen() || d->lost)
        return;
    d->lost = true;
    // Closed and reported from the event loop, never inside the port's own
    // notification nor inside the handler that is writing.
    const int opening = d->opening;
    QMetaObject::invokeMethod(
        this,
        [this, opening] {
            if (opening != d->opening)
                return;
            if (d->port.isOpen()) {
                d->port.close();
                d->port.clearError();
            }
            emit portLost();
        },
        Qt::QueuedConnection);
}
