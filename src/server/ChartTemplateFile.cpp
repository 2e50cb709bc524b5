#include "ChartTemplateFile.h"

#include "Csv.h"

#include <vexa/Error.h>

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringDecoder>

#include <cmath>

namespace vexa::server {

namespace {

using S = QString;

// Header texts by account field; T0102010's own field names are accepted as well.
const QList<std::pair<QString, QStringList>> &headerNames()
{
    static const QList<std::pair<QString, QStringList>> names{
        {S("code"), {S("科目代码"), S("科目编码"), S("编码"), S("代码"), S("AcctCode")}},
        {S("name"), {S("科目名称"), S("名称"), S("AcctName")}},
        {S("parent"),
         {S("上级科目"), S("上级代码"), S("上级科目代码"), S("上级科目编码"), S("上级编码"),
          S("ParentCode")}},
        {S("type"), {S("科目类别"), S("类别"), S("科目类型"), S("类型"), S("AcctTypeCode")}},
        {S("side"), {S("余额方向"), S("方向"), S("DC")}},
        {S("ACurrAcct"), {S("外币核算")}},
        {S("QtyEnter"), {S("数量核算")}},
        {S("Frozen"), {S("封存")}},
        {S("Fixed"), {S("固定科目"), S("固定")}},
        {S("Budget"), {S("预算科目"), S("预算")}},
        {S("IsEquivalent"), {S("等值核算")}},
        {S("DeleteTag"), {S("删除标记")}},
        {S("ComeAndGoCheck"), {S("往来核算"), S("往来")}},
        {S("IsCostRules"), {S("成本规则")}},
        {S("CurrCode"), {S("币别"), S("币种"), S("外币币种")}},
    };
    return names;
}

// The header the CSV export writes for a field: the first of its names.
QString csvHeader(const QString &field)
{
    for (const auto &[key, names] : headerNames())
        if (key == field)
            return names.first();
    return field;
}

// The flag columns the CSV export writes, in this order; the others stay in JSON.
const QStringList &csvFlagFields()
{
    static const QStringList fields{
        S("ACurrAcct"),    S("QtyEnter"),  S("Frozen"),         S("Fixed"),       S("Budget"),
        S("IsEquivalent"), S("DeleteTag"), S("ComeAndGoCheck"), S("IsCostRules"), S("CurrCode")};
    return fields;
}

QString fieldOfHeader(const QString &header)
{
    const QString h = header.trimmed();
    for (const auto &[key, names] : headerNames())
        for (const QString &name : names)
            if (h.compare(name, Qt::CaseInsensitive) == 0)
                return key;
    for (const QString &field : accountFlagFields())
        if (h.compare(field, Qt::CaseInsensitive) == 0)
            return field;
    return QString();
}

// The kinds of values the flag fields hold.
enum class Kind { Boolean, Integer, Text };
Kind kindOf(const QString &field)
{
    if (field == u"ControlType" || field == u"ACItemID")
        return Kind::Integer;
    if (field == u"CurrCode" || field == u"ACItemDesc")
        return Kind::Text;
    return Kind::Boolean;
}

// 是/否 as accountants write them, and what spreadsheets and the table write.
std::optional<bool> booleanOf(const QString &text)
{
    const QString t = text.trimmed().toLower();
    static const QStringList yes{S("是"), S("1"), S("y"), S("yes"), S("√"), S("true"), S("✓")};
    static const QStringList no{S("否"), S("0"), S("n"), S("no"), S("×"), S("false"), S("")};
    if (yes.contains(t))
        return true;
    if (no.contains(t))
        return false;
    return std::nullopt;
}

QString sideOf(const QString &text)
{
    const QString t = text.trimmed();
    if (t == u"借" || t == u"借方" || t.compare(u"D", Qt::CaseInsensitive) == 0)
        return S("D");
    if (t == u"贷" || t == u"贷方" || t.compare(u"C", Qt::CaseInsensitive) == 0)
        return S("C");
    return t; // empty, or refused by completeChart
}

QString csvCell(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QJsonValue jsonOf(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QJsonValue::Null;
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return QJsonValue(v.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return v.toDouble();
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        return v.toDateTime().toString(Qt::ISODateWithMs);
    case QMetaType::QByteArray:
        return QString::fromLatin1(v.toByteArray().toBase64());
    default:
        return v.toString();
    }
}

// A JSON value as the store converts it: whole numbers as integers.
QVariant variantOf(const QJsonValue &v)
{
    switch (v.type()) {
    case QJsonValue::Bool:
        return v.toBool();
    case QJsonValue::Double: {
        const double d = v.toDouble();
        if (d == std::floor(d) && std::fabs(d) < 9.0e15)
            return qlonglong(d);
        return d;
    }
    case QJsonValue::String:
        return v.toString();
    default:
        return QVariant();
    }
}

} // namespace

ChartFormat chartFormat(const QString &path, const QString &given)
{
    const QString name = given.isEmpty() ? QFileInfo(path).suffix().toLower() : given.toLower();
    if (name == u"csv")
        return ChartFormat::Csv;
    if (name == u"json")
        return ChartFormat::Json;
    if (given.isEmpty())
        throw Error(S("无法从文件名“%1”看出格式：请用 .csv 或 .json 结尾，或用 --format csv|json。")
                        .arg(path));
    throw Error(S("未知的格式“%1”，可选 csv、json。").arg(given));
}

QString decodeChartText(const QByteArray &bytes, const QString &encoding, QString *used)
{
    const auto decode = [&](QStringDecoder decoder, const QByteArray &data, const QString &name) {
        QString text = decoder.decode(data);
        if (decoder.hasError())
            throw Error(S("文件不是有效的 %1 编码文本。").arg(name));
        if (used)
            *used = name;
        return text;
    };
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decode(QStringDecoder(QStringDecoder::Utf8), bytes.mid(3), S("UTF-8"));
    const QString e = encoding.toLower();
    if (e == u"utf-8" || e == u"utf8")
        return decode(QStringDecoder(QStringDecoder::Utf8), bytes, S("UTF-8"));
    if (e == u"gb18030" || e == u"gbk" || e == u"gb2312") {
        QStringDecoder decoder(e == u"gbk" ? "GBK" : "GB18030");
        if (!decoder.isValid())
            throw Error(S("这台机器的 Qt 不能读 %1 编码。").arg(encoding));
        return decode(std::move(decoder), bytes, encoding.toUpper());
    }
    if (!e.isEmpty())
        throw Error(S("未知的编码“%1”，可选 utf-8、gb18030、gbk。").arg(encoding));
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (used)
            *used = S("UTF-8");
        return text;
    }
    QStringDecoder gb("GB18030");
    if (!gb.isValid())
        throw Error(S("文件不是 UTF-8 编码，而这台机器的 Qt 不能读 GB18030：请另存为 UTF-8。"));
    return decode(std::move(gb), bytes, S("GB18030"));
}

ChartReading readChartCsv(const QByteArray &bytes, const QString &encoding)
{
    ChartReading reading;
    ChartTemplate &chart = reading.chart;
    chart.source = ChartTemplate::Source::Csv;
    const CsvTable csv = parseCsv(decodeChartText(bytes, encoding, &reading.encoding));

    QHash<QString, int> columnOf; // account field -> CSV column
    for (int c = 0; c < csv.header.size(); ++c) {
        const QString header = csv.header[c].trimmed();
        const QString field = fieldOfHeader(header);
        if (field.isEmpty()) {
            if (!header.isEmpty())
                reading.notes << S("列“%1”不认识，已忽略。").arg(header);
            continue;
        }
        if (columnOf.contains(field)) {
            reading.notes << S("列“%1”与列“%2”重复，已忽略。")
                                 .arg(header, csv.header[columnOf.value(field)].trimmed());
            continue;
        }
        columnOf.insert(field, c);
        chart.columnNames.insert(field, header);
    }
    if (!columnOf.contains(S("code")))
        reading.problems.append({1, {}, S("没有科目代码列（表头应有“科目代码”或“AcctCode”）。")});
    if (!columnOf.contains(S("name")))
        reading.problems.append({1, {}, S("没有科目名称列（表头应有“科目名称”或“AcctName”）。")});
    if (!reading.problems.isEmpty())
        return reading;
    // A parent column left empty throughout says nothing: the codes tell the parents then.
    const int parentColumn = columnOf.value(S("parent"), -1);
    chart.parentsGiven = parentColumn >= 0 &&
                         std::any_of(csv.rows.begin(), csv.rows.end(), [&](const QStringList &r) {
                             return !r[parentColumn].trimmed().isEmpty();
                         });

    for (size_t r = 0; r < csv.rows.size(); ++r) {
        const QStringList &cells = csv.rows[r];
        if (std::all_of(cells.begin(), cells.end(),
                        [](const QString &c) { return c.trimmed().isEmpty(); }))
            continue; // Excel writes rows it once formatted as empty records
        ChartAccount a;
        a.line = csv.lines[r];
        const auto cell = [&](const char *field) {
            const int c = columnOf.value(QLatin1String(field), -1);
            return c < 0 ? QString() : cells[c].trimmed();
        };
        a.code = cell("code");
        a.name = cell("name");
        a.parent = chart.parentsGiven ? cell("parent") : QString();
        const QString type = cell("type");
        a.type = type.isEmpty() ? QString() : accountTypeCode(type);
        if (!type.isEmpty() && a.type.isEmpty())
            a.type = type; // refused by completeChart with the text as written
        a.side = sideOf(cell("side"));
        for (const QString &field : accountFlagFields()) {
            const int c = columnOf.value(field, -1);
            if (c < 0)
                continue;
            const QString text = cells[c].trimmed();
            switch (kindOf(field)) {
            case Kind::Boolean:
                if (const auto b = booleanOf(text))
                    a.flags.insert(field, *b);
                else
                    reading.problems.append({a.line, chart.columnNames.value(field),
                                             S("“%1”应为 是 或 否。").arg(text)});
                break;
            case Kind::Integer: {
                bool ok = text.isEmpty();
                const int n = text.toInt(&ok);
                if (text.isEmpty())
                    a.flags.insert(field, QVariant());
                else if (ok)
                    a.flags.insert(field, n);
                else
                    reading.problems.append(
                        {a.line, chart.columnNames.value(field), S("“%1”不是整数。").arg(text)});
                break;
            }
            case Kind::Text:
                a.flags.insert(field, text.isEmpty() ? QVariant() : QVariant(text));
                break;
            }
        }
        chart.accounts.push_back(std::move(a));
    }
    if (chart.accounts.empty())
        reading.problems.append({0, {}, S("文件中没有科目。")});
    return reading;
}

ChartReading readChartJson(const QByteArray &bytes)
{
    ChartReading reading;
    ChartTemplate &chart = reading.chart;
    chart.source = ChartTemplate::Source::Json;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw Error(
            S("JSON 格式错误（第 %1 个字符处）：%2").arg(error.offset).arg(error.errorString()));
    if (!doc.isObject())
        throw Error(S("JSON 文件应是一个对象（{ … }）。"));
    const QJsonObject root = doc.object();
    chart.code = root.value(u"code").toString();
    chart.name = root.value(u"name").toString();
    chart.remark = root.value(u"remark").toString();

    const QJsonArray types = root.value(u"accountTypes").toArray();
    for (const QJsonValue &v : types) {
        const QJsonObject o = v.toObject();
        chart.types.append({o.value(u"number").toInt(), o.value(u"code").toString(),
                            o.value(u"name").toString(), o.value(u"side").toString(),
                            variantOf(o.value(u"SYAdjust"))});
    }
    const QJsonArray accounts = root.value(u"accounts").toArray();
    int line = 0;
    for (const QJsonValue &v : accounts) {
        const QJsonObject o = v.toObject();
        ChartAccount a;
        a.line = ++line;
        a.code = o.value(u"code").toString().trimmed();
        a.name = o.value(u"name").toString().trimmed();
        a.parent = o.value(u"parent").toString().trimmed();
        // Without any "parent" key the parents come from the codes, as in a CSV file.
        chart.parentsGiven = chart.parentsGiven || o.contains(u"parent");
        a.type = o.value(u"type").toString().trimmed();
        a.side = sideOf(o.value(u"side").toString());
        for (const QString &field : accountFlagFields()) {
            if (!o.contains(field))
                continue;
            const QVariant value = variantOf(o.value(field));
            const bool fits =
                value.isNull() ||
                (kindOf(field) == Kind::Boolean   ? value.typeId() == QMetaType::Bool
                 : kindOf(field) == Kind::Integer ? value.typeId() == QMetaType::LongLong
                                                  : value.typeId() == QMetaType::QString);
            if (fits)
                a.flags.insert(field, value);
            else
                reading.problems.append({a.line, field,
                                         kindOf(field) == Kind::Boolean ? S("应为 true 或 false。")
                                         : kindOf(field) == Kind::Integer ? S("应为整数。")
                                                                          : S("应为文本。")});
        }
        chart.accounts.push_back(std::move(a));
    }
    const QJsonObject payloads = root.value(u"payloads").toObject();
    for (auto it = payloads.begin(); it != payloads.end(); ++it) {
        if (!extraPayloadFields().contains(it.key())) {
            reading.notes << S("payloads 中的“%1”不认识，已忽略。").arg(it.key());
            continue;
        }
        const QJsonObject p = it.value().toObject();
        DataPacket packet;
        for (const QJsonValue &c : p.value(u"columns").toArray())
            packet.fields.append(FieldDef{c.toString(), FieldType::String});
        int row = 0;
        for (const QJsonValue &r : p.value(u"rows").toArray()) {
            ++row;
            const QJsonArray cells = r.toArray();
            if (cells.size() != packet.fields.size()) {
                reading.problems.append(
                    {row,
                     {},
                     S("应有 %1 个值，实际有 %2 个。").arg(packet.fields.size()).arg(cells.size()),
                     it.key()});
                continue;
            }
            QVariantList values;
            for (const QJsonValue &c : cells)
                values.append(variantOf(c));
            packet.rows.push_back(std::move(values));
        }
        if (!packet.isEmpty())
            chart.payloads[it.key()] = std::move(packet);
    }
    return reading;
}

QByteArray writeChartCsv(const ChartTemplate &chart)
{
    QStringList header{csvHeader(S("code")), csvHeader(S("name")), csvHeader(S("parent")),
                       csvHeader(S("type")), csvHeader(S("side"))};
    for (const QString &field : csvFlagFields())
        header << csvHeader(field);
    QString text = header.join(QLatin1Char(',')) + S("\r\n");
    QHash<QString, QString> typeNames;
    for (const ChartAccountType &t : chart.types)
        typeNames.insert(t.code, t.name);
    for (const ChartAccount &a : chart.accounts) {
        // A type the CSV reader knows by name is written by name, any other by its code.
        const QString name = typeNames.value(a.type);
        QStringList cells{csvCell(a.code), csvCell(a.name), csvCell(a.parent),
                          csvCell(accountTypeCode(name) == a.type ? name : a.type),
                          a.side == u"D"   ? S("借")
                          : a.side == u"C" ? S("贷")
                                           : csvCell(a.side)};
        for (const QString &field : csvFlagFields()) {
            const QVariant v = a.flags.value(field);
            if (!v.isValid() || v.isNull())
                cells << QString();
            else if (kindOf(field) == Kind::Boolean)
                cells << (v.toBool() ? S("是") : S("否"));
            else
                cells << csvCell(v.toString());
        }
        text += cells.join(QLatin1Char(',')) + S("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QByteArray writeChartJson(const ChartTemplate &chart)
{
    // Written by hand so that each account and row is one line and its keys come in a
    // reading order (code and name first); QJsonDocument would sort them and spread them out.
    const auto value = [](const QJsonValue &v) {
        const QByteArray array = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
        return QString::fromUtf8(array.mid(1, array.size() - 2));
    };
    const auto object = [&](const QList<std::pair<QString, QJsonValue>> &members) {
        QStringList parts;
        for (const auto &[key, v] : members)
            parts << value(key) + QLatin1String(": ") + value(v);
        return QLatin1Char('{') + parts.join(QLatin1String(", ")) + QLatin1Char('}');
    };
    const auto list = [](const QStringList &items, const QString &indent) {
        if (items.isEmpty())
            return S("[]");
        return S("[\n") + indent + S("  ") + items.join(S(",\n") + indent + S("  ")) + S("\n") +
               indent + S("]");
    };

    QStringList types;
    for (const ChartAccountType &t : chart.types)
        types << object({{S("number"), t.number},
                         {S("code"), t.code},
                         {S("name"), t.name},
                         {S("side"), t.side},
                         {S("SYAdjust"), jsonOf(t.adjusts)}});
    QStringList accounts;
    for (const ChartAccount &a : chart.accounts) {
        QList<std::pair<QString, QJsonValue>> members{
            {S("code"), a.code},
            {S("name"), a.name},
            {S("parent"), a.parent.isEmpty() ? QJsonValue() : QJsonValue(a.parent)},
            {S("type"), a.type},
            {S("side"), a.side}};
        for (const QString &field : accountFlagFields())
            if (a.flags.contains(field))
                members.append({field, jsonOf(a.flags.value(field))});
        accounts << object(members);
    }
    QStringList payloads;
    for (const auto &[field, packet] : chart.payloads) {
        QJsonArray columns;
        for (const FieldDef &f : packet.fields)
            columns.append(f.name);
        QStringList rows;
        for (const QVariantList &row : packet.rows) {
            QJsonArray cells;
            for (const QVariant &v : row)
                cells.append(jsonOf(v));
            rows << value(cells);
        }
        payloads << value(field) + S(": {\"columns\": ") + value(columns) + S(", \"rows\": ") +
                        list(rows, S("    ")) + S("}");
    }
    const QString text =
        S("{\n  \"format\": \"vexa-chart-template\",\n  \"version\": 1,\n") +
        S("  \"code\": %1,\n  \"name\": %2,\n  \"remark\": %3,\n")
            .arg(value(chart.code), value(chart.name), value(chart.remark)) +
        S("  \"accountTypes\": ") + list(types, S("  ")) + S(",\n") + S("  \"accounts\": ") +
        list(accounts, S("  ")) + S(",\n") + S("  \"payloads\": ") +
        (payloads.isEmpty() ? S("{}") : S("{\n    ") + payloads.join(S(",\n    ")) + S("\n  }")) +
        S("\n}\n");
    return text.toUtf8();
}

} // namespace vexa::server
