#pragma once

// What the packet writer and reader share: the format names and version, the change
// kinds of a delta, the currency rounding limit.

#include "DataPacket.h"

#include <QLatin1StringView>

namespace vexa::packet {

constexpr int kVersion = 1;
constexpr auto kDataFormat = QLatin1StringView("vexa-datapacket");
constexpr auto kDeltaFormat = QLatin1StringView("vexa-delta");

// Beyond this a double no longer holds four decimals reliably, and rounding again would
// move the value: such currency amounts are kept as written.
constexpr double kCurrencyRoundLimit = 1e11;

// The changes of a delta row, in the order of DeltaRow::Kind.
struct ChangeKind
{
    const char16_t *name;
    DeltaRow::Kind kind;
    bool values, original;
    const char *label;
};
constexpr ChangeKind kChangeKinds[] = {{u"insert", DeltaRow::Kind::Insert, true, false, "插入"},
                                       {u"modify", DeltaRow::Kind::Modify, true, true, "修改"},
                                       {u"delete", DeltaRow::Kind::Delete, false, true, "删除"}};
static_assert(int(DeltaRow::Kind::Insert) == 0 && int(DeltaRow::Kind::Modify) == 1 &&
              int(DeltaRow::Kind::Delete) == 2);

} // namespace vexa::packet
