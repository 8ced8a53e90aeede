#include "cli/programming_run.h"

#include "cli/console.h"
#include "programming/device_programmer.h"
#include "programming/open_failure.h"
#include "programming/refresh_timer.h"
#include "programming/termination.h"
#include "resources/message_numbers.h"
#include "resources/message_text.h"

#include <QCoreApplication>
#include <QTime>

#include <functional>

namespace {

// How messages name a frame that the display left unanswered.
QString frameName(const AnsweredFrame &frame)
{
    switch (frame.kind) {
    case AnsweredFrame::ProgrammingRequest:
        return QStringLiteral("żądanie trybu programowania");
    case AnsweredFrame::Parameters:
        return QStringLiteral("parametry (%1)").arg(protocol::memoryName(frame.memory));
    case AnsweredFrame::Screen:
        break;
    }
    return protocol::screenName(frame.memory, frame.screen);
}

} // namespace

ProgrammingRun::ProgrammingRun(const Request &request) : m_request(request) {}

int ProgrammingRun::exec()
{
    DeviceProgrammer programmer(*this);
    RefreshTimer refresh(programmer);
    QObject::connect(&refresh, &QTimer::timeout, &programmer, &DeviceProgrammer::refresh);
    int sentBefore = 0; // frames sent before the running upload
    QObject::connect(&programmer, &DeviceProgrammer::uploadProgress,
                     [&](int sent, int) { showProgress(sentBefore + sent); });
    // A signal ends the run where it waits, as closing the window does: the
    // closing frame when the display is in programming mode, the port released.
    onTermination(&programmer, [this, &programmer](int signal) {
        if (signal == termination::Quit)
            return;
        if (m_signal == 0)
            m_signal = signal;
        programmer.end();
    });
    // A signal that came while no event loop ran (before the run, in a
    // drain, while writing) waits to be read: it is, at each step.
    const auto signalled = [this] {
        QCoreApplication::processEvents();
        return m_signal != 0;
    };

    QList<int> programmed; // the uploads' messages of success, said at the end
    Outcome outcome;
    if (!signalled())
        outcome = programmer.connectTo(m_request.device);
    const auto goesOn = [&] { return outcome.succeeded() && !signalled(); };
    if (goesOn())
        showProgress(0);
    // The window's commands go without waiting for an answer; here each is
    // given the wait that follows every frame, before the next one comes.
    const auto command = [&](bool asked, const std::function<void()> &send) {
        if (!asked || !goesOn())
            return;
        send();
        showProgress(++sentBefore);
        outcome = programmer.pause();
    };
    // Clearing comes first, so that it never wipes what the run sends.
    command(m_request.clear, [&] { programmer.clear(); });
    for (const auto &[memory, message] :
         {std::pair{Memory::Eeprom, messages::EepromProgrammed},
          std::pair{Memory::Ram, messages::CurrentProgrammed}}) {
        if (set(memory) == nullptr || !goesOn())
            continue;
        outcome = programmer.upload(memory);
        sentBefore += set(memory)->frames();
        if (outcome.succeeded())
            programmed.append(message);
    }
    command(m_request.clock.has_value(), [&] { programmer.sendClock(); });
    command(m_request.beep, [&] { programmer.beep(); });
    command(m_request.longBeep.has_value(), [&] { programmer.setLongBeep(*m_request.longBeep); });

    int exitCode = report(outcome);
    const bool ended = programmer.end();
    signalled();
    console::endProgress();
    if (!ended) {
        console::err(QStringLiteral("Nie udało się wysłać ramki kończącej programowanie; "
                                    "wyświetlacz może pozostać w trybie programowania."));
        if (exitCode == Done)
            exitCode = NotEnded;
    }
    if (!m_request.quiet) {
        for (int message : std::as_const(programmed))
            console::out(messageText(message));
    }
    return m_signal != 0 ? 128 + m_signal : exitCode;
}

int ProgrammingRun::report(const Outcome &outcome)
{
    switch (outcome.kind) {
    case Outcome::Done:
    case Outcome::Ended: // by a signal, whose code the run ends with
        return Done;
    case Outcome::Unanswered:
    case Outcome::Lost:
        console::err(messageText(messages::DisplayCommunicationError));
        if (outcome.frame)
            console::err(QStringLiteral("Wyświetlacz nie potwierdził ramki: %1.")
                             .arg(frameName(*outcome.frame)));
        return NotAcknowledged;
    case Outcome::OpenFailed:
        break;
    }
    const OpenFailureReport failure =
        reportOpenFailure(outcome.openResult, m_request.device, outcome.systemError);
    console::err(messageText(failure.message));
    if (!failure.detail.isEmpty())
        console::err(failure.detail);
    switch (outcome.openResult) {
    case Link::OpenResult::Busy:
        return PortBusy;
    case Link::OpenResult::NotPermitted:
        return PortNotPermitted;
    default:
        return PortMissing;
    }
}

const protocol::ScreenSet *ProgrammingRun::set(Memory memory) const
{
    const std::optional<protocol::ScreenSet> &asked =
        memory == Memory::Ram ? m_request.ram : m_request.eeprom;
    return asked ? &*asked : nullptr;
}

QString ProgrammingRun::screenText(Memory memory, int n) const
{
    return set(memory) ? set(memory)->texts.at(n).value_or(QString()) : QString();
}

bool ProgrammingRun::screenChecked(Memory memory, int n) const
{
    return set(memory) && set(memory)->texts.at(n).has_value();
}

bool ProgrammingRun::parametersChecked(Memory memory) const
{
    return set(memory) && set(memory)->parametersGiven;
}

ParameterChoice ProgrammingRun::parameters(Memory memory) const
{
    return set(memory) ? set(memory)->parameters : protocol::startChoice(memory);
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
