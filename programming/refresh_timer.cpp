#include "programming/refresh_timer.h"

#include "programming/device_programmer.h"
#include "protocol/display.h"

RefreshTimer::RefreshTimer(const DeviceProgrammer &programmer, QObject *parent) : QTimer(parent)
{
    // A coarse timer may drift by a twentieth of its interval; the display
    // expects its refresh every 28 s.
    setTimerType(Qt::PreciseTimer);
    setInterval(protocol::RefreshInterval);
    connect(&programmer, &DeviceProgrammer::stateChanged, this, [this, &programmer] {
        if (!programmer.isConnected())
            stop();
        else if (!isActive())
            start();
    });
}
