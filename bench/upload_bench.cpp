// Times a full RAM upload (parameters, eight screens, refresh) against a
// display on each port given (a serial device, or a serial device server's
// URL), and the refresh timer's period after the last. Prints the figures;
// upload.sh starts the display emulator, and ser2net in front of it, for it.

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

// Connects to the display on port and times a full RAM upload; false when
// either failed.
bool timeUpload(DeviceProgrammer &programmer, const QString &port, QTextStream &out)
{
    const Outcome connected = programmer.connectTo(port);
    if (!connected.succeeded()) {
        out << "no connection to " << port << " (outcome " << connected.kind << ")\n";
        return false;
    }
    const Seconds cpuBefore = processCpuTime();
    const Clock::time_point clicked = Clock::now();
    const Outcome uploaded = programmer.upload(Memory::Ram);
    const Seconds wall = Clock::now() - clicked;
    const Seconds cpu = processCpuTime() - cpuBefore;
    if (!uploaded.succeeded()) {
        out << "the upload failed (outcome " << uploaded.kind << ")\n";
        return false;
    }
    out << QStringLiteral("%1: full RAM upload: %2 s wall, %3 of the protocol minimum %4 s\n")
               .arg(port)
               .arg(wall.count(), 0, 'f', 3)
               .arg(wall.count() / ProtocolMinimum, 0, 'f', 4)
               .arg(ProtocolMinimum);
    out << QStringLiteral("process CPU during the upload: %1 s, %2 % of the wall time\n")
               .arg(cpu.count(), 0, 'f', 3)
               .arg(100.0 * cpu.count() / wall.count(), 0, 'f', 2);
    out.flush();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc < 2) {
        out << "usage: screenprog-upload-bench PORT... (a device, or socket:// or rfc2217://)\n";
        return 2;
    }

    BenchInputs inputs;
    // Each port in turn; the refresh timer is timed on the last one.
    for (int i = 1; i < argc - 1; ++i) {
        DeviceProgrammer programmer(inputs);
        if (!timeUpload(programmer, QString::fromLocal8Bit(argv[i]), out))
            return 1;
        programmer.end();
    }
    DeviceProgrammer programmer(inputs);
    RefreshTimer refresh(programmer);
    QList<Clock::time_point> ticks;
    QObject::connect(&refresh, &QTimer::timeout, &app, [&] {
        programmer.refresh();
        ticks.append(Clock::now());
        if (ticks.size() == 2)
            app.quit();
    });
    Clock::time_point timerStarted;
    QObject::connect(&programmer, &DeviceProgrammer::stateChanged, &app, [&] {
        if (refresh.isActive() && timerStarted == Clock::time_point())
            timerStarted = Clock::now();
    });
    if (!timeUpload(programmer, QString::fromLocal8Bit(argv[argc - 1]), out))
        return 1;
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
