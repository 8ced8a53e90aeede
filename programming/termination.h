#pragma once

// The ways the program is told to end from outside, turned into a normal end:
// SIGTERM, SIGHUP and SIGINT (Unix: a shutdown, a closed terminal, Ctrl+C),
// on Windows a console's Ctrl+C and its close and, for a console program, the
// session ending (shut-down, log-off), and the application about to quit (a
// windowed program's session ending). The handler only records what came; the
// end itself runs in the event loop.

#include <functional>

class QObject;

namespace termination {

// The signals by their Unix numbers, which also give a program's exit code
// after one (128 + the number). Windows has no such signals: a console's
// Ctrl+C or Ctrl+Break counts as Interrupt, its close and the session's end
// as Hangup. A second Ctrl+C, or a close after one, ends a console program
// at once, as Windows ends any console program (exit code 0xC000013A).
inline constexpr int Hangup = 1;
inline constexpr int Interrupt = 2;
inline constexpr int Terminate = 15;
// The application is about to quit; no signal.
inline constexpr int Quit = 0;

} // namespace termination

// Calls end, in the event loop, with what came (a number above) whenever one
// of these comes; while context lives. The signals, and a console's events,
// are taken over from the first call on.
void onTermination(QObject *context, std::function<void(int signal)> end);
