#pragma once

// The display's facts, each stated once: its two sets of screens and their
// code bytes, what a screen can carry, the parameters with their lists and
// ranges, and the timing it expects. The frame builders, the device logic,
// the windows, the command line, the screen-set files and the emulator all
// read them here.

#include "protocol/frames.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <chrono>
#include <cstdint>
#include <optional>

namespace protocol {

// The display's two sets of screens: the current one (RAM) and the stored
// one (EEPROM).
enum class Memory { Ram, Eeprom };

inline constexpr int RamScreens = 8;
inline constexpr int EepromScreens = 5;
inline constexpr int MaxTextLength = 10; // characters a screen shows

constexpr int screenCount(Memory memory)
{
    return memory == Memory::Ram ? RamScreens : EepromScreens;
}

// "RAM" or "EEPROM", as the display's documents and the screen-set files
// name the memories.
QString memoryName(Memory memory);

// The code byte of a memory's parameter frame, and of its screen n (from 1):
// the parameter code + n.
constexpr std::uint8_t parameterCode(Memory memory)
{
    return memory == Memory::Ram ? RamParameters : EepromParameters;
}
constexpr std::uint8_t screenCode(Memory memory, int n)
{
    return std::uint8_t(parameterCode(memory) + n);
}

// What a code byte of 0 to 18 addresses: a memory, and its screen n, or its
// parameters as screen 0.
struct ScreenAddress
{
    Memory memory;
    int screen;
};
std::optional<ScreenAddress> addressOf(std::uint8_t code);

// A text as a screen takes it: letters typed as a base letter and an accent
// joined first (NFC), so "e" with a combining ogonek is "ę".
QString composed(const QString &text);
// A character (one of characters()) that a screen can show: one of the
// Windows-1250 code page, and no control character.
bool isScreenCharacter(QStringView character);
// The characters of the composed text that a screen can show, in order.
QString screenCharacters(const QString &text);

// The parameters of a memory as the positions picked on their lists, 0 for
// the first entry; the parameter frame carries them (see builders.h).
struct ParameterChoice
{
    int scrollKind = 0;
    int screenCount = 0; // RAM only: how many of its screens the display shows
    int speed = 0;
    int brightness = 0;

    bool operator==(const ParameterChoice &) const = default;
};

// The lists' entries in the display's order, and how many there are.
inline constexpr int ScrollKinds = 3; // alternating, by character, flowing
inline constexpr int Steps = 10;      // speed and brightness, 1 to 10
QStringList scrollKindItems();        // "Na przemian", "Co znak", "Płynące"
QStringList screenCountItems();       // "0" .. "8"
QStringList stepItems();              // "1" .. "10", for speed and brightness

// The lists' labels, as the window shows them and the screen-set files name
// the parameters. "Prękość" (for "Prędkość", speed) is how the window has
// always labelled the speed lists; users know it so, and it is kept.
QString scrollKindLabel();
QString speedLabel();
QString brightnessLabel();
QString screenCountLabel();

// The entries the lists show at start-up, which a set takes for the
// parameters it does not name: Na przemian, 8 screens, speed 10, brightness 10.
ParameterChoice startChoice(Memory memory);

// The display needs this long after a frame before its answer is complete;
// in programming mode it is sent a refresh this often.
inline constexpr std::chrono::milliseconds PacingWait{700};
inline constexpr std::chrono::milliseconds RefreshInterval{28000};

} // namespace protocol
