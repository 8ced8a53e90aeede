#pragma once

// What the device logic needs of the main window: the user's inputs, read at
// the moment a frame is built, the few things it changes, and the messages.
// fMain implements it; tests implement it without any widget.

#include <QString>

class ProgrammingWindow
{
public:
    virtual ~ProgrammingWindow() = default;

    // Start-up settings of the window's inputs: the parameter lists filled and
    // preselected, and (full program) the clock field set to the time now.
    virtual void UstawieniaPoczatkoweProgramowania() = 0;

    // Screen rows: RAM n = 1..8, EEPROM n = 1..5.
    virtual QString TekstRAM_Text(int n) const = 0;
    virtual bool TekstRAM_Check(int n) const = 0;
    virtual QString TekstEEPROM_Text(int n) const = 0;
    virtual bool TekstEEPROM_Check(int n) const = 0;
    virtual bool ParametryRAM_Check() const = 0;
    virtual bool ParametryEEPROM_Check() const = 0;

    // Selected positions of the parameter lists, 0 for the first entry.
    virtual int PrzesuwRAM_Combo() const = 0;
    virtual int IloscEkranowRAM_Combo() const = 0;
    virtual int PredkoscRAM_Combo() const = 0;
    virtual int JasnoscRAM_Combo() const = 0;
    virtual int PrzesuwEEPROM_Combo() const = 0;
    virtual int PredkoscEEPROM_Combo() const = 0;
    virtual int JasnoscEEPROM_Combo() const = 0;

    // The clock field's five characters, colon included (full program only).
    virtual QString Godzina_MEB() const = 0;

    // The long-beep button's caption is the only record of the long beep.
    virtual QString DlugiDzwiek_Caption() const = 0;
    virtual void setDlugiDzwiek_Caption(const QString &caption) = 0;

    // The device command buttons (five, six with the clock), all together.
    virtual void setDeviceCommandsEnabled(bool enabled) = 0;

    // Numbered messages; each returns when the user has closed the box.
    virtual void PokazInformacje(int NumerKomunikatu) = 0;
    virtual void PokazOstrzezenie(int NumerKomunikatu) = 0;
};
