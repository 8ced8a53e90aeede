// Feeds arbitrary input to the protocol's frame builders, the acknowledgement
// test and the code page conversions. Input layout: screen number byte, four
// list position bytes, code byte, then UTF-16 text (which may hold broken
// surrogates), also taken as raw bytes for the payload and the reply.

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

void checkDataFrame(const QByteArray &frame, int code)
{
    require(frame.size() == protocol::DataFrameSize);
    require(frame.startsWith("DATA"));
    require(std::uint8_t(frame[4]) == std::uint8_t(code));
    std::uint8_t sum = 0;
    for (char b : frame)
        sum = std::uint8_t(sum + std::uint8_t(b));
    require(sum == 0);
}

qsizetype characterCount(const QString &text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++count) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    return count;
}

void checkTextFrame(const QByteArray &frame, int code, const QString &text)
{
    checkDataFrame(frame, code);
    const QByteArray encoded = protocol::toWindows1250(text).left(protocol::MaxTextLength);
    require(frame.mid(5, encoded.size()) == encoded);
    require(frame.mid(5 + encoded.size(), protocol::PayloadSize - encoded.size()) ==
            QByteArray(protocol::PayloadSize - encoded.size(), '\0'));
}

// A position byte as an int anywhere in its range, sign included.
int position(std::uint8_t byte)
{
    return int(std::int8_t(byte)) * (byte & 0x80 ? 0x1000000 : 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 6)
        return 0;
    const QByteArrayView rest(reinterpret_cast<const char *>(data) + 6, qsizetype(size - 6));
    QString text(rest.size() / 2, Qt::Uninitialized);
    std::memcpy(text.data(), rest.data(), size_t(text.size()) * 2);

    const int ram = 1 + data[0] % protocol::RamScreens;
    const int eeprom = 1 + data[0] % protocol::EepromScreens;
    checkTextFrame(protocol::RamkaTekstuRAM(ram, text), protocol::RamParameters + ram, text);
    checkTextFrame(protocol::RamkaTekstuEEPROM(eeprom, text), eeprom, text);

    const int a = position(data[1]), b = position(data[2]), c = position(data[3]),
              d = position(data[4]);
    const QByteArray ramParameters = protocol::RamkaParametrowRAM(a, b, c, d);
    checkDataFrame(ramParameters, protocol::RamParameters);
    const QByteArray eepromParameters = protocol::RamkaParametrowEEPROM(a, c, d);
    checkDataFrame(eepromParameters, protocol::EepromParameters);
    require(eepromParameters[6] == char(protocol::EepromScreens));
    for (const QByteArray *frame : {&ramParameters, &eepromParameters}) {
        const auto kind = std::uint8_t(frame->at(5));
        require(kind == 1 || kind == 2 || kind == 4);
        require(frame->at(7) >= 1 && frame->at(7) <= 10 && frame->at(8) >= 1 && frame->at(8) <= 10);
    }
    require(ramParameters[6] >= 0 && ramParameters[6] <= 8);

    checkDataFrame(protocol::RamkaZegara(text), protocol::Clock);
    checkDataFrame(protocol::dataFrame(data[5], rest), data[5]);
    require(protocol::dataFrame(data[5], rest).mid(5, 10) ==
            (rest.first(qMin<qsizetype>(rest.size(), 10)).toByteArray() +
             QByteArray(10 - qMin<qsizetype>(rest.size(), 10), '\0')));

    require(protocol::isAcknowledgement(rest) ==
            (rest == QByteArrayView(protocol::bytes(protocol::OdpowiedzOK))));

    // One byte per character, and what the code page holds comes back unchanged.
    const QByteArray encoded = protocol::toWindows1250(text);
    require(encoded.size() == characterCount(text));
    if (protocol::isWindows1250(text))
        require(protocol::fromWindows1250(encoded) == text);
    const QString kept = protocol::keepWindows1250(text);
    require(protocol::isWindows1250(kept));
    require(protocol::fromWindows1250(protocol::toWindows1250(kept)) == kept);
    protocol::fromWindows1250(rest);
    return 0;
}
