#include "protocol/windows1250.h"

#include <QStringDecoder>
#include <QStringEncoder>

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

template <typename Visit> void forEachCharacter(QStringView text, Visit visit)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2
                                                                                                : 1;
        visit(text.sliced(i, length));
        i += length;
    }
}

} // namespace

bool isWindows1250(QStringView text)
{
    bool all = true;
    forEachCharacter(text, [&](QStringView c) { all = all && !encodeOne(c).isEmpty(); });
    return all;
}

QByteArray toWindows1250(QStringView text)
{
    QByteArray result;
    forEachCharacter(text, [&](QStringView c) {
        const QByteArray encoded = encodeOne(c);
        result.append(encoded.isEmpty() ? QByteArray("?") : encoded);
    });
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
    forEachCharacter(text, [&](QStringView c) {
        if (!encodeOne(c).isEmpty())
            kept.append(c);
    });
    return kept;
}

} // namespace protocol
