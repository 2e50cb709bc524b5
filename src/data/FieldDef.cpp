#include "FieldDef.h"
#include "DateText.h"

#include <vexa/Error.h>

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>
#include <limits>

namespace vexa {

namespace {

using datetext::parseDateTimeText;

struct TypeName
{
    FieldType type;
    const char *name;
};

constexpr TypeName kTypeNames[] = {
    {FieldType::String, "string"},
    {FieldType::WideString, "widestring"},
    {FieldType::FixedChar, "fixedchar"},
    {FieldType::SmallInt, "smallint"},
    {FieldType::Integer, "integer"},
    {FieldType::Word, "word"},
    {FieldType::LargeInt, "largeint"},
    {FieldType::Boolean, "boolean"},
    {FieldType::Float, "float"},
    {FieldType::Currency, "currency"},
    {FieldType::BCD, "bcd"},
    {FieldType::Date, "date"},
    {FieldType::Time, "time"},
    {FieldType::DateTime, "datetime"},
    {FieldType::Memo, "memo"},
    {FieldType::Blob, "blob"},
};

[[noreturn]] void cannotConvert(const FieldDef &field, const QVariant &value)
{
    throw Error(QStringLiteral("字段“%1”的值“%2”无法转换为%3类型。")
                    .arg(field.name, value.toString(), fieldTypeName(field.type)));
}

bool isTextVariant(const QVariant &v)
{
    const int id = v.typeId();
    return id == QMetaType::QString || id == QMetaType::QByteArray || id == QMetaType::QChar;
}

qlonglong toWholeNumber(const FieldDef &field, const QVariant &value)
{
    bool ok = false;
    qlonglong n = 0;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        // Only whole numbers: a fraction would otherwise be dropped without a word.
        if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.2e18)
            cannotConvert(field, value);
        return static_cast<qlonglong>(d);
    }
    default:
        if (isTextVariant(value)) {
            const QString s = value.toString().trimmed();
            n = s.toLongLong(&ok);
            if (!ok) {
                // "12.0" is a whole number as a user writes it.
                const double d = s.toDouble(&ok);
                if (ok && std::isfinite(d) && d == std::floor(d) && std::fabs(d) <= 9.2e18)
                    return static_cast<qlonglong>(d);
                ok = false;
            }
        } else {
            n = value.toLongLong(&ok);
        }
    }
    if (!ok)
        cannotConvert(field, value);
    return n;
}

bool toBoolean(const FieldDef &field, const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (isTextVariant(value)) {
        const QString s = value.toString().trimmed().toLower();
        if (s == u"true" || s == u"t" || s == u"yes" || s == u"y" || s == u"1" || s == u"是")
            return true;
        if (s == u"false" || s == u"f" || s == u"no" || s == u"n" || s == u"0" || s == u"否")
            return false;
        cannotConvert(field, value);
    }
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (!ok)
        cannotConvert(field, value);
    return d != 0;
}

double toReal(const FieldDef &field, const QVariant &value)
{
    bool ok = false;
    double d = 0;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? 1 : 0;
    if (isTextVariant(value))
        d = value.toString().trimmed().toDouble(&ok);
    else
        d = value.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        cannotConvert(field, value);
    return d;
}

QDateTime toDateTime(const FieldDef &field, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime();
    case QMetaType::QDate:
        return value.toDate().startOfDay();
    case QMetaType::QTime:
        return QDateTime(QDate(1899, 12, 30), value.toTime());
    default:
        break;
    }
    if (isTextVariant(value)) {
        const QDateTime dt = parseDateTimeText(value.toString());
        if (dt.isValid())
            return dt;
    }
    cannotConvert(field, value);
}

QTime toTime(const FieldDef &field, const QVariant &value)
{
    if (value.typeId() == QMetaType::QTime)
        return value.toTime();
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().time();
    if (isTextVariant(value)) {
        const QString s = value.toString().trimmed();
        for (const char *f : {"HH:mm:ss.zzz", "HH:mm:ss", "H:mm:ss", "HH:mm", "H:mm"}) {
            const QTime t = QTime::fromString(s, QLatin1String(f));
            if (t.isValid())
                return t;
        }
        const QDateTime dt = parseDateTimeText(s);
        if (dt.isValid())
            return dt.time();
    }
    cannotConvert(field, value);
}

} // namespace

QString fieldTypeName(FieldType type)
{
    for (const auto &t : kTypeNames)
        if (t.type == type)
            return QLatin1String(t.name);
    Q_UNREACHABLE();
    return {};
}

std::optional<FieldType> fieldTypeFromName(const QString &name)
{
    for (const auto &t : kTypeNames)
        if (name.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0)
            return t.type;
    return std::nullopt;
}

bool isStringType(FieldType type)
{
    return type == FieldType::String || type == FieldType::WideString ||
           type == FieldType::FixedChar || type == FieldType::Memo;
}

bool isIntegerType(FieldType type)
{
    return type == FieldType::SmallInt || type == FieldType::Integer || type == FieldType::Word ||
           type == FieldType::LargeInt;
}

bool isFloatType(FieldType type)
{
    return type == FieldType::Float || type == FieldType::Currency || type == FieldType::BCD;
}

int gbkByteLength(const QString &text)
{
    int n = 0;
    for (const QChar c : text) {
        if (c.isLowSurrogate())
            continue; // the pair was counted at its high half
        n += c.unicode() < 0x80 ? 1 : 2;
    }
    return n;
}

QVariant nullFor(FieldType)
{
    return QVariant();
}

QVariant coerceToField(const FieldDef &field, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QVariant();

    switch (field.type) {
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::FixedChar:
    case FieldType::Memo: {
        QString s;
        if (value.typeId() == QMetaType::QDateTime)
            s = value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        else if (value.typeId() == QMetaType::Double)
            s = QString::number(value.toDouble(), 'g', 15);
        else if (value.typeId() == QMetaType::Bool)
            s = value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        else if (value.canConvert<QString>())
            s = value.toString();
        else
            cannotConvert(field, value);
        if (s.isNull())
            s = QLatin1String("");
        if (field.size > 0 && field.type != FieldType::Memo) {
            const int len = gbkByteLength(s);
            if (len > field.size)
                throw Error(QStringLiteral("字段“%1”的值过长：最多 %2 字节，实际 %3 字节。")
                                .arg(field.name)
                                .arg(field.size)
                                .arg(len));
        }
        return s;
    }
    case FieldType::SmallInt: {
        const qlonglong n = toWholeNumber(field, value);
        if (n < std::numeric_limits<qint16>::min() || n > std::numeric_limits<qint16>::max())
            cannotConvert(field, value);
        return int(n);
    }
    case FieldType::Word: {
        const qlonglong n = toWholeNumber(field, value);
        if (n < 0 || n > std::numeric_limits<quint16>::max())
            cannotConvert(field, value);
        return int(n);
    }
    case FieldType::Integer: {
        const qlonglong n = toWholeNumber(field, value);
        if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
            cannotConvert(field, value);
        return int(n);
    }
    case FieldType::LargeInt:
        return toWholeNumber(field, value);
    case FieldType::Boolean:
        return toBoolean(field, value);
    case FieldType::Float:
    case FieldType::BCD:
        return toReal(field, value);
    case FieldType::Currency: {
        // Four decimals; beyond 1e11 a double has no fraction digits left to round, and
        // scaling such a value could overflow to infinity.
        const double d = toReal(field, value);
        return std::fabs(d) < 1e11 ? std::round(d * 10000.0) / 10000.0 : d;
    }
    case FieldType::Date:
        return toDateTime(field, value).date();
    case FieldType::Time:
        return toTime(field, value);
    case FieldType::DateTime:
        return toDateTime(field, value);
    case FieldType::Blob:
        if (value.typeId() == QMetaType::QByteArray)
            return value.toByteArray();
        if (value.typeId() == QMetaType::QString)
            return value.toString().toUtf8();
        cannotConvert(field, value);
    }
    Q_UNREACHABLE();
    return {};
}

int indexOfField(const QList<FieldDef> &fields, const QString &name)
{
    for (qsizetype i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

namespace {

// Simple case folding per character, as QString::compare(Qt::CaseInsensitive) folds.
QString foldedName(const QString &name)
{
    QString out(name.size(), Qt::Uninitialized);
    QChar *to = out.data();
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        if (c.isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            const char32_t folded = QChar::toCaseFolded(QChar::surrogateToUcs4(c, name[i + 1]));
            *to++ = QChar(QChar::highSurrogate(folded));
            *to++ = QChar(QChar::lowSurrogate(folded));
            ++i;
        } else {
            *to++ = QChar(QChar::toCaseFolded(c.unicode()));
        }
    }
    return out;
}

} // namespace

int FieldNameIndex::assign(const QList<FieldDef> &fields)
{
    m_positions.clear();
    m_positions.reserve(fields.size());
    for (qsizetype i = 0; i < fields.size(); ++i)
        if (!add(fields[i].name, int(i)))
            return int(i);
    return -1;
}

bool FieldNameIndex::add(const QString &name, int position)
{
    QString key = foldedName(name);
    if (m_positions.contains(key))
        return false;
    m_positions.insert(std::move(key), position);
    return true;
}

int FieldNameIndex::indexOf(const QString &name) const
{
    return m_positions.value(foldedName(name), -1);
}

} // namespace vexa
