#pragma once

// The ways the program is told to end from outside, turned into a normal end:
// SIGTERM, SIGHUP and SIGINT (Unix: a shutdown, a closed terminal, Ctrl+C),
// and the application about to quit (the session ending). The signal handler
// only writes a byte to a pipe; the end itself runs in the event loop.

#include <functional>

class QObject;

// Calls end, in the event loop, whenever one of these comes; while context
// lives. The signals are taken over from the first call on.
void onTermination(QObject *context, std::function<void()> end);
