#pragma once

// The serial port as the display logic uses it: a handful of named operations
// over QSerialPort, with the line fixed at 1200 baud, 8 data bits, no parity,
// 2 stop bits, no flow control, DTR on and RTS off.

#include <QObject>
#include <QString>

#include <memory>

class SerialLink : public QObject
{
    Q_OBJECT

public:
    // How an open ended. The port dialog tells the user NoSuchPort (message
    // 203) and Busy (message 201) apart; NotPermitted, a device this user may
    // not use (Unix), is message 203 with the reason. Anything else is
    // OtherFailure.
    enum class OpenResult { Opened, NoSuchPort, NotPermitted, Busy, OtherFailure };

    explicit SerialLink(QObject *parent = nullptr);
    ~SerialLink() override;

    // Opens the device the port dialog's entry holds: "COM3" on Windows,
    // "/dev/ttyUSB0" elsewhere. An empty name is no port.
    OpenResult open(const QString &name);
    bool PortOpen() const;
    // The system's own words for why the last open failed.
    QString errorString() const;

    // Whether the system has a device by this name now: the path exists
    // (Unix), the port is listed (Windows).
    static bool deviceExists(const QString &name);

    // Hands the bytes to the port and returns at once, without waiting for
    // any reply. False when the port refused them.
    bool Output(const QByteArray &bytes);

    // Bytes received and waiting, counting those the system holds that the
    // event loop has not read yet.
    int InBufferCount();

    // The next waiting byte, removed from the waiting bytes; -1 when none.
    int Input();

    // Throws away every waiting received byte.
    void discardInput();

    // Lets every byte already written leave the port, then closes it. The line
    // keeps its settings: a port object that put the earlier ones back on
    // close could change the speed under the last bytes still on the wire.
    void close();

    // The system's handle of the open port (a descriptor on Unix), -1 when
    // closed; for looking at the line as the system has set it.
    qintptr handle() const;

signals:
    // The port went away or refused a write while open (an adapter pulled
    // out). Delivered queued, once per opening, unless the port was closed on
    // purpose in between; the port is closed by then.
    void portLost();

private:
    // The port went away: no further reads or writes; closed and reported
    // once, from the event loop.
    void markLost();
    void rearmReading();

    struct Private;
    std::unique_ptr<Private> d;
};
