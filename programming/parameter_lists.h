#pragma once

// The entries of the parameter lists, in the order the display counts them
// (the position picked is what the parameter frame carries), and the entry
// each list shows at start-up: the main window's lists, and the names the
// command line takes.

#include <QString>
#include <QStringList>

namespace parameterLists {

inline QStringList numbers(int from, int to)
{
    QStringList items;
    for (int i = from; i <= to; ++i)
        items.append(QString::number(i));
    return items;
}

inline QStringList scrollKindItems()
{
    return {QStringLiteral("Na przemian"), QStringLiteral("Co znak"), QStringLiteral("Płynące")};
}
inline QStringList screenCountItems()
{
    return numbers(0, 8);
}
inline QStringList speedItems()
{
    return numbers(1, 10);
} // also for brightness

// The lists' labels, as the window shows them and the command line's files
// name them. "Prękość" (for "Prędkość", speed) is how the window has always
// labelled the speed lists; users know it so, and it is kept as it is.
inline QString scrollKindLabel()
{
    return QStringLiteral("Rodzaj przesuwu");
}
inline QString speedLabel()
{
    return QStringLiteral("Prękość przesuwu");
}
inline QString brightnessLabel()
{
    return QStringLiteral("Jasność");
}
inline QString screenCountLabel()
{
    return QStringLiteral("Ilość ekranów");
}

inline constexpr int ScrollKindAtStart = 0;
inline constexpr int ScreenCountAtStart = 8;
inline constexpr int SpeedAtStart = 9;
inline constexpr int BrightnessAtStart = 9;

} // namespace parameterLists
