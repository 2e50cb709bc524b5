#include "WhereBuilder.h"

#include "ClientDataSet.h"

#include <vexa/Error.h>

#include <QDateTime>
#include <QRegularExpression>
#include <QScopeGuard>

#include <cmath>

namespace vexa::gl {

namespace {

const QString kColIndex = QStringLiteral("ColIndex");
const QString kFieldName = QStringLiteral("FieldName");
const QString kIFValue = QStringLiteral("IFValue");
const QString kValue = QStringLiteral("Value");
const QString kIsNull = QStringLiteral("IS NULL");

QString quoted(QString text)
{
    text.replace(QLatin1Char('\''), QLatin1String("''"));
    return text;
}

bool isLike(const QString &relation)
{
    return relation == u"Like" || relation == u"LLike" || relation == u"RLike";
}

// The value as a text literal, with the wildcards of the like relations.
QString textLiteral(const QString &relation, const QString &value)
{
    const QString v = quoted(value);
    if (relation == u"Like")
        return QStringLiteral(" '%") + v + QStringLiteral("%'");
    if (relation == u"LLike")
        return QStringLiteral(" '") + v + QStringLiteral("%'");
    if (relation == u"RLike")
        return QStringLiteral(" '%") + v + QStringLiteral("'");
    return QStringLiteral(" '") + v + QStringLiteral("'");
}

// A number written bare must be a plain decimal number, so it cannot read as anything
// else in the condition.
bool isDecimalNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) && number.match(text).hasMatch();
}

// "1" / "0" for the yes and no words, an empty text otherwise.
QString booleanDigit(const QString &text)
{
    const QChar first = text.isEmpty() ? QChar() : text.front().toUpper();
    if (text == u"是" || first == u'Y' || first == u'T' || text == u"1")
        return QStringLiteral("1");
    if (text == u"否" || first == u'N' || first == u'F' || text == u"0")
        return QStringLiteral("0");
    return QString();
}

Error rowError(int row, const char16_t *what)
{
    return Error(QStringLiteral("第 ") + QString::number(row) + QStringLiteral(" 行筛选值为") +
                 QString::fromUtf16(what) + QStringLiteral("。"));
}

} // namespace

// ---- building the condition ----------------------------------------------------------

WhereBuilder::WhereBuilder(QList<FieldDef> fields, QLocale workstation)
    : m_fields(std::move(fields)), m_workstation(std::move(workstation))
{}

void WhereBuilder::AppendTo(const QList<ConditionRow> &rows, QString &text) const
{
    bool first = true;
    for (int i = 0; i < rows.size(); ++i) {
        const ConditionRow &row = rows[i];
        const QString value = row.value.trimmed();
        const QString &relation = row.relation;
        if (row.fieldName.isEmpty() || relation.isEmpty() ||
            (value.isEmpty() && relation != kIsNull))
            continue;
        const QString op = isLike(relation) ? QStringLiteral("Like") : relation;
        text += (first ? QString() : QStringLiteral(" AND ")) + row.fieldName + QLatin1Char(' ') +
                op + QLatin1Char(' ');
        first = false;
        if (relation != kIsNull)
            text += Literal(row, value, i + 1);
    }
}

QString WhereBuilder::Build(const QList<ConditionRow> &rows) const
{
    QString text;
    AppendTo(rows, text);
    return text;
}

QString WhereBuilder::Literal(const ConditionRow &row, const QString &value, int n) const
{
    const QString &relation = row.relation;
    const int f = indexOfField(m_fields, row.fieldName);
    const FieldType type = f < 0 ? FieldType::String : m_fields[f].type;
    switch (type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Word: {
        bool ok = false;
        value.toInt(&ok);
        if (!ok)
            throw rowError(n, u"无效整数");
        return isLike(relation) ? textLiteral(relation, value) : value;
    }
    case FieldType::Float:
    case FieldType::Currency:
        if (!isDecimalNumber(value))
            throw rowError(n, u"无效浮点数");
        return isLike(relation) ? textLiteral(relation, value) : value;
    case FieldType::Boolean: {
        const QString digit = booleanDigit(value);
        if (digit.isEmpty())
            throw rowError(n, u"无效布尔值");
        return isLike(relation) ? textLiteral(relation, digit) : digit;
    }
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime: {
        // The server reads one form only; any other text would compare as unknown and
        // find nothing without a word.
        const std::optional<TypedDateTime> read = ReadDateTime(value, m_workstation);
        const QString literal = read ? DateText(type, *read, isLike(relation)) : QString();
        if (literal.isEmpty())
            throw rowError(n, u"无效日期数据");
        return textLiteral(relation, literal);
    }
    default:
        return textLiteral(relation, value);
    }
}

QString WhereBuilder::ColumnsCommand(const QString &dataObject, const QString &showNo)
{
    return QStringLiteral("WHERE DataObject = '") + quoted(dataObject) + QStringLiteral("'") +
           QStringLiteral(" AND ShowNo = '") + quoted(showNo) +
           QStringLiteral("' AND FindTag = True ORDER BY Index");
}

namespace {

// "2024年3月31日", with an optional weekday ("星期日", "周日") that must be the date's, and
// an optional time.
std::optional<TypedDateTime> readChineseDate(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})年(\\d{1,2})月(\\d{1,2})日\\s*(?:(?:星期|周)([一二三四五六日天]))?"
                       "(?:\\s*(\\d{1,2}:\\d{2}(?::\\d{2})?))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    TypedDateTime read;
    read.date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!read.date.isValid())
        return std::nullopt;
    if (m.hasCaptured(4)) {
        const int day = QStringLiteral("一二三四五六日").indexOf(m.captured(4)) + 1;
        if ((day > 0 ? day : 7) != read.date.dayOfWeek())
            return std::nullopt;
    }
    if (m.hasCaptured(5)) {
        read.time = QTime::fromString(m.captured(5), QStringLiteral("H:mm:ss"));
        if (!read.time.isValid())
            read.time = QTime::fromString(m.captured(5), QStringLiteral("H:mm"));
        if (!read.time.isValid())
            return std::nullopt;
    }
    return read;
}

} // namespace

std::optional<TypedDateTime> WhereBuilder::ReadDateTime(const QString &text,
                                                        const QLocale &workstation)
{
    if (text.isEmpty())
        return std::nullopt;
    for (const QLocale::FormatType format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QDateTime both = workstation.toDateTime(text, format);
        if (both.isValid())
            return TypedDateTime{both.date(), both.time()};
        const QDate date = workstation.toDate(text, format);
        if (date.isValid())
            return TypedDateTime{date, QTime()};
        const QTime time = workstation.toTime(text, format);
        if (time.isValid())
            return TypedDateTime{QDate(), time};
    }
    // Not QDate's ISO form: it passes text after the date.
    for (const char *format : {"yyyy-MM-dd", "yyyy/M/d"}) {
        const QDate date = QDate::fromString(text, QLatin1String(format));
        if (date.isValid())
            return TypedDateTime{date, QTime()};
    }
    QDateTime both = QDateTime::fromString(text, Qt::ISODateWithMs);
    for (const char *format : {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm",
                               "yyyy/M/d H:mm:ss", "yyyy/M/d H:mm"})
        if (!both.isValid())
            both = QDateTime::fromString(text, QLatin1String(format));
    if (both.isValid())
        return TypedDateTime{both.date(), both.time()};
    const QTime time = QTime::fromString(text, Qt::ISODateWithMs);
    if (time.isValid())
        return TypedDateTime{QDate(), time};
    return readChineseDate(text);
}

QString WhereBuilder::DateText(FieldType type, const TypedDateTime &value, bool pattern)
{
    const auto timeText = [&] {
        const QTime &t = value.time;
        if (t.msec() != 0)
            return t.toString(QStringLiteral("HH:mm:ss.zzz"));
        if (pattern && t.second() == 0)
            return t.toString(QStringLiteral("HH:mm"));
        return t.toString(QStringLiteral("HH:mm:ss"));
    };
    if (type == FieldType::Time)
        return value.date.isValid() || !value.time.isValid() ? QString() : timeText();
    if (!value.date.isValid())
        return QString();
    const QString date = value.date.toString(QStringLiteral("yyyy-MM-dd"));
    // A date column holds midnight; a time typed for it is kept, so the condition means
    // what was typed.
    const bool withTime = value.time.isValid()
                              ? !(type == FieldType::Date && value.time == QTime(0, 0))
                              : type == FieldType::DateTime && !pattern;
    if (!withTime)
        return date;
    return date + QLatin1Char(' ') +
           (value.time.isValid() ? timeText() : QStringLiteral("00:00:00"));
}

// ---- the rows --------------------------------------------------------------------------

void ConditionRows::Create()
{
    FieldDef colIndex{kColIndex, FieldType::Integer};
    colIndex.calculated = true;
    m_rows.addField(colIndex);
    m_rows.addField(kFieldName, FieldType::String, 32);
    m_rows.addField(kIFValue, FieldType::String, 16);
    m_rows.addField(kValue, FieldType::String, 512);
    m_rows.createDataSet();
    for (int i = 1; i <= kCount; ++i) {
        m_rows.append();
        m_rows.setValue(kColIndex, i);
        m_rows.post();
    }
    m_rows.first();
}

void ConditionRows::Post()
{
    const auto state = m_rows.state();
    if (state != ClientDataSet::State::Edit && state != ClientDataSet::State::Insert)
        return;
    if (m_rows.asString(kFieldName).isEmpty()) {
        m_rows.setValue(kIFValue, QString());
        m_rows.setValue(kValue, QString());
    }
    m_rows.post();
}

void ConditionRows::SetCell(int row, int column, const QVariant &value)
{
    if (m_rows.recNo() != row + 1)
        m_rows.setRecNo(row + 1);
    m_rows.edit();
    m_rows.setValue(column, value);
    if (column == FieldNameColumn && !value.toString().isEmpty() &&
        m_rows.asString(kIFValue).isEmpty())
        m_rows.setValue(kIFValue, QStringLiteral("="));
    Post();
}

void ConditionRows::Clear()
{
    m_rows.disableControls();
    const auto enable = qScopeGuard([this] { m_rows.enableControls(); });
    for (int r = 1; r <= m_rows.recordCount(); ++r) {
        m_rows.setRecNo(r);
        m_rows.edit();
        m_rows.setValue(kFieldName, QString());
        m_rows.setValue(kIFValue, QString());
        m_rows.setValue(kValue, QString());
        m_rows.post();
    }
    m_rows.first();
}

QList<ConditionRow> ConditionRows::Rows() const
{
    QList<ConditionRow> rows;
    const int field = m_rows.fieldIndex(kFieldName);
    const int relation = m_rows.fieldIndex(kIFValue);
    const int value = m_rows.fieldIndex(kValue);
    for (int r = 0; r < m_rows.recordCount(); ++r)
        rows.append({m_rows.valueAt(r, field).toString(), m_rows.valueAt(r, relation).toString(),
                     m_rows.valueAt(r, value).toString()});
    return rows;
}

void ConditionRows::DropUnoffered(const QStringList &offered)
{
    m_rows.disableControls();
    const auto enable = qScopeGuard([this] { m_rows.enableControls(); });
    m_rows.first();
    while (!m_rows.eof()) {
        const QString field = m_rows.asString(kFieldName);
        if (field.isEmpty() || offered.contains(field, Qt::CaseInsensitive)) {
            m_rows.next();
            continue;
        }
        // The replacement is empty, so the walk meets it at the end and passes on.
        const int recNo = m_rows.recNo();
        m_rows.deleteRecord();
        m_rows.append();
        m_rows.setValue(kColIndex, m_rows.recordCount() + 100);
        m_rows.post();
        m_rows.setRecNo(recNo);
    }
}

void ConditionRows::Renumber()
{
    const int keep = m_rows.recNo();
    for (int r = 1; r <= m_rows.recordCount(); ++r) {
        m_rows.setRecNo(r);
        m_rows.setValue(kColIndex, r);
    }
    if (keep > 0)
        m_rows.setRecNo(keep);
}

} // namespace vexa::gl
