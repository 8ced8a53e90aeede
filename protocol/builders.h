#pragma once

// The variable frames: screen texts, display parameters and the clock. Each
// builder is a pure function from what the user typed and picked to the 16
// bytes on the wire.

#include "protocol/display.h"

#include <QByteArray>
#include <QString>

namespace protocol {

// Screen text frames. n is the screen number (RAM 1..8, EEPROM 1..5); the code
// byte is n + 10 for RAM and n for EEPROM. The text goes as it stands: no
// trimming, no change of case. Texts reach here from fields that hold at most
// ten Windows-1250 characters; should a longer one or a character outside the
// code page ever arrive, only the first ten characters are sent and each
// character the code page lacks goes as '?', so the frame is still 16 bytes
// and its checksum covers exactly the bytes sent.
QByteArray RamkaTekstuRAM(int n, QStringView text);
QByteArray RamkaTekstuEEPROM(int n, QStringView text);

// Parameter frames, from the selected positions of the lists (0 for the first
// entry): scroll kind 0..2 goes as 1, 2 or 4; number of screens 0..8 as
// itself; speed and brightness 0..9 as 1..10. The EEPROM set always has five
// screens. Positions outside the lists are clamped into them.
QByteArray RamkaParametrowRAM(int przesuw, int iloscEkranow, int predkosc, int jasnosc);
QByteArray RamkaParametrowEEPROM(int przesuw, int predkosc, int jasnosc);

// The same builders by memory: RamkaTekstuRAM or RamkaTekstuEEPROM, and
// RamkaParametrowRAM or RamkaParametrowEEPROM (which has no screen count).
QByteArray textFrame(Memory memory, int n, QStringView text);
QByteArray parameterFrame(Memory memory, const ParameterChoice &choice);

// Clock frame from the clock field's text "HH:MM": each of characters 1, 2, 4
// and 5 gives its digit, or 0 when it is no digit (an untyped position, or a
// text too short); hours and minutes go as packed BCD, unchecked, as typed.
QByteArray RamkaZegara(QStringView time);

} // namespace protocol
