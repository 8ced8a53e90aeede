#pragma once

// What the user is told when a serial port does not open: the same for the
// port dialog's test-open, the main window's own opening and the command line.

#include "programming/link.h"

#include <QString>

struct OpenFailureReport
{
    int message;    // 201 busy, 203 not available
    QString detail; // a line under the message saying why; may be empty
};

// busy: 201; not there: 203; a device this user may not open: 203 with the
// group that may; anything else: 203 with the system's own words (systemError).
OpenFailureReport reportOpenFailure(Link::OpenResult result, const QString &device,
                                    const QString &systemError);
