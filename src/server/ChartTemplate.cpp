#include "ChartTemplate.h"

#include <vexa/Error.h>

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace vexa::server {

namespace {

using S = QString;

// A flag's value when the template does not give it: what the shipped templates hold. Fixed
// is derived (first level); the rest are set by the template load and kept here as shipped.
QVariant flagDefault(const QString &field)
{
    static const QSet<QString> nullByDefault{S("CurrCode"), S("ControlType"), S("InFull"),
                                             S("ACItemDesc")};
    if (nullByDefault.contains(field))
        return QVariant();
    if (field == u"ACItemID")
        return 0;
    return false;
}

QString rowLabel(int line, ChartTemplate::Source source, const QString &where)
{
    if (source == ChartTemplate::Source::Json)
        return where.isEmpty() ? S("第 %1 个科目").arg(line)
                               : S("%1 第 %2 行").arg(where).arg(line);
    return where.isEmpty() ? S("第 %1 行").arg(line) : S("%1 第 %2 行").arg(where).arg(line);
}

QString tooLong(const QString &what, const QString &value, int bytes)
{
    return S("%1“%2”太长：最多 %3 个字节（汉字算 2 个）。").arg(what, value).arg(bytes);
}

} // namespace

const QStringList &accountFlagFields()
{
    static const QStringList fields{
        S("CurrCode"),       S("ACurrAcct"),   S("AdjustRate"),   S("QtyEnter"),
        S("IsControl"),      S("ControlType"), S("IsEquivalent"), S("InFull"),
        S("Budget"),         S("Frozen"),      S("Fixed"),        S("DeleteTag"),
        S("ComeAndGoCheck"), S("IsCostRules"), S("ACItemID"),     S("ACItemDesc")};
    return fields;
}

const QStringList &extraPayloadFields()
{
    static const QStringList fields{S("T0200096"), S("T0200097"), S("T0200098"),
                                    S("T0200099"), S("T0102053"), S("T0102055")};
    return fields;
}

QString problemText(const ChartProblem &problem, ChartTemplate::Source source)
{
    QString text;
    if (problem.line > 0)
        text = rowLabel(problem.line, source, problem.where);
    else if (!problem.where.isEmpty())
        text = problem.where;
    if (!problem.column.isEmpty())
        text += (text.isEmpty() ? S("") : S("，")) + S("“%1”").arg(problem.column);
    return text.isEmpty() ? problem.message : text + S("：") + problem.message;
}

void sortProblems(QList<ChartProblem> &problems)
{
    std::stable_sort(problems.begin(), problems.end(),
                     [](const ChartProblem &a, const ChartProblem &b) {
                         return a.where < b.where || (a.where == b.where && a.line < b.line);
                     });
}

LevelLengths LevelLengths::parse(const QString &text)
{
    LevelLengths result;
    result.lengths.clear();
    for (const QString &part : text.split(QLatin1Char('-'))) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (!ok || n <= 0 || n > kAccountCodeBytes)
            throw Error(S("级次长度“%1”应写成用“-”连接的正整数，如 4-2-2。").arg(text));
        result.lengths.append(n);
    }
    return result;
}

QString LevelLengths::text() const
{
    QStringList parts;
    for (int n : lengths)
        parts << QString::number(n);
    return parts.join(QLatin1Char('-'));
}

const QList<ChartAccountType> &standardAccountTypes()
{
    static const QList<ChartAccountType> types{
        {1, S("ZC"), S("资产"), S("D"), false}, {2, S("FZ"), S("负债"), S("C"), false},
        {3, S("GT"), S("共同"), S("D"), false}, {4, S("QY"), S("所有者权益"), S("C"), false},
        {5, S("CB"), S("成本"), S("D"), false}, {6, S("SY"), S("损益"), S("D"), true}};
    return types;
}

QString accountTypeCode(const QString &text)
{
    QString t = text.trimmed();
    for (const ChartAccountType &type : standardAccountTypes())
        if (t.compare(type.code, Qt::CaseInsensitive) == 0)
            return type.code;
    if (t.endsWith(u'类'))
        t.chop(1);
    if (t == u"权益")
        return S("QY");
    for (const ChartAccountType &type : standardAccountTypes())
        if (t == type.name)
            return type.code;
    return QString();
}

QList<ChartProblem> completeChart(ChartTemplate &chart, const LevelLengths &levels)
{
    QList<ChartProblem> problems;
    const auto column = [&](const char *key) {
        return chart.columnNames.value(QLatin1String(key), QLatin1String(key));
    };
    const auto row = [&](int line) { return rowLabel(line, chart.source, QString()); };

    if (chart.code.trimmed().isEmpty())
        problems.append({0, {}, S("模板代码不能为空。")});
    else if (gbkByteLength(chart.code) > kTemplateCodeBytes)
        problems.append({0, {}, tooLong(S("模板代码"), chart.code, kTemplateCodeBytes)});
    if (chart.name.trimmed().isEmpty())
        problems.append({0, {}, S("模板名称不能为空。")});
    else if (gbkByteLength(chart.name) > kTemplateNameBytes)
        problems.append({0, {}, tooLong(S("模板名称"), chart.name, kTemplateNameBytes)});
    if (gbkByteLength(chart.remark) > kTemplateRemarkBytes)
        problems.append({0, {}, tooLong(S("模板说明"), chart.remark, kTemplateRemarkBytes)});

    if (chart.accounts.empty() && chart.types.isEmpty())
        problems.append({0, {}, S("模板中既没有科目也没有科目类别。")});

    std::vector<ChartAccount> &accounts = chart.accounts;
    std::stable_sort(accounts.begin(), accounts.end(),
                     [](const ChartAccount &a, const ChartAccount &b) { return a.code < b.code; });
    const int n = int(accounts.size());

    // Codes and names.
    QHash<QString, int> byCode;
    byCode.reserve(n);
    std::vector<bool> usable(size_t(n), false); // a code the others can refer to
    for (int i = 0; i < n; ++i) {
        ChartAccount &a = accounts[size_t(i)];
        if (a.code.isEmpty()) {
            problems.append({a.line, column("code"), S("科目代码不能为空。")});
        } else if (gbkByteLength(a.code) > kAccountCodeBytes) {
            problems.append(
                {a.line, column("code"), tooLong(S("科目代码"), a.code, kAccountCodeBytes)});
        } else if (const auto first = byCode.constFind(a.code); first != byCode.constEnd()) {
            problems.append(
                {a.line, column("code"),
                 S("科目代码“%1”与%2重复。").arg(a.code, row(accounts[size_t(*first)].line))});
        } else {
            byCode.insert(a.code, i);
            usable[size_t(i)] = true;
        }
        if (a.name.trimmed().isEmpty())
            problems.append({a.line, column("name"), S("科目名称不能为空。")});
        else if (std::any_of(a.name.begin(), a.name.end(),
                             [](QChar c) { return c.category() == QChar::Other_Control; }))
            problems.append({a.line, column("name"), S("科目名称不能含有换行或其他控制字符。")});
        else if (gbkByteLength(a.name) > kAccountNameBytes)
            problems.append(
                {a.line, column("name"), tooLong(S("科目名称"), a.name, kAccountNameBytes)});
    }

    // Parents: given, or from the codes (dotted segments, or the level lengths).
    std::vector<int> parent(size_t(n), -1);
    std::vector<bool> fits(size_t(n), true);
    const bool dotted = !chart.parentsGiven &&
                        std::any_of(accounts.begin(), accounts.end(), [](const ChartAccount &a) {
                            return a.code.contains(QLatin1Char('.'));
                        });
    QList<std::pair<int, int>> segmentSeen; // per level: length and the account that set it
    for (int i = 0; i < n; ++i) {
        ChartAccount &a = accounts[size_t(i)];
        if (!usable[size_t(i)])
            continue;
        QString parentCode;
        QString parentColumn = column("code");
        if (chart.parentsGiven) {
            parentCode = a.parent.trimmed();
            parentColumn = column("parent");
            if (parentCode == a.code) {
                problems.append(
                    {a.line, parentColumn, S("科目“%1”不能是自己的上级科目。").arg(a.code)});
                fits[size_t(i)] = false;
                continue;
            }
        } else if (dotted) {
            const QStringList segments = a.code.split(QLatin1Char('.'));
            bool ok = true;
            for (int k = 0; k < segments.size() && ok; ++k) {
                if (segments[k].isEmpty()) {
                    problems.append(
                        {a.line, column("code"), S("科目代码“%1”有空的分段。").arg(a.code)});
                    ok = false;
                } else if (k >= segmentSeen.size()) {
                    segmentSeen.append({int(segments[k].size()), i});
                } else if (segmentSeen[k].first != segments[k].size()) {
                    const ChartAccount &other = accounts[size_t(segmentSeen[k].second)];
                    problems.append(
                        {a.line, column("code"),
                         S("科目代码“%1”的第 %2 段有 %3 位，与%4的“%5”（%6 位）不一致。")
                             .arg(a.code)
                             .arg(k + 1)
                             .arg(segments[k].size())
                             .arg(row(other.line), other.code)
                             .arg(segmentSeen[k].first)});
                    ok = false;
                }
            }
            if (!ok) {
                fits[size_t(i)] = false;
                continue;
            }
            parentCode = segments.mid(0, segments.size() - 1).join(QLatin1Char('.'));
        } else {
            int total = 0, level = 0;
            int parentLength = 0;
            for (int length : levels.lengths) {
                if (total >= a.code.size())
                    break;
                parentLength = total;
                total += length;
                ++level;
            }
            if (total != a.code.size()) {
                problems.append({a.line, column("code"),
                                 S("科目代码“%1”有 %2 位，与级次长度 %3 不符。")
                                     .arg(a.code)
                                     .arg(a.code.size())
                                     .arg(levels.text())});
                fits[size_t(i)] = false;
                continue;
            }
            parentCode = level > 1 ? a.code.left(parentLength) : QString();
        }
        if (parentCode.isEmpty())
            continue;
        const auto p = byCode.constFind(parentCode);
        if (p == byCode.constEnd()) {
            problems.append({a.line, parentColumn, S("上级科目“%1”不存在。").arg(parentCode)});
            fits[size_t(i)] = false;
        } else {
            parent[size_t(i)] = *p;
        }
    }

    // Levels; a chain of parents that comes back to itself is a cycle.
    std::vector<int> level(size_t(n), 0);
    std::vector<int> top(size_t(n), -1);
    for (int i = 0; i < n; ++i) {
        if (!usable[size_t(i)] || !fits[size_t(i)])
            continue;
        int depth = 1, j = i;
        bool broken = false;
        while (parent[size_t(j)] >= 0) {
            j = parent[size_t(j)];
            if (!fits[size_t(j)] || !usable[size_t(j)]) {
                broken = true; // its own problem is reported on its row
                break;
            }
            if (++depth > n) {
                problems.append({accounts[size_t(i)].line, column("parent"),
                                 S("科目“%1”的上级科目关系成环。").arg(accounts[size_t(i)].code)});
                broken = true;
                break;
            }
        }
        if (broken) {
            fits[size_t(i)] = false;
            continue;
        }
        level[size_t(i)] = depth;
        top[size_t(i)] = j;
    }

    // Types and balance sides, parents before children.
    QList<ChartAccountType> &types = chart.types;
    const bool typesGiven = !types.isEmpty();
    const QList<ChartAccountType> &known = typesGiven ? types : standardAccountTypes();
    const auto typeOf = [&](const QString &code) -> const ChartAccountType * {
        for (const ChartAccountType &t : known)
            if (t.code == code)
                return &t;
        return nullptr;
    };
    if (typesGiven) {
        QSet<int> numbers;
        QSet<QString> codes;
        for (const ChartAccountType &t : types) {
            if (t.code.isEmpty() || codes.contains(t.code) || numbers.contains(t.number) ||
                t.number <= 0)
                problems.append(
                    {0,
                     {},
                     S("科目类别“%1”（%2）的代码或编号为空或重复。").arg(t.code).arg(t.number),
                     S("accountTypes")});
            if (t.side != u"D" && t.side != u"C")
                problems.append({0,
                                 {},
                                 S("科目类别“%1”的余额方向“%2”应为 D 或 C。").arg(t.code, t.side),
                                 S("accountTypes")});
            numbers.insert(t.number);
            codes.insert(t.code);
        }
    }
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        order[size_t(i)] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return level[size_t(a)] < level[size_t(b)]; });
    QList<QString> used;
    for (int i : order) {
        ChartAccount &a = accounts[size_t(i)];
        if (!a.side.isEmpty() && a.side != u"D" && a.side != u"C") {
            problems.append(
                {a.line, column("side"), S("余额方向“%1”应为 借 或 贷（D 或 C）。").arg(a.side)});
            a.side.clear();
        }
        if (!a.type.isEmpty() && !typeOf(a.type)) {
            problems.append({a.line, column("type"), S("未知的科目类别“%1”。").arg(a.type)});
            continue;
        }
        if (level[size_t(i)] == 0)
            continue; // its place in the tree is wrong, reported already
        const ChartAccount *p =
            parent[size_t(i)] >= 0 ? &accounts[size_t(parent[size_t(i)])] : nullptr;
        if (!p) {
            if (a.type.isEmpty()) {
                problems.append(
                    {a.line, column("type"), S("一级科目“%1”没有科目类别。").arg(a.code)});
                continue;
            }
        } else {
            const ChartAccount &first = accounts[size_t(top[size_t(i)])];
            if (!typeOf(first.type))
                continue; // reported on the first-level account
            if (a.type.isEmpty())
                a.type = first.type;
            else if (a.type != first.type)
                problems.append(
                    {a.line, column("type"),
                     S("科目类别“%1”与一级科目“%2”的类别“%3”不同。")
                         .arg(typeOf(a.type)->name, first.code, typeOf(first.type)->name)});
        }
        if (a.side.isEmpty())
            a.side = p && !p->side.isEmpty() ? p->side : typeOf(a.type)->side;
        if (!used.contains(a.type))
            used.append(a.type);
    }
    if (!typesGiven) {
        int number = 0;
        for (const ChartAccountType &t : standardAccountTypes())
            if (used.contains(t.code)) {
                ChartAccountType own = t;
                own.number = ++number;
                types.append(own);
            }
    }

    // Report terms name accounts by code.
    const auto terms = chart.payloads.find(S("T0200098"));
    if (terms != chart.payloads.end() && !terms->second.isEmpty()) {
        const int c = indexOfField(terms->second.fields, S("ItemAcctCode"));
        for (size_t r = 0; c >= 0 && r < terms->second.rows.size(); ++r) {
            const QString code = terms->second.rows[r].value(c).toString();
            if (!byCode.contains(code))
                problems.append({int(r) + 1, terms->second.fields[c].name,
                                 S("报表取数的科目“%1”不在科目表中。").arg(code), S("T0200098")});
        }
    }

    for (int i = 0; i < n; ++i) {
        ChartAccount &a = accounts[size_t(i)];
        a.id = i + 1;
        a.level = level[size_t(i)];
        a.parentId = parent[size_t(i)] >= 0 ? parent[size_t(i)] + 1 : 0;
        a.leaf = true;
        if (!chart.parentsGiven)
            a.parent =
                parent[size_t(i)] >= 0 ? accounts[size_t(parent[size_t(i)])].code : QString();
    }
    for (int i = 0; i < n; ++i)
        if (parent[size_t(i)] >= 0)
            accounts[size_t(parent[size_t(i)])].leaf = false;
    return problems;
}

std::map<QString, std::pair<QStringList, std::vector<QVariantList>>>
chartPayloadRows(const ChartTemplate &chart)
{
    std::map<QString, std::pair<QStringList, std::vector<QVariantList>>> out;
    QHash<QString, int> typeNumbers;
    for (const ChartAccountType &t : chart.types)
        typeNumbers.insert(t.code, t.number);

    if (!chart.accounts.empty()) {
        auto &[columns, rows] = out[S("AcctXMLData")];
        columns =
            QStringList{S("AcctID"), S("AcctCode"),  S("AcctName"), S("ParentID"),     S("Levels"),
                        S("IsNode"), S("LevelCode"), S("AcctType"), S("AcctTypeCode"), S("DC")} +
            accountFlagFields();
        rows.reserve(chart.accounts.size());
        for (const ChartAccount &a : chart.accounts) {
            QVariantList row{
                a.id,    a.code, a.name, a.parentId > 0 ? QVariant(a.parentId) : QVariant(),
                a.level, a.leaf, a.code, QString::number(typeNumbers.value(a.type)),
                a.type,  a.side};
            for (const QString &field : accountFlagFields()) {
                const auto given = a.flags.constFind(field);
                if (given != a.flags.constEnd())
                    row.append(*given);
                else if (field == u"Fixed")
                    row.append(a.level == 1);
                else
                    row.append(flagDefault(field));
            }
            rows.push_back(std::move(row));
        }
    }
    if (!chart.types.isEmpty()) {
        auto &[columns, rows] = out[S("AcctTypeXMLData")];
        columns = QStringList{S("AcctType"), S("AcctTypeCode"), S("AcctTypeDesc"), S("AcctTypeDC"),
                              S("SYAdjust")};
        for (const ChartAccountType &t : chart.types)
            rows.push_back({t.number, t.code, t.name, t.side, t.adjusts});
    }
    for (const auto &[field, packet] : chart.payloads) {
        if (packet.isEmpty())
            continue;
        auto &[columns, rows] = out[field];
        for (const FieldDef &f : packet.fields)
            columns << f.name;
        rows = packet.rows;
    }
    return out;
}

ChartTemplate chartFromPackets(const std::map<QString, DataPacket> &packets)
{
    ChartTemplate chart;
    chart.parentsGiven = true;
    const auto typesIt = packets.find(S("AcctTypeXMLData"));
    if (typesIt != packets.end() && !typesIt->second.isEmpty()) {
        const DataPacket &p = typesIt->second;
        const int number = indexOfField(p.fields, S("AcctType"));
        const int code = indexOfField(p.fields, S("AcctTypeCode"));
        const int desc = indexOfField(p.fields, S("AcctTypeDesc"));
        const int dc = indexOfField(p.fields, S("AcctTypeDC"));
        const int adjust = indexOfField(p.fields, S("SYAdjust"));
        for (const QVariantList &r : p.rows)
            chart.types.append({r.value(number).toInt(), r.value(code).toString(),
                                r.value(desc).toString(), r.value(dc).toString(),
                                adjust >= 0 ? r.value(adjust) : QVariant()});
    }
    const auto accountsIt = packets.find(S("AcctXMLData"));
    if (accountsIt != packets.end() && !accountsIt->second.isEmpty()) {
        const DataPacket &p = accountsIt->second;
        const int id = indexOfField(p.fields, S("AcctID"));
        const int code = indexOfField(p.fields, S("AcctCode"));
        const int name = indexOfField(p.fields, S("AcctName"));
        const int parentId = indexOfField(p.fields, S("ParentID"));
        const int type = indexOfField(p.fields, S("AcctTypeCode"));
        const int typeNumber = indexOfField(p.fields, S("AcctType"));
        const int dc = indexOfField(p.fields, S("DC"));
        if (code < 0 || name < 0)
            throw Error(S("科目数据缺少 AcctCode 或 AcctName 列。"));
        QHash<qlonglong, QString> codeOfId;
        if (id >= 0)
            for (const QVariantList &r : p.rows)
                codeOfId.insert(r.value(id).toLongLong(), r.value(code).toString());
        QList<std::pair<int, QString>> flagColumns;
        for (const QString &field : accountFlagFields())
            if (const int c = indexOfField(p.fields, field); c >= 0)
                flagColumns.append({c, field});
        for (const QVariantList &r : p.rows) {
            ChartAccount a;
            a.code = r.value(code).toString();
            a.name = r.value(name).toString();
            const QVariant pid = parentId >= 0 ? r.value(parentId) : QVariant();
            if (pid.isValid() && !pid.isNull() && pid.toLongLong() != 0)
                a.parent = codeOfId.value(pid.toLongLong(), S("（编号 %1）").arg(pid.toLongLong()));
            if (type >= 0)
                a.type = r.value(type).toString();
            if (a.type.isEmpty() && typeNumber >= 0)
                for (const ChartAccountType &t : std::as_const(chart.types))
                    if (QString::number(t.number) == r.value(typeNumber).toString())
                        a.type = t.code;
            if (dc >= 0)
                a.side = r.value(dc).toString();
            for (const auto &[c, field] : flagColumns)
                a.flags.insert(field, r.value(c));
            chart.accounts.push_back(std::move(a));
        }
        std::stable_sort(
            chart.accounts.begin(), chart.accounts.end(),
            [](const ChartAccount &a, const ChartAccount &b) { return a.code < b.code; });
    }
    for (const QString &field : extraPayloadFields()) {
        const auto it = packets.find(field);
        if (it != packets.end() && !it->second.isEmpty())
            chart.payloads[field] = it->second;
    }
    return chart;
}

} // namespace vexa::server
