#include "cli/programming_run.h"

#include "cli/console.h"
#include "programming/device_programmer.h"
#include "programming/termination.h"
#include "protocol/builders.h"
#include "protocol/frames.h"
#include "resources/message_numbers.h"
#include "resources/message_text.h"

#include <QTime>

#include <functional>

namespace {

// How messages name a frame that the display left unanswered: only the
// programming request and the frames of an upload wait for an answer.
QString frameName(const QByteArray &frame)
{
    if (frame == protocol::bytes(protocol::KomendaProg))
        return QStringLiteral("żądanie trybu programowania");
    const int code = frame.size() > 4 ? std::uint8_t(frame[4]) : -1;
    if (code == protocol::EepromParameters)
        return QStringLiteral("parametry (EEPROM)");
    if (code == protocol::RamParameters)
        return QStringLiteral("parametry (RAM)");
    if (code > protocol::EepromParameters && code <= protocol::EepromScreens)
        return screenName(Memory::Eeprom, code);
    if (code > protocol::RamParameters && code <= protocol::RamParameters + protocol::RamScreens)
        return screenName(Memory::Ram, code - protocol::RamParameters);
    return QStringLiteral("kod %1").arg(code);
}

} // namespace

ProgrammingRun::ProgrammingRun(const Request &request) : m_request(request) {}

int ProgrammingRun::exec()
{
    DeviceProgrammer programmer(*this, true);
    QObject::connect(&programmer, &DeviceProgrammer::portOpenFailed,
                     [this](SerialLink::OpenResult result) { m_openResult = result; });
    QObject::connect(&programmer, &DeviceProgrammer::frameUnanswered,
                     [this](const QByteArray &frame) { m_unanswered = frame; });
    QObject::connect(&programmer, &DeviceProgrammer::uploadProgress,
                     [this](int sent, int) { showProgress(m_sentBefore + sent); });
    // A signal ends the run where it waits, as closing the window does: the
    // closing frame when the display is in programming mode, the port released.
    onTermination(&programmer, [this, &programmer](int signal) {
        if (signal == termination::Quit)
            return;
        if (m_signal == 0)
            m_signal = signal;
        programmer.Form_QueryUnload();
    });

    programmer.Form_Load(m_request.device);
    const auto goesOn = [&] {
        return m_exitCode == Done && m_signal == 0 && programmer.isConnected();
    };
    if (goesOn())
        showProgress(0);
    if (goesOn() && m_request.eeprom) {
        programmer.PrzeslijEEPROM_Command_Click();
        m_sentBefore += m_request.eeprom->frames();
    }
    if (goesOn() && m_request.ram) {
        programmer.PrzeslijRAM_Command_Click();
        m_sentBefore += m_request.ram->frames();
    }
    // The window's commands go without waiting for an answer; here each is
    // given the wait that follows every frame, before the next one comes.
    const auto command = [&](bool asked, const std::function<void()> &send) {
        if (!asked || !goesOn())
            return;
        send();
        showProgress(++m_sentBefore);
        programmer.Czekaj(DeviceProgrammer::Clock::now());
    };
    command(m_request.clock.has_value(), [&] { programmer.PrzeslijZegar_Command_Click(); });
    command(m_request.beep, [&] { programmer.KrotkiSygnalDzwiek_Command_Click(); });
    command(m_request.longBeep.has_value(), [&] { programmer.setLongBeep(*m_request.longBeep); });
    command(m_request.clear, [&] { programmer.CzyscEkran_Command_Click(); });
    programmer.Form_QueryUnload();
    console::endProgress();
    for (int message : std::as_const(m_done))
        console::out(messageText(message));
    return m_signal != 0 ? 128 + m_signal : m_exitCode;
}

const ScreenSet &ProgrammingRun::set(Memory memory) const
{
    static const ScreenSet none[] = {ScreenSet(Memory::Ram), ScreenSet(Memory::Eeprom)};
    const std::optional<ScreenSet> &asked =
        memory == Memory::Ram ? m_request.ram : m_request.eeprom;
    return asked ? *asked : none[memory == Memory::Ram ? 0 : 1];
}

QString ProgrammingRun::screenText(Memory memory, int n) const
{
    return set(memory).texts.at(n).value_or(QString());
}

bool ProgrammingRun::screenChecked(Memory memory, int n) const
{
    return set(memory).texts.at(n).has_value();
}

bool ProgrammingRun::parametersChecked(Memory) const
{
    return true;
}

ParameterChoice ProgrammingRun::parameters(Memory memory) const
{
    return set(memory).parameters;
}

QString ProgrammingRun::Godzina_MEB() const
{
    // "now" is the time the frame is built, not the time the run started.
    const QString clock = m_request.clock.value_or(QString());
    return clock.isEmpty() ? QTime::currentTime().toString(QStringLiteral("HH:mm")) : clock;
}

int ProgrammingRun::framesDue() const
{
    return (m_request.eeprom ? m_request.eeprom->frames() : 0) +
           (m_request.ram ? m_request.ram->frames() : 0) + (m_request.clock ? 1 : 0) +
           (m_request.beep ? 1 : 0) + (m_request.longBeep ? 1 : 0) + (m_request.clear ? 1 : 0);
}

void ProgrammingRun::showProgress(int sent)
{
    if (!m_request.quiet && console::errIsTerminal())
        console::progress(QStringLiteral("Wysłano ramek: %1 z %2").arg(sent).arg(framesDue()));
}

void ProgrammingRun::PokazInformacje(int NumerKomunikatu)
{
    // Said at the end, under the finished progress line.
    if (!m_request.quiet)
        m_done.append(NumerKomunikatu);
}

void ProgrammingRun::PokazOstrzezenie(int NumerKomunikatu, const QString &detail)
{
    switch (NumerKomunikatu) {
    case messages::PortBusy:
        m_exitCode = PortBusy;
        break;
    case messages::PortUnavailable:
        m_exitCode =
            m_openResult == SerialLink::OpenResult::NotPermitted ? PortNotPermitted : PortMissing;
        break;
    default:
        m_exitCode = NotAcknowledged;
        break;
    }
    console::err(messageText(NumerKomunikatu));
    if (!detail.isEmpty())
        console::err(detail);
    if (NumerKomunikatu == messages::DisplayCommunicationError && !m_unanswered.isEmpty())
        console::err(
            QStringLiteral("Wyświetlacz nie potwierdził ramki: %1.").arg(frameName(m_unanswered)));
}
