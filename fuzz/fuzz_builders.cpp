// Feeds arbitrary input to the frame builders and the code page conversions:
// a screen number byte, four list position bytes, then UTF-16 text (broken
// surrogates too). The same bytes go to the command line's readers, as a
// screen-set file (and what the writer makes of it, back to the reader) and
// as the text of --text N=TEXT.

#include "protocol/builders.h"
#include "protocol/frames.h"
#include "protocol/screen_set.h"
#include "protocol/windows1250.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace protocol;

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// 16 bytes, "DATA", the code, a zero sum; returns the payload.
QByteArray payloadOf(const QByteArray &frame, int code)
{
    require(frame.size() == protocol::DataFrameSize && frame.startsWith(DataKeyword) &&
            std::uint8_t(frame[4]) == std::uint8_t(code) && protocol::FrameChecksum(frame) == 0);
    return frame.mid(5, protocol::PayloadSize);
}

// What the readers accept is what the display can show; what they refuse gets
// a message of one line, starting as it must.
void checkRead(const QString &problem, const QString &start, const ScreenSet &set)
{
    if (!problem.isEmpty()) {
        require(problem.startsWith(start) &&
                std::none_of(problem.begin(), problem.end(),
                             [](QChar c) { return c.category() == QChar::Other_Control; }));
        return;
    }
    for (int n = 1; n <= set.screens(); ++n) {
        const QString text = set.texts.at(n).value_or(QString());
        require(protocol::characters(text).size() <= protocol::MaxTextLength &&
                protocol::isWindows1250(text));
    }
    const ParameterChoice &p = set.parameters;
    require(p.scrollKind >= 0 && p.scrollKind < ScrollKinds && p.speed >= 0 && p.speed < Steps &&
            p.brightness >= 0 && p.brightness < Steps && p.screenCount >= 0 &&
            p.screenCount <= RamScreens);
}

// A list position anywhere in an int's range, sign included.
int position(std::uint8_t byte)
{
    return int(std::int8_t(byte)) * (byte & 0x80 ? 0x1000000 : 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 5)
        return 0;
    QString text((size - 5) / 2, Qt::Uninitialized);
    std::memcpy(text.data(), data + 5, size_t(text.size()) * 2);

    // The text's bytes, cut after the tenth, then zeros.
    QByteArray encoded = protocol::toWindows1250(text).left(protocol::MaxTextLength);
    encoded.resize(protocol::PayloadSize, '\0');
    const int ramScreen = 1 + data[0] % protocol::RamScreens;
    const int eepromScreen = 1 + data[0] % protocol::EepromScreens;
    require(payloadOf(protocol::RamkaTekstuRAM(ramScreen, text),
                      screenCode(Memory::Ram, ramScreen)) == encoded);
    require(payloadOf(protocol::RamkaTekstuEEPROM(eepromScreen, text),
                      screenCode(Memory::Eeprom, eepromScreen)) == encoded);

    const int a = position(data[1]), b = position(data[2]), c = position(data[3]),
              d = position(data[4]);
    // Whatever the list positions, well-formed frames (and no overflow).
    payloadOf(protocol::RamkaParametrowRAM(a, b, c, d), RamParameters);
    payloadOf(protocol::RamkaParametrowEEPROM(a, c, d), EepromParameters);
    payloadOf(protocol::RamkaZegara(text), Clock);

    // What the code page holds comes back unchanged; what it lacks is dropped.
    if (protocol::isWindows1250(text))
        require(protocol::fromWindows1250(protocol::toWindows1250(text)) == text);
    const QString kept = protocol::keepWindows1250(text);
    require(protocol::isWindows1250(kept) &&
            protocol::fromWindows1250(protocol::toWindows1250(kept)) == kept);

    const QByteArrayView bytes(data, qsizetype(size));
    ScreenSetFile file;
    const QString problem = parseScreenSetFile(bytes, QStringLiteral("f"), file);
    for (const std::optional<ScreenSet> &set : {file.eeprom, file.ram})
        checkRead(problem, QStringLiteral("f:"), set.value_or(ScreenSet(Memory::Ram)));
    // What the windows write of a set read is read back to the same set.
    ScreenSetFile again;
    require(
        !problem.isEmpty() ||
        (parseScreenSetFile(screenSetFileContents(file), QStringLiteral("f"), again).isEmpty() &&
         again.eeprom == file.eeprom && again.ram == file.ram));
    ScreenSet set(data[0] & 1 ? Memory::Ram : Memory::Eeprom);
    checkRead(addScreenText(set, QString::fromUtf8(bytes.sliced(1))), QStringLiteral("--text „"),
              set);
    return 0;
}
