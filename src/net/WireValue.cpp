#include "WireValue.h"

#include <DataPacket.h>
#include <vexa/Error.h>

#include <QCborArray>
#include <QDateTime>
#include <QTimeZone>
#include <cmath>
#include <limits>

namespace vexa::net {

namespace {

constexpr qint64 kMsecsPerDay = 86400000;

// A QDateTime travels in one of three forms, chosen by its time spec.
enum DateTimeForm : qint64 { LocalWallClock = 0, Utc = 1, Offset = 2 };

QCborValue tagged(WireTag tag, const QCborValue &payload)
{
    return QCborValue(QCborTag(quint64(tag)), payload);
}

QCborValue encodeText(const QString &s)
{
    if (s.isValidUtf16())
        return QCborValue(s);
    // UTF-8 would replace a lone surrogate; the code units travel as they are.
    QByteArray units;
    units.reserve(s.size() * 2);
    for (QChar c : s)
        units.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return tagged(WireTag::Utf16Text, QCborValue(units));
}

QCborValue encodeDateTime(const QDateTime &dt)
{
    switch (dt.timeSpec()) {
    case Qt::LocalTime:
        // The wall-clock time, read as the receiver's local time, as packet texts do.
        return tagged(WireTag::DateTime, QCborArray{LocalWallClock, dt.date().toJulianDay(),
                                                    qint64(dt.time().msecsSinceStartOfDay())});
    case Qt::UTC:
        return tagged(WireTag::DateTime, QCborArray{Utc, dt.toMSecsSinceEpoch()});
    case Qt::OffsetFromUTC:
    case Qt::TimeZone:
        // A zone travels as its offset at that moment: the zone's name does not.
        return tagged(WireTag::DateTime,
                      QCborArray{Offset, dt.toMSecsSinceEpoch(), qint64(dt.offsetFromUtc())});
    }
    return QCborValue(QCborValue::Null);
}

[[noreturn]] void refuse(const QString &where, const QString &what)
{
    throw Error(QStringLiteral("通信协议错误：字段“%1”%2").arg(where, what));
}

qint64 integerIn(const QCborValue &v, qint64 low, qint64 high, const QString &where)
{
    if (!v.isInteger())
        refuse(where, QStringLiteral("应为整数。"));
    const qint64 n = v.toInteger();
    if (n < low || n > high)
        refuse(where, QStringLiteral("的整数 %1 超出范围。").arg(n));
    return n;
}

QDateTime decodeDateTime(const QCborValue &payload, const QString &where)
{
    if (!payload.isArray())
        refuse(where, QStringLiteral("的日期时间格式错误。"));
    const QCborArray a = payload.toArray();
    const qint64 form = a.isEmpty() ? -1 : (a.at(0).isInteger() ? a.at(0).toInteger() : -1);
    QDateTime dt;
    if (form == LocalWallClock && a.size() == 3) {
        const QDate date =
            QDate::fromJulianDay(integerIn(a.at(1), std::numeric_limits<qint64>::min(),
                                           std::numeric_limits<qint64>::max(), where));
        const qint64 ms = integerIn(a.at(2), 0, kMsecsPerDay - 1, where);
        if (!date.isValid())
            refuse(where, QStringLiteral("的日期超出范围。"));
        dt = QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)));
    } else if (form == Utc && a.size() == 2) {
        const qint64 ms = integerIn(a.at(1), std::numeric_limits<qint64>::min(),
                                    std::numeric_limits<qint64>::max(), where);
        dt = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    } else if (form == Offset && a.size() == 3) {
        const qint64 ms = integerIn(a.at(1), std::numeric_limits<qint64>::min(),
                                    std::numeric_limits<qint64>::max(), where);
        const qint64 offset = integerIn(a.at(2), -16 * 3600, 16 * 3600, where);
        dt = QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, int(offset));
    } else {
        refuse(where, QStringLiteral("的日期时间格式错误。"));
    }
    if (!dt.isValid())
        refuse(where, QStringLiteral("的日期时间超出范围。"));
    return dt;
}

template <typename Packet, typename Read>
QVariant decodePacket(const QCborValue &payload, Read read, const QString &where)
{
    if (!payload.isString())
        refuse(where, QStringLiteral("的数据包应为文本。"));
    try {
        return QVariant::fromValue<Packet>(read(payload.toString()));
    } catch (const Error &e) {
        refuse(where, QStringLiteral("中的数据包有误：%1").arg(e.message()));
    }
}

QVariant decodeTagged(const QCborValue &cbor, const QString &where)
{
    const QCborValue payload = cbor.taggedValue();
    switch (WireTag(quint64(cbor.tag()))) {
    case WireTag::Int64:
        return QVariant::fromValue(integerIn(payload, std::numeric_limits<qint64>::min(),
                                             std::numeric_limits<qint64>::max(), where));
    case WireTag::Date: {
        const QDate d = QDate::fromJulianDay(integerIn(payload, std::numeric_limits<qint64>::min(),
                                                       std::numeric_limits<qint64>::max(), where));
        if (!d.isValid())
            refuse(where, QStringLiteral("的日期超出范围。"));
        return d;
    }
    case WireTag::Time:
        return QTime::fromMSecsSinceStartOfDay(int(integerIn(payload, 0, kMsecsPerDay - 1, where)));
    case WireTag::DateTime:
        return decodeDateTime(payload, where);
    case WireTag::DataPacket:
        return decodePacket<DataPacket>(payload, readDataPacket, where);
    case WireTag::DeltaPacket:
        return decodePacket<DeltaPacket>(payload, readDeltaPacket, where);
    case WireTag::Utf16Text: {
        if (!payload.isByteArray())
            refuse(where, QStringLiteral("的文本格式错误。"));
        const QByteArray units = payload.toByteArray();
        if (units.size() % 2 != 0)
            refuse(where, QStringLiteral("的文本格式错误。"));
        QString s(units.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < s.size(); ++i)
            s[i] = QChar(char16_t(uchar(units[2 * i]) | (uchar(units[2 * i + 1]) << 8)));
        return s;
    }
    }
    refuse(where, QStringLiteral("含有未知的标记 %1。").arg(quint64(cbor.tag())));
}

QVariant decode(const QCborValue &cbor, const QString &where, int depth)
{
    switch (cbor.type()) {
    case QCborValue::Null:
        return QVariant();
    case QCborValue::False:
    case QCborValue::True:
        return cbor.toBool();
    case QCborValue::Integer:
        return int(integerIn(cbor, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(),
                             where));
    case QCborValue::Double:
        return cbor.toDouble();
    case QCborValue::String:
        return cbor.toString();
    case QCborValue::ByteArray:
        return cbor.toByteArray();
    case QCborValue::Array: {
        if (depth >= kMaxValueDepth)
            refuse(where, QStringLiteral("的列表嵌套超过 %1 层。").arg(kMaxValueDepth));
        QVariantList list;
        const QCborArray a = cbor.toArray();
        list.reserve(a.size());
        for (const QCborValue &item : a)
            list.append(decode(item, where, depth + 1));
        return list;
    }
    case QCborValue::Tag:
        return decodeTagged(cbor, where);
    default:
        refuse(where, QStringLiteral("含有不支持的值类型。"));
    }
}

QCborValue encode(const QVariant &v, int depth)
{
    if (!v.isValid())
        return QCborValue(QCborValue::Null);
    switch (v.typeId()) {
    case QMetaType::Bool:
        return QCborValue(v.toBool());
    case QMetaType::Int:
        return QCborValue(qint64(v.toInt()));
    case QMetaType::LongLong:
        return tagged(WireTag::Int64, QCborValue(v.toLongLong()));
    case QMetaType::Double:
        return QCborValue(v.toDouble());
    case QMetaType::QString:
        return encodeText(v.toString());
    case QMetaType::QByteArray:
        return QCborValue(v.toByteArray());
    case QMetaType::QDate: {
        const QDate d = v.toDate();
        return d.isValid() ? tagged(WireTag::Date, QCborValue(d.toJulianDay()))
                           : QCborValue(QCborValue::Null);
    }
    case QMetaType::QTime: {
        const QTime t = v.toTime();
        return t.isValid() ? tagged(WireTag::Time, QCborValue(qint64(t.msecsSinceStartOfDay())))
                           : QCborValue(QCborValue::Null);
    }
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        return dt.isValid() ? encodeDateTime(dt) : QCborValue(QCborValue::Null);
    }
    case QMetaType::QVariantList: {
        if (depth >= kMaxValueDepth)
            throw Error(QStringLiteral("要发送的列表嵌套超过 %1 层。").arg(kMaxValueDepth));
        QCborArray a;
        for (const QVariant &item : v.toList())
            a.append(encode(item, depth + 1));
        return a;
    }
    default:
        break;
    }
    if (v.metaType() == QMetaType::fromType<DataPacket>())
        return tagged(WireTag::DataPacket, QCborValue(writeDataPacket(v.value<DataPacket>())));
    if (v.metaType() == QMetaType::fromType<DeltaPacket>())
        return tagged(WireTag::DeltaPacket, QCborValue(writeDeltaPacket(v.value<DeltaPacket>())));
    throw Error(QStringLiteral("类型为“%1”的值不能通过网络发送。")
                    .arg(QString::fromLatin1(v.metaType().name())));
}

} // namespace

QCborValue encodeValue(const QVariant &value)
{
    return encode(value, 0);
}

QVariant decodeValue(const QCborValue &cbor, const QString &where)
{
    return decode(cbor, where, 0);
}

bool identicalValues(const QVariant &a, const QVariant &b)
{
    if (a.isValid() != b.isValid() || a.metaType() != b.metaType())
        return false;
    if (!a.isValid())
        return true;
    switch (a.typeId()) {
    case QMetaType::Double: {
        const double x = a.toDouble(), y = b.toDouble();
        if (std::isnan(x) || std::isnan(y))
            return std::isnan(x) && std::isnan(y);
        return x == y && std::signbit(x) == std::signbit(y);
    }
    case QMetaType::QDateTime: {
        const QDateTime x = a.toDateTime(), y = b.toDateTime();
        return x == y && x.timeSpec() == y.timeSpec() && x.offsetFromUtc() == y.offsetFromUtc() &&
               x.date() == y.date() && x.time() == y.time();
    }
    case QMetaType::QString:
        return a.toString() == b.toString();
    case QMetaType::QVariantList: {
        const QVariantList x = a.toList(), y = b.toList();
        if (x.size() != y.size())
            return false;
        for (qsizetype i = 0; i < x.size(); ++i)
            if (!identicalValues(x[i], y[i]))
                return false;
        return true;
    }
    default:
        break;
    }
    if (a.metaType() == QMetaType::fromType<DataPacket>())
        return a.value<DataPacket>() == b.value<DataPacket>();
    if (a.metaType() == QMetaType::fromType<DeltaPacket>())
        return a.value<DeltaPacket>() == b.value<DeltaPacket>();
    return a == b;
}

} // namespace vexa::net
