#pragma once

// One run of the command line against the display: the port opened and the
// programming request, then what was asked for in a fixed order (the stored
// set, the current set, the clock, the commands), then the closing frame.
// It plays the main window for the device logic: the inputs come from the
// parsed request, the messages go to the terminal. The frames, their pacing
// and the handshake are the windowed programs', from the same code.

#include "cli/screen_set.h"
#include "programming/programming_window.h"
#include "programming/serial_link.h"

#include <QByteArray>
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
    NotAcknowledged = 6,  // message 200: the display did not answer a frame
};

struct Request
{
    QString device; // what the serial link opens
    std::optional<ScreenSet> eeprom;
    std::optional<ScreenSet> ram;
    std::optional<QString> clock; // "HH:MM", or empty for the time when it is sent
    bool beep = false;
    std::optional<bool> longBeep;
    bool clear = false;
    bool quiet = false;
};

class ProgrammingRun : public ProgrammingWindow
{
public:
    explicit ProgrammingRun(const Request &request);

    // Does the whole run; returns the exit code.
    int exec();

    void UstawieniaPoczatkoweProgramowania() override {}
    QString screenText(Memory memory, int n) const override;
    bool screenChecked(Memory memory, int n) const override;
    bool parametersChecked(Memory memory) const override;
    ParameterChoice parameters(Memory memory) const override;
    QString Godzina_MEB() const override;
    void showLongBeep(bool) override {}
    void setDeviceCommandsEnabled(bool) override {}
    void PokazInformacje(int NumerKomunikatu) override;
    void PokazOstrzezenie(int NumerKomunikatu, const QString &detail = QString()) override;

private:
    const ScreenSet &set(Memory memory) const;
    int framesDue() const;
    void showProgress(int sent);

    const Request &m_request;
    int m_exitCode = Done;
    SerialLink::OpenResult m_openResult = SerialLink::OpenResult::Opened;
    int m_signal = 0;        // the signal that ended the run, 0 for none
    QByteArray m_unanswered; // the frame the display did not acknowledge
    int m_sentBefore = 0;    // frames sent before the running upload
    QList<int> m_done;       // the uploads' messages of success
};
