#pragma once

// Frames the PC sends to the display, the checksum that closes each of them
// and the one acknowledgement the display answers with. Frames are bytes,
// never text.

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>

namespace protocol {

// Every data frame is "DATA", a code byte, ten payload bytes and the checksum.
inline constexpr char DataKeyword[] = "DATA";
inline constexpr int DataFrameSize = 16;
inline constexpr int PayloadSize = 10;
inline constexpr int RequestSize = 5;
inline constexpr int AcknowledgementSize = 8;

// Code bytes: what a data frame carries.
enum Code : std::uint8_t {
    EepromParameters = 0x00, // EEPROM screens are 0x01..0x05
    RamParameters = 0x0A,    // RAM screens are 0x0B..0x12
    Clock = 0x50,
    ShortBeep = 0x5A,
    LongBeepOn = 0x5B,
    LongBeepOff = 0x5C,
    ClearScreens = 0x61,
    Refresh = 0x62,
    End = 0x63,
};

// The byte that brings the 8-bit sum of the frame, itself included, to zero.
std::uint8_t FrameChecksum(QByteArrayView bytes);

// "DATA", code, payload filled with 0x00 to ten bytes, checksum: always 16 bytes.
// A payload longer than ten bytes is cut after the tenth.
QByteArray dataFrame(std::uint8_t code, QByteArrayView payload = {});

// The display answers an accepted frame with exactly these eight bytes;
// anything else (another byte, another case, fewer bytes) is no acknowledgement.
bool isAcknowledgement(QByteArrayView reply);

template <std::size_t N> QByteArray bytes(const std::array<std::uint8_t, N> &frame)
{
    return QByteArray(reinterpret_cast<const char *>(frame.data()), qsizetype(N));
}

// clang-format off
inline constexpr std::array<std::uint8_t, 5> KomendaProg{0x50, 0x52, 0x4F, 0x47, 0xC8};
inline constexpr std::array<std::uint8_t, 8> OdpowiedzOK{0x4F, 0x4B, 0x66, 0x4E, 0x45, 0x58, 0x54, 0xC1};
inline constexpr std::array<std::uint8_t, 16> KomendaKrotkiDzwiek{
    0x44, 0x41, 0x54, 0x41, 0x5A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x8C};
inline constexpr std::array<std::uint8_t, 16> KomendaDlugiDzwiekWlacz{
    0x44, 0x41, 0x54, 0x41, 0x5B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x8B};
inline constexpr std::array<std::uint8_t, 16> KomendaDlugiDzwiekWylacz{
    0x44, 0x41, 0x54, 0x41, 0x5C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x8A};
inline constexpr std::array<std::uint8_t, 16> KomendaCzyscEkran{
    0x44, 0x41, 0x54, 0x41, 0x61, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x85};
inline constexpr std::array<std::uint8_t, 16> KomendaOdswiez{
    0x44, 0x41, 0x54, 0x41, 0x62, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x84};
inline constexpr std::array<std::uint8_t, 16> KomendaKoniec{
    0x44, 0x41, 0x54, 0x41, 0x63, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x83};
// clang-format on
static_assert(OdpowiedzOK.size() == AcknowledgementSize);

} // namespace protocol
