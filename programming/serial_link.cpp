#include "programming/serial_link.h"

struct SerialLink::Private
{
    QSerialPort port;
    int portNumber = 0;
};

SerialLink::SerialLink(QObject *parent) : QObject(parent), d(new Private) {}

SerialLink::~SerialLink()
{
    delete d;
}

void SerialLink::setCommPort(int portNumber)
{
    d->portNumber = portNumber;
}

int SerialLink::CommPort() const
{
    return d->portNumber;
}

SerialLink::OpenResult SerialLink::open()
{
    return OpenResult::OtherFailure;
}

bool SerialLink::PortOpen() const
{
    return d->port.isOpen();
}

bool SerialLink::Output(const QByteArray &)
{
    return false;
}

int SerialLink::InBufferCount()
{
    return 0;
}

int SerialLink::Input()
{
    return -1;
}

void SerialLink::discardInput() {}

void SerialLink::close() {}
