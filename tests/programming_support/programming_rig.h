#pragma once

// What the device-logic tests share: a window that records what the logic
// does to it and answers with what the test has set, and a display emulator on
// a pty that stands as the chosen port.

#include "programming/device_programmer.h"
#include "programming/programming_window.h"
#include "protocol/frames.h"
#include "tools/display_emulator.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <array>
#include <functional>

inline const QString LongBeepOff = QStringLiteral("Włącz długi dźwięk");
inline const QString LongBeepOn = QStringLiteral("Wyłącz długi dźwięk");

class FakeWindow : public ProgrammingWindow
{
public:
    struct Message
    {
        enum Kind { Information, Warning } kind;
        int number;
        bool operator==(const Message &) const = default;
    };

    std::array<QString, 9> ramTexts{};
    std::array<bool, 9> ramChecks{};
    std::array<QString, 6> eepromTexts{};
    std::array<bool, 6> eepromChecks{};
    bool ramParameters = false;
    bool eepromParameters = false;
    int ramScroll = 0, ramScreens = 8, ramSpeed = 9, ramBrightness = 9;
    int eepromScroll = 0, eepromSpeed = 9, eepromBrightness = 9;
    QString clock = QStringLiteral("12:34");
    QString longBeepCaption = LongBeepOff;

    int initialSettings = 0;
    QList<bool> commandsEnabled; // every call of setDeviceCommandsEnabled, in order
    QList<Message> messages;
    // Runs when a message is shown, while the logic waits for the box to close.
    std::function<void(const Message &)> onMessage;
    std::function<void()> onInitialSettings;

    void checkAll(bool ram, bool eeprom)
    {
        ramParameters = ram;
        eepromParameters = eeprom;
        ramChecks.fill(ram);
        eepromChecks.fill(eeprom);
    }
    bool enabledNow() const { return !commandsEnabled.isEmpty() && commandsEnabled.last(); }

    void UstawieniaPoczatkoweProgramowania() override
    {
        ++initialSettings;
        if (onInitialSettings)
            onInitialSettings();
    }
    QString screenText(Memory memory, int n) const override
    {
        return memory == Memory::Ram ? ramTexts.at(n) : eepromTexts.at(n);
    }
    bool screenChecked(Memory memory, int n) const override
    {
        return memory == Memory::Ram ? ramChecks.at(n) : eepromChecks.at(n);
    }
    bool parametersChecked(Memory memory) const override
    {
        return memory == Memory::Ram ? ramParameters : eepromParameters;
    }
    ParameterChoice parameters(Memory memory) const override
    {
        if (memory == Memory::Ram)
            return {ramScroll, ramScreens, ramSpeed, ramBrightness};
        return {eepromScroll, 5, eepromSpeed, eepromBrightness};
    }
    QString Godzina_MEB() const override { return clock; }
    QString DlugiDzwiek_Caption() const override { return longBeepCaption; }
    void setDlugiDzwiek_Caption(const QString &caption) override { longBeepCaption = caption; }
    void setDeviceCommandsEnabled(bool enabled) override { commandsEnabled.append(enabled); }
    void PokazInformacje(int number) override { show({Message::Information, number}); }
    void PokazOstrzezenie(int number) override { show({Message::Warning, number}); }

private:
    void show(const Message &message)
    {
        messages.append(message);
        if (onMessage)
            onMessage(message);
    }
};

inline FakeWindow::Message information(int number)
{
    return {FakeWindow::Message::Information, number};
}

inline FakeWindow::Message warning(int number)
{
    return {FakeWindow::Message::Warning, number};
}

namespace rig {

inline emulator::Reply reply(emulator::Reply::Kind kind, int delayMs = 0)
{
    emulator::Reply reply;
    reply.kind = kind;
    reply.delayMs = delayMs;
    return reply;
}

inline const QByteArray Prog = protocol::bytes(protocol::KomendaProg);
inline const QByteArray Ack = protocol::bytes(protocol::OdpowiedzOK);
inline const QByteArray Refresh = protocol::bytes(protocol::KomendaOdswiez);
inline const QByteArray End = protocol::bytes(protocol::KomendaKoniec);

// One test's world: the window's logic, its window, and a fresh emulated
// display on a pty, the chosen port (when ready).
struct Bench
{
    explicit Bench(bool withClock = true) : programmer(window, withClock) {}

    FakeWindow window;
    emulator::DisplayEmulator display;
    bool ready = display.open();
    DeviceProgrammer programmer;

    // The device the port dialog hands over for the emulated display.
    QString device() const { return display.slavePath(); }

    // Loads the window as the port dialog does; true when the display took the handshake.
    bool connect()
    {
        programmer.Form_Load(device());
        return programmer.isConnected();
    }

    // Runs the action a while after the display has received a frame with
    // this code: inside the program's wait for that frame's answer.
    void whileWaitingFor(std::uint8_t code, int delayMs, const std::function<void()> &action)
    {
        QObject::connect(&display, &emulator::DisplayEmulator::frameReceived, &display,
                         [=, this](const emulator::ReceivedFrame &frame) {
                             if (frame.bytes.at(4) == char(code))
                                 QTimer::singleShot(delayMs, &display, action);
                         });
    }

    // A refresh tick and a click on every device command, as a user could.
    void clickEverything()
    {
        programmer.Odswiez_Timer_Timer();
        programmer.KrotkiSygnalDzwiek_Command_Click();
        programmer.DlugiDzwiek_Command_Click();
        programmer.CzyscEkran_Command_Click();
        programmer.PrzeslijZegar_Command_Click();
        programmer.PrzeslijEEPROM_Command_Click();
        programmer.PrzeslijRAM_Command_Click();
    }

    QList<QByteArray> frames() const
    {
        QList<QByteArray> bytes;
        const QList<emulator::ReceivedFrame> received = display.frames();
        for (const emulator::ReceivedFrame &frame : received)
            bytes.append(frame.bytes);
        return bytes;
    }

    // Everything the display has received once the port is free again: a
    // marker frame sent after the fact arrives behind anything written before it.
    QByteArray receivedOnceFree()
    {
        const QByteArray marker = protocol::bytes(protocol::KomendaKrotkiDzwiek);
        SerialLink late;
        if (late.open(device()) != SerialLink::OpenResult::Opened || !late.Output(marker))
            return "the port was not free";
        if (!QTest::qWaitFor([&] { return display.received().endsWith(marker); }, 5000))
            return "the marker did not arrive";
        return display.received().chopped(marker.size());
    }
};

} // namespace rig

// Readable failure output for frames and messages.
namespace QTest {
template <> inline char *toString(const FakeWindow::Message &message)
{
    return qstrdup(
        QByteArray(message.kind == FakeWindow::Message::Information ? "information " : "warning ")
            .append(QByteArray::number(message.number))
            .constData());
}
} // namespace QTest
