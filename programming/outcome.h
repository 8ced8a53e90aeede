#pragma once

// How a verb of the device logic ended: one value, which each face maps once,
// the window to its numbered messages, the command line to its exit codes.

#include "programming/link.h"
#include "protocol/display.h"

#include <QString>

#include <optional>

// A frame that waits for the display's answer: the programming request, or a
// memory's parameters or screen n of an upload.
struct AnsweredFrame
{
    enum Kind { ProgrammingRequest, Parameters, Screen };
    Kind kind = ProgrammingRequest;
    protocol::Memory memory = protocol::Memory::Ram;
    int screen = 0;

    bool operator==(const AnsweredFrame &) const = default;
};

struct Outcome
{
    enum Kind {
        Done,       // connected, programmed, waited
        Unanswered, // the display did not acknowledge frame
        OpenFailed, // the port did not open: openResult, systemError
        Lost,       // the port went away; frame, when one was waiting for its answer
        Ended,      // ended from outside (the window closed, a signal), or not begun
    };
    Kind kind = Done;
    std::optional<AnsweredFrame> frame;
    Link::OpenResult openResult = Link::OpenResult::Opened;
    QString systemError; // the system's own words for a failed open

    bool succeeded() const { return kind == Done; }

    static Outcome of(Kind kind, std::optional<AnsweredFrame> frame = std::nullopt)
    {
        Outcome outcome;
        outcome.kind = kind;
        outcome.frame = frame;
        return outcome;
    }
    static Outcome openFailed(Link::OpenResult result, const QString &systemError)
    {
        Outcome outcome = of(OpenFailed);
        outcome.openResult = result;
        outcome.systemError = systemError;
        return outcome;
    }
};
