#pragma once

#include "FieldDef.h"

#include <vexa/Error.h>

#include <QList>
#include <QString>
#include <QVariant>
#include <vector>

namespace vexa {

// A whole dataset as it travels: field definitions and rows. Each row holds one value
// per field, in field order, in the storage type of coerceToField (an invalid QVariant
// is a null).
struct DataPacket
{
    QList<FieldDef> fields;
    std::vector<QVariantList> rows;

    bool isEmpty() const { return fields.isEmpty(); }
    bool operator==(const DataPacket &) const = default;
};

// The columns of a server's answer by name, so the order it sends them in does not matter;
// a missing one throws vexa::Error.
struct PacketColumns
{
    const DataPacket &packet;
    int operator()(const char *name) const
    {
        const int i = indexOfField(packet.fields, QString::fromLatin1(name));
        if (i < 0)
            throw Error(QStringLiteral("服务器的回答缺少列“%1”。").arg(QLatin1String(name)));
        return i;
    }
};

// One changed row of a dataset's change log.
struct DeltaRow
{
    enum class Kind { Insert, Modify, Delete };
    Kind kind = Kind::Insert;
    QVariantList values;   // Insert, Modify: the current values; Delete: empty
    QVariantList original; // Modify, Delete: the values as read; Insert: empty

    bool operator==(const DeltaRow &) const = default;
};

// The change log of a dataset: the fields (calculated fields left out) and the changed
// rows in the order the changes were made.
struct DeltaPacket
{
    QList<FieldDef> fields;
    std::vector<DeltaRow> rows;

    bool operator==(const DeltaPacket &) const = default;
};

// Most fields a packet text may hold. The server's tables have at most 2,000 columns
// (SQLite's limit); a text with more is refused before it costs time and memory.
constexpr int kMaxPacketFields = 10000;

// Text form of packets, documented in docs/data-packet.md. The writers never fail; the
// readers throw vexa::Error with a clear message on malformed or truncated text.
QString writeDataPacket(const DataPacket &packet);
DataPacket readDataPacket(const QString &text);
QString writeDeltaPacket(const DeltaPacket &delta);
DeltaPacket readDeltaPacket(const QString &text);

} // namespace vexa
