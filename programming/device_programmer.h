#pragma once

// The main window's logic towards the display: start-up and handshake, the
// refresh timer, the two paced uploads, the immediate commands and the closing
// frame. It reads the user's inputs and shows messages only through
// ProgrammingWindow, so it runs and is tested without any widget.

#include "programming/programming_window.h"
#include "programming/serial_link.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>

class QEventLoop;

class DeviceProgrammer : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    DeviceProgrammer(ProgrammingWindow &window, bool withClock, QObject *parent = nullptr);
    ~DeviceProgrammer() override;

    // Start-up settings, then, when a port was chosen (device not empty: the
    // device of the port dialog's entry), open it, ask for programming mode and
    // enable the device commands on the display's acknowledgement. The window
    // shows itself afterwards. Once connected, a lost port is watched for: when
    // the same device comes back, it is opened and asked again, silently.
    void Form_Load(const QString &device);
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

    // Switches the long beep on or off, as the long-beep button does when it
    // offers that. Off at the start; the display's own state is never read.
    void setLongBeep(bool on);
    bool longBeepOn() const { return m_longBeepOn; }

    // How a wait ended: its time passed, the port went away, or the window
    // closed or the application quit under it.
    enum class WaitEnd { Elapsed, PortLost, Ended };

    // Waits until 0.7 s have passed since start on a monotonic clock, letting
    // the user interface run meanwhile.
    WaitEnd Czekaj(Clock::time_point start);
    // True when the display's acknowledgement is waiting: reads eight bytes
    // when eight or more wait, nothing otherwise.
    bool SprawdzOdpowiedz();

    bool isConnected() const;
    bool isUploading() const;
    bool isClosing() const;
    const QTimer &Odswiez_Timer() const { return m_Odswiez_Timer; }
    SerialLink &Port_MSComm() { return m_Port_MSComm; }

signals:
    // Progress of a running upload, for the window to show. frames counts the
    // closing refresh and follows the check boxes as they are when each frame
    // is built; uploadFinished comes at every ending, before any message.
    void uploadStarted(int frames, Memory memory);
    void uploadProgress(int sent, int frames);
    void uploadFinished();
    // An acknowledged exchange failed at this frame (the programming request,
    // or a frame of an upload): no acknowledgement, or the port refused it or
    // went away. Before any message about it.
    void frameUnanswered(const QByteArray &frame);
    // The chosen port did not open, and why; before the message about it.
    void portOpenFailed(SerialLink::OpenResult result);

private:
    enum class State {
        Unconnected,    // no port, or the display did not take the programming request
        Handshake,      // the programming request waits for its answer
        Connected,      // the display is in programming mode
        Uploading,      // an upload is between its frames
        Lost,           // the port went away after a connection: watching for its return
        Reconnecting,   // the device is back: its programming request waits for the answer
        ReturnedSilent, // it came back and did not answer: asked again once it has gone again
        Closing,        // the window is closing: nothing more goes out
    };
    // How one acknowledged step of a sequence ended.
    enum class Step { Acknowledged, Failed, Ended };
    // The frames of the running upload sent so far.
    struct UploadProgress
    {
        Memory memory;
        int sent = 0;
    };

    static Step cutShort(WaitEnd waited);
    bool busy() const;
    void sendCommand(const QByteArray &frame);
    // Writes a frame whose answer is checked, waits and checks it.
    Step checkedExchange(const QByteArray &frame);
    // A checked exchange followed by the second wait.
    Step pacedStep(const QByteArray &frame);
    int framesAhead(Memory memory, int fromScreen) const;
    void upload(Memory memory);
    Step sendUploadFrame(UploadProgress &progress, const QByteArray &frame, int nextScreen);
    Step sendClosingRefresh(UploadProgress &progress);
    void endUpload(Memory memory, Step step);
    // Asks the opened port for programming mode, in the state given; connected
    // on the display's acknowledgement.
    Step handshake(State asking);
    void enterConnected();
    void enterLost();
    void onPortLost();
    void endWaits();
    // While lost after a connection: opens the device again once it is back.
    void reconnectIfReturned();

    ProgrammingWindow &m_window;
    const bool m_withClock;
    State m_state = State::Unconnected;
    QString m_device; // the port dialog's choice, opened again after a loss
    // A refresh tick fell inside the running upload, which holds it back: an
    // event of the upload, not a state of the connection.
    bool m_tickMissed = false;
    // The display's long beep as last switched; it outlives every state.
    bool m_longBeepOn = false;
    QList<QEventLoop *> m_waits; // the waits running now, innermost last
    SerialLink m_Port_MSComm;
    QTimer m_Odswiez_Timer;
    QTimer m_returnWatch; // polls for the lost device while disconnected
};
