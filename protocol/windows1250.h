#pragma once

// Screen texts travel as Windows-1250 (the Polish Windows code page), one
// byte per character.

#include <QByteArray>
#include <QList>
#include <QString>

namespace protocol {

// The text cut into characters as the code page counts them: one code point
// each, so a surrogate pair is one character (and a lone surrogate one too).
QList<QStringView> characters(QStringView text);

// True when every character of the text has a byte in Windows-1250.
bool isWindows1250(QStringView text);

// The text's Windows-1250 bytes, one per character; a character without a
// byte in the code page becomes '?', so the result always has exactly one
// byte per character (a surrogate pair counts as one character).
QByteArray toWindows1250(QStringView text);

// Bytes read back as text, for showing what a frame carries.
QString fromWindows1250(QByteArrayView bytes);

// The characters of the text that Windows-1250 can carry, in order.
QString keepWindows1250(QStringView text);

} // namespace protocol
