#pragma once

// The program's numbered messages: 100 and 101 report a finished upload, 200
// to 203 a failure. The boxes that show them live with the windows.

#include <QString>

namespace messages {

inline constexpr int EepromProgrammed = 100;
inline constexpr int CurrentProgrammed = 101;
inline constexpr int DisplayCommunicationError = 200;
inline constexpr int PortBusy = 201;
inline constexpr int NoSerialPorts = 202;
inline constexpr int PortUnavailable = 203;

// The text of message NumerKomunikatu; empty for a number the table lacks.
QString text(int NumerKomunikatu);

QString informationTitle(); // "Informacja"
QString warningTitle();     // "Ostrzeżenie"

} // namespace messages
