// Feeds arbitrary text to the packet readers. A reader may refuse the text with
// vexa::Error; anything else it accepts must survive writing and reading back unchanged.
#include "DataPacket.h"

#include <vexa/Error.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace vexa;

namespace {

[[noreturn]] void fail(const char *what, const QString &first, const QString &second)
{
    std::fprintf(stderr, "fuzz_packet: %s\n--- first text:\n%s\n--- second text:\n%s\n", what,
                 first.toUtf8().constData(), second.toUtf8().constData());
    std::abort();
}

// QVariant == converts between numeric types; the storage type must stay the same too.
bool sameValues(const QVariantList &a, const QVariantList &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].typeId() != b[i].typeId() || a[i] != b[i])
            return false;
    return true;
}

template <typename Packet, typename Read, typename Write, typename Same>
void roundTrip(const QString &text, Read read, Write write, Same same)
{
    Packet first;
    try {
        first = read(text);
    } catch (const Error &) {
        return; // refused with a message: fine
    }
    const QString written = write(first);
    Packet second;
    try {
        second = read(written);
    } catch (const Error &e) {
        fail(qPrintable(QStringLiteral("written packet refused: ") + e.message()), text, written);
    }
    if (second.fields != first.fields || !same(first, second))
        fail("packet changed by writing and reading back", text, written);
    // After one normalisation the text is stable.
    const QString again = write(second);
    if (again != written)
        fail("text not stable", written, again);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    roundTrip<DataPacket>(text, readDataPacket, writeDataPacket,
                          [](const DataPacket &a, const DataPacket &b) {
                              if (a.rows.size() != b.rows.size())
                                  return false;
                              for (std::size_t i = 0; i < a.rows.size(); ++i)
                                  if (!sameValues(a.rows[i], b.rows[i]))
                                      return false;
                              return true;
                          });
    roundTrip<DeltaPacket>(text, readDeltaPacket, writeDeltaPacket,
                           [](const DeltaPacket &a, const DeltaPacket &b) {
                               if (a.rows.size() != b.rows.size())
                                   return false;
                               for (std::size_t i = 0; i < a.rows.size(); ++i)
                                   if (a.rows[i].kind != b.rows[i].kind ||
                                       !sameValues(a.rows[i].values, b.rows[i].values) ||
                                       !sameValues(a.rows[i].original, b.rows[i].original))
                                       return false;
                               return true;
                           });
    return 0;
}
