#pragma once

// The two globals shared by the port dialog and the main window.

#include <QtGlobal>

class SerialLink;

namespace Module1 {

// The chosen port, 1..8; 0 means that no port was chosen. Only the port dialog
// writes it.
extern quint8 NumerPortu;

// The main window's port; bound once when the main window loads with a port.
extern SerialLink *PortKomunikacyjny;

} // namespace Module1
