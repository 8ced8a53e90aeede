#include "programming/device_programmer.h"

#include "protocol/builders.h"
#include "protocol/frames.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimerEvent>

#include <algorithm>
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

DeviceProgrammer::~DeviceProgrammer()
{
    for (const Sleeper &sleeper : std::as_const(m_sleepers))
        killTimer(sleeper.timer);
}

// The loop of a plain call: a wait of its task whose moment has come is
// resumed there, once the loop has returned, and not inside a handler that
// runs nested in it.
struct DeviceProgrammer::Driver
{
    QEventLoop *loop = nullptr;
    QList<Sleeper> due;
};

// co_await nap(time): false when the application quits under it.
struct DeviceProgrammer::Nap
{
    DeviceProgrammer *programmer;
    std::chrono::milliseconds time;
    bool quit = false;

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> sequence)
    {
        programmer->m_sleepers.append({sequence, programmer->startTimer(time, Qt::PreciseTimer),
                                       programmer->m_driver, &quit});
    }
    bool await_resume() const noexcept { return !quit; }
};

DeviceProgrammer::Nap DeviceProgrammer::nap(std::chrono::milliseconds time)
{
    return Nap{this, time};
}

template <typename T> T DeviceProgrammer::finish(Task<T> task)
{
    Driver driver;
    Driver *const outer = std::exchange(m_driver, &driver);
    task.start();
    m_driver = outer;
    while (!task.done()) {
        QEventLoop loop;
        driver.loop = &loop;
        const int result = driver.due.isEmpty() ? loop.exec() : 0;
        driver.loop = nullptr;
        // Once the application has been told to quit, every new event loop
        // returns at once: the waits end now, cut short.
        if (result < 0) {
            for (qsizetype i = m_sleepers.size() - 1; i >= 0; --i) {
                if (m_sleepers[i].driver != &driver)
                    continue;
                killTimer(m_sleepers[i].timer);
                *m_sleepers[i].quit = true;
                driver.due.append(m_sleepers.takeAt(i));
            }
        }
        for (const Sleeper &sleeper : std::exchange(driver.due, {}))
            resume(sleeper, &driver);
    }
    return task.result();
}

void DeviceProgrammer::timerEvent(QTimerEvent *event)
{
    const auto sleeper = std::find_if(m_sleepers.begin(), m_sleepers.end(), [&](const Sleeper &s) {
        return s.timer == event->timerId();
    });
    if (sleeper == m_sleepers.end())
        return QObject::timerEvent(event);
    killTimer(event->timerId());
    const Sleeper woken = *sleeper;
    m_sleepers.erase(sleeper);
    if (woken.driver == nullptr) {
        resume(woken, nullptr);
    } else {
        woken.driver->due.append(woken);
        if (woken.driver->loop)
            woken.driver->loop->quit();
    }
}

void DeviceProgrammer::resume(const Sleeper &sleeper, Driver *driver)
{
    Driver *const outer = std::exchange(m_driver, driver);
    // A task may end its owner's use of this programmer, which then goes.
    const QPointer<DeviceProgrammer> alive(this);
    sleeper.sequence.resume();
    if (alive)
        m_driver = outer;
}

Outcome DeviceProgrammer::connectTo(const QString &port)
{
    return finish(connecting(port));
}

Task<Outcome> DeviceProgrammer::connecting(QString port)
{
    m_port = port;
    m_link = m_makeLink(port);
    connect(m_link.get(), &Link::portLost, this, &DeviceProgrammer::onPortLost);
    // The port dialog tried the port a moment ago; another program may have
    // taken it since, or the adapter gone.
    const Link::OpenResult opened = m_link->open(port);
    // An open that waited in the event loop may have been cut short by the end.
    if (m_state == State::Closing)
        co_return Outcome::of(Outcome::Ended);
    if (opened != Link::OpenResult::Opened)
        co_return Outcome::openFailed(opened, m_link->errorString());

    const Step step = co_await handshake(State::Handshake);
    if (step == Step::Acknowledged)
        co_return Outcome{};
    if (m_state == State::Closing)
        co_return Outcome::of(Outcome::Ended);
    setState(State::Unconnected);
    co_return failed(step, {AnsweredFrame::ProgrammingRequest});
}

void DeviceProgrammer::release()
{
    if (m_state == State::Unconnected && m_link)
        m_link->close();
}

Outcome DeviceProgrammer::upload(Memory memory)
{
    return finish(uploading(memory));
}

std::optional<UploadFrame> DeviceProgrammer::nextUploadFrame(const ProgrammingInputs &inputs,
                                                             Memory memory, int from)
{
    if (from == 0 && inputs.parametersChecked(memory))
        return UploadFrame{0, AnsweredFrame{AnsweredFrame::Parameters, memory},
                           protocol::parameterFrame(memory, inputs.parameters(memory))};
    const int last = protocol::screenCount(memory);
    for (int n = std::max(from, 1); n <= last; ++n) {
        if (inputs.screenChecked(memory, n))
            return UploadFrame{n, AnsweredFrame{AnsweredFrame::Screen, memory, n},
                               protocol::textFrame(memory, n, inputs.screenText(memory, n))};
    }
    if (from <= last + 1)
        return UploadFrame{last + 1, std::nullopt, protocol::bytes(protocol::KomendaOdswiez)};
    return std::nullopt;
}

QList<UploadFrame> DeviceProgrammer::uploadFrames(const ProgrammingInputs &inputs, Memory memory)
{
    QList<UploadFrame> frames;
    std::optional<UploadFrame> frame = nextUploadFrame(inputs, memory, 0);
    for (; frame; frame = nextUploadFrame(inputs, memory, frame->position + 1))
        frames.append(*frame);
    return frames;
}

Task<Outcome> DeviceProgrammer::uploading(Memory memory)
{
    if (m_state != State::Connected)
        co_return Outcome::of(Outcome::Ended);
    m_tickMissed = false;
    setState(State::Uploading);
    UploadProgress progress{memory};
    emit uploadStarted(framesAhead(memory, 0), memory);

    Step step = Step::Acknowledged;
    std::optional<AnsweredFrame> frame;
    // Each frame is built as the inputs read when its turn comes: the user
    // may change them while the upload runs.
    for (int at = 0; step == Step::Acknowledged;) {
        const std::optional<UploadFrame> next = nextUploadFrame(m_inputs, memory, at);
        if (!next->answered) {
            frame.reset();
            step = co_await sendClosingRefresh(progress);
            break;
        }
        frame = next->answered;
        at = next->position + 1;
        step = co_await sendUploadFrame(progress, next->bytes, at);
    }
    co_return endUpload(step, frame);
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
    return send(Command::Refresh);
}

QByteArray DeviceProgrammer::commandFrame(Command command, const ProgrammingInputs &inputs)
{
    switch (command) {
    case Command::Refresh:
        return protocol::bytes(protocol::KomendaOdswiez);
    case Command::Beep:
        return protocol::bytes(protocol::KomendaKrotkiDzwiek);
    case Command::Clear:
        return protocol::bytes(protocol::KomendaCzyscEkran);
    case Command::LongBeepOn:
        return protocol::bytes(protocol::KomendaDlugiDzwiekWlacz);
    case Command::LongBeepOff:
        return protocol::bytes(protocol::KomendaDlugiDzwiekWylacz);
    case Command::Clock:
        break;
    }
    return protocol::RamkaZegara(inputs.Godzina_MEB());
}

bool DeviceProgrammer::send(Command command)
{
    return m_state == State::Connected && write(commandFrame(command, m_inputs));
}

Outcome DeviceProgrammer::pause()
{
    return finish(pausing());
}

Task<Outcome> DeviceProgrammer::pausing()
{
    const WaitEnd waited = co_await waitFrom(Clock::now());
    if (waited == WaitEnd::Ended || m_state == State::Closing)
        co_return Outcome::of(Outcome::Ended);
    co_return Outcome::of(isConnected() ? Outcome::Done : Outcome::Lost);
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
    const bool sent = connected && write(protocol::bytes(protocol::KomendaKoniec));
    const bool drained = !m_link || m_link->close();
    m_endedWell = !connected || (sent && drained);
    // A sequence waiting between its frames ends there.
    endWaits();
    return m_endedWell;
}

DeviceProgrammer::WaitEnd DeviceProgrammer::Czekaj(Clock::time_point start)
{
    return finish(waitFrom(start));
}

Task<DeviceProgrammer::WaitEnd> DeviceProgrammer::waitFrom(Clock::time_point start)
{
    const Clock::time_point end = start + protocol::PacingWait;
    for (;;) {
        if (m_state == State::Closing)
            co_return WaitEnd::Ended;
        // The port of a running sequence gone meanwhile ends its wait.
        if (busy() && !portOpen())
            co_return WaitEnd::PortLost;
        const Clock::time_point now = Clock::now();
        if (now >= end)
            co_return WaitEnd::Elapsed;
        // The event loop's timers count whole milliseconds and mostly wake
        // late; the last moments are slept through to the microsecond.
        if (FinalSleep.count() > 0 && end - now <= FinalSleep) {
            std::this_thread::sleep_until(end);
            continue;
        }
        // Sleeps in the event loop until the end is near, so the window stays
        // responsive without spinning; a timer may wake a little early, hence
        // the loop.
        if (!co_await nap(std::chrono::ceil<std::chrono::milliseconds>(end - now - FinalSleep)))
            co_return WaitEnd::Ended;
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

bool DeviceProgrammer::write(const QByteArray &frame)
{
    if (!m_link->Output(frame))
        return false;
    ++m_framesSent;
    return true;
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

Task<DeviceProgrammer::Step> DeviceProgrammer::checkedExchange(QByteArray frame)
{
    // Replies to unchecked frames (beeps, clear, clock, refresh ticks) may
    // still wait; they must not pass for the answer to this frame.
    m_link->discardInput();
    if (!write(frame))
        co_return Step::Failed;
    const WaitEnd waited = co_await waitFrom(Clock::now());
    if (waited != WaitEnd::Elapsed)
        co_return cutShort(waited);
    if (!SprawdzOdpowiedz())
        co_return Step::Failed;
    ++m_framesAcknowledged;
    co_return Step::Acknowledged;
}

Task<DeviceProgrammer::Step> DeviceProgrammer::pacedStep(QByteArray frame)
{
    const Step step = co_await checkedExchange(std::move(frame));
    if (step != Step::Acknowledged)
        co_return step;
    const WaitEnd waited = co_await waitFrom(Clock::now());
    co_return waited == WaitEnd::Elapsed ? Step::Acknowledged : cutShort(waited);
}

int DeviceProgrammer::framesAhead(Memory memory, int from) const
{
    int frames = 0;
    std::optional<UploadFrame> frame = nextUploadFrame(m_inputs, memory, from);
    for (; frame; frame = nextUploadFrame(m_inputs, memory, frame->position + 1))
        ++frames;
    return frames;
}

Task<DeviceProgrammer::Step> DeviceProgrammer::sendUploadFrame(UploadProgress &progress,
                                                               QByteArray frame, int next)
{
    const Step step = co_await pacedStep(std::move(frame));
    if (step == Step::Acknowledged) {
        // Frames still to go, counted anew after each one: the user may
        // change the check boxes while the upload runs.
        ++progress.sent;
        emit uploadProgress(progress.sent, progress.sent + framesAhead(progress.memory, next));
    }
    co_return step;
}

Task<DeviceProgrammer::Step> DeviceProgrammer::sendClosingRefresh(UploadProgress &progress)
{
    // Its answer is read so that it does not linger, but not judged.
    m_link->discardInput();
    write(protocol::bytes(protocol::KomendaOdswiez));
    const WaitEnd waited = co_await waitFrom(Clock::now());
    if (waited != WaitEnd::Elapsed)
        co_return cutShort(waited);
    if (SprawdzOdpowiedz())
        ++m_framesAcknowledged;
    ++progress.sent;
    emit uploadProgress(progress.sent, progress.sent);
    co_return Step::Acknowledged;
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
            write(protocol::bytes(protocol::KomendaOdswiez));
    }
    m_tickMissed = false;
    setState(State::Connected);
    emit uploadFinished();
    return Outcome::of(step == Step::Acknowledged ? Outcome::Done : Outcome::Unanswered, frame);
}

Task<DeviceProgrammer::Step> DeviceProgrammer::handshake(State asking)
{
    setState(asking);
    const Step step = co_await checkedExchange(protocol::bytes(protocol::KomendaProg));
    if (step == Step::Acknowledged)
        setState(State::Connected);
    co_return step;
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
    // Its waits are resumed by their timers, whatever plain call runs now.
    Driver *const outer = std::exchange(m_driver, nullptr);
    m_reconnect.emplace(reconnecting());
    m_reconnect->start();
    m_driver = outer;
}

Task<DeviceProgrammer::Step> DeviceProgrammer::reconnecting()
{
    const Step step = co_await handshake(State::Reconnecting);
    if (step == Step::Acknowledged || m_state == State::Closing)
        co_return step;
    // No second message; the port has to go and come back before it is
    // asked again.
    m_link->close();
    setState(State::ReturnedSilent);
    if (step != Step::Ended)
        m_returnWatch.start();
    co_return step;
}

void DeviceProgrammer::endWaits()
{
    // Each waiting sequence is woken as its timer would wake it, from the
    // event loop, and finds out why.
    for (Sleeper &sleeper : m_sleepers) {
        killTimer(sleeper.timer);
        sleeper.timer = startTimer(0);
    }
}
