// Feeds arbitrary input to the frame builders and the code page conversions.
// Input: a screen number byte, four list position bytes, then UTF-16 text
// (broken surrogates too).

#include "protocol/builders.h"
#include "protocol/frames.h"
#include "protocol/windows1250.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// 16 bytes, "DATA", the code, a zero sum; returns the payload.
QByteArray payloadOf(const QByteArray &frame, int code)
{
    require(frame.size() == protocol::DataFrameSize && frame.startsWith("DATA") &&
            std::uint8_t(frame[4]) == std::uint8_t(code) && protocol::FrameChecksum(frame) == 0);
    return frame.mid(5, protocol::PayloadSize);
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
    require(payloadOf(protocol::RamkaTekstuRAM(ramScreen, text), 10 + ramScreen) == encoded);
    require(payloadOf(protocol::RamkaTekstuEEPROM(eepromScreen, text), eepromScreen) == encoded);

    const int a = position(data[1]), b = position(data[2]), c = position(data[3]),
              d = position(data[4]);
    // Whatever the list positions, well-formed frames (and no overflow).
    payloadOf(protocol::RamkaParametrowRAM(a, b, c, d), 0x0A);
    payloadOf(protocol::RamkaParametrowEEPROM(a, c, d), 0x00);
    payloadOf(protocol::RamkaZegara(text), 0x50);

    // What the code page holds comes back unchanged; what it lacks is dropped.
    if (protocol::isWindows1250(text))
        require(protocol::fromWindows1250(protocol::toWindows1250(text)) == text);
    const QString kept = protocol::keepWindows1250(text);
    require(protocol::isWindows1250(kept) &&
            protocol::fromWindows1250(protocol::toWindows1250(kept)) == kept);
    return 0;
}
