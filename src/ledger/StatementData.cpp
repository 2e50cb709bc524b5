#include "StatementData.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataPacket.h"
#include "Money.h"

#include <vexa/Error.h>

namespace vexa::ledger {

namespace {

using S = QString;

std::optional<qint64> amount(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return std::nullopt;
    return v.toLongLong();
}

} // namespace

QList<StatementTemplet> StatementTemplets(int type)
{
    auto ds = gl::ProviderDataSet(S("LX_FINGLReportTemplet"),
                                  S("WHERE TempletType = %1 ORDER BY TempletID").arg(type));
    QList<StatementTemplet> out;
    for (ds->first(); !ds->eof(); ds->next())
        out.append({ds->value(S("TempletID")).toInt(), ds->asString(S("TempletCode")).trimmed(),
                    ds->asString(S("TempletName")).trimmed()});
    return out;
}

Statement ReadStatement(int templetId, int periodId)
{
    QVariantList args{templetId, periodId};
    const QVariantList answer = gl::CallServer(S("Statement"), args).toList();
    if (answer.size() != 2)
        throw Error(S("服务器没有交回报表。"));
    const DataPacket lines = readDataPacket(answer[0].toString());
    const DataPacket info = readDataPacket(answer[1].toString());
    if (info.rows.empty())
        throw Error(S("服务器没有交回报表。"));
    const PacketColumns col{lines};
    Statement s;
    for (const QVariantList &r : lines.rows) {
        StatementLine l;
        l.itemId = r.value(col("ItemID")).toInt();
        const QVariant no = r.value(col("ItemLine"));
        l.line = no.isNull() ? QString() : no.toString();
        l.name = r.value(col("ItemName")).toString();
        l.indent = r.value(col("Indent")).toInt();
        l.type = r.value(col("ItemType")).toInt();
        l.amount1 = amount(r.value(col("Amount1")));
        l.amount2 = amount(r.value(col("Amount2")));
        s.lines.append(l);
    }
    const PacketColumns ic{info};
    const QVariantList &i = info.rows.front();
    s.templetType = i.value(ic("TempletType")).toInt();
    s.code = i.value(ic("TempletCode")).toString();
    s.name = i.value(ic("TempletName")).toString();
    s.caption1 = i.value(ic("Caption1")).toString();
    s.caption2 = i.value(ic("Caption2")).toString();
    const QVariant balanced = i.value(ic("Balanced"));
    if (!balanced.isNull() && balanced.isValid())
        s.balanced = balanced.toBool();
    s.difference1 = amount(i.value(ic("Difference1")));
    s.difference2 = amount(i.value(ic("Difference2")));
    const QString uncovered = i.value(ic("Uncovered")).toString();
    if (!uncovered.isEmpty())
        s.uncovered = uncovered.split(u'\n');
    const QString warnings = i.value(ic("Warnings")).toString();
    if (!warnings.isEmpty())
        s.warnings = warnings.split(u'\n');
    return s;
}

int SaveStatementValues(int templetId, int periodId, const QList<StatementValue> &values)
{
    DataPacket p;
    p.fields = {FieldDef{S("ItemID"), FieldType::Integer, 0, false, false},
                FieldDef{S("Amount1"), FieldType::LargeInt, 0, false, false},
                FieldDef{S("Amount2"), FieldType::LargeInt, 0, false, false}};
    const auto value = [](const std::optional<qint64> &a) { return a ? QVariant(*a) : QVariant(); };
    for (const StatementValue &v : values)
        p.rows.push_back({v.itemId, value(v.amount1), value(v.amount2)});
    QVariantList args{templetId, periodId, writeDataPacket(p)};
    return gl::CallServer(S("SaveStatementValues"), args).toInt();
}

int LatestPostedPeriod()
{
    QVariantList args{S("GLBalance"), S("PeriodID")};
    return gl::CallServer(S("GetFieldMaxValue"), args).toInt();
}

QString BalanceText(const Statement &s)
{
    if (!s.balanced)
        return {};
    if (*s.balanced)
        return S("资产总计与负债和所有者权益总计相等，报表平衡。");
    QStringList parts;
    if (s.difference1 && *s.difference1 != 0)
        parts << S("%1相差 %2").arg(s.caption1, Money::format(*s.difference1));
    if (s.difference2 && *s.difference2 != 0)
        parts << S("%1相差 %2").arg(s.caption2, Money::format(*s.difference2));
    QString text =
        S("报表不平衡：资产总计减负债和所有者权益总计，") + parts.join(S("，")) + S("。");
    if (!s.uncovered.isEmpty())
        text += S("有余额而未列入报表任何项目的科目：") + s.uncovered.join(S("、")) + S("。");
    return text;
}

ReportTable StatementTable(const Statement &s, const QString &company, const QString &period)
{
    ReportTable t;
    t.title = s.name;
    t.company = company;
    t.period = period;
    t.columns = {{S("项目"), Qt::AlignLeft, 30},
                 {S("行次"), Qt::AlignRight, 5},
                 {s.caption1, Qt::AlignRight, 14},
                 {s.caption2, Qt::AlignRight, 14}};
    const auto text = [](const std::optional<qint64> &a) {
        return a ? Money::format(*a) : QString();
    };
    for (const StatementLine &l : s.lines) {
        ReportRow r;
        r.cells = {l.name, l.line, l.type == 0 ? QString() : text(l.amount1),
                   l.type == 0 ? QString() : text(l.amount2)};
        r.level = l.indent;
        r.bold = l.type == 2 && l.indent == 0;
        t.rows.append(r);
    }
    return t;
}

} // namespace vexa::ledger
