#pragma once

// The port number the user chose in the port dialog.

#include <QtGlobal>

namespace Module1 {

// The chosen port COMn as its n, 1..255; 0 means that no port was chosen. Only
// the port dialog writes it; the device behind it travels to the main window
// as a value.
extern quint8 NumerPortu;

} // namespace Module1
