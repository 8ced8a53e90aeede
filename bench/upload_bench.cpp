// Times a full RAM upload (parameters, eight screens, refresh) against a
// display on the given serial device, and the refresh timer's period after
// it. Prints the figures; upload.sh starts the display emulator for it.

#include "programming/device_programmer.h"
#include "programming/module1.h"
#include "programming/programming_window.h"
#include "programming/serial_devices.h"

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

QString devicePath;

QList<SerialDevice> benchDevice()
{
    return {{devicePath, QStringLiteral("bench display")}};
}

Seconds processCpuTime()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return Seconds(seconds(usage.ru_utime) + seconds(usage.ru_stime));
}

// Every box ticked, every screen with ten characters.
class BenchWindow : public ProgrammingWindow
{
public:
    std::function<void(int)> onMessage;

    void UstawieniaPoczatkoweProgramowania() override {}
    QString TekstRAM_Text(int n) const override { return QStringLiteral("Ekran %1 ąę").arg(n); }
    bool TekstRAM_Check(int) const override { return true; }
    QString TekstEEPROM_Text(int) const override { return {}; }
    bool TekstEEPROM_Check(int) const override { return false; }
    bool ParametryRAM_Check() const override { return true; }
    bool ParametryEEPROM_Check() const override { return false; }
    int PrzesuwRAM_Combo() const override { return 0; }
    int IloscEkranowRAM_Combo() const override { return 8; }
    int PredkoscRAM_Combo() const override { return 9; }
    int JasnoscRAM_Combo() const override { return 9; }
    int PrzesuwEEPROM_Combo() const override { return 0; }
    int PredkoscEEPROM_Combo() const override { return 9; }
    int JasnoscEEPROM_Combo() const override { return 9; }
    QString Godzina_MEB() const override { return QStringLiteral("12:00"); }
    QString DlugiDzwiek_Caption() const override { return QStringLiteral("Włącz długi dźwięk"); }
    void setDlugiDzwiek_Caption(const QString &) override {}
    void setDeviceCommandsEnabled(bool) override {}
    void PokazInformacje(int number) override { onMessage(number); }
    void PokazOstrzezenie(int number) override { onMessage(number); }
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
    devicePath = QString::fromLocal8Bit(argv[1]);
    setSerialDeviceSource(&benchDevice);
    Module1::NumerPortu = 1;

    BenchWindow window;
    QList<int> messages;
    window.onMessage = [&](int number) { messages.append(number); };
    DeviceProgrammer programmer(window, true);

    programmer.Form_Load();
    const Clock::time_point timerStarted = Clock::now();
    if (!programmer.isConnected()) {
        out << "no connection to " << devicePath << " (message " << messages.value(0) << ")\n";
        return 1;
    }

    QList<Clock::time_point> ticks;
    QObject::connect(&programmer.Odswiez_Timer(), &QTimer::timeout, &app, [&] {
        ticks.append(Clock::now());
        if (ticks.size() == 2)
            app.quit();
    });

    const Seconds cpuBefore = processCpuTime();
    const Clock::time_point clicked = Clock::now();
    programmer.PrzeslijRAM_Command_Click();
    const Seconds wall = Clock::now() - clicked;
    const Seconds cpu = processCpuTime() - cpuBefore;
    if (messages != QList<int>{101}) {
        out << "the upload failed (messages:";
        for (int number : std::as_const(messages))
            out << ' ' << number;
        out << ")\n";
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
    programmer.Form_QueryUnload();
    return 0;
}
