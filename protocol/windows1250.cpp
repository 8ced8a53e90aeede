#include "protocol/windows1250.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace protocol {

namespace {

// Encodes one character (one code point, given as its UTF-16 units); empty
// when the code page has no byte for it.
QByteArray encodeOne(QStringView character)
{
    QStringEncoder encoder("windows-1250");
    QByteArray encoded = encoder.encode(character);
    if (encoder.hasError() || encoded.size() != 1)
        return {};
    return encoded;
}

} // namespace

QList<QStringView> characters(QStringView text)
{
    QList<QStringView> result;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2
                                                                                                : 1;
        result.append(text.sliced(i, length));
        i += length;
    }
    return result;
}

bool isWindows1250(QStringView text)
{
    const QList<QStringView> all = characters(text);
    return std::all_of(all.begin(), all.end(),
                       [](QStringView c) { return !encodeOne(c).isEmpty(); });
}

QByteArray toWindows1250(QStringView text)
{
    QByteArray result;
    for (QStringView c : characters(text)) {
        const QByteArray encoded = encodeOne(c);
        result.append(encoded.isEmpty() ? QByteArray("?") : encoded);
    }
    return result;
}

QString fromWindows1250(QByteArrayView bytes)
{
    QStringDecoder decoder("windows-1250");
    return decoder.decode(bytes);
}

QString keepWindows1250(QStringView text)
{
    QString kept;
    for (QStringView c : characters(text)) {
        if (!encodeOne(c).isEmpty())
            kept.append(c);
    }
    return kept;
}

} // namespace protocol
