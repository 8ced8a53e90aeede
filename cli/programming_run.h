#pragma once

// One run of the command line against the display: the port opened and the
// programming request, then what was asked for in a fixed order (clearing the
// screens, the stored set, the current set, the clock, the beeps), then the
// closing frame.
// The request is the device logic's inputs; each verb's outcome becomes an
// exit code and the words on stderr. The frames, their pacing and the
// handshake are the windowed programs', from the same code.

#include "programming/outcome.h"
#include "programming/programming_inputs.h"
#include "protocol/screen_set.h"

#include <QList>
#include <QString>

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
};

struct Request
{
    QString device; // what the link opens
    std::optional<protocol::ScreenSet> eeprom;
    std::optional<protocol::ScreenSet> ram;
    std::optional<QString> clock; // "HH:MM", or empty for the time when it is sent
    bool beep = false;
    std::optional<bool> longBeep;
    bool clear = false;
    bool quiet = false;
};

class ProgrammingRun : public ProgrammingInputs
{
public:
    explicit ProgrammingRun(const Request &request);

    // Does the whole run; returns the exit code.
    int exec();

    QString screenText(Memory memory, int n) const override;
    bool screenChecked(Memory memory, int n) const override;
    bool parametersChecked(Memory memory) const override;
    ParameterChoice parameters(Memory memory) const override;
    QString Godzina_MEB() const override;

private:
    const protocol::ScreenSet *set(Memory memory) const;
    int framesDue() const;
    void showProgress(int sent);
    // The outcome's exit code, and the words for it on stderr.
    int report(const Outcome &outcome);

    const Request &m_request;
    int m_signal = 0; // the signal that ended the run, 0 for none
};
