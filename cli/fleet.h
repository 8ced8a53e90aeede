#pragma once

// The displays of one command line: each --port programmed at once with the
// same request, each display on its own connection with its own pacing,
// closing frame and outcome, all in one event loop. With --wait a port that
// is not there is waited for; with --repeat, after each display the next one
// is programmed the same way (after Enter, or with --wait once the port has
// gone and come back) until a signal or the end of standard input. Each
// display that ends gets its line in the log (--log), and, among several, a
// result line on stdout.
//
// A single --port without --repeat runs as it always has: its messages on
// stderr, the uploads' messages of success on stdout, its own exit code.

#include "cli/input_lines.h"
#include "cli/programming_run.h"
#include "programming/task.h"

#include <QFile>
#include <QObject>

#include <chrono>
#include <memory>
#include <optional>

struct FleetOptions
{
    bool wait = false;
    bool repeat = false;
    QFile *log = nullptr; // opened for appending, or none
};

class Fleet : public QObject
{
public:
    Fleet(const Request &request, const FleetOptions &options);

    // Runs every display to its end; the exit code.
    int exec();

private:
    bool single() const;
    // No further display is to begin: a signal came, or the input ended.
    bool stopped() const;
    Task<int> run();
    // Every port at once, one display each; their results in the ports' order.
    Task<QList<DisplayResult>> round();
    // One port's displays one after another, each once the port has come back.
    Task<int> portAfterPort(QString port);
    // The port's display, waited for with --wait (announced on stderr); none
    // when the run was told to stop before it began.
    Task<std::optional<DisplayResult>> display(QString port, bool announce);
    // Until the port is there (or, present false, gone); false when the run
    // was told to stop meanwhile.
    Task<bool> waitForPort(QString port, bool present);
    // Until the next Enter; false at the end of input or when told to stop.
    Task<bool> nextLine();

    void ended(const DisplayResult &result);
    void writeLog(const DisplayResult &result);
    void printResult(const DisplayResult &result) const;
    void showProgress() const;
    void say(const QString &line) const;
    void onSignal(int signal);

    const Request &m_request;
    const FleetOptions m_options;
    QList<ProgrammingRun *> m_running;
    std::unique_ptr<InputLines> m_input; // with --repeat
    int m_signal = 0;
    bool m_stopping = false; // no further display: a signal, the end of input
    bool m_cutShort = false; // a display was interrupted in its run
    int m_programmed = 0;
    int m_failed = 0;
};
