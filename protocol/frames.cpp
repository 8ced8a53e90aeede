#include "protocol/frames.h"

namespace protocol {

std::uint8_t FrameChecksum(QByteArrayView bytes)
{
    std::uint8_t sum = 0;
    for (char b : bytes)
        sum = std::uint8_t(sum + std::uint8_t(b));
    return std::uint8_t(-sum); // 256 - sum, and 0 when the sum is already 0
}

QByteArray dataFrame(std::uint8_t code, QByteArrayView payload)
{
    QByteArray frame(DataKeyword, sizeof DataKeyword - 1);
    frame.append(char(code));
    frame.append(payload.first(qMin(payload.size(), qsizetype(PayloadSize))));
    frame.resize(DataFrameSize - 1, '\0');
    frame.append(char(FrameChecksum(frame)));
    return frame;
}

bool isAcknowledgement(QByteArrayView reply)
{
    return reply == QByteArrayView(bytes(OdpowiedzOK));
}

} // namespace protocol
