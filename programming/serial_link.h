#pragma once

// A serial port as a link to the display, over QSerialPort: the line fixed at
// 1200 baud, 8 data bits, no parity, 2 stop bits, no flow control, DTR on and
// RTS off. What differs between the systems lives in serial_link_unix.cpp and
// serial_link_windows.cpp.

#include "programming/link.h"

#include <memory>

class SerialLink : public Link
{
    Q_OBJECT

public:
    explicit SerialLink(QObject *parent = nullptr);
    ~SerialLink() override;

    // The device the port dialog's entry holds: "COM3" on Windows,
    // "/dev/ttyUSB0" elsewhere.
    OpenResult open(const QString &name) override;
    bool PortOpen() const override;
    QString errorString() const override;
    bool Output(const QByteArray &bytes) override;
    int InBufferCount() override;
    int Input() override;
    void discardInput() override;
    // The line keeps its settings: a port object that put the earlier ones
    // back on close could change the speed under the last bytes on the wire.
    bool close() override;
    // The path exists (Unix), the port is listed (Windows).
    bool deviceExists(const QString &name) const override;

    // The system's handle of the open port (a descriptor on Unix), -1 when
    // closed; for looking at the line as the system has set it.
    qintptr handle() const;

    struct Private;

private:
    // The port went away: no further reads or writes; closed and reported
    // once, from the event loop.
    void markLost();
    void rearmReading();

    std::unique_ptr<Private> d;
};
