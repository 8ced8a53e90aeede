#include "programming/device_programmer.h"

#include "programming/open_failure.h"
#include "protocol/builders.h"
#include "protocol/frames.h"
#include "resources/message_numbers.h"

#include <QEventLoop>

#include <thread>

namespace {

// The display needs this long after a frame before its answer is complete.
constexpr std::chrono::milliseconds PacingWait{700};
#ifdef Q_OS_WIN
constexpr std::chrono::milliseconds FinalSleep{0};
#else
// The end of a wait, too short to leave the user waiting, slept precisely.
constexpr std::chrono::milliseconds FinalSleep{2};
#endif
constexpr int RefreshIntervalMs = 28000;
constexpr int ReturnPollMs = 1000;

// What sets the two uploads apart: how many screens the memory has, how its
// frames are built and the message at the end.
struct MemoryDescription
{
    int screens;
    QByteArray (*parameterFrame)(const ParameterChoice &choice);
    QByteArray (*textFrame)(int n, QStringView text);
    int programmedMessage;
};

QByteArray ramParameters(const ParameterChoice &c)
{
    return protocol::RamkaParametrowRAM(c.scrollKind, c.screenCount, c.speed, c.brightness);
}

QByteArray eepromParameters(const ParameterChoice &c)
{
    return protocol::RamkaParametrowEEPROM(c.scrollKind, c.speed, c.brightness);
}

constexpr MemoryDescription Ram{protocol::RamScreens, &ramParameters, &protocol::RamkaTekstuRAM,
                                messages::CurrentProgrammed};
constexpr MemoryDescription Eeprom{protocol::EepromScreens, &eepromParameters,
                                   &protocol::RamkaTekstuEEPROM, messages::EepromProgrammed};

const MemoryDescription &describe(Memory memory)
{
    return memory == Memory::Ram ? Ram : Eeprom;
}

} // namespace

DeviceProgrammer::DeviceProgrammer(ProgrammingWindow &window, bool withClock, QObject *parent)
    : QObject(parent), m_window(window), m_withClock(withClock)
{
    // A coarse timer may drift by a twentieth of its interval; the display
    // expects its refresh every 28 s.
    m_Odswiez_Timer.setTimerType(Qt::PreciseTimer);
    m_Odswiez_Timer.setInterval(RefreshIntervalMs);
    connect(&m_Odswiez_Timer, &QTimer::timeout, this, &DeviceProgrammer::Odswiez_Timer_Timer);
    connect(&m_Port_MSComm, &SerialLink::portLost, this, &DeviceProgrammer::onPortLost);
    // A stat of one path a second while the port is lost costs next to nothing.
    m_returnWatch.setInterval(ReturnPollMs);
    connect(&m_returnWatch, &QTimer::timeout, this, &DeviceProgrammer::reconnectIfReturned);
}

DeviceProgrammer::~DeviceProgrammer() = default;

void DeviceProgrammer::Form_Load(const QString &device)
{
    m_window.UstawieniaPoczatkoweProgramowania();
    if (device.isEmpty())
        return;

    m_device = device;
    // The port dialog tried the port a moment ago; another program may have
    // taken it since, or the adapter gone.
    const SerialLink::OpenResult opened = m_Port_MSComm.open(device);
    if (opened != SerialLink::OpenResult::Opened) {
        emit portOpenFailed(opened);
        const OpenFailureReport report =
            reportOpenFailure(opened, device, m_Port_MSComm.errorString());
        m_window.PokazOstrzezenie(report.message, report.detail);
        return;
    }

    const Step step = handshake(State::Handshake);
    if (step == Step::Acknowledged || m_state == State::Closing)
        return;
    // No answer, or the port gone meanwhile: message 200, and the port is
    // closed after it. The application quitting under the handshake says
    // nothing.
    m_state = State::Unconnected;
    if (step == Step::Failed)
        m_window.PokazOstrzezenie(messages::DisplayCommunicationError);
    m_Port_MSComm.close();
}

void DeviceProgrammer::Form_QueryUnload()
{
    if (m_state == State::Closing)
        return;
    // Only a display that took the programming request is told to leave
    // programming mode.
    const bool connected = isConnected();
    m_state = State::Closing;
    m_Odswiez_Timer.stop();
    m_returnWatch.stop();
    if (connected)
        m_Port_MSComm.Output(protocol::bytes(protocol::KomendaKoniec));
    m_Port_MSComm.close();
    // A sequence waiting between its frames ends there.
    endWaits();
}

void DeviceProgrammer::Odswiez_Timer_Timer()
{
    // An upload sends its own refresh at its end; a tick in between would
    // leave a reply that a check of the upload could take for its own. An
    // upload that fails sends the missed tick when it has ended.
    if (m_state == State::Uploading) {
        m_tickMissed = true;
        return;
    }
    if (m_state == State::Connected)
        m_Port_MSComm.Output(protocol::bytes(protocol::KomendaOdswiez));
}

void DeviceProgrammer::PrzeslijRAM_Command_Click()
{
    upload(Memory::Ram);
}

void DeviceProgrammer::PrzeslijEEPROM_Command_Click()
{
    upload(Memory::Eeprom);
}

void DeviceProgrammer::CzyscEkran_Command_Click()
{
    sendCommand(protocol::bytes(protocol::KomendaCzyscEkran));
}

void DeviceProgrammer::KrotkiSygnalDzwiek_Command_Click()
{
    sendCommand(protocol::bytes(protocol::KomendaKrotkiDzwiek));
}

void DeviceProgrammer::DlugiDzwiek_Command_Click()
{
    setLongBeep(!m_longBeepOn);
}

void DeviceProgrammer::setLongBeep(bool on)
{
    if (busy())
        return;
    // The window shows the new state whether or not the frame can go out.
    m_longBeepOn = on;
    m_window.showLongBeep(on);
    sendCommand(on ? protocol::bytes(protocol::KomendaDlugiDzwiekWlacz)
                   : protocol::bytes(protocol::KomendaDlugiDzwiekWylacz));
}

void DeviceProgrammer::PrzeslijZegar_Command_Click()
{
    if (!m_withClock || busy())
        return;
    sendCommand(protocol::RamkaZegara(m_window.Godzina_MEB()));
}

DeviceProgrammer::WaitEnd DeviceProgrammer::Czekaj(Clock::time_point start)
{
    const Clock::time_point end = start + PacingWait;
    for (;;) {
        if (m_state == State::Closing)
            return WaitEnd::Ended;
        // The port of a running sequence gone meanwhile ends its wait.
        if (busy() && !m_Port_MSComm.PortOpen())
            return WaitEnd::PortLost;
        const Clock::time_point now = Clock::now();
        if (now >= end)
            return WaitEnd::Elapsed;
#ifndef Q_OS_WIN
        // The event loop's timers count whole milliseconds and mostly wake
        // late; the last moments are slept through to the microsecond. (On
        // Windows a short sleep may take a whole scheduler tick instead.)
        if (end - now <= FinalSleep) {
            std::this_thread::sleep_until(end);
            continue;
        }
#endif
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
    if (m_Port_MSComm.InBufferCount() >= protocol::AcknowledgementSize) {
        for (int i = 0; i < protocol::AcknowledgementSize; ++i) {
            const int byte = m_Port_MSComm.Input();
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

bool DeviceProgrammer::isUploading() const
{
    return m_state == State::Uploading;
}

bool DeviceProgrammer::isClosing() const
{
    return m_state == State::Closing;
}

bool DeviceProgrammer::busy() const
{
    // While a sequence runs nothing else may write between its frames.
    return m_state == State::Handshake || m_state == State::Reconnecting ||
           m_state == State::Uploading || m_state == State::Closing;
}

void DeviceProgrammer::sendCommand(const QByteArray &frame)
{
    if (m_state == State::Connected)
        m_Port_MSComm.Output(frame);
}

DeviceProgrammer::Step DeviceProgrammer::cutShort(WaitEnd waited)
{
    // A lost port fails the step; a close or a quit ends the sequence.
    return waited == WaitEnd::Ended ? Step::Ended : Step::Failed;
}

DeviceProgrammer::Step DeviceProgrammer::checkedExchange(const QByteArray &frame)
{
    // Replies to unchecked frames (beeps, clear, clock, refresh ticks) may
    // still wait; they must not pass for the answer to this frame.
    m_Port_MSComm.discardInput();
    Step step = Step::Failed;
    if (m_Port_MSComm.Output(frame)) {
        const WaitEnd waited = Czekaj(Clock::now());
        step = waited != WaitEnd::Elapsed ? cutShort(waited)
               : SprawdzOdpowiedz()       ? Step::Acknowledged
                                          : Step::Failed;
    }
    if (step == Step::Failed)
        emit frameUnanswered(frame);
    return step;
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
    for (int n = fromScreen; n <= describe(memory).screens; ++n) {
        if (m_window.screenChecked(memory, n))
            ++frames;
    }
    return frames;
}

void DeviceProgrammer::upload(Memory memory)
{
    if (m_state != State::Connected)
        return;
    m_state = State::Uploading;
    m_tickMissed = false;
    m_window.setDeviceCommandsEnabled(false);
    const MemoryDescription &description = describe(memory);
    UploadProgress progress{memory};
    const bool parameters = m_window.parametersChecked(memory);
    emit uploadStarted((parameters ? 1 : 0) + framesAhead(memory, 1), memory);

    Step step = Step::Acknowledged;
    if (parameters)
        step =
            sendUploadFrame(progress, description.parameterFrame(m_window.parameters(memory)), 1);
    for (int n = 1; step == Step::Acknowledged && n <= description.screens; ++n) {
        if (m_window.screenChecked(memory, n))
            step = sendUploadFrame(progress,
                                   description.textFrame(n, m_window.screenText(memory, n)), n + 1);
    }
    if (step == Step::Acknowledged)
        step = sendClosingRefresh(progress);
    endUpload(memory, step);
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
    m_Port_MSComm.discardInput();
    m_Port_MSComm.Output(protocol::bytes(protocol::KomendaOdswiez));
    const WaitEnd waited = Czekaj(Clock::now());
    if (waited != WaitEnd::Elapsed)
        return cutShort(waited);
    SprawdzOdpowiedz();
    ++progress.sent;
    emit uploadProgress(progress.sent, progress.sent);
    return Step::Acknowledged;
}

void DeviceProgrammer::endUpload(Memory memory, Step step)
{
    if (m_state == State::Uploading)
        m_state = State::Connected;
    if (step == Step::Ended || m_state == State::Closing) {
        // Closing the window or quitting ends the upload where it waited, silently.
        emit uploadFinished();
        return;
    }
    if (!m_Port_MSComm.PortOpen()) {
        enterLost();
        emit uploadFinished();
        m_window.PokazOstrzezenie(messages::DisplayCommunicationError);
        return;
    }
    if (step == Step::Failed) {
        m_Port_MSComm.discardInput();
        // The refresh tick held back while the upload ran; a successful
        // upload ends with a refresh of its own instead.
        if (m_tickMissed)
            m_Port_MSComm.Output(protocol::bytes(protocol::KomendaOdswiez));
    }
    m_tickMissed = false;
    m_window.setDeviceCommandsEnabled(true);
    emit uploadFinished();
    if (step == Step::Acknowledged)
        m_window.PokazInformacje(describe(memory).programmedMessage);
    else
        m_window.PokazOstrzezenie(messages::DisplayCommunicationError);
}

DeviceProgrammer::Step DeviceProgrammer::handshake(State asking)
{
    m_state = asking;
    const Step step = checkedExchange(protocol::bytes(protocol::KomendaProg));
    if (step == Step::Acknowledged)
        enterConnected();
    return step;
}

void DeviceProgrammer::enterConnected()
{
    m_state = State::Connected;
    m_window.setDeviceCommandsEnabled(true);
    m_Odswiez_Timer.start();
}

void DeviceProgrammer::enterLost()
{
    m_state = State::Lost;
    m_Odswiez_Timer.stop();
    m_window.setDeviceCommandsEnabled(false);
    m_returnWatch.start();
}

void DeviceProgrammer::onPortLost()
{
    switch (m_state) {
    case State::Connected:
        enterLost();
        m_window.PokazOstrzezenie(messages::DisplayCommunicationError);
        return;
    case State::Handshake:
    case State::Reconnecting:
    case State::Uploading:
        // The running sequence notices the loss when its wait ends, and
        // reports it as its own failure.
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
    if (!SerialLink::deviceExists(m_device)) {
        if (m_state == State::ReturnedSilent)
            m_state = State::Lost;
        return;
    }
    // A device just back may refuse to open for a moment, while the system
    // sets its permissions: the next poll tries again.
    if (m_state != State::Lost || m_Port_MSComm.open(m_device) != SerialLink::OpenResult::Opened)
        return;
    m_returnWatch.stop();
    const Step step = handshake(State::Reconnecting);
    if (step == Step::Acknowledged || m_state == State::Closing)
        return;
    // No second message; the device has to go and come back before it is
    // asked again.
    m_Port_MSComm.close();
    m_state = State::ReturnedSilent;
    if (step != Step::Ended)
        m_returnWatch.start();
}

void DeviceProgrammer::endWaits()
{
    for (QEventLoop *wait : std::as_const(m_waits))
        wait->quit();
}
