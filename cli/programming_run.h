#pragma once

// One display's run from the command line: the port opened and the
// programming request, then what was asked for in a fixed order (clearing the
// screens, the stored set, the current set, the clock, the beeps), then the
// closing frame. The request is the device logic's inputs; the run's outcome
// becomes an exit code, a result and the words on stderr. The frames, their
// pacing and the handshake are the windowed programs', from the same code.
// Several runs go at once in one event loop, each a task of its own.

#include "programming/device_programmer.h"
#include "programming/outcome.h"
#include "programming/programming_inputs.h"
#include "protocol/screen_set.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// The exit codes, few and documented in --help: a script tells the failures
// apart by them. After a signal the code is 128 + its number.
enum ExitCode {
    Done = 0,
    BadInput = 2,         // nothing opened, nothing sent
    PortMissing = 3,      // message 203: no such port, or it cannot be used
    PortBusy = 4,         // message 201: another program holds it
    PortNotPermitted = 5, // message 203: this user may not open it
    NotAcknowledged = 6,  // message 200: the display did not answer a frame, or the port went away
    NotEnded = 7,         // the closing frame could not be sent
    NotAllProgrammed = 8, // of several displays, not every one was programmed
};

struct Request
{
    QStringList ports; // as given; each one display at a time
    std::optional<protocol::ScreenSet> eeprom;
    std::optional<protocol::ScreenSet> ram;
    std::optional<QString> clock; // "HH:MM", or empty for the time when it is sent
    bool beep = false;
    std::optional<bool> longBeep;
    bool clear = false;
    bool quiet = false;
};

// A frame of a run, named as the dry run and the messages name it.
struct PlannedFrame
{
    QByteArray bytes;
    QString name;
};

// How one display's run ended, for its result line and its log entry.
struct DisplayResult
{
    // In the log's words.
    enum Kind { Ok, Unanswered, Busy, Missing, Forbidden, Lost, Interrupted };
    Kind kind = Ok;
    int exitCode = Done;
    QString text;           // the Polish words for it: the messages of success, or what went wrong
    QStringList programmed; // the uploads' messages of success, also after a later failure
    QString port;
    QString device;
    QByteArray set; // SHA-256 of the frames the run was to send
    int sent = 0;
    int acknowledged = 0;
    QDateTime started;
    double seconds = 0;
};

class ProgrammingRun : public ProgrammingInputs
{
public:
    // prefix starts each line on stderr ("COM2: " among several displays).
    ProgrammingRun(const Request &request, QString port, QString prefix);

    // The run, to its closing frame; its result.
    Task<DisplayResult> run();
    // Ends the run where it waits, with the closing frame: a signal came.
    void interrupt(int signal);
    // Frames sent of those due, for the progress line.
    int framesSentOfDue() const { return m_sent; }
    int framesDue() const;
    // Called whenever the count of frames sent grows.
    std::function<void()> progressed;

    // The frames the request sends, in their order, the programming request
    // first and the closing frame last; the clock as it reads now.
    QList<PlannedFrame> plannedFrames() const;

    QString screenText(Memory memory, int n) const override;
    bool screenChecked(Memory memory, int n) const override;
    bool parametersChecked(Memory memory) const override;
    ParameterChoice parameters(Memory memory) const override;
    QString Godzina_MEB() const override;

private:
    // A step of the run after the programming request: a command, or (none)
    // the memory's upload.
    struct Step
    {
        std::optional<DeviceProgrammer::Command> command;
        Memory memory = Memory::Ram;
    };
    // The one place that orders a run.
    QList<Step> steps() const;
    const protocol::ScreenSet *set(Memory memory) const;
    void showProgress(int sent);
    // The outcome as a result, its words on stderr.
    void report(const Outcome &outcome, const QString &device, DisplayResult &result);
    void say(const QString &line) const;

    const Request &m_request;
    const QString m_port;
    const QString m_prefix;
    DeviceProgrammer *m_programmer = nullptr; // while the run has one
    int m_signal = 0;                         // the signal that ended the run, 0 for none
    int m_sent = 0;
};
