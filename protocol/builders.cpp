#include "protocol/builders.h"

#include "protocol/frames.h"
#include "protocol/windows1250.h"

#include <algorithm>

namespace protocol {

namespace {

QByteArray textFrameOf(std::uint8_t code, QStringView text)
{
    return dataFrame(code, toWindows1250(text).left(MaxTextLength));
}

std::uint8_t scrollKindByte(int position)
{
    return std::uint8_t(1 << std::clamp(position, 0, ScrollKinds - 1));
}

std::uint8_t oneBased(int position)
{
    return std::uint8_t(std::clamp(position, 0, Steps - 1) + 1);
}

std::uint8_t digitAt(QStringView text, qsizetype index)
{
    if (index >= text.size())
        return 0;
    const char16_t c = text[index].unicode();
    return (c >= u'0' && c <= u'9') ? std::uint8_t(c - u'0') : 0;
}

} // namespace

QByteArray RamkaTekstuRAM(int n, QStringView text)
{
    return textFrameOf(screenCode(Memory::Ram, n), text);
}

QByteArray RamkaTekstuEEPROM(int n, QStringView text)
{
    return textFrameOf(screenCode(Memory::Eeprom, n), text);
}

QByteArray RamkaParametrowRAM(int przesuw, int iloscEkranow, int predkosc, int jasnosc)
{
    const char payload[] = {char(scrollKindByte(przesuw)),
                            char(std::clamp(iloscEkranow, 0, RamScreens)), char(oneBased(predkosc)),
                            char(oneBased(jasnosc))};
    return dataFrame(RamParameters, QByteArrayView(payload, sizeof payload));
}

QByteArray RamkaParametrowEEPROM(int przesuw, int predkosc, int jasnosc)
{
    const char payload[] = {char(scrollKindByte(przesuw)), char(EepromScreens),
                            char(oneBased(predkosc)), char(oneBased(jasnosc))};
    return dataFrame(EepromParameters, QByteArrayView(payload, sizeof payload));
}

QByteArray textFrame(Memory memory, int n, QStringView text)
{
    return memory == Memory::Ram ? RamkaTekstuRAM(n, text) : RamkaTekstuEEPROM(n, text);
}

QByteArray parameterFrame(Memory memory, const ParameterChoice &choice)
{
    return memory == Memory::Ram
               ? RamkaParametrowRAM(choice.scrollKind, choice.screenCount, choice.speed,
                                    choice.brightness)
               : RamkaParametrowEEPROM(choice.scrollKind, choice.speed, choice.brightness);
}

QByteArray RamkaZegara(QStringView time)
{
    const char payload[] = {char(digitAt(time, 0) << 4 | digitAt(time, 1)),
                            char(digitAt(time, 3) << 4 | digitAt(time, 4))};
    return dataFrame(Clock, QByteArrayView(payload, sizeof payload));
}

} // namespace protocol
