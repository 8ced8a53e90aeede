#include "programming/device_programmer.h"

#include "programming/messages.h"
#include "programming/module1.h"
#include "programming/programming_window.h"
#include "protocol/builders.h"
#include "protocol/frames.h"

#include <QEventLoop>
#include <QList>

namespace {

// The display needs this long after a frame before its answer is complete.
constexpr std::chrono::milliseconds PacingWait{700};
constexpr int RefreshIntervalMs = 28000;

const QString LongBeepOffCaption = QStringLiteral("Włącz długi dźwięk");
const QString LongBeepOnCaption = QStringLiteral("Wyłącz długi dźwięk");

} // namespace

struct DeviceProgrammer::Private
{
    bool withClock = false;
    bool connected = false;       // the display took the programming-mode request
    bool sequenceRunning = false; // the handshake or an upload is between its frames
    bool uploading = false;
    bool closing = false;  // the window is closing: nothing more goes out
    bool portGone = false; // the port went away while connected
    bool quitting = false; // the application is ending without the window closing first
    bool lossReported = false;
    QList<QEventLoop *> waits; // the waits running now, innermost last

    // A sequence ends without a word when the program ends under it.
    bool silenced() const { return closing || quitting; }
    bool abandoned() const { return silenced() || portGone; }
};

DeviceProgrammer::DeviceProgrammer(ProgrammingWindow &window, bool withClock, QObject *parent)
    : QObject(parent), d(new Private), m_window(window)
{
    d->withClock = withClock;
    // A coarse timer may drift by a twentieth of its interval; the display
    // expects its refresh every 28 s.
    m_Odswiez_Timer.setTimerType(Qt::PreciseTimer);
    m_Odswiez_Timer.setInterval(RefreshIntervalMs);
    connect(&m_Odswiez_Timer, &QTimer::timeout, this, &DeviceProgrammer::Odswiez_Timer_Timer);
    connect(&m_Port_MSComm, &SerialLink::portLost, this, &DeviceProgrammer::onPortLost);
}

DeviceProgrammer::~DeviceProgrammer()
{
    if (Module1::PortKomunikacyjny == &m_Port_MSComm)
        Module1::PortKomunikacyjny = nullptr;
    delete d;
}

void DeviceProgrammer::Form_Load()
{
    m_window.UstawieniaPoczatkoweProgramowania();
    if (Module1::NumerPortu == 0)
        return;

    Module1::PortKomunikacyjny = &m_Port_MSComm;
    m_Port_MSComm.setCommPort(Module1::NumerPortu);
    switch (m_Port_MSComm.open()) {
    case SerialLink::OpenResult::Opened:
        break;
    case SerialLink::OpenResult::Busy:
        // Another program took the port after the port dialog tried it.
        m_window.PokazOstrzezenie(messages::PortBusy);
        return;
    default:
        m_window.PokazOstrzezenie(messages::PortUnavailable);
        return;
    }

    d->sequenceRunning = true;
    const bool acknowledged = checkedExchange(protocol::bytes(protocol::KomendaProg));
    d->sequenceRunning = false;
    if (d->silenced())
        return;
    if (acknowledged) {
        d->connected = true;
        m_window.setDeviceCommandsEnabled(true);
        m_Odswiez_Timer.start();
        return;
    }
    if (m_Port_MSComm.PortOpen()) {
        m_window.PokazOstrzezenie(messages::DisplayCommunicationError);
    } else {
        d->portGone = true;
        reportLoss();
    }
    m_Port_MSComm.close();
}

void DeviceProgrammer::Form_QueryUnload()
{
    if (d->closing)
        return;
    d->closing = true;
    m_Odswiez_Timer.stop();
    if (Module1::NumerPortu != 0 && m_Port_MSComm.PortOpen()) {
        m_Port_MSComm.Output(protocol::bytes(protocol::KomendaKoniec));
        m_Port_MSComm.close();
    }
    // A sequence waiting between its frames ends there.
    for (QEventLoop *wait : std::as_const(d->waits))
        wait->quit();
}

void DeviceProgrammer::Odswiez_Timer_Timer()
{
    // An upload sends its own refresh at its end; a tick in between would
    // leave a reply that a check of the upload could take for its own.
    if (d->uploading || d->closing)
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
    if (busy())
        return;
    // The caption is the only record of the long beep.
    const bool switchOn = m_window.DlugiDzwiek_Caption() == LongBeepOffCaption;
    m_window.setDlugiDzwiek_Caption(switchOn ? LongBeepOnCaption : LongBeepOffCaption);
    sendCommand(switchOn ? protocol::bytes(protocol::KomendaDlugiDzwiekWlacz)
                         : protocol::bytes(protocol::KomendaDlugiDzwiekWylacz));
}

void DeviceProgrammer::PrzeslijZegar_Command_Click()
{
    if (!d->withClock || busy())
        return;
    RamkaZegara = protocol::RamkaZegara(m_window.Godzina_MEB());
    sendCommand(RamkaZegara);
    RamkaZegara.clear();
}

void DeviceProgrammer::Czekaj(Clock::time_point start)
{
    const Clock::time_point end = start + PacingWait;
    while (!d->abandoned()) {
        const Clock::time_point now = Clock::now();
        if (now >= end)
            return;
        // Sleeps in the event loop until the end is due, so the window stays
        // responsive without spinning; a timer may wake a little early, hence
        // the loop.
        QEventLoop loop;
        QTimer wakeUp;
        wakeUp.setSingleShot(true);
        wakeUp.setTimerType(Qt::PreciseTimer);
        connect(&wakeUp, &QTimer::timeout, &loop, &QEventLoop::quit);
        wakeUp.start(std::chrono::ceil<std::chrono::milliseconds>(end - now));
        d->waits.append(&loop);
        // Once the application has been told to quit, every new event loop
        // returns at once; waiting on would only spin.
        if (loop.exec() < 0)
            d->quitting = true;
        d->waits.removeOne(&loop);
    }
}

bool DeviceProgrammer::SprawdzOdpowiedz()
{
    QByteArray reply;
    if (m_Port_MSComm.InBufferCount() > 7) {
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
    return d->connected && m_Port_MSComm.PortOpen();
}

bool DeviceProgrammer::isUploading() const
{
    return d->uploading;
}

bool DeviceProgrammer::busy() const
{
    // While a sequence runs nothing else may write between its frames.
    return d->sequenceRunning || d->closing;
}

void DeviceProgrammer::sendCommand(const QByteArray &frame)
{
    if (busy())
        return;
    if (m_Port_MSComm.PortOpen())
        m_Port_MSComm.Output(frame);
}

bool DeviceProgrammer::checkedExchange(const QByteArray &frame)
{
    // Replies to unchecked frames (beeps, clear, clock, refresh ticks) may
    // still wait; they must not pass for the answer to this frame.
    m_Port_MSComm.discardInput();
    if (!m_Port_MSComm.Output(frame))
        return false;
    Czekaj(Clock::now());
    if (d->abandoned())
        return false;
    return SprawdzOdpowiedz();
}

bool DeviceProgrammer::pacedStep(const QByteArray &frame)
{
    if (!checkedExchange(frame))
        return false;
    Czekaj(Clock::now());
    return !d->abandoned();
}

int DeviceProgrammer::screensAhead(Memory memory, int fromScreen) const
{
    const int screens = memory == Memory::Ram ? protocol::RamScreens : protocol::EepromScreens;
    int count = 0;
    for (int n = fromScreen; n <= screens; ++n) {
        if (memory == Memory::Ram ? m_window.TekstRAM_Check(n) : m_window.TekstEEPROM_Check(n))
            ++count;
    }
    return count;
}

void DeviceProgrammer::upload(Memory memory)
{
    if (!isConnected() || busy())
        return;
    d->sequenceRunning = true;
    d->uploading = true;
    m_window.setDeviceCommandsEnabled(false);

    const bool ram = memory == Memory::Ram;
    QByteArray &holder = ram ? RamkaRAM : RamkaEEPROM;
    const int screens = ram ? protocol::RamScreens : protocol::EepromScreens;
    // Frames still to go, counted anew after each one: the user may change
    // the check boxes while the upload runs.
    const auto framesAhead = [&](int fromScreen) { return screensAhead(memory, fromScreen) + 1; };

    int sent = 0;
    const bool parameters = ram ? m_window.ParametryRAM_Check() : m_window.ParametryEEPROM_Check();
    emit uploadStarted((parameters ? 1 : 0) + framesAhead(1));

    bool ok = true;
    if (parameters) {
        holder = ram ? protocol::RamkaParametrowRAM(
                           m_window.PrzesuwRAM_Combo(), m_window.IloscEkranowRAM_Combo(),
                           m_window.PredkoscRAM_Combo(), m_window.JasnoscRAM_Combo())
                     : protocol::RamkaParametrowEEPROM(m_window.PrzesuwEEPROM_Combo(),
                                                       m_window.PredkoscEEPROM_Combo(),
                                                       m_window.JasnoscEEPROM_Combo());
        ok = pacedStep(holder);
        if (ok) {
            ++sent;
            emit uploadProgress(sent, sent + framesAhead(1));
        }
    }
    for (int n = 1; ok && n <= screens; ++n) {
        if (!(ram ? m_window.TekstRAM_Check(n) : m_window.TekstEEPROM_Check(n)))
            continue;
        holder = ram ? protocol::RamkaTekstuRAM(n, m_window.TekstRAM_Text(n))
                     : protocol::RamkaTekstuEEPROM(n, m_window.TekstEEPROM_Text(n));
        ok = pacedStep(holder);
        if (ok) {
            ++sent;
            emit uploadProgress(sent, sent + framesAhead(n + 1));
        }
    }
    if (ok) {
        // The closing refresh: its answer is read so that it does not linger,
        // but not judged.
        m_Port_MSComm.discardInput();
        m_Port_MSComm.Output(protocol::bytes(protocol::KomendaOdswiez));
        Czekaj(Clock::now());
        ok = !d->abandoned() && m_Port_MSComm.PortOpen();
        if (ok) {
            SprawdzOdpowiedz();
            ++sent;
            emit uploadProgress(sent, sent);
        }
    }

    d->uploading = false;
    d->sequenceRunning = false;
    if (d->silenced()) {
        // Closing the window ends the upload where it waited, silently.
        emit uploadFinished();
        return;
    }
    if (!m_Port_MSComm.PortOpen()) {
        enterDisconnected();
        emit uploadFinished();
        reportLoss();
        return;
    }
    if (!ok)
        m_Port_MSComm.discardInput();
    m_window.setDeviceCommandsEnabled(true);
    emit uploadFinished();
    if (ok)
        m_window.PokazInformacje(ram ? messages::CurrentProgrammed : messages::EepromProgrammed);
    else
        m_window.PokazOstrzezenie(messages::DisplayCommunicationError);
}

void DeviceProgrammer::enterDisconnected()
{
    d->portGone = true;
    d->connected = false;
    m_Odswiez_Timer.stop();
    m_window.setDeviceCommandsEnabled(false);
}

void DeviceProgrammer::reportLoss()
{
    // Whoever notices a lost port first reports it; once.
    if (d->lossReported)
        return;
    d->lossReported = true;
    m_window.PokazOstrzezenie(messages::DisplayCommunicationError);
}

void DeviceProgrammer::onPortLost()
{
    if (d->closing)
        return;
    const bool wasGone = d->portGone;
    enterDisconnected();
    for (QEventLoop *wait : std::as_const(d->waits))
        wait->quit();
    // A running sequence notices the loss when its wait ends and reports it.
    if (d->sequenceRunning || wasGone)
        return;
    reportLoss();
}
