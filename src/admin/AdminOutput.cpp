// What vexa-admin prints: tables sized for a terminal, CSV and JSON.
#include "AdminOutput.h"

#include "UserAdmin.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>
#include <climits>
#include <cmath>

namespace vexa::admin {

namespace {

// Longest cell a table shows; csv and json show every value whole.
constexpr int kMaxTableCell = 60;

int charWidth(char32_t c)
{
    if (c < 0x20 || (c >= 0x7f && c < 0xa0))
        return 0;
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
        return 0;
    default:
        break;
    }
    // East Asian Wide and Fullwidth blocks.
    static constexpr char32_t wide[][2] = {
        {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
        {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
        {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
        {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD},
        {0x30000, 0x3FFFD},
    };
    for (const auto &range : wide)
        if (c >= range[0] && c <= range[1])
            return 2;
    return 1;
}

// RFC 4180 quoting. An empty text is written "" so that it stays apart from a null,
// which is an empty cell (the convention of the seed files).
QString csvField(const QString &text)
{
    static const QRegularExpression special(QStringLiteral("[,\"\r\n]"));
    if (!text.isEmpty() && !text.contains(special))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString jsonString(const QString &text)
{
    QString r = QStringLiteral("\"");
    for (QChar c : text) {
        switch (c.unicode()) {
        case '"':
            r += QLatin1String("\\\"");
            break;
        case '\\':
            r += QLatin1String("\\\\");
            break;
        case '\n':
            r += QLatin1String("\\n");
            break;
        case '\r':
            r += QLatin1String("\\r");
            break;
        case '\t':
            r += QLatin1String("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                r += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                r += c;
        }
    }
    return r + QLatin1Char('"');
}

QString numberText(double d)
{
    return QString::number(d, 'f', QLocale::FloatingPointShortest);
}

QString dateTimeText(const QDateTime &dt)
{
    return dt.toString(dt.time().msec() ? Qt::ISODateWithMs : Qt::ISODate);
}

QString timeText(const QTime &t)
{
    return t.toString(t.msec() ? Qt::ISODateWithMs : Qt::ISODate);
}

} // namespace

int displayWidth(const QString &text)
{
    int width = 0;
    for (char32_t c : text.toUcs4())
        width += charWidth(c);
    return width;
}

QString formatCell(const FieldDef &field, const QVariant &value, CellFormat format)
{
    const bool json = format == CellFormat::Json;
    if (isNull(value))
        return json ? QStringLiteral("null") : QString();
    QString text;
    switch (field.type) {
    case FieldType::Boolean:
        if (json)
            return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Word:
    case FieldType::LargeInt:
        return QString::number(value.toLongLong());
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::BCD: {
        const double d = value.toDouble();
        if (json && !std::isfinite(d))
            return QStringLiteral("null");
        return numberText(d);
    }
    case FieldType::Date:
        text = value.toDate().toString(Qt::ISODate);
        break;
    case FieldType::Time:
        text = timeText(value.toTime());
        break;
    case FieldType::DateTime:
        text = dateTimeText(value.toDateTime());
        break;
    case FieldType::Blob: {
        const QByteArray bytes = value.toByteArray();
        if (format == CellFormat::Table)
            return QStringLiteral("(%1 字节)").arg(bytes.size());
        text = QString::fromLatin1(bytes.toBase64());
        break;
    }
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::FixedChar:
    case FieldType::Memo:
        text = value.toString();
        break;
    }
    return json ? jsonString(text) : text;
}

QString pad(const QString &text, int width, bool right)
{
    const QString fill(std::max(0, width - displayWidth(text)), QLatin1Char(' '));
    return right ? fill + text : text + fill;
}

// A table cell on one line, cut to kMaxTableCell columns. Control characters become
// blanks: line breaks would break the table, escape sequences would reach the terminal.
QString tableCell(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    for (QChar &c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    if (displayWidth(text) <= kMaxTableCell)
        return text;
    QString cut;
    int width = 0;
    for (char32_t c : text.toUcs4()) {
        const int w = charWidth(c);
        if (width + w > kMaxTableCell - 1)
            break;
        width += w;
        cut += QString::fromUcs4(&c, 1);
    }
    return cut + QStringLiteral("…");
}

void writeTable(QTextStream &out, const QStringList &header, const std::vector<QStringList> &rows,
                const QList<bool> &rightAligned)
{
    QList<int> widths;
    for (const QString &h : header)
        widths.append(displayWidth(h));
    for (const QStringList &row : rows)
        for (int i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], displayWidth(row[i]));

    auto line = [&](const QStringList &cells) {
        QString text;
        for (int i = 0; i < cells.size(); ++i) {
            if (i > 0)
                text += QLatin1String("  ");
            text += pad(cells[i], widths[i], rightAligned.value(i));
        }
        // No blanks after the last column.
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        out << text << '\n';
    };
    line(header);
    QStringList rule;
    for (int w : widths)
        rule.append(QString(w, QLatin1Char('-')));
    line(rule);
    for (const QStringList &row : rows)
        line(row);
    out << QStringLiteral("(%1 行)").arg(rows.size()) << '\n';
}

bool isNull(const QVariant &v)
{
    return !v.isValid() || v.isNull();
}

void writePacket(QTextStream &out, const DataPacket &packet, CellFormat format)
{
    const QList<FieldDef> &fields = packet.fields;
    switch (format) {
    case CellFormat::Table: {
        QStringList header;
        QList<bool> right;
        for (const FieldDef &f : fields) {
            header.append(f.name);
            right.append(isIntegerType(f.type) || isFloatType(f.type));
        }
        std::vector<QStringList> rows;
        rows.reserve(packet.rows.size());
        for (const QVariantList &values : packet.rows) {
            QStringList cells;
            for (int i = 0; i < fields.size(); ++i)
                cells.append(tableCell(formatCell(fields[i], values.value(i), format)));
            rows.push_back(cells);
        }
        writeTable(out, header, rows, right);
        break;
    }
    case CellFormat::Csv: {
        QStringList header;
        for (const FieldDef &f : fields)
            header.append(csvField(f.name));
        out << header.join(QLatin1Char(',')) << '\n';
        for (const QVariantList &values : packet.rows) {
            QStringList cells;
            for (int i = 0; i < fields.size(); ++i) {
                const QVariant v = values.value(i);
                cells.append(isNull(v) ? QString() : csvField(formatCell(fields[i], v, format)));
            }
            out << cells.join(QLatin1Char(',')) << '\n';
        }
        break;
    }
    case CellFormat::Json: {
        if (packet.rows.empty()) {
            out << "[]\n";
            break;
        }
        out << "[\n";
        for (size_t r = 0; r < packet.rows.size(); ++r) {
            QStringList members;
            for (int i = 0; i < fields.size(); ++i)
                members.append(jsonString(fields[i].name) + QLatin1String(": ") +
                               formatCell(fields[i], packet.rows[r].value(i), format));
            out << "  {" << members.join(QLatin1String(", ")) << '}'
                << (r + 1 < packet.rows.size() ? ",\n" : "\n");
        }
        out << "]\n";
        break;
    }
    }
}

// A value an operation returns or writes back into an argument.
QString variantText(const QVariant &v)
{
    if (isNull(v))
        return QString();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Double:
    case QMetaType::Float:
        return numberText(v.toDouble());
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return timeText(v.toTime());
    case QMetaType::QDateTime:
        return dateTimeText(v.toDateTime());
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray().toBase64());
    default:
        return v.toString();
    }
}

// "12" and "-3" go to the server as integers; "007" keeps its zeros as text.
QVariant argumentValue(const QString &text)
{
    static const QRegularExpression integer(QStringLiteral("^-?(0|[1-9][0-9]{0,18})$"));
    if (integer.match(text).hasMatch()) {
        bool ok = false;
        const qlonglong n = text.toLongLong(&ok);
        if (ok)
            return n >= INT_MIN && n <= INT_MAX ? QVariant(int(n)) : QVariant(n);
    }
    return text;
}

QString levelName(int level)
{
    switch (level) {
    case server::UserAdmin::Full:
        return QStringLiteral("完全");
    case server::UserAdmin::Browse:
        return QStringLiteral("浏览");
    case server::UserAdmin::Modify:
        return QStringLiteral("修改");
    }
    return QString::number(level);
}

namespace {

QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 字节").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(double(bytes) / 1024, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
}

} // namespace

QStringList summaryCells(const server::SetSummary &s)
{
    const QString none = QStringLiteral("（未配置）");
    return {s.company.isEmpty() ? none : s.company,
            s.chartTemplate.isEmpty() ? none : s.chartTemplate,
            s.startPeriod.isEmpty() ? none : s.startPeriod,
            s.enabled ? QStringLiteral("是") : QStringLiteral("否"),
            QString::number(s.schemaVersion),
            s.activeUsers == s.users
                ? QString::number(s.users)
                : QStringLiteral("%1（停用 %2）").arg(s.users).arg(s.users - s.activeUsers),
            sizeText(s.bytes)};
}

const QStringList &summaryLabels()
{
    static const QStringList labels = {QStringLiteral("单位名称"),     QStringLiteral("科目模板"),
                                       QStringLiteral("财务启用期间"), QStringLiteral("已启用"),
                                       QStringLiteral("版本"),         QStringLiteral("用户数"),
                                       QStringLiteral("文件大小")};
    return labels;
}

} // namespace vexa::admin
