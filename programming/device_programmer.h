#pragma once

// The main window's logic towards the display: start-up and handshake, the
// refresh timer, the two paced uploads, the immediate commands and the closing
// frame. It reads the user's inputs and shows messages only through
// ProgrammingWindow, so it runs and is tested without any widget.

#include "programming/serial_link.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>

class ProgrammingWindow;
class QEventLoop;

class DeviceProgrammer : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    DeviceProgrammer(ProgrammingWindow &window, bool withClock, QObject *parent = nullptr);
    ~DeviceProgrammer() override;

    // Start-up settings, then, when a port was chosen (Module1::NumerPortu),
    // open it, ask for programming mode and enable the device commands on the
    // display's acknowledgement. The window shows itself afterwards.
    void Form_Load();
    // The window is closing: the closing frame when connected, drained, port
    // closed. A running upload stops where it waits, silently. Nothing is
    // written after it.
    void Form_QueryUnload();

    void Odswiez_Timer_Timer();
    void PrzeslijRAM_Command_Click();
    void PrzeslijEEPROM_Command_Click();
    void CzyscEkran_Command_Click();
    void KrotkiSygnalDzwiek_Command_Click();
    void DlugiDzwiek_Command_Click();
    void PrzeslijZegar_Command_Click();

    // Waits until 0.7 s have passed since start on a monotonic clock, letting
    // the user interface run meanwhile.
    void Czekaj(Clock::time_point start);
    // True when the display's acknowledgement is waiting: reads eight bytes
    // when eight or more wait, nothing otherwise.
    bool SprawdzOdpowiedz();

    bool isConnected() const;
    bool isUploading() const;
    const QTimer &Odswiez_Timer() const { return m_Odswiez_Timer; }
    SerialLink &Port_MSComm() { return m_Port_MSComm; }

    // Frame holders: the last frame built for each memory, and the clock frame
    // while its click handler runs.
    QByteArray RamkaRAM;
    QByteArray RamkaEEPROM;
    QByteArray RamkaZegara;

signals:
    // Progress of a running upload, for the window to show. frames counts the
    // closing refresh and follows the check boxes as they are when each frame
    // is built; uploadFinished comes at every ending, before any message.
    void uploadStarted(int frames);
    void uploadProgress(int sent, int frames);
    void uploadFinished();

private:
    enum class Memory { Ram, Eeprom };

    bool busy() const;
    void sendCommand(const QByteArray &frame);
    // Writes a frame whose answer is checked, waits and checks it.
    bool checkedExchange(const QByteArray &frame);
    // A checked exchange followed by the second wait.
    bool pacedStep(const QByteArray &frame);
    int screensAhead(Memory memory, int fromScreen) const;
    void upload(Memory memory);
    void enterDisconnected();
    void reportLoss();
    void onPortLost();

    struct Private;
    Private *d;
    ProgrammingWindow &m_window;
    SerialLink m_Port_MSComm;
    QTimer m_Odswiez_Timer;
};
