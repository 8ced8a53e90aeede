#pragma once

// What the serial link asks of a Windows COM port besides Qt's own calls: the
// modem lines, and a drain that always ends. Plain C++ over the few system
// calls they make (WindowsCommApi), with Windows' codes named apart from its
// macros, so that they run against the real port on Windows and against a
// scripted one in the tests anywhere.

#include <chrono>
#include <cstdint>

namespace windowsComm {

using Clock = std::chrono::steady_clock;

// GetLastError's codes that the modem lines meet.
inline constexpr std::uint32_t InvalidFunction = 1;   // a driver without the request
inline constexpr std::uint32_t GenFailure = 31;       // a device that stalls it
inline constexpr std::uint32_t NotSupported = 50;     // virtual ports, Wine's pseudo-terminals
inline constexpr std::uint32_t InvalidParameter = 87; // the same
inline constexpr std::uint32_t DeviceNotConnected = 1167;
inline constexpr std::uint32_t DeviceRemoved = 1617;

// EscapeCommFunction's functions.
inline constexpr std::uint32_t ClearRts = 4; // CLRRTS
inline constexpr std::uint32_t SetDtr = 5;   // SETDTR

class WindowsCommApi
{
public:
    virtual ~WindowsCommApi() = default;

    // EscapeCommFunction: 0 when done, GetLastError's code otherwise.
    virtual std::uint32_t escape(std::uint32_t function) = 0;
    // The bytes in the output queue (ClearCommError's cbOutQue); -1 when the
    // port does not say.
    virtual long outputQueue() = 0;
    // PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR): what is left is dropped.
    virtual void purgeOutput() = 0;
    virtual void sleepUntil(Clock::time_point time) = 0;
    virtual Clock::time_point now() = 0;
};

// How the request for DTR on and RTS off ended.
enum class ModemLines {
    Set,     // both lines set
    Refused, // the driver cannot set them: the port is used without
    Gone,    // the device went away meanwhile: the open fails
};
// Sets DTR on, then RTS off; error holds the code of a refusal.
ModemLines setModemLines(WindowsCommApi &api, std::uint32_t &error);

// The time bytes take on the line at 1200 baud, 11 bits each (a start bit,
// 8 data bits, 2 stop bits).
constexpr std::chrono::microseconds lineTime(std::int64_t bytes)
{
    return std::chrono::microseconds(bytes * 11 * 1'000'000 / 1200);
}

// Waits until the output queue is empty and the line has carried the last
// byte written (lineFreeAt: when it would have, written at 1200 baud), but
// never past deadline: a queue still not empty then is dropped. True when
// everything written has left.
bool drain(WindowsCommApi &api, Clock::time_point lineFreeAt, Clock::time_point deadline);

} // namespace windowsComm
