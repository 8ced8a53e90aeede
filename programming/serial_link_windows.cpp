// The serial link's ways on Windows: a COM port by its name, the system's
// communication status for the bytes it holds, and a drain that also waits
// for the UART's or the adapter's queue.

#include "programming/serial_link_p.h"

#include <QDeadlineTimer>
#include <QSerialPortInfo>

#include <algorithm>

namespace {

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

// How long a read straight from the system may take.
constexpr int FetchTimeoutMs = 100;

} // namespace

qint64 SerialLink::Private::systemPending() const
{
    DWORD errors = 0;
    COMSTAT status{};
    if (!port.isOpen() || !ClearCommError(handle(), &errors, &status))
        return 0;
    return qint64(status.cbInQue);
}

bool SerialLink::Private::deviceAnswers() const
{
    DWORD errors = 0;
    COMSTAT status{};
    return ClearCommError(handle(), &errors, &status);
}

Link::OpenResult SerialLink::Private::openFailure(QSerialPort::SerialPortError error,
                                                  const QString &) const
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenResult::NoSuchPort;
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
        return OpenResult::Busy;
    default:
        return OpenResult::OtherFailure;
    }
}

bool SerialLink::Private::setModemLines()
{
    // A port without modem lines (a virtual one, Wine's pseudo-terminal)
    // says "not supported" or "invalid parameter", which Qt names no better
    // than any other error: the system is asked directly.
    const auto setLine = [this](DWORD function) {
        if (EscapeCommFunction(handle(), function))
            return true;
        const DWORD error = GetLastError();
        openError = qt_error_string(int(error));
        return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER;
    };
    return setLine(SETDTR) && setLine(CLRRTS);
}

void SerialLink::Private::opened()
{
    lastWrite = 0;
}

void SerialLink::Private::wrote(qint64 bytes)
{
    lastWrite = bytes;
}

void SerialLink::Private::fetchHeld()
{
    // The port object learns of received bytes from the line's event, which
    // Wine never posts to the completion port it waits on; the replies would
    // stay with the system for good. Reads what the system holds directly.
    port.clearError();
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

bool SerialLink::Private::drain()
{
    // FlushFileBuffers returns once the driver has handed the bytes on,
    // while the UART or the adapter may still hold them; the system says
    // when its output queue is empty, and the last bytes then still need
    // their time on the line.
    const bool flushed = FlushFileBuffers(handle());
    if (lastWrite > 0) {
        const QDeadlineTimer queueEmpty(FrameLineTimeMs + QueueMarginMs);
        DWORD errors = 0;
        COMSTAT status{};
        while (ClearCommError(handle(), &errors, &status) && status.cbOutQue > 0 &&
               !queueEmpty.hasExpired())
            Sleep(1);
        Sleep(DWORD(lineTimeMs(qMin<qint64>(lastWrite, 16))));
    }
    return flushed;
}

void SerialLink::Private::release()
{
    // The port object's own close keeps the line's settings (see
    // scripts/qt-patches).
}

bool SerialLink::deviceExists(const QString &name) const
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    return std::any_of(ports.begin(), ports.end(), [&](const QSerialPortInfo &port) {
        return port.portName().compare(name, Qt::CaseInsensitive) == 0;
    });
}
