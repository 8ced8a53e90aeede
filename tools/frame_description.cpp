#include "tools/display_emulator.h"

#include "protocol/display.h"
#include "protocol/frames.h"
#include "protocol/windows1250.h"

namespace emulator {

namespace {

constexpr qsizetype KeywordSize = 4;
const QByteArray RequestKeyword = protocol::bytes(protocol::KomendaProg).first(KeywordSize);
const QByteArrayView DataKeyword(protocol::DataKeyword);

// The length of the frame that starts at the front of rest; 0 when rest cannot
// start a frame, -1 when rest is too short to tell (a prefix of a keyword).
int frameLengthAt(QByteArrayView rest)
{
    const QByteArrayView head = rest.first(qMin(rest.size(), KeywordSize));
    if (RequestKeyword.startsWith(head))
        return head.size() == KeywordSize ? protocol::RequestSize : -1;
    if (DataKeyword.startsWith(head))
        return head.size() == KeywordSize ? protocol::DataFrameSize : -1;
    return 0;
}

QString hexByte(std::uint8_t byte)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

std::uint8_t at(QByteArrayView frame, qsizetype i)
{
    return std::uint8_t(frame[i]);
}

// The screen text as the display would show it: Windows-1250, without the
// 0x00 padding; control bytes are shown as escapes so the line stays one line.
QString screenText(QByteArrayView payload)
{
    while (!payload.isEmpty() && payload.back() == '\0')
        payload.chop(1);
    QString text;
    for (qsizetype i = 0; i < payload.size(); ++i) {
        const auto byte = std::uint8_t(payload[i]);
        if (byte < 0x20 || byte == 0x7F)
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        else if (byte == '"' || byte == '\\')
            text += QStringLiteral("\\%1").arg(QLatin1Char(char(byte)));
        else
            text += protocol::fromWindows1250(payload.sliced(i, 1));
    }
    return QStringLiteral("\"%1\"").arg(text);
}

QString scrollKindName(std::uint8_t value)
{
    switch (value) {
    case 1:
        return QStringLiteral("alternating");
    case 2:
        return QStringLiteral("character by character");
    case 4:
        return QStringLiteral("flowing");
    default:
        return QStringLiteral("unknown");
    }
}

// Bytes from..to of the payload that the frame kind leaves at 0x00 but that
// are not: said plainly, since the display would see them.
QString unusedBytesNote(QByteArrayView frame, qsizetype from)
{
    const QByteArrayView unused = frame.sliced(from, protocol::DataFrameSize - 1 - from);
    for (char b : unused) {
        if (b != '\0')
            return QStringLiteral(", unused bytes not zero: %1")
                .arg(QString::fromLatin1(unused.toByteArray().toHex(' ')));
    }
    return {};
}

QString parameters(QByteArrayView frame)
{
    return QStringLiteral("scroll %1 (%2), screens %3, speed %4, brightness %5")
               .arg(at(frame, 5))
               .arg(scrollKindName(at(frame, 5)))
               .arg(at(frame, 6))
               .arg(at(frame, 7))
               .arg(at(frame, 8)) +
           unusedBytesNote(frame, 9);
}

QString clock(QByteArrayView frame)
{
    // Packed BCD, shown as its two hex digits: 0x14 is 14 hours.
    const auto bcd = [&](qsizetype i) {
        return QStringLiteral("%1").arg(at(frame, i), 2, 16, QLatin1Char('0')).toUpper();
    };
    return QStringLiteral("clock %1:%2").arg(bcd(5), bcd(6)) + unusedBytesNote(frame, 7);
}

QString dataContent(QByteArrayView frame)
{
    const std::uint8_t code = at(frame, 4);
    const QByteArrayView payload = frame.sliced(5, protocol::PayloadSize);
    if (const std::optional<protocol::ScreenAddress> address = protocol::addressOf(code)) {
        const QString memory = protocol::memoryName(address->memory);
        if (address->screen == 0)
            return memory + QStringLiteral(" parameters: ") + parameters(frame);
        return QStringLiteral("%1 screen %2 %3")
            .arg(memory)
            .arg(address->screen)
            .arg(screenText(payload));
    }
    if (code == protocol::Clock)
        return clock(frame);
    const char *command = nullptr;
    switch (code) {
    case protocol::ShortBeep:
        command = "short beep";
        break;
    case protocol::LongBeepOn:
        command = "long beep on";
        break;
    case protocol::LongBeepOff:
        command = "long beep off";
        break;
    case protocol::ClearScreens:
        command = "clear screens";
        break;
    case protocol::Refresh:
        command = "refresh";
        break;
    case protocol::End:
        command = "end";
        break;
    default:
        return QStringLiteral("unknown code, payload %1")
            .arg(QString::fromLatin1(payload.toByteArray().toHex(' ')));
    }
    return QString::fromLatin1(command) + unusedBytesNote(frame, 5);
}

QString checksumNote(QByteArrayView frame)
{
    const std::uint8_t rest = protocol::FrameChecksum(frame);
    if (rest == 0)
        return QStringLiteral("checksum ok");
    const std::uint8_t expected = std::uint8_t(at(frame, frame.size() - 1) + rest);
    return QStringLiteral("checksum WRONG (%1, should be %2)")
        .arg(hexByte(at(frame, frame.size() - 1)), hexByte(expected));
}

} // namespace

FrameParser::Output FrameParser::feed(QByteArrayView bytes)
{
    Output out;
    const QByteArray buffer = m_pending + bytes.toByteArray();
    const QByteArrayView all(buffer);
    qsizetype pos = 0;
    qsizetype skippedFrom = -1;
    auto endSkip = [&] {
        if (skippedFrom >= 0)
            out.skipped.append(all.sliced(skippedFrom, pos - skippedFrom));
        skippedFrom = -1;
    };
    while (pos < all.size()) {
        const QByteArrayView rest = all.sliced(pos);
        const int length = frameLengthAt(rest);
        if (length == 0) {
            if (skippedFrom < 0)
                skippedFrom = pos;
            ++pos;
            continue;
        }
        endSkip();
        if (length < 0 || rest.size() < length)
            break; // wait for the rest of the keyword or frame
        out.frames.append(rest.first(length).toByteArray());
        pos += length;
    }
    endSkip();
    m_pending = all.sliced(pos).toByteArray();
    return out;
}

QString describeFrame(QByteArrayView frame)
{
    if (frame.size() == protocol::RequestSize && frame.startsWith(RequestKeyword))
        return QStringLiteral("PROG request, ") + checksumNote(frame);
    if (frame.size() == protocol::DataFrameSize && frame.startsWith(DataKeyword))
        return QStringLiteral("DATA %1 %2, %3")
            .arg(hexByte(at(frame, 4)), dataContent(frame), checksumNote(frame));
    return QStringLiteral("not a frame (%1 bytes): %2")
        .arg(frame.size())
        .arg(QString::fromLatin1(frame.toByteArray().toHex(' ')));
}

} // namespace emulator
