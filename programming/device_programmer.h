#pragma once

// The device logic towards the display: the connection (the handshake, the
// return of a lost port, the closing frame), the two paced uploads and the
// immediate commands. Its verbs start work and end in an Outcome; progress
// and changes of state come as signals. It reads the user's inputs through
// ProgrammingInputs at the moment each frame is built, and shows nothing
// itself: the window and the command line each say what an outcome means.
//
// The verbs that wait come twice: as tasks (connecting, uploading, pausing),
// which several programmers run at once in one event loop, each display
// paced on its own; and as plain calls (connectTo, upload, pause), which run
// the task to its end inside, the event loop running meanwhile, as the window
// expects: a handler that runs inside such a wait holds the wait until it
// returns.

#include "programming/link.h"
#include "programming/outcome.h"
#include "programming/programming_inputs.h"
#include "programming/task.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

// One frame of an upload, in its place: the parameters (position 0), screen n
// (position n) or the closing refresh (past the last screen; no answered frame).
struct UploadFrame
{
    int position = 0;
    std::optional<AnsweredFrame> answered;
    QByteArray bytes;
};

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
    Task<Outcome> connecting(QString port);
    // Lets go of the port of a connection that did not come about.
    void release();

    // Sends the memory's parameters (when their box is checked) and its
    // checked screens, each frame paced and acknowledged, then the refresh.
    // The first frame left unanswered ends it. Not begun (Ended) unless
    // connected and idle.
    Outcome upload(Memory memory);
    Task<Outcome> uploading(Memory memory);
    // The frames an upload of the memory sends, in their order, as the
    // inputs read now and every frame acknowledged.
    static QList<UploadFrame> uploadFrames(const ProgrammingInputs &inputs, Memory memory);

    // The immediate commands: one frame each, written at once while
    // connected and idle; nothing is waited for or read. True when it went
    // out. The clock frame is built from the clock field as it reads now.
    enum class Command { Refresh, Beep, Clear, LongBeepOn, LongBeepOff, Clock };
    bool send(Command command);
    bool refresh();
    bool beep() { return send(Command::Beep); }
    bool clear() { return send(Command::Clear); }
    bool setLongBeep(bool on) { return send(on ? Command::LongBeepOn : Command::LongBeepOff); }
    bool sendClock() { return send(Command::Clock); }
    // The command's frame, as the inputs read now.
    static QByteArray commandFrame(Command command, const ProgrammingInputs &inputs);

    // The wait that follows a frame, for a caller that paces its commands:
    // Done, Lost (the port went away meanwhile) or Ended.
    Outcome pause();
    Task<Outcome> pausing();

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
    Task<WaitEnd> waitFrom(Clock::time_point start);
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
    // Frames written to the port, and acknowledged by the display, so far.
    int framesSent() const { return m_framesSent; }
    int framesAcknowledged() const { return m_framesAcknowledged; }

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
    // A plain call's loop, which resumes the waits of its task.
    struct Driver;
    // A sequence suspended in a wait: resumed when its timer fires or the
    // waits end, by the plain call that runs it or, for a task, at once.
    struct Sleeper
    {
        std::coroutine_handle<> sequence;
        int timer = 0;
        Driver *driver = nullptr;
        bool *quit = nullptr; // set when the application quits under it
    };
    struct Nap;

    template <typename T> T finish(Task<T> task);
    Nap nap(std::chrono::milliseconds time);
    void timerEvent(QTimerEvent *event) override;
    void resume(const Sleeper &sleeper, Driver *driver);

    void setState(State state);
    static Step cutShort(WaitEnd waited);
    bool portOpen() const;
    bool busy() const;
    // Writes a frame and counts it.
    bool write(const QByteArray &frame);
    // What a step that did not succeed gives: the port gone, or the frame unanswered.
    Outcome failed(Step step, const AnsweredFrame &frame) const;
    // Writes a frame whose answer is checked, waits and checks it.
    Task<Step> checkedExchange(QByteArray frame);
    // A checked exchange followed by the second wait.
    Task<Step> pacedStep(QByteArray frame);
    // The upload's next frame at or after position from, as the inputs read now.
    static std::optional<UploadFrame> nextUploadFrame(const ProgrammingInputs &inputs,
                                                      Memory memory, int from);
    int framesAhead(Memory memory, int from) const;
    Task<Step> sendUploadFrame(UploadProgress &progress, QByteArray frame, int next);
    Task<Step> sendClosingRefresh(UploadProgress &progress);
    Outcome endUpload(Step step, const std::optional<AnsweredFrame> &frame);
    // Asks the opened port for programming mode, in the state given; connected
    // on the display's acknowledgement.
    Task<Step> handshake(State asking);
    Task<Step> reconnecting();
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
    int m_framesSent = 0;
    int m_framesAcknowledged = 0;
    QList<Sleeper> m_sleepers;  // the sequences waiting now
    Driver *m_driver = nullptr; // the plain call whose task runs now, if any
    std::unique_ptr<Link> m_link;
    QTimer m_returnWatch;                  // polls for the lost port while disconnected
    std::optional<Task<Step>> m_reconnect; // the return of a lost port, asked
};
