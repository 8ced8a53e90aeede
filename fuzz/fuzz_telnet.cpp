// Feeds arbitrary bytes, as a serial device server might send them, to the
// Telnet side of RFC 2217, in chunks of a size the first byte picks: what it
// passes on is never more than it got, its answers stay in proportion, and the
// display's bytes it sends come back as they were.

#include "programming/telnet_parser.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArrayView bytes(data + 1, qsizetype(size - 1));
    const qsizetype chunk = 1 + data[0] % 16;
    TelnetParser parser;
    parser.start();
    qsizetype passed = 0, answered = 0;
    for (qsizetype i = 0; i < bytes.size(); i += chunk) {
        const QByteArrayView part = bytes.sliced(i, std::min(chunk, bytes.size() - i));
        const TelnetParser::Output out = parser.feed(part);
        passed += out.data.size();
        answered += out.reply.size();
        // An answer of three bytes to a command of three, or the line's
        // settings to one.
        if (passed > i + part.size() || answered > 21 * (i + part.size()))
            std::abort();
    }
    TelnetParser fresh;
    if (fresh.feed(TelnetParser::escape(bytes)).data != bytes)
        std::abort();
    return 0;
}
