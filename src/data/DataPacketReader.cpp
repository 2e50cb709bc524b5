#include "DateText.h"
#include "PacketReader.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <algorithm>
#include <cmath>

namespace vexa {

namespace packet {

using datetext::parseDate;
using datetext::parseTime;

void PacketReader::checkHeader(const Scalar &format, const Scalar &version) const
{
    const QLatin1StringView expected = m_delta ? kDeltaFormat : kDataFormat;
    if (format.kind == Scalar::Missing)
        fail(QStringLiteral("缺少“format”"));
    if (format.kind != Scalar::String || format.text != expected) {
        if (format.kind == Scalar::String && format.text == (m_delta ? kDataFormat : kDeltaFormat))
            fail(m_delta ? QStringLiteral("这是数据包，不是变更包")
                         : QStringLiteral("这是变更包，不是数据包"));
        fail(QStringLiteral("“format”应为“%1”").arg(expected));
    }
    if (version.kind == Scalar::Missing)
        fail(QStringLiteral("缺少版本号“version”"));
    qint64 v = 0;
    if (version.kind != Scalar::Number || !version.number.toInteger(v) || v < 1)
        fail(QStringLiteral("版本号“version”无效"));
    if (v > kVersion)
        fail(QStringLiteral("版本为 %1，本程序只能读取版本 %2 及以前的格式，请升级程序后再打开")
                 .arg(v)
                 .arg(kVersion));
}

template <typename ReadRow> QList<FieldDef> PacketReader::readPacket(ReadRow readRow)
{
    if (m_blank)
        fail(QStringLiteral("内容为空"));
    if (peek() == u'\xfeff') // a byte order mark
        ++m_p;
    skipSpace();
    if (peek() != u'{') {
        skipValue();
        skipSpace();
        if (m_p < m_end)
            syntaxError("结尾有多余内容");
        fail(QStringLiteral("顶层不是 JSON 对象"));
    }

    Scalar format, version;
    Mark fieldsAt, rowsAt;
    bool headerChecked = false, fieldsRead = false, rowsRead = false;
    QList<FieldDef> fields;
    const auto readRows = [&] {
        if (peek() != u'[') {
            skipValue();
            fail(QStringLiteral("行表“rows”不是数组"));
        }
        qsizetype rowNo = 0;
        forEachItem([&] { readRow(fields, ++rowNo); });
    };
    // In the writer's order (format, version, fields, rows) everything is read where it
    // stands; what comes before a key it depends on is read once the object has ended.
    forEachMember([&](QStringView key) {
        if (key == u"format" || key == u"version") {
            Scalar &slot = key == u"format" ? format : version;
            if (slot.kind != Scalar::Missing)
                duplicateKey(QString(), key);
            slot = readScalar();
            return;
        }
        const bool isFields = key == u"fields";
        if (!isFields && key != u"rows")
            return skipValue();
        Mark &mark = isFields ? fieldsAt : rowsAt;
        if (mark.at)
            duplicateKey(QString(), key);
        mark = {m_p, m_depth};
        if (!headerChecked && format.kind != Scalar::Missing && version.kind != Scalar::Missing) {
            checkHeader(format, version);
            headerChecked = true;
        }
        if (isFields && headerChecked) {
            fields = readFields();
            fieldsRead = true;
        } else if (!isFields && fieldsRead) {
            readRows();
            rowsRead = true;
        } else {
            skipValue();
        }
    });
    skipSpace();
    if (m_p < m_end)
        syntaxError("结尾有多余内容");

    if (!headerChecked)
        checkHeader(format, version);
    if (!fieldsRead) {
        if (!fieldsAt.at)
            fail(QStringLiteral("缺少字段表“fields”"));
        revisit(fieldsAt, [&] { fields = readFields(); });
    }
    if (!rowsRead) {
        if (!rowsAt.at)
            fail(QStringLiteral("缺少行表“rows”"));
        revisit(rowsAt, readRows);
    }
    return fields;
}

QList<FieldDef> PacketReader::readFields()
{
    if (peek() != u'[') {
        skipValue();
        fail(QStringLiteral("字段表“fields”不是数组"));
    }
    QList<FieldDef> fields;
    FieldNameIndex names;
    forEachItem([&] {
        if (fields.size() == kMaxPacketFields)
            fail(QStringLiteral("字段表“fields”超过 %1 个字段的上限").arg(kMaxPacketFields));
        const QString where = QStringLiteral("第 %1 个字段").arg(fields.size() + 1);
        if (peek() != u'{') {
            skipValue();
            fail(where + QStringLiteral("不是对象"));
        }
        Scalar name, type, size, required, calculated;
        forEachMember([&](QStringView key) {
            Scalar *slot = key == u"name"         ? &name
                           : key == u"type"       ? &type
                           : key == u"size"       ? &size
                           : key == u"required"   ? &required
                           : key == u"calculated" ? &calculated
                                                  : nullptr;
            if (!slot)
                return skipValue();
            if (slot->kind != Scalar::Missing)
                duplicateKey(where + u'的', key);
            *slot = readScalar();
        });

        FieldDef f;
        if (name.kind != Scalar::String || name.text.isEmpty())
            fail(where + QStringLiteral("缺少名称“name”或名称不是文本"));
        f.name = name.text;
        const QString label = QStringLiteral("字段“%1”").arg(f.name);
        if (!names.add(f.name, int(fields.size())))
            fail(label + QStringLiteral("重复（字段名不区分大小写）"));

        if (type.kind != Scalar::String)
            fail(label + QStringLiteral("缺少类型“type”或类型不是文本"));
        const std::optional<FieldType> t = fieldTypeFromName(type.text);
        if (!t)
            fail(label + QStringLiteral("的类型“%1”未知").arg(type.text));
        f.type = *t;

        if (size.kind != Scalar::Missing) {
            qint64 n = -1;
            if (size.kind != Scalar::Number || !size.number.toInteger(n) || n < 0 ||
                n > std::numeric_limits<int>::max())
                fail(label + QStringLiteral("的长度“size”不是非负整数"));
            f.size = int(n);
        }
        const auto flag = [&](const Scalar &value, const char *key) {
            if (value.kind == Scalar::Missing)
                return false;
            if (value.kind != Scalar::Bool)
                fail(label +
                     QStringLiteral("的“%1”不是 true 或 false").arg(QLatin1StringView(key)));
            return value.boolean;
        };
        f.required = flag(required, "required");
        f.calculated = flag(calculated, "calculated");
        fields.append(std::move(f));
    });
    return fields;
}

QVariantList PacketReader::readValues(const QList<FieldDef> &fields, qsizetype rowNo, bool original)
{
    m_rowNo = rowNo;
    m_original = original;
    const QString part = original ? QStringLiteral("的原值") : QString();
    if (peek() != u'[') {
        skipValue();
        fail(QStringLiteral("第 %1 行%2不是数组").arg(rowNo).arg(part));
    }
    const qsizetype width = fields.size();
    const FieldDef *field = fields.constData();
    QVariantList values;
    values.reserve(width);
    qsizetype count = 0;
    forEachItem([&] {
        if (count < width)
            values.emplaceBack(readValue(field[count]));
        else
            skipValue(); // counted for the message
        ++count;
    });
    if (count != width)
        fail(QStringLiteral("第 %1 行%2有 %3 个值，应为 %4 个")
                 .arg(rowNo)
                 .arg(part)
                 .arg(count)
                 .arg(width));
    return values;
}

QVariant PacketReader::readValue(const FieldDef &field)
{
    m_field = &field;
    const char16_t c = peek();
    if (c == u'n') {
        readLiteral(u"null");
        return QVariant();
    }

    switch (field.type) {
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::FixedChar:
    case FieldType::Memo: {
        if (c != u'"')
            wrongType("的值不是文本");
        QString decoded;
        const Text text = readString(&decoded);
        QString s = text.decoded ? std::move(decoded) : text.view.toString();
        if (field.size > 0 && field.type != FieldType::Memo && s.size() > field.size / 2) {
            // Longer than the field is an error, never cut.
            const int len = gbkByteLength(s);
            if (len > field.size)
                badValue(QStringLiteral("的值过长：最多 %1 字节，实际 %2 字节")
                             .arg(field.size)
                             .arg(len));
        }
        return QVariant(std::move(s));
    }
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::LargeInt: {
        if (c != u'-' && !isDigit(c))
            wrongType("的值不是整数");
        const NumberText number = readNumber();
        qint64 n = 0;
        if (!number.toInteger(n))
            badValue(QStringLiteral("的值 %1 不是整数或超出范围").arg(shortened(number.text())));
        if (field.type == FieldType::LargeInt)
            return QVariant(qlonglong(n));
        const auto [low, high] = integerRange(field.type);
        if (n < low || n > high)
            badValue(QStringLiteral("的值 %1 超出范围（%2 至 %3）").arg(n).arg(low).arg(high));
        return QVariant(int(n));
    }
    case FieldType::Boolean:
        if (c != u't' && c != u'f')
            wrongType("的值不是 true 或 false");
        readLiteral(c == u't' ? u"true" : u"false");
        return QVariant(c == u't');
    case FieldType::Float:
    case FieldType::BCD:
    case FieldType::Currency: {
        if (c != u'-' && !isDigit(c))
            wrongType("的值不是数字");
        const NumberText number = readNumber();
        double d = 0;
        if (!number.toDouble(d))
            badValue(QStringLiteral("的值 %1 超出范围").arg(shortened(number.text())));
        if (field.type == FieldType::Currency && std::fabs(d) < kCurrencyRoundLimit)
            d = std::round(d * 10000.0) / 10000.0;
        return QVariant(d);
    }
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime: {
        static const char *const expected[] = {"日期（应为 yyyy-MM-dd）",
                                               "时间（应为 HH:mm:ss.zzz）",
                                               "日期时间（应为 yyyy-MM-ddTHH:mm:ss.zzz）"};
        const int k = int(field.type) - int(FieldType::Date);
        if (c != u'"')
            wrongType("的值不是文本");
        QString decoded;
        const QStringView s = readString(&decoded).view;
        qsizetype pos = 0;
        QDate d;
        QTime t;
        if (field.type == FieldType::Time) {
            if (!parseTime(s, 0, t))
                badText(s, expected[k]);
            return QVariant(t);
        }
        // A date's year may have up to nine digits; a date and time stays well inside
        // the range QDateTime counts in milliseconds.
        if (!parseDate(s, pos, field.type == FieldType::Date ? 9 : 6, d))
            badText(s, expected[k]);
        if (field.type == FieldType::Date) {
            if (pos != s.size())
                badText(s, expected[k]);
            return QVariant(d);
        }
        if (pos >= s.size() || s[pos] != u'T' || !parseTime(s, pos + 1, t))
            badText(s, expected[k]);
        const QDateTime dt(d, t);
        if (!dt.isValid() || dt.date() != d)
            badText(s, expected[k]);
        return QVariant(dt);
    }
    case FieldType::Blob: {
        if (c != u'"')
            wrongType("的值不是 Base64 文本");
        QString decoded;
        const QStringView s = readString(&decoded).view;
        // Characters outside Latin-1 become '?', which the decoder refuses.
        auto bytes =
            QByteArray::fromBase64Encoding(s.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!bytes)
            badText(s, "Base64 编码");
        return QVariant(std::move(*bytes));
    }
    }
    Q_UNREACHABLE();
    return {};
}

DeltaRow PacketReader::readDeltaRow(const QList<FieldDef> &fields, qsizetype rowNo)
{
    if (peek() != u'{') {
        skipValue();
        fail(QStringLiteral("第 %1 行不是对象").arg(rowNo));
    }
    const auto valuesKey = QLatin1StringView("values");
    const auto originalKey = QLatin1StringView("original");
    DeltaRow row;
    const ChangeKind *kind = nullptr;
    bool changeSeen = false, valuesRead = false, originalRead = false;
    Mark valuesAt, originalAt;
    const auto unknownChange = [&] {
        fail(QStringLiteral("第 %1 行的变更类型“change”未知，应为 insert、modify 或 delete")
                 .arg(rowNo));
    };
    const auto shape = [&](QLatin1StringView key, bool present, bool wanted) {
        if (present != wanted)
            fail(QStringLiteral("第 %1 行是%2，%3“%4”")
                     .arg(rowNo)
                     .arg(QString::fromUtf8(kind->label),
                          wanted ? QStringLiteral("缺少") : QStringLiteral("不应有"), key));
    };
    const auto read = [&](bool original) {
        (original ? row.original : row.values) = readValues(fields, rowNo, original);
    };
    // With "change" first, as the writer puts it, the values are read where they stand.
    forEachMember([&](QStringView key) {
        if (key == u"change") {
            if (changeSeen)
                duplicateKey(QStringLiteral("第 %1 行的").arg(rowNo), key);
            changeSeen = true;
            const Scalar change = readScalar();
            const auto it = std::find_if(
                std::begin(kChangeKinds), std::end(kChangeKinds), [&](const ChangeKind &k) {
                    return change.kind == Scalar::String && change.text == QStringView(k.name);
                });
            if (it == std::end(kChangeKinds))
                unknownChange();
            kind = it;
            row.kind = kind->kind;
            return;
        }
        const bool original = key == originalKey;
        if (!original && key != valuesKey)
            return skipValue();
        Mark &mark = original ? originalAt : valuesAt;
        if (mark.at)
            duplicateKey(QStringLiteral("第 %1 行的").arg(rowNo), key);
        mark = {m_p, m_depth};
        if (!kind)
            return skipValue();
        shape(original ? originalKey : valuesKey, true, original ? kind->original : kind->values);
        read(original);
        (original ? originalRead : valuesRead) = true;
    });
    if (!kind)
        unknownChange();
    shape(originalKey, originalAt.at, kind->original);
    shape(valuesKey, valuesAt.at, kind->values);
    if (kind->original && !originalRead)
        revisit(originalAt, [&] { read(true); });
    if (kind->values && !valuesRead)
        revisit(valuesAt, [&] { read(false); });
    return row;
}

} // namespace packet

DataPacket readDataPacket(const QString &text)
{
    packet::PacketReader reader(text, false);
    DataPacket packet;
    packet.fields = reader.readPacket([&](const QList<FieldDef> &fields, qsizetype rowNo) {
        packet.rows.push_back(reader.readValues(fields, rowNo, false));
    });
    return packet;
}

DeltaPacket readDeltaPacket(const QString &text)
{
    packet::PacketReader reader(text, true);
    DeltaPacket delta;
    delta.fields = reader.readPacket([&](const QList<FieldDef> &fields, qsizetype rowNo) {
        delta.rows.push_back(reader.readDeltaRow(fields, rowNo));
    });
    return delta;
}

} // namespace vexa
