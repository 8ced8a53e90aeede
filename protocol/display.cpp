#include "protocol/display.h"

#include "protocol/windows1250.h"

namespace protocol {

namespace {

QStringList numbers(int from, int to)
{
    QStringList items;
    for (int i = from; i <= to; ++i)
        items.append(QString::number(i));
    return items;
}

} // namespace

QString memoryName(Memory memory)
{
    return memory == Memory::Ram ? QStringLiteral("RAM") : QStringLiteral("EEPROM");
}

std::optional<ScreenAddress> addressOf(std::uint8_t code)
{
    for (Memory memory : {Memory::Eeprom, Memory::Ram}) {
        const int screen = code - parameterCode(memory);
        if (screen >= 0 && screen <= screenCount(memory))
            return ScreenAddress{memory, screen};
    }
    return std::nullopt;
}

QString composed(const QString &text)
{
    return text.normalized(QString::NormalizationForm_C);
}

bool isScreenCharacter(QStringView character)
{
    const bool control = character.size() == 1 && character[0].category() == QChar::Other_Control;
    return !control && isWindows1250(character);
}

QString screenCharacters(const QString &text)
{
    QString kept;
    for (QStringView character : characters(composed(text))) {
        if (isScreenCharacter(character))
            kept += character;
    }
    return kept;
}

QStringList scrollKindItems()
{
    return {QStringLiteral("Na przemian"), QStringLiteral("Co znak"), QStringLiteral("Płynące")};
}

QStringList screenCountItems()
{
    return numbers(0, RamScreens);
}

QStringList stepItems()
{
    return numbers(1, Steps);
}

QString scrollKindLabel()
{
    return QStringLiteral("Rodzaj przesuwu");
}

QString speedLabel()
{
    return QStringLiteral("Prękość przesuwu");
}

QString brightnessLabel()
{
    return QStringLiteral("Jasność");
}

QString screenCountLabel()
{
    return QStringLiteral("Ilość ekranów");
}

ParameterChoice startChoice(Memory memory)
{
    return {0, memory == Memory::Ram ? RamScreens : EepromScreens, Steps - 1, Steps - 1};
}

} // namespace protocol
