// The serial link's ways on Windows: a COM port by its name, the system's
// communication status for the bytes it holds, the modem lines and the drain
// as windows_comm.h has them, and the serial device map for a port's return.

#include "programming/serial_link_p.h"
#include "programming/windows_comm.h"

#include <thread>

namespace {

// How long a read straight from the system may take, and a cancelled one
// may take to end.
constexpr DWORD FetchTimeoutMs = 100;

// The port's calls for the modem lines and the drain.
class PortCalls : public windowsComm::WindowsCommApi
{
public:
    explicit PortCalls(HANDLE handle) : m_handle(handle) {}

    std::uint32_t escape(std::uint32_t function) override
    {
        return EscapeCommFunction(m_handle, function) ? 0 : std::uint32_t(GetLastError());
    }
    long outputQueue() override
    {
        DWORD errors = 0;
        COMSTAT status{};
        return ClearCommError(m_handle, &errors, &status) ? long(status.cbOutQue) : -1;
    }
    void purgeOutput() override { PurgeComm(m_handle, PURGE_TXABORT | PURGE_TXCLEAR); }
    void sleepUntil(windowsComm::Clock::time_point time) override
    {
        std::this_thread::sleep_until(time);
    }
    windowsComm::Clock::time_point now() override { return windowsComm::Clock::now(); }

private:
    HANDLE m_handle;
};

// A read straight from the system; it lives until the system has let go of
// it, even when that is later than the program waits.
struct HeldRead
{
    QByteArray bytes;
    OVERLAPPED overlapped{};
    HANDLE event = nullptr;
};

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
    // Qt names the drivers' refusals no better than any other error: the
    // system is asked directly.
    PortCalls calls(handle());
    std::uint32_t error = 0;
    const windowsComm::ModemLines lines = windowsComm::setModemLines(calls, error);
    if (lines != windowsComm::ModemLines::Set)
        openError = qt_error_string(int(error));
    return lines != windowsComm::ModemLines::Gone;
}

void SerialLink::Private::opened()
{
    lineFreeAt = {};
}

void SerialLink::Private::wrote(qint64 bytes)
{
    lineFreeAt =
        std::max(lineFreeAt, std::chrono::steady_clock::now()) + windowsComm::lineTime(bytes);
}

void SerialLink::Private::fetchHeld()
{
    // The port object learns of received bytes from the line's event, which
    // Wine never posts to the completion port it waits on; the replies would
    // stay with the system for good. Reads what the system holds directly.
    port.clearError();
    const qint64 count = systemPending();
    if (count <= 0)
        return;
    auto *read = new HeldRead{QByteArray(count, Qt::Uninitialized), {}, nullptr};
    read->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (read->event == nullptr) {
        delete read;
        return;
    }
    // The low bit keeps this read's completion out of the port object's queue.
    read->overlapped.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<quintptr>(read->event) | 1);
    DWORD done = 0;
    bool finished = true;
    if (ReadFile(handle(), read->bytes.data(), DWORD(count), nullptr, &read->overlapped) ||
        GetLastError() == ERROR_IO_PENDING) {
        // The port reads without waiting (the port object set it so): the
        // read ends at once with what there is.
        if (WaitForSingleObject(read->event, FetchTimeoutMs) != WAIT_OBJECT_0) {
            CancelIoEx(handle(), &read->overlapped);
            finished = WaitForSingleObject(read->event, FetchTimeoutMs) == WAIT_OBJECT_0;
        }
        if (finished && GetOverlappedResult(handle(), &read->overlapped, &done, FALSE))
            held.append(read->bytes.constData(), qsizetype(done));
    }
    // A read the driver has not let go of even when cancelled keeps its
    // buffer: the system may still write into it.
    if (finished) {
        CloseHandle(read->event);
        delete read;
    }
}

QString SerialLink::Private::systemName(const QString &name)
{
    // As a device, whatever its case or kind (COM12, com12, CNCA0): the port
    // object adds the device prefix only to names that begin with "COM".
    return name.startsWith(QLatin1String("\\\\")) ? name : QStringLiteral("\\\\.\\") + name;
}

bool SerialLink::Private::drain(std::chrono::steady_clock::time_point deadline)
{
    PortCalls calls(handle());
    return windowsComm::drain(calls, lineFreeAt, deadline);
}

void SerialLink::Private::release()
{
    // The port object's own close keeps the line's settings (see
    // scripts/qt-patches).
}

bool SerialLink::deviceExists(const QString &name) const
{
    // The serial device map, which lists a port while its device is there;
    // a listing of the ports through SetupAPI would cost far more each second.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    bool found = false;
    for (DWORD index = 0; !found; ++index) {
        wchar_t valueName[256];
        wchar_t data[256];
        DWORD nameSize = 256, dataSize = sizeof data, type = 0;
        const LSTATUS status = RegEnumValueW(key, index, valueName, &nameSize, nullptr, &type,
                                             reinterpret_cast<BYTE *>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const QString port = QString::fromWCharArray(data, int(dataSize / sizeof(wchar_t)))
                                 .section(QChar(u'\0'), 0, 0);
        found = port.compare(name, Qt::CaseInsensitive) == 0;
    }
    RegCloseKey(key);
    return found;
}
