#include "cli/fleet.h"

#include "cli/console.h"
#include "ports/port_list.h"
#include "programming/link.h"
#include "programming/termination.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <vector>

using namespace std::chrono_literals;

namespace {

// How often a port that is waited for is looked for.
constexpr auto PortPoll = 500ms;
// How often a wait for input looks whether it has come, or the run is to stop.
constexpr auto InputPoll = 100ms;

// co_await After{context, time}: resumed from the event loop once time has passed.
struct After
{
    QObject *context;
    std::chrono::milliseconds time;

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        QTimer::singleShot(time, context, [waiting] { waiting.resume(); });
    }
    void await_resume() const noexcept {}
};

// co_await All<T>(tasks): runs the tasks at once; resumed when every one has ended.
template <typename T> struct All
{
    explicit All(std::vector<Task<T>> &tasks) : tasks(tasks) {}
    std::vector<Task<T>> &tasks;
    int left = 0;
    std::coroutine_handle<> waiting;

    bool await_ready() const noexcept { return tasks.empty(); }
    bool await_suspend(std::coroutine_handle<> awaiting)
    {
        waiting = awaiting;
        // One more until every task has started, which may end some at once.
        left = int(tasks.size()) + 1;
        for (Task<T> &task : tasks)
            task.start([this] {
                if (--left == 0)
                    waiting.resume();
            });
        return --left != 0;
    }
    void await_resume() const noexcept {}
};

// The log's word for a result.
QString resultWord(DisplayResult::Kind kind)
{
    static const char *const words[] = {"ok",        "unanswered", "busy",       "missing",
                                        "forbidden", "lost",       "interrupted"};
    return QString::fromLatin1(words[kind]);
}

// "2026-12-07T15:08:01+01:00": local time with its offset from UTC.
QString isoTime(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(QChar(offset < 0 ? u'-' : u'+'))
               .arg(std::abs(offset) / 3600, 2, 10, QChar(u'0'))
               .arg(std::abs(offset) % 3600 / 60, 2, 10, QChar(u'0'));
}

// The port is there to be opened: a listed name, a device that exists.
bool portThere(const QString &port)
{
    const QString device = deviceOf(port);
    return !device.isEmpty() && linkFor(device)->deviceExists(device);
}

} // namespace

Fleet::Fleet(const Request &request, const FleetOptions &options)
    : m_request(request), m_options(options)
{
    // A signal ends every display where it waits, as closing the window
    // does: the closing frame when the display is in programming mode, the
    // port released; and no further display begins.
    onTermination(this, [this](int signal) {
        if (signal != termination::Quit)
            onSignal(signal);
    });
    if (m_options.repeat)
        m_input = std::make_unique<InputLines>();
}

bool Fleet::stopped() const
{
    // With --wait the end of input ends every wait for the next display;
    // without, the next Enter is waited for only between displays.
    return m_stopping || (m_options.wait && m_input && m_input->atEnd());
}

bool Fleet::single() const
{
    return m_request.ports.size() == 1 && !m_options.repeat;
}

int Fleet::exec()
{
    // A signal that came before the event loop ran is read before anything
    // is opened.
    QCoreApplication::processEvents();
    Task<int> task = run();
    QEventLoop loop;
    task.start([&loop] { loop.quit(); });
    if (!task.done())
        loop.exec();
    int exitCode = task.result();
    // And one that came in the last drain, after the last wait.
    QCoreApplication::processEvents();
    if (m_signal != 0 && (!m_options.repeat || m_cutShort))
        exitCode = 128 + m_signal;
    return exitCode;
}

Task<int> Fleet::run()
{
    if (m_options.repeat && m_options.wait) {
        std::vector<Task<int>> ports;
        for (const QString &port : m_request.ports)
            ports.push_back(portAfterPort(port));
        co_await All<int>(ports);
    } else {
        for (;;) {
            const QList<DisplayResult> results = co_await round();
            if (single()) {
                console::endProgress();
                if (!m_request.quiet) {
                    for (const QString &message : results.first().programmed)
                        console::out(message);
                }
                co_return results.first().exitCode;
            }
            for (const DisplayResult &result : results)
                printResult(result);
            if (!m_options.repeat)
                co_return m_failed == 0 ? Done : NotAllProgrammed;
            if (m_stopping)
                break;
            if (!m_request.quiet && InputLines::isTerminal())
                say(QStringLiteral("Podłącz następny wyświetlacz i naciśnij Enter "
                                   "(Ctrl+C kończy)."));
            if (!co_await nextLine())
                break;
        }
    }
    console::endProgress();
    if (!m_request.quiet)
        console::out(QStringLiteral("Zaprogramowane wyświetlacze: %1, nieudane: %2.")
                         .arg(m_programmed)
                         .arg(m_failed));
    co_return m_failed == 0 ? Done : NotAllProgrammed;
}

Task<QList<DisplayResult>> Fleet::round()
{
    std::vector<Task<std::optional<DisplayResult>>> displays;
    for (const QString &port : m_request.ports)
        displays.push_back(display(port, true));
    co_await All<std::optional<DisplayResult>>(displays);
    QList<DisplayResult> results;
    for (qsizetype i = 0; i < m_request.ports.size(); ++i) {
        std::optional<DisplayResult> result = displays[i].result();
        if (!result) {
            // Still waited for when the run was told to stop.
            result.emplace();
            result->port = m_request.ports[i];
            result->kind = DisplayResult::Interrupted;
        }
        results.append(*result);
    }
    co_return results;
}

Task<int> Fleet::portAfterPort(QString port)
{
    for (bool announce = true;;) {
        const std::optional<DisplayResult> result = co_await display(port, announce);
        if (!result)
            break;
        printResult(*result);
        if (stopped())
            break;
        announce = false;
        if (!m_request.quiet)
            say(QStringLiteral("%1: czekam na następny wyświetlacz (port odłączony i podłączony "
                               "ponownie).")
                    .arg(port));
        if (!co_await waitForPort(port, false))
            break;
    }
    co_return 0;
}

Task<std::optional<DisplayResult>> Fleet::display(QString port, bool announce)
{
    for (;;) {
        if (m_options.wait && announce && !m_request.quiet && !portThere(port)) {
            say(QStringLiteral("%1: czekam na port.").arg(port));
            announce = false;
        }
        if (m_options.wait && !co_await waitForPort(port, true))
            co_return std::nullopt;
        if (stopped())
            co_return std::nullopt;
        ProgrammingRun run(m_request, port,
                           single() ? QString() : QStringLiteral("%1: ").arg(port));
        run.progressed = [this] { showProgress(); };
        m_running.append(&run);
        DisplayResult result = co_await run.run();
        m_running.removeOne(&run);
        // A port that went again before it opened is waited for once more.
        if (m_options.wait && result.kind == DisplayResult::Missing && !stopped())
            continue;
        ended(result);
        co_return result;
    }
}

Task<bool> Fleet::waitForPort(QString port, bool present)
{
    while (portThere(port) != present) {
        if (stopped())
            co_return false;
        co_await After{this, PortPoll};
    }
    co_return !stopped();
}

Task<bool> Fleet::nextLine()
{
    for (;;) {
        if (m_input->takeLine())
            co_return !m_stopping;
        if (m_input->atEnd() || m_stopping)
            co_return false;
        co_await After{this, InputPoll};
    }
}

void Fleet::ended(const DisplayResult &result)
{
    if (result.kind == DisplayResult::Ok)
        ++m_programmed;
    else
        ++m_failed;
    if (result.kind == DisplayResult::Interrupted)
        m_cutShort = true;
    writeLog(result);
}

void Fleet::writeLog(const DisplayResult &result)
{
    if (!m_options.log)
        return;
    const QString id = stableIdOf(result.port, result.device);
    const QJsonObject entry{
        {QStringLiteral("time"), isoTime(result.started)},
        {QStringLiteral("port"), result.port},
        {QStringLiteral("device"), result.device},
        {QStringLiteral("id"), id.isEmpty() ? QJsonValue() : QJsonValue(id)},
        {QStringLiteral("set"), QString::fromLatin1(result.set.toHex())},
        {QStringLiteral("frames"),
         QJsonObject{{QStringLiteral("sent"), result.sent},
                     {QStringLiteral("acknowledged"), result.acknowledged}}},
        {QStringLiteral("result"), resultWord(result.kind)},
        {QStringLiteral("exit"), result.exitCode},
        {QStringLiteral("seconds"), std::round(result.seconds * 1000) / 1000},
    };
    // One line per display, whole, at once: a line is never rewritten.
    m_options.log->write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
    m_options.log->flush();
}

void Fleet::printResult(const DisplayResult &result) const
{
    if (m_request.quiet && result.kind == DisplayResult::Ok)
        return;
    QString text = result.text;
    if (text.isEmpty())
        text = result.kind == DisplayResult::Ok ? QStringLiteral("gotowe")
                                                : QStringLiteral("przerwane");
    console::out(QStringLiteral("%1\t%2\t%3").arg(result.port, resultWord(result.kind), text));
}

void Fleet::showProgress() const
{
    if (m_request.quiet || !console::errIsTerminal())
        return;
    int sent = 0, due = 0;
    for (const ProgrammingRun *run : m_running) {
        sent += run->framesSentOfDue();
        due += run->framesDue();
    }
    console::progress(QStringLiteral("Wysłano ramek: %1 z %2").arg(sent).arg(due));
}

void Fleet::say(const QString &line) const
{
    console::err(line);
}

void Fleet::onSignal(int signal)
{
    if (m_signal == 0)
        m_signal = signal;
    m_stopping = true;
    for (ProgrammingRun *run : std::as_const(m_running))
        run->interrupt(signal);
}
