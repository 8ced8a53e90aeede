#pragma once

// What each system's file (termination_unix.cpp, termination_windows.cpp)
// defines: the system's ways to be told to end, watched while context lives.

#include "programming/termination.h"

#include <functional>

class QObject;

void watchTermination(QObject *context, const std::function<void(int)> &end);
