#pragma once

// The numbers of the program's messages; their texts are in messages.txt.

namespace messages {

inline constexpr int EepromProgrammed = 100;          // the EEPROM upload has ended
inline constexpr int CurrentProgrammed = 101;         // the RAM upload has ended
inline constexpr int DisplayCommunicationError = 200; // the display did not answer as it should
inline constexpr int PortBusy = 201;                  // another program holds the port
inline constexpr int NoSerialPorts = 202;             // the machine has no serial port
inline constexpr int PortUnavailable = 203;           // the port cannot be used

} // namespace messages
