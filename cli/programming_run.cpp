#include "cli/programming_run.h"

#include "cli/console.h"
#include "ports/port_list.h"
#include "programming/open_failure.h"
#include "programming/refresh_timer.h"
#include "programming/termination.h"
#include "protocol/frames.h"
#include "resources/message_numbers.h"
#include "resources/message_text.h"

#include <QCryptographicHash>
#include <QTime>

#include <chrono>

using Command = DeviceProgrammer::Command;

namespace {

// How messages and the dry run name a frame that the display answers.
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

QString commandName(Command command, const ProgrammingInputs &inputs)
{
    switch (command) {
    case Command::Refresh:
        return QStringLiteral("odświeżenie");
    case Command::Beep:
        return QStringLiteral("krótki dźwięk");
    case Command::Clear:
        return QStringLiteral("czyszczenie ekranów");
    case Command::LongBeepOn:
        return QStringLiteral("długi dźwięk: włączony");
    case Command::LongBeepOff:
        return QStringLiteral("długi dźwięk: wyłączony");
    case Command::Clock:
        break;
    }
    return QStringLiteral("zegar %1").arg(inputs.Godzina_MEB());
}

QString signalName(int signal)
{
    switch (signal) {
    case termination::Hangup:
        return QStringLiteral("SIGHUP");
    case termination::Interrupt:
        return QStringLiteral("SIGINT");
    case termination::Terminate:
        return QStringLiteral("SIGTERM");
    }
    return QStringLiteral("sygnał %1").arg(signal);
}

} // namespace

ProgrammingRun::ProgrammingRun(const Request &request, QString port, QString prefix)
    : m_request(request), m_port(std::move(port)), m_prefix(std::move(prefix))
{
}

QList<ProgrammingRun::Step> ProgrammingRun::steps() const
{
    QList<Step> steps;
    // Clearing comes first, so that it never wipes what the run sends.
    if (m_request.clear)
        steps.append({Command::Clear});
    for (Memory memory : {Memory::Eeprom, Memory::Ram}) {
        if (set(memory))
            steps.append({std::nullopt, memory});
    }
    if (m_request.clock)
        steps.append({Command::Clock});
    if (m_request.beep)
        steps.append({Command::Beep});
    if (m_request.longBeep)
        steps.append({*m_request.longBeep ? Command::LongBeepOn : Command::LongBeepOff});
    return steps;
}

QList<PlannedFrame> ProgrammingRun::plannedFrames() const
{
    QList<PlannedFrame> frames{
        {protocol::bytes(protocol::KomendaProg), frameName({AnsweredFrame::ProgrammingRequest})}};
    for (const Step &step : steps()) {
        if (step.command) {
            frames.append({DeviceProgrammer::commandFrame(*step.command, *this),
                           commandName(*step.command, *this)});
            continue;
        }
        for (const UploadFrame &frame : DeviceProgrammer::uploadFrames(*this, step.memory))
            frames.append({frame.bytes, frame.answered ? frameName(*frame.answered)
                                                       : commandName(Command::Refresh, *this)});
    }
    frames.append(
        {protocol::bytes(protocol::KomendaKoniec), QStringLiteral("koniec programowania")});
    return frames;
}

int ProgrammingRun::framesDue() const
{
    // All but the programming request and the closing frame.
    return int(plannedFrames().size()) - 2;
}

Task<DisplayResult> ProgrammingRun::run()
{
    DisplayResult result;
    result.port = m_port;
    result.started = QDateTime::currentDateTime();
    const auto started = std::chrono::steady_clock::now();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const PlannedFrame &frame : plannedFrames())
        hash.addData(frame.bytes);
    result.set = hash.result();
    const auto finished = [&] {
        result.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (m_signal != 0) {
            result.kind = DisplayResult::Interrupted;
            result.exitCode = 128 + m_signal;
            result.text = QStringLiteral("przerwane przez %1").arg(signalName(m_signal));
        }
    };

    result.device = deviceOf(m_port);
    if (result.device.isEmpty()) {
        result.kind = DisplayResult::Missing;
        result.exitCode = PortMissing;
        result.text = QStringLiteral("Nie ma portu %1 (porty wypisuje --list).").arg(m_port);
        say(messageText(messages::PortUnavailable));
        say(result.text);
        finished();
        co_return result;
    }

    DeviceProgrammer programmer(*this);
    m_programmer = &programmer;
    RefreshTimer refresh(programmer);
    QObject::connect(&refresh, &QTimer::timeout, &programmer, &DeviceProgrammer::refresh);
    int sentBefore = 0; // frames sent before the running upload
    QObject::connect(&programmer, &DeviceProgrammer::uploadProgress,
                     [&](int sent, int) { showProgress(sentBefore + sent); });

    QStringList programmed; // the uploads' messages of success
    Outcome outcome;
    if (m_signal == 0)
        outcome = co_await programmer.connecting(result.device);
    const auto goesOn = [&] { return outcome.succeeded() && m_signal == 0; };
    if (goesOn())
        showProgress(0);
    for (const Step &step : steps()) {
        if (!goesOn())
            break;
        if (step.command) {
            // The window's commands go without waiting for an answer; here
            // each is given the wait that follows every frame, before the
            // next one comes.
            programmer.send(*step.command);
            showProgress(++sentBefore);
            outcome = co_await programmer.pausing();
            continue;
        }
        outcome = co_await programmer.uploading(step.memory);
        sentBefore += set(step.memory)->frames();
        if (outcome.succeeded())
            programmed.append(messageText(step.memory == Memory::Ram ? messages::CurrentProgrammed
                                                                     : messages::EepromProgrammed));
    }

    report(outcome, result.device, result);
    const bool ended = programmer.end();
    if (!ended) {
        const QString notEnded =
            QStringLiteral("Nie udało się wysłać ramki kończącej programowanie; "
                           "wyświetlacz może pozostać w trybie programowania.");
        say(notEnded);
        if (result.exitCode == Done) {
            result.kind = DisplayResult::Lost;
            result.exitCode = NotEnded;
            result.text = notEnded;
        }
    }
    if (result.exitCode == Done)
        result.text = programmed.join(u' ');
    result.programmed = programmed;
    result.sent = programmer.framesSent();
    result.acknowledged = programmer.framesAcknowledged();
    m_programmer = nullptr;
    finished();
    co_return result;
}

void ProgrammingRun::interrupt(int signal)
{
    if (m_signal == 0)
        m_signal = signal;
    if (m_programmer)
        m_programmer->end();
}

void ProgrammingRun::report(const Outcome &outcome, const QString &device, DisplayResult &result)
{
    QStringList words;
    switch (outcome.kind) {
    case Outcome::Done:
    case Outcome::Ended: // by a signal, whose code the run ends with
        return;
    case Outcome::Unanswered:
    case Outcome::Lost:
        result.kind =
            outcome.kind == Outcome::Lost ? DisplayResult::Lost : DisplayResult::Unanswered;
        result.exitCode = NotAcknowledged;
        words << messageText(messages::DisplayCommunicationError);
        if (outcome.frame)
            words << QStringLiteral("Wyświetlacz nie potwierdził ramki: %1.")
                         .arg(frameName(*outcome.frame));
        break;
    case Outcome::OpenFailed: {
        const OpenFailureReport failure =
            reportOpenFailure(outcome.openResult, device, outcome.systemError);
        words << messageText(failure.message);
        if (!failure.detail.isEmpty())
            words << failure.detail;
        switch (outcome.openResult) {
        case Link::OpenResult::Busy:
            result.kind = DisplayResult::Busy;
            result.exitCode = PortBusy;
            break;
        case Link::OpenResult::NotPermitted:
            result.kind = DisplayResult::Forbidden;
            result.exitCode = PortNotPermitted;
            break;
        default:
            result.kind = DisplayResult::Missing;
            result.exitCode = PortMissing;
        }
        break;
    }
    }
    for (const QString &line : std::as_const(words))
        say(line);
    result.text = words.join(u' ');
}

void ProgrammingRun::say(const QString &line) const
{
    console::err(m_prefix + line);
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

void ProgrammingRun::showProgress(int sent)
{
    m_sent = sent;
    if (progressed)
        progressed();
}
