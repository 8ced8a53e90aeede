#pragma once

// The long-beep button's two captions. The caption is the only record of the
// long beep: while it offers to switch the beep on, the beep is off.

#include <QString>

namespace longBeep {

inline QString switchOnCaption()
{
    return QStringLiteral("Włącz długi dźwięk");
}
inline QString switchOffCaption()
{
    return QStringLiteral("Wyłącz długi dźwięk");
}

} // namespace longBeep
