#include "BooksData.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataPacket.h"
#include "Money.h"

#include <vexa/Error.h>

namespace vexa::ledger {

namespace {

DataPacket call(const char *operation, QVariantList args)
{
    return readDataPacket(gl::CallServer(QString::fromLatin1(operation), args).toString());
}

struct Reader
{
    const DataPacket &p;
    QVariant operator()(size_t row, const char *name) const
    {
        const int i = indexOfField(p.fields, QLatin1String(name));
        return i < 0 ? QVariant() : p.rows[row].value(i);
    }
};

QString amount(qint64 fen)
{
    return fen == 0 ? QString() : Money::format(fen);
}

const char *const kFigureFields[] = {"OpeningDebit", "OpeningCredit", "PeriodDebit",
                                     "PeriodCredit", "YearDebit",     "YearCredit",
                                     "ClosingDebit", "ClosingCredit"};

} // namespace

QList<BalanceRow> AccountBalances(int fromPeriod, int toPeriod, int maxLevel, bool withZero)
{
    const DataPacket p = call("AccountBalances", {fromPeriod, toPeriod, maxLevel, withZero});
    const Reader at{p};
    QList<BalanceRow> rows;
    for (size_t r = 0; r < p.rows.size(); ++r) {
        BalanceRow row;
        row.acctId = at(r, "AcctID").toInt();
        row.code = at(r, "AcctCode").toString();
        row.name = at(r, "AcctName").toString();
        row.level = at(r, "Levels").toInt();
        row.leaf = at(r, "IsNode").toBool();
        for (int i = 0; i < 8; ++i)
            row.figures[size_t(i)] = at(r, kFigureFields[i]).toLongLong();
        row.total = row.acctId == 0;
        row.balanced = at(r, "Balanced").toBool();
        rows << row;
    }
    return rows;
}

namespace {

DetailPage detailPage(const DataPacket &p)
{
    const Reader at{p};
    DetailPage page;
    const int length = VoucherNumberLength();
    for (size_t r = 0; r < p.rows.size(); ++r) {
        DetailRow row;
        row.rowType = at(r, "RowType").toInt();
        row.periodId = at(r, "PeriodID").toInt();
        row.docEntry = at(r, "DocEntry").toInt();
        row.date = at(r, "DocDate").toDate();
        if (row.rowType == 1)
            row.word =
                VoucherNumberText(at(r, "NumCa").toString(), at(r, "DocNum").toInt(), length);
        row.summary = at(r, "Summary").toString();
        row.acctCode = at(r, "AcctCode").toString();
        row.debit = at(r, "Debit").toLongLong();
        row.credit = at(r, "Credit").toLongLong();
        row.side = at(r, "Side").toString();
        row.balance = at(r, "Balance").toLongLong();
        page.totalRows = at(r, "TotalRows").toLongLong();
        page.rows << row;
    }
    return page;
}

// The balance columns after the two naming ones.
QList<ReportColumn> figureColumns()
{
    QList<ReportColumn> columns;
    for (const char *c : {"期初借方", "期初贷方", "本期借方", "本期贷方", "本年累计借方",
                          "本年累计贷方", "期末借方", "期末贷方"})
        columns.push_back({QString::fromUtf8(c), Qt::AlignRight, 11});
    return columns;
}

} // namespace

DetailPage DetailLedger(int acctId, int fromPeriod, int toPeriod, qint64 offset, qint64 limit)
{
    return detailPage(call("DetailLedger", {acctId, fromPeriod, toPeriod, offset, limit}));
}

DetailPage ItemLedger(int acctId, int dacvId, int fromPeriod, int toPeriod, qint64 offset,
                      qint64 limit)
{
    return detailPage(call("ItemLedger", {acctId, dacvId, fromPeriod, toPeriod, offset, limit}));
}

QList<ItemBalanceRow> ItemBalances(int acctId, int fromPeriod, int toPeriod)
{
    const DataPacket p = call("ItemBalances", {acctId, fromPeriod, toPeriod});
    const Reader at{p};
    QList<ItemBalanceRow> rows;
    ItemBalanceRow total;
    total.name = QStringLiteral("合计");
    total.total = true;
    for (size_t r = 0; r < p.rows.size(); ++r) {
        ItemBalanceRow row;
        row.dacvId = at(r, "DacvID").toInt();
        row.code = at(r, "DacvCode").toString().trimmed();
        row.name = at(r, "DacvDesc").toString().trimmed();
        for (size_t i = 0; i < 8; ++i) {
            row.figures[i] = at(r, kFigureFields[i]).toLongLong();
            total.figures[i] += row.figures[i];
        }
        rows << row;
    }
    rows << total;
    return rows;
}

const LedgerAccount &ItemAccount(const QList<LedgerAccount> &accounts, const QString &code)
{
    const QString key = code.trimmed();
    if (key.isEmpty())
        throw Error(QStringLiteral("请输入科目代码。"));
    const LedgerAccount *a = FindAccount(accounts, key);
    if (!a)
        throw Error(QStringLiteral("科目代码“%1”不存在。").arg(key));
    if (!a->leaf)
        throw Error(QStringLiteral("科目“%1 %2”不是明细科目，请选择带辅助核算的明细科目。")
                        .arg(a->code, a->fullName));
    if (a->itemList == 0)
        throw Error(QStringLiteral("科目“%1 %2”没有辅助核算，请选择带辅助核算的明细科目。")
                        .arg(a->code, a->fullName));
    return *a;
}

QList<GeneralLedgerRow> GeneralLedger(int acctId, int fromPeriod, int toPeriod)
{
    const DataPacket p = call("GeneralLedger", {acctId, fromPeriod, toPeriod});
    const Reader at{p};
    QList<GeneralLedgerRow> rows;
    for (size_t r = 0; r < p.rows.size(); ++r)
        rows << GeneralLedgerRow{at(r, "PeriodID").toInt(),        at(r, "PeriodName").toString(),
                                 at(r, "OpeningSide").toString(),  at(r, "ClosingSide").toString(),
                                 at(r, "Opening").toLongLong(),    at(r, "Debit").toLongLong(),
                                 at(r, "Credit").toLongLong(),     at(r, "YearDebit").toLongLong(),
                                 at(r, "YearCredit").toLongLong(), at(r, "Closing").toLongLong()};
    return rows;
}

QString CompanyName()
{
    auto info = gl::ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QStringLiteral("WHERE 1=1"));
    info->first();
    return info->eof() ? QString() : info->asString(QStringLiteral("UseOrg")).trimmed();
}

QString PeriodRangeText(const QList<LedgerPeriod> &periods, int from, int to)
{
    QString a = QString::number(from), b = QString::number(to);
    for (const LedgerPeriod &p : periods) {
        if (p.periodId == from)
            a = p.code;
        if (p.periodId == to)
            b = p.code;
    }
    return from == to ? a : QStringLiteral("%1 至 %2").arg(a, b);
}

ReportTable BalanceReport(const QString &title, const QList<BalanceRow> &rows)
{
    ReportTable t;
    t.title = title;
    t.columns = {{QStringLiteral("科目代码"), Qt::AlignLeft, 10},
                 {QStringLiteral("科目名称"), Qt::AlignLeft, 16}};
    t.columns += figureColumns();
    for (const BalanceRow &r : rows) {
        ReportRow out;
        out.cells << r.code << r.name;
        for (const qint64 f : r.figures)
            out.cells << amount(f);
        out.level = qMax(0, r.level - 1);
        out.bold = r.total || r.level == 1;
        t.rows << out;
    }
    return t;
}

ReportTable ItemBalanceReport(const QString &title, const QList<ItemBalanceRow> &rows)
{
    ReportTable t;
    t.title = title;
    t.columns = {{QStringLiteral("项目代码"), Qt::AlignLeft, 10},
                 {QStringLiteral("项目名称"), Qt::AlignLeft, 16}};
    t.columns += figureColumns();
    for (const ItemBalanceRow &r : rows) {
        ReportRow out;
        out.cells << r.code << r.name;
        for (const qint64 f : r.figures)
            out.cells << amount(f);
        out.bold = r.total;
        t.rows << out;
    }
    return t;
}

ReportTable GeneralLedgerReport(const QString &account, const QList<GeneralLedgerRow> &rows)
{
    ReportTable t;
    t.title = QStringLiteral("总分类账 %1").arg(account);
    t.columns = {{QStringLiteral("期间"), Qt::AlignLeft, 10},
                 {QStringLiteral("期初方向"), Qt::AlignCenter, 5},
                 {QStringLiteral("期初余额"), Qt::AlignRight, 12},
                 {QStringLiteral("本期借方"), Qt::AlignRight, 12},
                 {QStringLiteral("本期贷方"), Qt::AlignRight, 12},
                 {QStringLiteral("本年累计借方"), Qt::AlignRight, 12},
                 {QStringLiteral("本年累计贷方"), Qt::AlignRight, 12},
                 {QStringLiteral("期末方向"), Qt::AlignCenter, 5},
                 {QStringLiteral("期末余额"), Qt::AlignRight, 12}};
    for (const GeneralLedgerRow &r : rows) {
        ReportRow out;
        out.cells << r.periodName << r.openingSide << Money::format(r.opening) << amount(r.debit)
                  << amount(r.credit) << amount(r.yearDebit) << amount(r.yearCredit)
                  << r.closingSide << Money::format(r.closing);
        t.rows << out;
    }
    return t;
}

ReportTable DetailReport(const QString &account, const QList<DetailRow> &rows)
{
    ReportTable t;
    t.title = QStringLiteral("明细分类账 %1").arg(account);
    t.columns = {{QStringLiteral("日期"), Qt::AlignLeft, 10},
                 {QStringLiteral("凭证字号"), Qt::AlignLeft, 9},
                 {QStringLiteral("摘要"), Qt::AlignLeft, 22},
                 {QStringLiteral("科目"), Qt::AlignLeft, 9},
                 {QStringLiteral("借方"), Qt::AlignRight, 12},
                 {QStringLiteral("贷方"), Qt::AlignRight, 12},
                 {QStringLiteral("方向"), Qt::AlignCenter, 4},
                 {QStringLiteral("余额"), Qt::AlignRight, 12}};
    for (const DetailRow &r : rows) {
        ReportRow out;
        out.cells << r.date.toString(Qt::ISODate) << r.word << r.summary << r.acctCode
                  << amount(r.debit) << amount(r.credit) << r.side << Money::format(r.balance);
        out.bold = r.rowType != 1;
        t.rows << out;
    }
    return t;
}

} // namespace vexa::ledger
