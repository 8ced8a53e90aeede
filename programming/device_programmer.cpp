#include "programming/device_programmer.h"

#include "protocol/builders.h"
#include "protocol/frames.h"

#include <QEventLoop>

#include <thread>

namespace {

#ifdef Q_OS_WIN
// A short sleep may take a whole scheduler tick there.
constexpr std::chrono::milliseconds FinalSleep{0};
#else
// The end of a wait, too short to leave the user waiting, slept precisely.
constexpr std::chrono::milliseconds FinalSleep{2};
#endif
constexpr int ReturnPollMs = 1000;

} // namespace

DeviceProgrammer::DeviceProgrammer(const ProgrammingInputs &inputs, LinkFactory makeLink,
                                   QObject *parent)
    : QObject(parent), m_inputs(inputs), m_makeLink(std::move(makeLink))
{
    m_returnWatch.setInterval(ReturnPollMs);
    connect(&m_returnWatch, &QTimer::timeout, this, &DeviceProgrammer::reconnectIfReturned);
}

DeviceProgrammer::~DeviceProgrammer() = default;

Outcome DeviceProgrammer::connectTo(const QString &port)
{
    m_port = port;
    m_link = m_makeLink(port);
    connect(m_link.get(), &Link::portLost, this, &DeviceProgrammer::onPortLost);
    // The port dialog tried the port a moment ago; another program may have
    // taken it since, or the adapter gone.
    const Link::OpenResult opened = m_link->open(port);
    // An open that waited in the event loop may have been cut short by the end.
    if (m_state == State::Closing)
        return Outcome::of(Outcome::Ended);
    if (opened != Link::OpenResult::Opened)
        return Outcome::openFailed(opened, m_link->errorString());

    const Step step = handshake(State::Handshake);
    if (step == Step::Acknowledged)
        return {};
    if (m_state == State::Closing)
        return Outcome::of(Outcome::Ended);
    setState(State::Unconnected);
    return failed(step, {AnsweredFrame::ProgrammingRequest});
}

void DeviceProgrammer::release()
{
    if (m_state == State::Unconnected && m_link)
        m_link->close();
}

Outcome DeviceProgrammer::upload(Memory memory)
{
    if (m_state != State::Connected)
        return Outcome::of(Outcome::Ended);
    m_tickMissed = false;
    setState(State::Uploading);
    UploadProgress progress{memory};
    const bool parameters = m_inputs.parametersChecked(memory);
    emit uploadStarted((parameters ? 1 : 0) + framesAhead(memory, 1), memory);

    Step step = Step::Acknowledged;
    std::optional<AnsweredFrame> frame;
    if (parameters) {
        frame = {AnsweredFrame::Parameters, memory};
        step = sendUploadFrame(
            progress, protocol::parameterFrame(memory, m_inputs.parameters(memory)), 1);
    }
    for (int n = 1; step == Step::Acknowledged && n <= protocol::screenCount(memory); ++n) {
        if (!m_inputs.screenChecked(memory, n))
            continue;
        frame = {AnsweredFrame::Screen, memory, n};
        step = sendUploadFrame(
            progress, protocol::textFrame(memory, n, m_inputs.screenText(memory, n)), n + 1);
    }
    if (step == Step::Acknowledged) {
        frame.reset();
        step = sendClosingRefresh(progress);
    }
    return endUpload(step, frame);
}

bool DeviceProgrammer::refresh()
{
    // An upload sends its own refresh at its end; a tick in between would
    // leave a reply that a check of the upload could take for its own. An
    // upload that fails sends the missed tick when it has ended.
    if (m_state == State::Uploading) {
        m_tickMissed = true;
        return false;
    }
    return sendCommand(protocol::bytes(protocol::KomendaOdswiez));
}

bool DeviceProgrammer::beep()
{
    return sendCommand(protocol::bytes(protocol::KomendaKrotkiDzwiek));
}

bool DeviceProgrammer::clear()
{
    return sendCommand(protocol::bytes(protocol::KomendaCzyscEkran));
}

bool DeviceProgrammer::setLongBeep(bool on)
{
    return sendCommand(on ? protocol::bytes(protocol::KomendaDlugiDzwiekWlacz)
                          : protocol::bytes(protocol::KomendaDlugiDzwiekWylacz));
}

bool DeviceProgrammer::sendClock()
{
    return sendCommand(protocol::RamkaZegara(m_inputs.Godzina_MEB()));
}

Outcome DeviceProgrammer::pause()
{
    const WaitEnd waited = Czekaj(Clock::now());
    if (waited == WaitEnd::Ended || m_state == State::Closing)
        return Outcome::of(Outcome::Ended);
    return Outcome::of(isConnected() ? Outcome::Done : Outcome::Lost);
}

bool DeviceProgrammer::end()
{
    if (m_state == State::Closing)
        return m_endedWell;
    // Only a display that took the programming request is told to leave
    // programming mode.
    const bool connected = isConnected();
    setState(State::Closing);
    m_returnWatch.stop();
    const bool sent = connected && m_link->Output(protocol::bytes(protocol::KomendaKoniec));
    const bool drained = !m_link || m_link->close();
    m_endedWell = !connected || (sent && drained);
    // A sequence waiting between its frames ends there.
    endWaits();
    return m_endedWell;
}

DeviceProgrammer::WaitEnd DeviceProgrammer::Czekaj(Clock::time_point start)
{
    const Clock::time_point end = start + protocol::PacingWait;
    for (;;) {
        if (m_state == State::Closing)
            return WaitEnd::Ended;
        // The port of a running sequence gone meanwhile ends its wait.
        if (busy() && !portOpen())
            return WaitEnd::PortLost;
        const Clock::time_point now = Clock::now();
        if (now >= end)
            return WaitEnd::Elapsed;
        // The event loop's timers count whole milliseconds and mostly wake
        // late; the last moments are slept through to the microsecond.
        if (FinalSleep.count() > 0 && end - now <= FinalSleep) {
            std::this_thread::sleep_until(end);
            continue;
        }
        // Sleeps in the event loop until the end is near, so the window stays
        // responsive without spinning; a timer may wake a little early, hence
        // the loop.
        QEventLoop loop;
        QTimer wakeUp;
        wakeUp.setSingleShot(true);
        wakeUp.setTimerType(Qt::PreciseTimer);
        connect(&wakeUp, &QTimer::timeout, &loop, &QEventLoop::quit);
        wakeUp.start(std::chrono::ceil<std::chrono::milliseconds>(end - now - FinalSleep));
        m_waits.append(&loop);
        const int result = loop.exec();
        m_waits.removeOne(&loop);
        // Once the application has been told to quit, every new event loop
        // returns at once; waiting on would only spin.
        if (result < 0)
            return WaitEnd::Ended;
    }
}

bool DeviceProgrammer::SprawdzOdpowiedz()
{
    QByteArray reply;
    if (portOpen() && m_link->InBufferCount() >= protocol::AcknowledgementSize) {
        for (int i = 0; i < protocol::AcknowledgementSize; ++i) {
            const int byte = m_link->Input();
            if (byte < 0)
                break;
            reply.append(char(byte));
        }
    }
    return protocol::isAcknowledgement(reply);
}

bool DeviceProgrammer::isConnected() const
{
    return m_state == State::Connected || m_state == State::Uploading;
}

bool DeviceProgrammer::isIdle() const
{
    return m_state == State::Connected;
}

bool DeviceProgrammer::isUploading() const
{
    return m_state == State::Uploading;
}

bool DeviceProgrammer::isClosing() const
{
    return m_state == State::Closing;
}

void DeviceProgrammer::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

bool DeviceProgrammer::portOpen() const
{
    return m_link && m_link->PortOpen();
}

bool DeviceProgrammer::busy() const
{
    // While a sequence runs nothing else may write between its frames.
    return m_state == State::Handshake || m_state == State::Reconnecting ||
           m_state == State::Uploading || m_state == State::Closing;
}

bool DeviceProgrammer::sendCommand(const QByteArray &frame)
{
    return m_state == State::Connected && m_link->Output(frame);
}

DeviceProgrammer::Step DeviceProgrammer::cutShort(WaitEnd waited)
{
    // A lost port fails the step; the end or a quit ends the sequence.
    return waited == WaitEnd::Ended ? Step::Ended : Step::Failed;
}

Outcome DeviceProgrammer::failed(Step step, const AnsweredFrame &frame) const
{
    if (step == Step::Ended)
        return Outcome::of(Outcome::Ended);
    return Outcome::of(portOpen() ? Outcome::Unanswered : Outcome::Lost, frame);
}

DeviceProgrammer::Step DeviceProgrammer::checkedExchange(const QByteArray &frame)
{
    // Replies to unchecked frames (beeps, clear, clock, refresh ticks) may
    // still wait; they must not pass for the answer to this frame.
    m_link->discardInput();
    if (!m_link->Output(frame))
        return Step::Failed;
    const WaitEnd waited = Czekaj(Clock::now());
    if (waited != WaitEnd::Elapsed)
        return cutShort(waited);
    return SprawdzOdpowiedz() ? Step::Acknowledged : Step::Failed;
}

DeviceProgrammer::Step DeviceProgrammer::pacedStep(const QByteArray &frame)
{
    const Step step = checkedExchange(frame);
    if (step != Step::Acknowledged)
        return step;
    const WaitEnd waited = Czekaj(Clock::now());
    return waited == WaitEnd::Elapsed ? Step::Acknowledged : cutShort(waited);
}

int DeviceProgrammer::framesAhead(Memory memory, int fromScreen) const
{
    int frames = 1; // the closing refresh
    for (int n = fromScreen; n <= protocol::screenCount(memory); ++n) {
        if (m_inputs.screenChecked(memory, n))
            ++frames;
    }
    return frames;
}

DeviceProgrammer::Step DeviceProgrammer::sendUploadFrame(UploadProgress &progress,
                                                         const QByteArray &frame, int nextScreen)
{
    const Step step = pacedStep(frame);
    if (step == Step::Acknowledged) {
        // Frames still to go, counted anew after each one: the user may
        // change the check boxes while the upload runs.
        ++progress.sent;
        emit uploadProgress(progress.sent,
                            progress.sent + framesAhead(progress.memory, nextScreen));
    }
    return step;
}

DeviceProgrammer::Step DeviceProgrammer::sendClosingRefresh(UploadProgress &progress)
{
    // Its answer is read so that it does not linger, but not judged.
    m_link->discardInput();
    m_link->Output(protocol::bytes(protocol::KomendaOdswiez));
    const WaitEnd waited = Czekaj(Clock::now());
    if (waited != WaitEnd::Elapsed)
        return cutShort(waited);
    SprawdzOdpowiedz();
    ++progress.sent;
    emit uploadProgress(progress.sent, progress.sent);
    return Step::Acknowledged;
}

Outcome DeviceProgrammer::endUpload(Step step, const std::optional<AnsweredFrame> &frame)
{
    if (step == Step::Ended || m_state == State::Closing) {
        // The end came, or the application quit, while the upload waited: it
        // stops there, silently.
        if (m_state == State::Uploading)
            setState(State::Connected);
        emit uploadFinished();
        return Outcome::of(Outcome::Ended);
    }
    if (!portOpen()) {
        enterLost();
        emit uploadFinished();
        return Outcome::of(Outcome::Lost, frame);
    }
    if (step == Step::Failed) {
        m_link->discardInput();
        // The refresh tick held back while the upload ran; a successful
        // upload ends with a refresh of its own instead.
        if (m_tickMissed)
            m_link->Output(protocol::bytes(protocol::KomendaOdswiez));
    }
    m_tickMissed = false;
    setState(State::Connected);
    emit uploadFinished();
    return Outcome::of(step == Step::Acknowledged ? Outcome::Done : Outcome::Unanswered, frame);
}

DeviceProgrammer::Step DeviceProgrammer::handshake(State asking)
{
    setState(asking);
    const Step step = checkedExchange(protocol::bytes(protocol::KomendaProg));
    if (step == Step::Acknowledged)
        setState(State::Connected);
    return step;
}

void DeviceProgrammer::enterLost()
{
    setState(State::Lost);
    m_returnWatch.start();
}

void DeviceProgrammer::onPortLost()
{
    switch (m_state) {
    case State::Connected:
        enterLost();
        emit connectionLost();
        return;
    case State::Handshake:
    case State::Reconnecting:
    case State::Uploading:
        // The running sequence notices the loss when its wait ends, and
        // reports it as its own outcome.
        endWaits();
        return;
    case State::Unconnected:
    case State::Lost:
    case State::ReturnedSilent:
    case State::Closing:
        return;
    }
}

void DeviceProgrammer::reconnectIfReturned()
{
    if (!m_link->deviceExists(m_port)) {
        if (m_state == State::ReturnedSilent)
            setState(State::Lost);
        return;
    }
    // A device just back may refuse to open for a moment, while the system
    // sets its permissions: the next poll tries again.
    if (m_state != State::Lost || m_link->open(m_port) != Link::OpenResult::Opened)
        return;
    m_returnWatch.stop();
    const Step step = handshake(State::Reconnecting);
    if (step == Step::Acknowledged || m_state == State::Closing)
        return;
    // No second message; the port has to go and come back before it is
    // asked again.
    m_link->close();
    setState(State::ReturnedSilent);
    if (step != Step::Ended)
        m_returnWatch.start();
}

void DeviceProgrammer::endWaits()
{
    for (QEventLoop *wait : std::as_const(m_waits))
        wait->quit();
}
