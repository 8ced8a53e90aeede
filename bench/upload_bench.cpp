// Times a full RAM upload (parameters, eight screens, refresh) against a
// display on the given serial device, and the refresh timer's period after
// it. Prints the figures; upload.sh starts the display emulator for it.

#include "programming/device_programmer.h"
#include "programming/refresh_timer.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// The protocol's least time for nine paced frames and the closing refresh.
constexpr double ProtocolMinimum = 13.3;

Seconds processCpuTime()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return Seconds(seconds(usage.ru_utime) + seconds(usage.ru_stime));
}

// Every box ticked, every screen with ten characters.
class BenchInputs : public ProgrammingInputs
{
public:
    QString screenText(Memory memory, int n) const override
    {
        return memory == Memory::Ram ? QStringLiteral("Ekran %1 ąę").arg(n) : QString();
    }
    bool screenChecked(Memory memory, int) const override { return memory == Memory::Ram; }
    bool parametersChecked(Memory memory) const override { return memory == Memory::Ram; }
    ParameterChoice parameters(Memory) const override { return {0, 8, 9, 9}; }
    QString Godzina_MEB() const override { return QStringLiteral("12:00"); }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc != 2) {
        out << "usage: screenprog-upload-bench DEVICE\n";
        return 2;
    }
    const QString devicePath = QString::fromLocal8Bit(argv[1]);

    BenchInputs inputs;
    DeviceProgrammer programmer(inputs);
    RefreshTimer refresh(programmer);
    QList<Clock::time_point> ticks;
    QObject::connect(&refresh, &QTimer::timeout, &app, [&] {
        programmer.refresh();
        ticks.append(Clock::now());
        if (ticks.size() == 2)
            app.quit();
    });

    const Outcome connected = programmer.connectTo(devicePath);
    const Clock::time_point timerStarted = Clock::now();
    if (!connected.succeeded()) {
        out << "no connection to " << devicePath << " (outcome " << connected.kind << ")\n";
        return 1;
    }

    const Seconds cpuBefore = processCpuTime();
    const Clock::time_point clicked = Clock::now();
    const Outcome uploaded = programmer.upload(Memory::Ram);
    const Seconds wall = Clock::now() - clicked;
    const Seconds cpu = processCpuTime() - cpuBefore;
    if (!uploaded.succeeded()) {
        out << "the upload failed (outcome " << uploaded.kind << ")\n";
        return 1;
    }

    out << QStringLiteral("full RAM upload: %1 s wall, %2 of the protocol minimum %3 s\n")
               .arg(wall.count(), 0, 'f', 3)
               .arg(wall.count() / ProtocolMinimum, 0, 'f', 4)
               .arg(ProtocolMinimum);
    out << QStringLiteral("process CPU during the upload: %1 s, %2 % of the wall time\n")
               .arg(cpu.count(), 0, 'f', 3)
               .arg(100.0 * cpu.count() / wall.count(), 0, 'f', 2);
    out << "waiting for two refresh ticks...\n";
    out.flush();

    const Seconds idleCpuBefore = processCpuTime();
    const Clock::time_point idleFrom = Clock::now();
    app.exec();
    const Seconds idle = Clock::now() - idleFrom;
    const Seconds idleCpu = processCpuTime() - idleCpuBefore;

    out << QStringLiteral("refresh period: %1 s from the timer's start to the first tick, "
                          "%2 s between the first two ticks\n")
               .arg(Seconds(ticks[0] - timerStarted).count(), 0, 'f', 3)
               .arg(Seconds(ticks[1] - ticks[0]).count(), 0, 'f', 3);
    out << QStringLiteral("process CPU while idle and connected: %1 s over %2 s, %3 %\n")
               .arg(idleCpu.count(), 0, 'f', 3)
               .arg(idle.count(), 0, 'f', 1)
               .arg(100.0 * idleCpu.count() / idle.count(), 0, 'f', 3);
    programmer.end();
    return 0;
}
