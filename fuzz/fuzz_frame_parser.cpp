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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArrayView stream(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const emulator::FrameParser::Output once = emulator::FrameParser().feed(stream);

    emulator::FrameParser chunked;
    emulator::FrameParser::Output pieces;
    std::uint32_t state = data[0];
    for (qsizetype pos = 0, length = 0; pos < stream.size(); pos += length) {
        state = state * 1103515245u + 12345u;
        length = qMin<qsizetype>(stream.size() - pos, 1 + (state >> 16) % 24);
        const emulator::FrameParser::Output out = chunked.feed(stream.sliced(pos, length));
        pieces.frames += out.frames;
        pieces.skipped += out.skipped;
    }
    // How the bytes arrive never changes what is cut.
    require(pieces.frames == once.frames && pieces.skipped == once.skipped);

    qsizetype accounted = once.skipped.size();
    for (const QByteArray &frame : once.frames) {
        const bool request = frame.size() == protocol::RequestSize && frame.startsWith("PROG");
        require(request || (frame.size() == protocol::DataFrameSize && frame.startsWith("DATA")));
        const QString description = emulator::describeFrame(frame);
        require(description.endsWith(QLatin1String("checksum ok")) ==
                (protocol::FrameChecksum(frame) == 0));
        accounted += frame.size();
    }
    // Only a tail shorter than a frame is still waiting for more.
    require(stream.size() - accounted >= 0 && stream.size() - accounted < protocol::DataFrameSize);
    require(!emulator::describeFrame(stream).isEmpty());
    return 0;
}
