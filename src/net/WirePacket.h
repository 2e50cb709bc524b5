#pragma once

#include <DataPacket.h>

#include <QByteArray>
#include <QByteArrayView>

namespace vexa::net {

// A provider's reply packet in CBOR (docs/protocol.md, "Packets in CBOR"): the rows' values
// as CBOR items of their field's type, written and read in one pass without a packet text
// or a QCborValue tree between. Large replies (thousands of rows) spend most of the
// network's extra time here.
QByteArray writeWirePacket(const DataPacket &packet);

// Throws vexa::Error in Chinese for anything writeWirePacket does not write: malformed,
// truncated or trailing CBOR, a field list that is not one, a value of the wrong type or
// out of range, a row of the wrong width.
DataPacket readWirePacket(QByteArrayView bytes);

} // namespace vexa::net
