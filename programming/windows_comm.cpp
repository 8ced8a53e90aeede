#include "programming/windows_comm.h"

#include <algorithm>

namespace windowsComm {

namespace {

// How often the output queue is asked while it empties.
constexpr std::chrono::milliseconds QueuePoll{2};

} // namespace

ModemLines setModemLines(WindowsCommApi &api, std::uint32_t &error)
{
    for (std::uint32_t function : {SetDtr, ClearRts}) {
        error = api.escape(function);
        if (error == DeviceNotConnected || error == DeviceRemoved)
            return ModemLines::Gone;
        // Any other refusal is the driver's: many virtual and redirector
        // ports have no modem lines, and the display needs none.
        if (error != 0)
            return ModemLines::Refused;
    }
    return ModemLines::Set;
}

bool drain(WindowsCommApi &api, Clock::time_point lineFreeAt, Clock::time_point deadline)
{
    // The driver's queue first, then the tail that a UART's or an adapter's
    // own buffer still sends after the queue has emptied.
    long queued = api.outputQueue();
    while (queued > 0 && api.now() < deadline) {
        api.sleepUntil(std::min(api.now() + QueuePoll, deadline));
        queued = api.outputQueue();
    }
    if (queued > 0) {
        api.purgeOutput();
        return false;
    }
    if (api.now() < lineFreeAt)
        api.sleepUntil(std::min(lineFreeAt, deadline));
    return lineFreeAt <= deadline;
}

} // namespace windowsComm
