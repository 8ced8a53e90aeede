// Feeds arbitrary bytes to the display emulator's frame cutter, whole and in
// chunks, and describes every frame it cuts. The first byte of the input
// chooses how the rest is chunked.

#include "tools/display_emulator.h"

#include "protocol/frames.h"

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool isFrameStart(QByteArrayView bytes)
{
    const QByteArrayView head = bytes.first(qMin<qsizetype>(bytes.size(), 4));
    return QByteArrayView("PROG").startsWith(head) || QByteArrayView("DATA").startsWith(head);
}

void checkFrame(const QByteArray &frame)
{
    const bool request = frame.size() == protocol::RequestSize && frame.startsWith("PROG");
    const bool data = frame.size() == protocol::DataFrameSize && frame.startsWith("DATA");
    require(request || data);
    const QString description = emulator::describeFrame(frame);
    require(description.startsWith(request ? QLatin1String("PROG request, ")
                                           : QLatin1String("DATA 0x")));
    require(description.endsWith(QLatin1String("checksum ok")) ==
            (protocol::FrameChecksum(frame) == 0));
    require(!description.contains(QLatin1Char('\n')));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView stream(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    emulator::FrameParser whole;
    const emulator::FrameParser::Output once = whole.feed(stream);

    emulator::FrameParser chunked;
    QList<QByteArray> frames;
    QByteArray skipped;
    std::uint32_t state = data[0];
    for (qsizetype pos = 0; pos < stream.size();) {
        state = state * 1103515245u + 12345u;
        const qsizetype length = qMin<qsizetype>(stream.size() - pos, 1 + (state >> 16) % 24);
        const emulator::FrameParser::Output out = chunked.feed(stream.sliced(pos, length));
        frames += out.frames;
        skipped += out.skipped;
        pos += length;
    }

    // How the bytes arrive never changes what is cut.
    require(frames == once.frames);
    require(skipped == once.skipped);

    qsizetype accounted = skipped.size();
    for (const QByteArray &frame : frames) {
        checkFrame(frame);
        accounted += frame.size();
    }
    // What is still undecided is the tail of the input, shorter than a frame,
    // and could still start one.
    const qsizetype pending = stream.size() - accounted;
    require(pending >= 0 && pending < protocol::DataFrameSize);
    require(isFrameStart(stream.last(pending)));

    require(!emulator::describeFrame(stream).isEmpty());
    return 0;
}
