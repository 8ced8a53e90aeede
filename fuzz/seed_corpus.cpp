// Writes the fuzzers' seed inputs, made of the frames the protocol builds,
// into DIR/frame_parser and DIR/builders.

#include "protocol/builders.h"
#include "protocol/frames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

bool write(const QString &dir, int index, const QByteArray &bytes)
{
    QFile file(QStringLiteral("%1/seed-%2").arg(dir).arg(index, 3, 10, QLatin1Char('0')));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QList<QByteArray> protocolFrames()
{
    using namespace protocol;
    QList<QByteArray> frames = {
        bytes(KomendaProg),
        bytes(KomendaKrotkiDzwiek),
        bytes(KomendaDlugiDzwiekWlacz),
        bytes(KomendaDlugiDzwiekWylacz),
        bytes(KomendaCzyscEkran),
        bytes(KomendaOdswiez),
        bytes(KomendaKoniec),
        RamkaParametrowRAM(0, 8, 9, 9),
        RamkaParametrowRAM(2, 3, 4, 6),
        RamkaParametrowEEPROM(0, 9, 9),
        RamkaZegara(u"14:05"),
        RamkaZegara(u"29:75"),
        RamkaTekstuRAM(1, u"Cześć"),
        RamkaTekstuRAM(8, u""),
        RamkaTekstuRAM(1, u"mn"),
        RamkaTekstuEEPROM(5, u"0123456789"),
    };
    return frames;
}

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const QString parserDir = QString::fromLocal8Bit(argv[1]) + "/frame_parser";
    const QString buildersDir = QString::fromLocal8Bit(argv[1]) + "/builders";
    if (!QDir().mkpath(parserDir) || !QDir().mkpath(buildersDir))
        return 1;

    // Frame cutter: a chunking byte, then frames alone, in a row, split by
    // garbage and by keyword prefixes.
    const QList<QByteArray> frames = protocolFrames();
    int index = 0;
    bool ok = true;
    QByteArray all;
    for (const QByteArray &frame : frames) {
        ok = ok && write(parserDir, index, char(index) + frame);
        ++index;
        all += frame;
    }
    ok = ok && write(parserDir, index++, QByteArray(1, '\0') + all);
    ok = ok && write(parserDir, index++, "\x07xyPRO" + frames[0] + "DAT" + frames[12] + "PR");
    ok = ok && write(parserDir, index++,
                     "\x03OKfNEXT\xC1" + frames[5] + QByteArray("\x00\xFF", 2) + frames[0]);

    // Builders: screen, four positions, code, then text as UTF-16.
    const QString texts[] = {u"Cześć"_qs,   u"0123456789"_qs, u" ż ó ł "_qs, u"14:05"_qs,
                             u"OKfNEXT"_qs, QString(),        u"€‰ŠŚŤŽŹ"_qs, u"a😀b"_qs};
    index = 0;
    for (const QString &text : texts) {
        const QByteArray head("\x01\x00\x08\x09\x09\x0B", 6);
        ok = ok && write(buildersDir, index++, head + utf16(text));
    }
    return ok ? 0 : 1;
}
