// Feeds arbitrary bytes to the frame reader and the message decoder, as a server reads what
// a client sends. Either may refuse with vexa::Error; a message accepted must survive
// encoding and decoding again unchanged.
#include "Frame.h"
#include "Protocol.h"

#include <vexa/Error.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace vexa;
using namespace vexa::net;

namespace {

void check(const QByteArray &payload)
{
    Message first;
    try {
        first = decodeMessage(payload);
    } catch (const Error &) {
        return; // refused with a message: fine
    }
    const QByteArray again = encodeMessage(first);
    Message second;
    try {
        second = decodeMessage(again);
    } catch (const Error &e) {
        std::fprintf(stderr, "fuzz_frame: re-encoded message refused: %s\n",
                     e.message().toUtf8().constData());
        std::abort();
    }
    if (!identicalMessages(first, second)) {
        std::fprintf(stderr, "fuzz_frame: %s changed by encoding and decoding again\n",
                     messageKind(first).toUtf8().constData());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    // The whole input as one payload, so the fuzzer need not learn the framing first.
    check(bytes);

    // The input as a stream, in chunks whose sizes come from the input itself.
    FrameReader reader(1 << 20);
    qsizetype at = 0;
    std::size_t step = 1;
    while (at < bytes.size() && !reader.failed()) {
        const qsizetype n = qMin(bytes.size() - at, qsizetype(1 + (uchar(bytes[at]) * step) % 64));
        reader.feed(QByteArrayView(bytes).sliced(at, n));
        at += n;
        step = step * 3 + 1;
        while (reader.hasFrame())
            check(reader.takeFrame());
    }
    if (reader.failed() && reader.failure().isEmpty())
        std::abort();
    return 0;
}
