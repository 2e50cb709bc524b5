#pragma once

#include <QCborValue>
#include <QString>
#include <QVariant>

namespace vexa::net {

// How the operations' arguments and results travel (docs/protocol.md, "Values"). A closed set
// of types: null, bool, int, qint64, double, QString, QByteArray, QDate, QTime, QDateTime,
// DataPacket, DeltaPacket and QVariantList of these. Types CBOR has no exact form for are
// tagged with the tags below (the high two bytes spell "VX").
enum class WireTag : quint64 {
    Int64 = 0x56580001,       // integer
    Date = 0x56580002,        // integer: Julian day
    Time = 0x56580003,        // integer: milliseconds since midnight
    DateTime = 0x56580004,    // array, see docs/protocol.md
    DataPacket = 0x56580005,  // text: the data packet text form
    DeltaPacket = 0x56580006, // text: the delta packet text form
    Utf16Text = 0x56580007,   // bytes: UTF-16LE of a text UTF-8 cannot hold (a lone surrogate)
};

// Lists nest at most this deep (a list in a list is depth 2).
constexpr int kMaxValueDepth = 16;

// Throws vexa::Error for a value outside the closed set: a programming error on our side,
// refused before anything is sent.
QCborValue encodeValue(const QVariant &value);

// Throws vexa::Error in Chinese naming `where` for anything not written by encodeValue.
QVariant decodeValue(const QCborValue &cbor, const QString &where);

// Same type and same value, recursively: unlike QVariant ==, an int is not a qint64, a
// double -0.0 is not 0.0, a QDateTime keeps its time spec, NaN equals NaN.
bool identicalValues(const QVariant &a, const QVariant &b);

} // namespace vexa::net
