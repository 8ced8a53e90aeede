#include "protocol/windows1250.h"

#ifdef Q_OS_WIN
// Qt on Windows has no codec for the code page (it would need ICU); the system
// converts through its own code page 1250.
#include <windows.h>
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

#include <algorithm>

namespace protocol {

namespace {

#ifdef Q_OS_WIN
constexpr UINT CodePage1250 = 1250;
#endif

// Encodes one character (one code point, given as its UTF-16 units); empty
// when the code page has no byte for it.
QByteArray encodeOne(QStringView character)
{
#ifdef Q_OS_WIN
    // No best-fit mapping: "ä" must not quietly become "a".
    char bytes[8];
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(
        CodePage1250, WC_NO_BEST_FIT_CHARS, reinterpret_cast<LPCWCH>(character.utf16()),
        int(character.size()), bytes, int(sizeof bytes), nullptr, &usedDefault);
    if (length != 1 || usedDefault)
        return {};
    return QByteArray(bytes, 1);
#else
    QStringEncoder encoder("windows-1250");
    QByteArray encoded = encoder.encode(character);
    if (encoder.hasError() || encoded.size() != 1)
        return {};
    return encoded;
#endif
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
#ifdef Q_OS_WIN
    if (bytes.isEmpty())
        return {};
    // One byte gives one UTF-16 unit in this code page.
    QString text(bytes.size(), Qt::Uninitialized);
    const int length = MultiByteToWideChar(CodePage1250, 0, bytes.data(), int(bytes.size()),
                                           reinterpret_cast<LPWSTR>(text.data()), int(text.size()));
    text.truncate(length);
    return text;
#else
    QStringDecoder decoder("windows-1250");
    return decoder.decode(bytes);
#endif
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
