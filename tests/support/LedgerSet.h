#pragma once

// An account set ready for vouchers: periods 2024.01-12 (PeriodID yyyymm) with the ledger
// started at 2024.02, 2024.09 frozen and 2024.10 closed; a small chart with a parent of
// three levels, cash and bank, an account per auxiliary list and a frozen one; customers
// and departments. And the packets SaveVoucher takes. Booleans are bound as 0/1, which
// both engines store.

#include "AppServer.h"
#include "DataPacket.h"

#include <QDate>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace vexa::test {

// Accounts by id (AcctID).
enum LedgerAcct : int {
    Cash = 1,         // 1001 库存现金
    Bank = 2,         // 1002 银行存款 (parent)
    BankIcbc = 3,     // 100201
    Receivable = 4,   // 1122 应收账款, customers
    Revenue = 5,      // 6001 (parent)
    RevenueGoods = 6, // 600101 (parent)
    RevenueA = 7,     // 60010101
    RevenueB = 8,     // 60010102
    Admin = 9,        // 6602 (parent)
    AdminOffice = 10, // 660201, departments
    AdminTravel = 11, // 660202, frozen
    Taxes = 12,       // 2221
};
// Auxiliary items: customers 1 and 2 (list 1), departments 3 and 4 (list 3).

inline void ledgerSql(QSqlDatabase db, const QString &sql, const QVariantList &binds = {})
{
    QSqlQuery q(db);
    QVERIFY2(q.prepare(sql), qPrintable(q.lastError().text()));
    for (int i = 0; i < binds.size(); ++i)
        q.bindValue(i, binds[i]);
    QVERIFY2(q.exec(), qPrintable(sql + QLatin1Char(' ') + q.lastError().text()));
}

inline void setUpLedger(server::ServerConnection &c)
{
    QSqlDatabase db = c.database();
    for (int no = 1; no <= 12; ++no) {
        const QDate from(2024, no, 1);
        ledgerSql(db,
                  QStringLiteral("INSERT INTO FINPostingPeriods (PeriodID, Year, No, PeriodCode, "
                                 "PeriodName, PostingFrom, PostingTo, Active, Locked, GLPost) "
                                 "VALUES (?, 2024, ?, ?, ?, ?, ?, ?, 'N', ?)"),
                  {202400 + no, no, QStringLiteral("2024.%1").arg(no, 2, 10, QChar(u'0')),
                   QStringLiteral("2024年第%1期").arg(no), from.toString(Qt::ISODate),
                   from.addMonths(1).addDays(-1).toString(Qt::ISODate),
                   no == 9 ? QStringLiteral("N") : QStringLiteral("Y"), int(no == 10)});
    }
    ledgerSql(
        db, QStringLiteral("INSERT INTO SysInitInfo (DefID, UseOrg, SysCur, CurrName, "
                           "AcctTempDesc, GLStartPeriodID, StartYear, YearPeriods) "
                           "VALUES (1, '测试公司', 'RMB', '人民币', 'A01000', 202402, 2024, 12)"));
    struct A
    {
        int id;
        const char *code;
        const char *name;
        int parent;
        bool leaf;
        bool frozen;
        int list;
    };
    const A accounts[] = {
        {Cash, "1001", "库存现金", 0, true, false, 0},
        {Bank, "1002", "银行存款", 0, false, false, 0},
        {BankIcbc, "100201", "工商银行", Bank, true, false, 0},
        {Receivable, "1122", "应收账款", 0, true, false, 1},
        {Revenue, "6001", "主营业务收入", 0, false, false, 0},
        {RevenueGoods, "600101", "产品销售", Revenue, false, false, 0},
        {RevenueA, "60010101", "甲产品", RevenueGoods, true, false, 0},
        {RevenueB, "60010102", "乙产品", RevenueGoods, true, false, 0},
        {Admin, "6602", "管理费用", 0, false, false, 0},
        {AdminOffice, "660201", "办公费", Admin, true, false, 3},
        {AdminTravel, "660202", "差旅费", Admin, true, true, 0},
        {Taxes, "2221", "应交税费", 0, true, false, 0},
    };
    for (const A &a : accounts)
        ledgerSql(
            db,
            QStringLiteral("INSERT INTO T0102010 (AcctID, AcctCode, AcctName, ParentID, Levels, "
                           "IsNode, LevelCode, DC, Frozen, ACItemID) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, 'D', ?, ?)"),
            {a.id, QString::fromUtf8(a.code), QString::fromUtf8(a.name),
             a.parent ? QVariant(a.parent) : QVariant(QMetaType(QMetaType::Int)),
             int(strlen(a.code) - 2) / 2, int(a.leaf), QString::fromUtf8(a.code), int(a.frozen),
             a.list});
    const struct
    {
        int id, list;
        const char *code, *name;
    } items[] = {{1, 1, "C01", "甲客户"},
                 {2, 1, "C02", "乙客户"},
                 {3, 3, "D01", "财务部"},
                 {4, 3, "D02", "销售部"}};
    for (const auto &i : items)
        ledgerSql(db,
                  QStringLiteral("INSERT INTO T0102053 (DacvID, ACheckID, DacvCode, DacvDesc, "
                                 "Levels, IsNode, Frozen) VALUES (?, ?, ?, ?, 1, ?, ?)"),
                  {i.id, i.list, QString::fromUtf8(i.code), QString::fromUtf8(i.name), 1, 0});
}

// Sets the finance options: exactly the flags on (1-based positions) are set.
inline void setFinanceFlags(server::ServerConnection &c, std::initializer_list<int> on)
{
    QString flags(60, u'0');
    for (const int p : on)
        flags[p - 1] = u'1';
    DataPacket p;
    p.fields = {FieldDef{QStringLiteral("BooleanStr"), FieldType::String, 0, false, false}};
    p.rows.push_back({flags});
    ledgerSql(c.database(), QStringLiteral("UPDATE SysInitInfo SET FinOption = ?"),
              {writeDataPacket(p)});
}

struct VLine
{
    int acct;
    qint64 debit;
    qint64 credit;
    int dacv = 0;
    QString summary = QStringLiteral("收到货款");
};

inline QString voucherHeader(int entry, const QString &word, const QDate &date, int attachments = 1)
{
    DataPacket p;
    const auto f = [](const char *name, FieldType t) {
        return FieldDef{QString::fromLatin1(name), t, 0, false, false};
    };
    p.fields = {f("DocEntry", FieldType::Integer), f("NumCa", FieldType::String),
                f("DocDate", FieldType::Date), f("Attachments", FieldType::Integer)};
    p.rows.push_back({entry, word, date, attachments});
    return writeDataPacket(p);
}

inline QString voucherLines(const QList<VLine> &lines)
{
    DataPacket p;
    const auto f = [](const char *name, FieldType t) {
        return FieldDef{QString::fromLatin1(name), t, 0, false, false};
    };
    p.fields = {f("Summary", FieldType::String), f("AcctID", FieldType::Integer),
                f("DacvID", FieldType::Integer), f("Debit", FieldType::LargeInt),
                f("Credit", FieldType::LargeInt)};
    for (const VLine &l : lines)
        p.rows.push_back({l.summary, l.acct, l.dacv, l.debit, l.credit});
    return writeDataPacket(p);
}

} // namespace vexa::test
