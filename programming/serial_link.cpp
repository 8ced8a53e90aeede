#include "programming/serial_link.h"

#include "programming/serial_link_p.h"

#include <QDeadlineTimer>

namespace {

// Unread noise beyond this stays with the system (which bounds it in turn), so
// a chattering line cannot make the program grow.
constexpr qint64 ReadBufferLimit = 4096;

// How long a read may wait for the port object to fetch bytes that the system
// already holds.
constexpr int FetchTimeoutMs = 100;

// How long closing may wait for written bytes to leave, in all: the closing
// frame takes 0.15 s at 1200 baud, and a refresh written just before it as
// long again. A device that takes nothing more must not hold the program.
constexpr std::chrono::milliseconds CloseTimeout{800};

// Waits, until deadline at most, for the port object to hand every written
// byte to the system; false when it could not.
bool handOver(QSerialPort &port, std::chrono::steady_clock::time_point deadline)
{
    const QDeadlineTimer until(deadline);
    while (port.bytesToWrite() > 0 && !until.hasExpired()) {
        if (!port.waitForBytesWritten(int(until.remainingTime())))
            break;
    }
    return port.bytesToWrite() == 0;
}

} // namespace

SerialLink::SerialLink(QObject *parent) : Link(parent), d(std::make_unique<Private>())
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

Link::OpenResult SerialLink::open(const QString &name)
{
    if (d->port.isOpen())
        close();

    if (name.isEmpty())
        return OpenResult::NoSuchPort;

    d->port.setPortName(Private::systemName(name));
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
    d->opened();
    ++d->opening;
    return OpenResult::Opened;
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
    d->wrote(bytes.size());
    return !d->lost;
}

int SerialLink::InBufferCount()
{
    if (!PortOpen())
        return 0;
    const qint64 count = d->port.bytesAvailable() + d->systemPending() + d->held.size();
    return int(qMin<qint64>(count, 0x7fffffff));
}

int SerialLink::Input()
{
    if (!PortOpen())
        return -1;
    if (d->port.bytesAvailable() == 0 && d->held.isEmpty() && d->systemPending() > 0) {
        // The bytes are with the system already. On Windows the port object
        // fetches them in two overlapped steps (the line's event, then the
        // read), so a wait of no time at all may end before the read began.
        const QDeadlineTimer deadline(FetchTimeoutMs);
        while (d->port.bytesAvailable() == 0 && !deadline.hasExpired() &&
               d->port.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        if (d->port.bytesAvailable() == 0)
            d->fetchHeld();
    }
    if (!d->held.isEmpty()) {
        const int byte = static_cast<unsigned char>(d->held.front());
        d->held.remove(0, 1);
        return byte;
    }
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
    d->held.clear();
    rearmReading();
}

void SerialLink::rearmReading()
{
    // The port stops taking in bytes when its buffer was full or a read
    // failed, until someone reads from it with nothing buffered.
    if (d->port.bytesAvailable() == 0)
        d->port.readAll();
}

bool SerialLink::close()
{
    if (!d->port.isOpen())
        return true;
    bool drained = false;
    if (!d->lost) {
        const auto deadline = std::chrono::steady_clock::now() + CloseTimeout;
        const bool handedOver = handOver(d->port, deadline);
        drained = d->drain(deadline) && handedOver;
    }
    d->release();
    d->port.close();
    d->port.clearError();
    d->held.clear();
    // A loss not yet reported is moot once the port is closed on purpose.
    ++d->opening;
    return drained;
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
