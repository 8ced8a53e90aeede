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

// What sets the two uploads apart: how many screens the memory has, where its
// frames are kept, how they are built and the message at the end.
struct MemoryDescription
{
    int screens;
    QByteArray DeviceProgrammer::*holder;
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

constexpr MemoryDescription Ram{protocol::RamScreens, &DeviceProgrammer::RamkaRAM, &ramParameters,
                                &protocol::RamkaTekstuRAM, messages::CurrentProgrammed};
constexpr MemoryDescription Eeprom{protocol::EepromScreens, &DeviceProgrammer::RamkaEEPROM,
                                   &eepromParameters, &protocol::RamkaTekstuEEPROM,
                                   messages::EepromProgrammed};

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

    const Step step = handshake();
    if (m_state == State::Closing)
        return;
    if (step == Step::Ended) {
        // The application quits under the handshake: no word.
        m_state = State::Unconnected;
        return;
    }
    if (step == Step::Acknowledged) {
        enterConnected();
        return;
    }
    if (m_Port_MSComm.PortOpen()) {
        m_state = State::Unconnected;
        m_window.PokazOstrzezenie(messages::DisplayCommunicationError);
    } else {
        m_state = State::Lost;
        reportLoss();
    }
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
    if (m_state == State::Closing)
        return;
    if (m_Port_MSComm.PortOpen())
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
    RamkaZegara = protocol::RamkaZegara(m_window.Godzina_MEB());
    sendCommand(RamkaZegara);
    RamkaZegara.clear();
}

DeviceProgrammer::WaitEnd DeviceProgrammer::Czekaj(Clock::time_point start)
{
    const Clock::time_point end = start + PacingWait;
    for (;;) {
        if (m_state == State::Closing)
            return WaitEnd::Ended;
        if (m_state == State::Lost)
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
    return (m_state == State::Connected || m_state == State::Uploading) && m_Port_MSComm.PortOpen();
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
    return m_state == State::Handshake || m_state == State::Uploading || m_state == State::Closing;
}

void DeviceProgrammer::sendCommand(const QByteArray &frame)
{
    if (busy())
        return;
    if (m_Port_MSComm.PortOpen())
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

int DeviceProgrammer::screensAhead(Memory memory, int fromScreen) const
{
    int count = 0;
    for (int n = fromScreen; n <= describe(memory).screens; ++n) {
        if (m_window.screenChecked(memory, n))
            ++count;
    }
    return count;
}

void DeviceProgrammer::upload(Memory memory)
{
    if (!isConnected() || busy())
        return;
    const MemoryDescription &description = describe(memory);
    QByteArray &holder = this->*description.holder;
    m_state = State::Uploading;
    m_tickMissed = false;
    m_window.setDeviceCommandsEnabled(false);

    // Frames still to go, counted anew after each one: the user may change
    // the check boxes while the upload runs.
    const auto framesAhead = [&](int fromScreen) { return screensAhead(memory, fromScreen) + 1; };
    int sent = 0;
    Step step = Step::Acknowledged;
    const auto send = [&](const QByteArray &frame, int nextScreen) {
        holder = frame;
        step = pacedStep(holder);
        if (step == Step::Acknowledged) {
            ++sent;
            emit uploadProgress(sent, sent + framesAhead(nextScreen));
        }
    };

    const bool parameters = m_window.parametersChecked(memory);
    emit uploadStarted((parameters ? 1 : 0) + framesAhead(1), memory);
    if (parameters)
        send(description.parameterFrame(m_window.parameters(memory)), 1);
    for (int n = 1; step == Step::Acknowledged && n <= description.screens; ++n) {
        if (m_window.screenChecked(memory, n))
            send(description.textFrame(n, m_window.screenText(memory, n)), n + 1);
    }
    if (step == Step::Acknowledged) {
        // The closing refresh: its answer is read so that it does not linger,
        // but not judged.
        m_Port_MSComm.discardInput();
        m_Port_MSComm.Output(protocol::bytes(protocol::KomendaOdswiez));
        const WaitEnd waited = Czekaj(Clock::now());
        if (waited != WaitEnd::Elapsed) {
            step = cutShort(waited);
        } else if (!m_Port_MSComm.PortOpen()) {
            step = Step::Failed;
        } else {
            SprawdzOdpowiedz();
            ++sent;
            emit uploadProgress(sent, sent);
        }
    }

    if (m_state == State::Uploading)
        m_state = State::Connected;
    if (step == Step::Ended || m_state == State::Closing) {
        // Closing the window or quitting ends the upload where it waited, silently.
        emit uploadFinished();
        return;
    }
    if (!m_Port_MSComm.PortOpen()) {
        enterDisconnected();
        emit uploadFinished();
        reportLoss();
        return;
    }
    if (step != Step::Acknowledged) {
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
        m_window.PokazInformacje(description.programmedMessage);
    else
        m_window.PokazOstrzezenie(messages::DisplayCommunicationError);
}

void DeviceProgrammer::enterDisconnected()
{
    m_state = State::Lost;
    m_Odswiez_Timer.stop();
    m_window.setDeviceCommandsEnabled(false);
    if (m_wasConnected) {
        m_mayReconnect = true;
        m_returnWatch.start();
    }
}

DeviceProgrammer::Step DeviceProgrammer::handshake()
{
    m_state = State::Handshake;
    return checkedExchange(protocol::bytes(protocol::KomendaProg));
}

void DeviceProgrammer::enterConnected()
{
    m_state = State::Connected;
    m_wasConnected = true;
    m_lossReported = false;
    m_window.setDeviceCommandsEnabled(true);
    m_Odswiez_Timer.start();
}

void DeviceProgrammer::reconnectIfReturned()
{
    if (m_state != State::Lost)
        return;
    if (!SerialLink::deviceExists(m_device)) {
        m_mayReconnect = true;
        return;
    }
    // A device just back may refuse to open for a moment, while the system
    // sets its permissions: the next poll tries again.
    if (!m_mayReconnect || m_Port_MSComm.open(m_device) != SerialLink::OpenResult::Opened)
        return;
    m_returnWatch.stop();
    const Step step = handshake();
    if (step == Step::Acknowledged) {
        enterConnected();
        return;
    }
    if (m_state == State::Closing)
        return;
    // As after the loss, without a second message; the device has to go and
    // come back before it is asked again.
    m_Port_MSComm.close();
    m_state = State::Lost;
    m_mayReconnect = false;
    if (step != Step::Ended)
        m_returnWatch.start();
}

void DeviceProgrammer::reportLoss()
{
    // Whoever notices a lost port first reports it; once.
    if (m_lossReported)
        return;
    m_lossReported = true;
    m_window.PokazOstrzezenie(messages::DisplayCommunicationError);
}

void DeviceProgrammer::onPortLost()
{
    if (m_state == State::Closing)
        return;
    // A running sequence notices the loss when its wait ends and reports it.
    const bool noticedElsewhere =
        m_state == State::Handshake || m_state == State::Uploading || m_state == State::Lost;
    enterDisconnected();
    endWaits();
    if (!noticedElsewhere)
        reportLoss();
}

void DeviceProgrammer::endWaits()
{
    for (QEventLoop *wait : std::as_const(m_waits))
        wait->quit();
}
