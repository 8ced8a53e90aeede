#pragma once

// A set of screens for one memory, as a screen-set file or the command line
// (--text and the parameter options) gives it. Everything is checked here,
// before any port is opened: a text the display cannot show, a value off its
// list, a mistake in the file. Each check that fails gives a Polish sentence
// saying what is wrong and what would be right; an empty one means all is well.

#include "protocol/display.h"

#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>

namespace protocol {

struct ScreenSet
{
    explicit ScreenSet(Memory memory);

    Memory memory;
    // The screens to send, by number (RAM 1..8, EEPROM 1..5; [0] unused); a
    // screen without a text is not sent, as an unchecked row of the window.
    std::array<std::optional<QString>, 9> texts;
    // The parameter frame goes first when the set names at least one of the
    // parameters (parametersGiven); what it does not name keeps the window's
    // start-up choice.
    ParameterChoice parameters;
    bool parametersGiven = false;

    bool operator==(const ScreenSet &) const = default;

    int screens() const;
    // Frames on the wire: the parameters when given, the screens, the closing
    // refresh.
    int frames() const;
};

// A screen-set file holds one section per memory, [EEPROM] and [RAM], either
// or both. Its name ends in .ekrany, which the desktop knows as the programs'
// own (.ini is read the same).
inline constexpr char ScreenSetSuffix[] = "ekrany";

struct ScreenSetFile
{
    std::optional<ScreenSet> eeprom;
    std::optional<ScreenSet> ram;

    std::optional<ScreenSet> &section(Memory memory)
    {
        return memory == Memory::Ram ? ram : eeprom;
    }
};

// Reads a screen-set file's contents; name is how messages call the file.
QString parseScreenSetFile(QByteArrayView contents, const QString &name, ScreenSetFile &file);

// Reads the file at path, whole: every section it has, or a message and
// nothing.
QString readScreenSetFile(const QString &path, ScreenSetFile &file);

// Reads the memory's section from the file at path.
QString readScreenSet(const QString &path, ScreenSet &set);

// The file's contents for its sections, in UTF-8, which parseScreenSetFile
// reads back to the same sets: the parameters when given (all of them, named
// as the window labels them), then every screen of the set.
QByteArray screenSetFileContents(const ScreenSetFile &file);

// Writes the file at path in one piece: when writing fails, a file that was
// there stays as it was, and the message says so.
QString writeScreenSetFile(const QString &path, const ScreenSetFile &file);

// --text N=TEXT: screen N gets TEXT, as it stands.
QString addScreenText(ScreenSet &set, const QString &argument);

// The parameters by option (--scroll, --speed, --brightness, --screens): the
// names and numbers that the file takes too.
enum class Parameter { ScrollKind, Speed, Brightness, ScreenCount };
QString setParameter(ScreenSet &set, Parameter parameter, const QString &value);

// "ekran 3 (RAM)", as messages name a screen.
QString screenName(Memory memory, int n);

} // namespace protocol
