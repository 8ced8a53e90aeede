#pragma once

// What the device logic reads of the user's inputs, at the moment each frame
// is built, so that an edit made while an upload waits goes into its later
// frames: the main window's fields, or the command line's request.

#include "protocol/display.h"

#include <QString>

using protocol::Memory;
using protocol::ParameterChoice;

class ProgrammingInputs
{
public:
    virtual ~ProgrammingInputs() = default;

    // A screen row of a memory (TekstRAM_Text(n), TekstEEPROM_Check(n), ...):
    // its text as typed and its check box.
    virtual QString screenText(Memory memory, int n) const = 0;
    virtual bool screenChecked(Memory memory, int n) const = 0;
    // The memory's parameter check box (ParametryRAM_Check, ParametryEEPROM_Check)
    // and its lists.
    virtual bool parametersChecked(Memory memory) const = 0;
    virtual ParameterChoice parameters(Memory memory) const = 0;

    // The clock field's five characters, colon included (full program only).
    virtual QString Godzina_MEB() const = 0;
};
