#pragma once

// The way to the display, as the device logic uses it: a handful of named
// operations, whatever carries the bytes. A serial port is one such link
// (SerialLink), a serial device server on the network another (NetworkLink);
// each is opened with the display's line settings, 1200 baud,
// 8 data bits, no parity, 2 stop bits, DTR on and RTS off.

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class Link : public QObject
{
    Q_OBJECT

public:
    // How an open ended. Busy (message 201) and NoSuchPort (203) the user is
    // told apart; NotPermitted, a device this user may not use, is 203 with
    // the reason; anything else is OtherFailure, 203 with the system's words.
    enum class OpenResult { Opened, NoSuchPort, NotPermitted, Busy, OtherFailure };

    using QObject::QObject;

    // Opens the port by its name (a device, what the port dialog's entry
    // holds, a server's URL); an empty name is no port. Leaves the port as
    // the next program expects to find it when it closes. A link that has to
    // wait for the far end lets the event loop run meanwhile, for a bounded
    // time, and close() cuts the wait short.
    virtual OpenResult open(const QString &name) = 0;
    // True between a successful open and the close or the loss.
    virtual bool PortOpen() const = 0;
    // The system's own words for why the last open failed.
    virtual QString errorString() const = 0;

    // Hands the bytes on and returns at once, without waiting for any reply.
    // False when the port refused them.
    virtual bool Output(const QByteArray &bytes) = 0;
    // Bytes received and waiting, counting those the system holds that the
    // event loop has not read yet.
    virtual int InBufferCount() = 0;
    // The next waiting byte, removed from the waiting bytes; -1 when none.
    virtual int Input() = 0;
    // Throws away every waiting received byte.
    virtual void discardInput() = 0;

    // Lets every byte already written leave, then closes; the line keeps its
    // settings. False when written bytes could not be sent.
    virtual bool close() = 0;

    // Whether the port by this name is there now, to be opened again after
    // a loss (the device node, the listed port, a server that answers).
    // Cheap, and never blocks.
    virtual bool deviceExists(const QString &name) const = 0;

signals:
    // The port went away or refused a write while open (an adapter pulled
    // out). Delivered queued, once per opening, unless the port was closed on
    // purpose in between; the port is closed by then.
    void portLost();
};

// Makes the link that opens a port of this name.
using LinkFactory = std::function<std::unique_ptr<Link>(const QString &name)>;

// The link for a port name: a server on the network for socket://HOST:PORT
// and rfc2217://HOST:PORT, a serial port for any other name (a device, a
// listed name).
std::unique_ptr<Link> linkFor(const QString &name);
