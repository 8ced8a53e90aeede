#pragma once

// The refresh timer: every 28 s while the display is in programming mode,
// from its acknowledgement of the programming request on, through the
// uploads, until the connection is lost or ends. Its owner connects
// timeout() to what sends the refresh (DeviceProgrammer::refresh).

#include <QTimer>

class DeviceProgrammer;

class RefreshTimer : public QTimer
{
public:
    explicit RefreshTimer(const DeviceProgrammer &programmer, QObject *parent = nullptr);
};
