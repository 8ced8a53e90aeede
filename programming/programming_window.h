#pragma once

// What the device logic needs of the main window: the user's inputs, read at
// the moment a frame is built, the few things it changes, and the messages.
// fMain implements it; tests implement it without any widget.

#include <QString>

// The display's two sets of screens: the current one (RAM, screens 1..8) and
// the stored one (EEPROM, screens 1..5).
enum class Memory { Ram, Eeprom };

// The selected positions of a memory's parameter lists, 0 for the first entry.
struct ParameterChoice
{
    int scrollKind = 0;
    int screenCount = 0; // RAM only; the stored set always has five screens
    int speed = 0;
    int brightness = 0;
};

class ProgrammingWindow
{
public:
    virtual ~ProgrammingWindow() = default;

    // Start-up settings of the window's inputs: the parameter lists filled and
    // preselected, and (full program) the clock field set to the time now.
    virtual void UstawieniaPoczatkoweProgramowania() = 0;

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

    // The long beep has just been switched on (or off): the long-beep button
    // now offers to switch it off (or on).
    virtual void showLongBeep(bool on) = 0;

    // The device command buttons (five, six with the clock), all together.
    virtual void setDeviceCommandsEnabled(bool enabled) = 0;

    // Numbered messages; each returns when the user has closed the box. A
    // warning may carry a detail line under its text, saying why.
    virtual void PokazInformacje(int NumerKomunikatu) = 0;
    virtual void PokazOstrzezenie(int NumerKomunikatu, const QString &detail = QString()) = 0;
};
