#pragma once

// The device logic towards the display: the connection (the handshake, the
// return of a lost port, the closing frame), the two paced uploads and the
// immediate commands. Its verbs start work and end in an Outcome; progress
// and changes of state come as signals. It reads the user's inputs through
// ProgrammingInputs at the moment each frame is built, and shows nothing
// itself: the window and the command line each say what an outcome means.

#include "programming/link.h"
#include "programming/outcome.h"
#include "programming/programming_inputs.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>

class QEventLoop;

class DeviceProgrammer : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    // makeLink makes the link for a port name (linkFor: a serial port).
    explicit DeviceProgrammer(const ProgrammingInputs &inputs, LinkFactory makeLink = &linkFor,
                              QObject *parent = nullptr);
    ~DeviceProgrammer() override;

    // Opens the port and asks the display for programming mode: Done once it
    // has acknowledged. From then on a lost port is watched for, and when
    // the same port comes back it is opened and asked again, silently. After
    // any other outcome the port stays as it is until release(), so that the
    // caller can say why first.
    Outcome connectTo(const QString &port);
    // Lets go of the port of a connection that did not come about.
    void release();

    // Sends the memory's parameters (when their box is checked) and its
    // checked screens, each frame paced and acknowledged, then the refresh.
    // The first frame left unanswered ends it. Not begun (Ended) unless
    // connected and idle.
    Outcome upload(Memory memory);

    // The immediate commands: one frame each, written at once while
    // connected and idle; nothing is waited for or read. True when it went
    // out. The clock frame is built from the clock field as it reads now.
    bool refresh();
    bool beep();
    bool clear();
    bool setLongBeep(bool on);
    bool sendClock();

    // The wait that follows a frame, for a caller that paces its commands:
    // Done, Lost (the port went away meanwhile) or Ended.
    Outcome pause();

    // The end: the closing frame when the display is in programming mode,
    // drained, the port closed. A running handshake or upload stops where it
    // waits, and ends Ended; nothing is written after this. False when the
    // closing frame was due and could not be sent.
    bool end();

    // How a wait ended: its time passed, the port went away, or the end came
    // or the application quit under it.
    enum class WaitEnd { Elapsed, PortLost, Ended };

    // Waits until 0.7 s have passed since start on a monotonic clock, letting
    // the event loop run meanwhile.
    WaitEnd Czekaj(Clock::time_point start);
    // True when the display's acknowledgement is waiting: reads eight bytes
    // when eight or more wait, nothing otherwise.
    bool SprawdzOdpowiedz();

    // The display is in programming mode (also while an upload runs).
    bool isConnected() const;
    // Connected, and no upload runs: the commands go out.
    bool isIdle() const;
    bool isUploading() const;
    bool isClosing() const;
    // The link of the last connection; none before the first.
    Link *link() const { return m_link.get(); }

signals:
    // The connection's state changed: see isConnected(), isIdle().
    void stateChanged();
    // The port went away while the display was connected and idle. (A loss
    // inside a verb is that verb's outcome.)
    void connectionLost();
    // Progress of a running upload. frames counts the closing refresh and
    // follows the check boxes as they are when each frame is built;
    // uploadFinished comes at every ending, before the outcome.
    void uploadStarted(int frames, Memory memory);
    void uploadProgress(int sent, int frames);
    void uploadFinished();

private:
    enum class State {
        Unconnected,    // no port, or the display did not take the programming request
        Handshake,      // the programming request waits for its answer
        Connected,      // the display is in programming mode
        Uploading,      // an upload is between its frames
        Lost,           // the port went away after a connection: watching for its return
        Reconnecting,   // the port is back: its programming request waits for the answer
        ReturnedSilent, // it came back and did not answer: asked again once it has gone again
        Closing,        // the end has come: nothing more goes out
    };
    // How one acknowledged step of a sequence ended.
    enum class Step { Acknowledged, Failed, Ended };
    // The frames of the running upload sent so far.
    struct UploadProgress
    {
        Memory memory;
        int sent = 0;
    };

    void setState(State state);
    static Step cutShort(WaitEnd waited);
    bool portOpen() const;
    bool busy() const;
    bool sendCommand(const QByteArray &frame);
    // What a step that did not succeed gives: the port gone, or the frame unanswered.
    Outcome failed(Step step, const AnsweredFrame &frame) const;
    // Writes a frame whose answer is checked, waits and checks it.
    Step checkedExchange(const QByteArray &frame);
    // A checked exchange followed by the second wait.
    Step pacedStep(const QByteArray &frame);
    int framesAhead(Memory memory, int fromScreen) const;
    Step sendUploadFrame(UploadProgress &progress, const QByteArray &frame, int nextScreen);
    Step sendClosingRefresh(UploadProgress &progress);
    Outcome endUpload(Step step, const std::optional<AnsweredFrame> &frame);
    // Asks the opened port for programming mode, in the state given; connected
    // on the display's acknowledgement.
    Step handshake(State asking);
    void enterLost();
    void onPortLost();
    void endWaits();
    // While lost after a connection: opens the port again once it is back.
    void reconnectIfReturned();

    const ProgrammingInputs &m_inputs;
    const LinkFactory m_makeLink;
    State m_state = State::Unconnected;
    QString m_port; // the caller's choice, opened again after a loss
    // A refresh tick fell inside the running upload, which holds it back: an
    // event of the upload, not a state of the connection.
    bool m_tickMissed = false;
    bool m_endedWell = true; // what end() said
    QList<QEventLoop *> m_waits; // the waits running now, innermost last
    std::unique_ptr<Link> m_link;
    QTimer m_returnWatch; // polls for the lost port while disconnected
};
