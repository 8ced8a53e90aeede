#pragma once

// What the serial link keeps, and the few things each system does its own
// way; serial_link_unix.cpp and serial_link_windows.cpp each define them.

#include "programming/serial_link.h"

#include <QSerialPort>

#include <chrono>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

struct SerialLink::Private
{
    QSerialPort port;
    bool lost = false;
    QString openError; // the system's words for the last failed open
    // Changes at every opening and closing, so a loss reported late is dropped
    // when the port has been closed or opened again since.
    int opening = 0;

    // Bytes the system has received that the port object has not read yet.
    qint64 systemPending() const;
    // False once the system has let go of the device.
    bool deviceAnswers() const;
    // Why the port object refused to open the device.
    OpenResult openFailure(QSerialPort::SerialPortError error, const QString &name) const;
    // DTR on, RTS off; false when the port refuses it for another reason than
    // having no modem lines (pseudo-terminals and some virtual ports have none).
    bool setModemLines();
    // After an open, and after each write of this many bytes.
    void opened();
    void wrote(qint64 bytes);
    // Reads into held what the system holds, when the port object has not
    // fetched it in time.
    void fetchHeld();
    // The name the port object opens for the port name.
    static QString systemName(const QString &name);
    // Waits until every written byte has left the port, but on Windows not
    // past deadline; false when they may not have.
    bool drain(std::chrono::steady_clock::time_point deadline);
    // Just before the port object closes the device.
    void release();

    // Bytes read straight from the system by fetchHeld(): newer than all the
    // port object held then, older than all it reads after.
    QByteArray held;

#ifdef Q_OS_WIN
    HANDLE handle() const
    {
        return reinterpret_cast<HANDLE>(port.handle());
    }
    // When the line will have carried the last byte written, at 1200 baud.
    std::chrono::steady_clock::time_point lineFreeAt;
#endif
};
