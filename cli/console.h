#pragma once

// What the command line says: results on stdout, messages and progress on
// stderr, in a form the terminal shows with its Polish letters (UTF-8, or on
// a Windows console the console's own wide characters).

#include <QString>

namespace console {

// A line of results.
void out(const QString &line);
// A line of messages; ends a progress line first.
void err(const QString &line);

// Whether stderr is a terminal, the only place a progress line goes.
bool errIsTerminal();
// Rewrites the progress line in place.
void progress(const QString &text);
// Ends the progress line, if there is one.
void endProgress();

} // namespace console
