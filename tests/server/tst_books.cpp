// The balances and the books against a rebuild from the posted lines in SQL (the oracle),
// on a set whose ledger starts mid-year with openings, after randomised vouchers of which
// only some are posted.
#include "AppServer.h"
#include "DataPacket.h"

#include "../support/LedgerSet.h"
#include "../support/ServerFixture.h"
#include "SqliteStatement.h"

#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTest>

#include <array>
#include <functional>
#include <map>
#include <sqlite3.h>

using namespace vexa;
using namespace vexa::server;
using namespace vexa::test;

namespace {

QVariant call(ServerConnection &c, const char *op, QVariantList args)
{
    return c.call(QString::fromLatin1(op), args);
}

DataPacket answer(const QVariant &v)
{
    return readDataPacket(v.toString());
}

QVariant value(const DataPacket &p, size_t row, const char *field)
{
    return p.rows[row][indexOfField(p.fields, QLatin1String(field))];
}

qint64 fen(const DataPacket &p, size_t row, const char *field)
{
    return value(p, row, field).toLongLong();
}

// Signed (debit positive) amount of a side and an amount the books print.
qint64 signedOf(const QVariant &side, qint64 amount)
{
    return side.toString() == QStringLiteral("贷") ? -amount : amount;
}

// An account's or item's figures: opening (signed), debit, credit, year debit, year credit.
using Figures = std::array<qint64, 5>;

struct Set
{
    ServerFixture f;
    std::unique_ptr<ServerConnection> a = f.connect("Manager", "manager");
    std::unique_ptr<ServerConnection> b = f.connect("clerk", "clerk");
    int postedLines = 0;

    Set()
    {
        setUpLedger(*a);
        // Openings at 2024.02 with the year's January movement; both trial balances hold.
        DataPacket o;
        for (const char *name : {"AcctID", "DacvID", "Balance", "YtdDebit", "YtdCredit"})
            o.fields.append(FieldDef{QString::fromLatin1(name), FieldType::LargeInt});
        o.rows = {{Cash, 0, 50000, 20000, 10000},
                  {BankIcbc, 0, 150000, 110000, 0},
                  {Receivable, 1, 30000, 30000, 0},
                  {Taxes, 0, -80000, 0, 0},
                  {RevenueA, 0, -150000, 0, 150000}};
        call(*a, "SaveOpenings", {writeDataPacket(o)});

        QRandomGenerator rng(19);
        const int accts[] = {Cash, BankIcbc, Receivable, RevenueA, RevenueB, AdminOffice, Taxes};
        const int months[] = {2, 3, 4, 5, 6, 7, 8, 11, 12};
        QStringList toPost;
        for (int i = 0; i < 60; ++i) {
            const int d = accts[rng.bounded(7)], c = accts[rng.bounded(7)];
            const qint64 amount = (1 + qint64(rng.bounded(99999))) * (i % 9 == 0 ? -1 : 1);
            const auto item = [&rng](int acct) {
                return acct == Receivable    ? 1 + int(rng.bounded(2))
                       : acct == AdminOffice ? 3 + int(rng.bounded(2))
                                             : 0;
            };
            QList<VLine> lines{
                VLine{d, amount, 0, item(d), QStringLiteral("第%1笔, \"摘要\"").arg(i)},
                VLine{c, 0, amount / 3, item(c)}, VLine{c, 0, amount - amount / 3, item(c)}};
            const QDate date(2024, months[rng.bounded(9)], 1 + int(rng.bounded(28)));
            const DataPacket saved =
                answer(call(*a, "SaveVoucher",
                            {voucherHeader(0, QStringLiteral("记"), date), voucherLines(lines)}));
            const QString entry = value(saved, 0, "DocEntry").toString();
            if (i % 4 != 3)
                call(*b, "ReviewVouchers", {entry, true});
            if (i % 4 < 2) {
                toPost << entry;
                postedLines += 3;
            }
        }
        // One voucher moved to another period before it is reviewed, and a posted one
        // reversed in a later period: the books find each line in its voucher's period.
        const QList<VLine> moved{VLine{Cash, 4321, 0, 0}, VLine{RevenueA, 0, 4321, 0}};
        const QVariant entry =
            value(answer(call(*a, "SaveVoucher",
                              {voucherHeader(0, QStringLiteral("记"), QDate(2024, 3, 3)),
                               voucherLines(moved)})),
                  0, "DocEntry");
        call(*a, "SaveVoucher",
             {voucherHeader(entry.toInt(), QStringLiteral("记"), QDate(2024, 7, 7)),
              voucherLines(moved)});
        call(*b, "ReviewVouchers", {entry.toString(), true});
        toPost << entry.toString();
        call(*a, "PostVouchers", {202412, toPost.join(u',')});
        const QVariant red =
            value(answer(call(*a, "ReverseVoucher", {toPost.front(), QDate(2024, 12, 20)})), 0,
                  "DocEntry");
        call(*b, "ReviewVouchers", {red.toString(), true});
        call(*a, "PostVouchers", {202412, red.toString()});
    }

    // The oracle: per account (its subtree) or per item of an account, from GLOpening and
    // the posted lines, never from GLBalance. The ledger started in 2024, so the openings'
    // year movement counts in every 2024 range.
    std::map<qint64, Figures> oracle(int from, int to, qint64 itemAcct = 0) const
    {
        const int yearFirst = 202402;
        const QString lines = QStringLiteral(
            "SELECT x.AcctID, x.DacvID, v.PeriodID, x.Debit, x.Credit FROM FINDocVoucherLine x "
            "JOIN FINDocVoucher v ON v.DocEntry = x.DocEntry WHERE v.Status = 2");
        const QString key = itemAcct ? QStringLiteral("m.DacvID") : QStringLiteral("a.AcctID");
        const QString join =
            itemAcct ? QStringLiteral("FROM (SELECT DISTINCT DacvID FROM T0102053) k "
                                      "JOIN (%1) m ON m.DacvID = k.DacvID AND m.AcctID = %2 "
                                      "WHERE 1 = 1 ")
                           .arg(lines)
                           .arg(itemAcct)
                     : QStringLiteral("FROM T0102010 a JOIN T0102010 l ON SUBSTR(l.AcctCode, 1, "
                                      "LENGTH(a.AcctCode)) = a.AcctCode JOIN (%1) m ON "
                                      "m.AcctID = l.AcctID WHERE 1 = 1 ")
                           .arg(lines);
        std::map<qint64, Figures> out;
        QSqlQuery q(a->database());
        const QString movement =
            QStringLiteral("SELECT %1, SUM(CASE WHEN m.PeriodID < %2 THEN m.Debit - m.Credit "
                           "ELSE 0 END), SUM(CASE WHEN m.PeriodID >= %2 AND m.PeriodID <= %3 "
                           "THEN m.Debit ELSE 0 END), SUM(CASE WHEN m.PeriodID >= %2 AND "
                           "m.PeriodID <= %3 THEN m.Credit ELSE 0 END), SUM(CASE WHEN m.PeriodID "
                           ">= %4 AND m.PeriodID <= %3 THEN m.Debit ELSE 0 END), SUM(CASE WHEN "
                           "m.PeriodID >= %4 AND m.PeriodID <= %3 THEN m.Credit ELSE 0 END) %5 "
                           "GROUP BY %1")
                .arg(key)
                .arg(from)
                .arg(to)
                .arg(yearFirst)
                .arg(join);
        if (!q.exec(movement))
            qFatal("%s", qPrintable(q.lastError().text()));
        while (q.next())
            for (int i = 0; i < 5; ++i)
                out[q.value(0).toLongLong()][size_t(i)] += q.value(i + 1).toLongLong();
        const QString openings =
            itemAcct ? QStringLiteral("SELECT DacvID, Balance, YtdDebit, YtdCredit FROM GLOpening "
                                      "WHERE AcctID = %1")
                           .arg(itemAcct)
                     : QStringLiteral("SELECT a.AcctID, SUM(o.Balance), SUM(o.YtdDebit), "
                                      "SUM(o.YtdCredit) FROM T0102010 a JOIN T0102010 l ON "
                                      "SUBSTR(l.AcctCode, 1, LENGTH(a.AcctCode)) = a.AcctCode "
                                      "JOIN GLOpening o ON o.AcctID = l.AcctID GROUP BY a.AcctID");
        if (!q.exec(openings))
            qFatal("%s", qPrintable(q.lastError().text()));
        while (q.next()) {
            Figures &f = out[q.value(0).toLongLong()];
            f[0] += q.value(1).toLongLong();
            f[3] += q.value(2).toLongLong();
            f[4] += q.value(3).toLongLong();
        }
        return out;
    }
};

Figures figuresOf(const DataPacket &p, size_t row)
{
    return {fen(p, row, "OpeningDebit") - fen(p, row, "OpeningCredit"), fen(p, row, "PeriodDebit"),
            fen(p, row, "PeriodCredit"), fen(p, row, "YearDebit"), fen(p, row, "YearCredit")};
}

QString text(const Figures &f)
{
    return QStringLiteral("%1 %2 %3 %4 %5").arg(f[0]).arg(f[1]).arg(f[2]).arg(f[3]).arg(f[4]);
}

} // namespace

class TestBooks : public QObject
{
    Q_OBJECT

private slots:
    void balancesAgainstTheLines()
    {
        Set s;
        for (const auto &[from, to] :
             {std::pair{202402, 202412}, std::pair{202404, 202406}, std::pair{202411, 202411}}) {
            const DataPacket p = answer(call(*s.b, "AccountBalances", {from, to, 0, true}));
            const auto expected = s.oracle(from, to);
            QCOMPARE(p.rows.size(), size_t(12 + 1)); // every account and the totals
            for (size_t r = 0; r + 1 < p.rows.size(); ++r) {
                const qint64 id = fen(p, r, "AcctID");
                const Figures want = expected.count(id) ? expected.at(id) : Figures{};
                QCOMPARE(text(figuresOf(p, r)), text(want));
                const qint64 closing = fen(p, r, "ClosingDebit") - fen(p, r, "ClosingCredit");
                QCOMPARE(closing, want[0] + want[1] - want[2]);
                // A balance lies on one side only.
                QVERIFY(fen(p, r, "OpeningDebit") == 0 || fen(p, r, "OpeningCredit") == 0);
            }
            const size_t last = p.rows.size() - 1;
            QCOMPARE(value(p, last, "AcctName").toString(), QStringLiteral("合计"));
            QVERIFY(value(p, last, "Balanced").toBool());
            qint64 debit = 0;
            for (const int first : {Cash, Bank, Receivable, Revenue, Admin, Taxes})
                debit += expected.count(first) ? expected.at(first)[1] : 0;
            QCOMPARE(fen(p, last, "PeriodDebit"), debit);
        }
        // Level 1 without zero rows: only first-level accounts with something, and the totals.
        const DataPacket first = answer(call(*s.b, "AccountBalances", {202402, 202412, 1, false}));
        for (size_t r = 0; r + 1 < first.rows.size(); ++r)
            QCOMPARE(value(first, r, "Levels").toInt(), 1);
        QVERIFY(first.rows.size() < 8);
        QCOMPARE(fen(first, first.rows.size() - 1, "ClosingDebit"),
                 fen(answer(call(*s.b, "AccountBalances", {202402, 202412, 0, true})), 12,
                     "ClosingDebit"));
    }

    // 总账 of a three-level parent, period by period.
    void generalLedger()
    {
        Set s;
        const DataPacket p = answer(call(*s.b, "GeneralLedger", {Revenue, 202403, 202412}));
        QCOMPARE(p.rows.size(), size_t(10));
        for (size_t r = 0; r < p.rows.size(); ++r) {
            const int period = value(p, r, "PeriodID").toInt();
            const Figures want = s.oracle(period, period)[Revenue];
            QCOMPARE(signedOf(value(p, r, "OpeningSide"), fen(p, r, "Opening")), want[0]);
            QCOMPARE(fen(p, r, "Debit"), want[1]);
            QCOMPARE(fen(p, r, "Credit"), want[2]);
            QCOMPARE(fen(p, r, "YearDebit"), want[3]);
            QCOMPARE(fen(p, r, "YearCredit"), want[4]);
            QCOMPARE(signedOf(value(p, r, "ClosingSide"), fen(p, r, "Closing")),
                     want[0] + want[1] - want[2]);
        }
    }

    // 明细账 of a parent and of one item: the pages put together are the whole listing, the
    // running balance carries across pages, subtotals match the balances.
    void detailLedgerPages_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<int>("acct");
        QTest::addColumn<int>("item");
        QTest::newRow("parent") << "DetailLedger" << int(Bank) << 0;
        QTest::newRow("all") << "DetailLedger" << int(Revenue) << 0;
        QTest::newRow("item") << "ItemLedger" << int(Receivable) << 1;
    }
    void detailLedgerPages()
    {
        QFETCH(QString, op);
        QFETCH(int, acct);
        QFETCH(int, item);
        Set s;
        const auto fetch = [&](int from, int to, qint64 offset, qint64 limit) {
            QVariantList args{acct};
            if (item)
                args << item;
            args << from << to << offset << limit;
            return answer(s.b->call(op, args));
        };
        const DataPacket all = fetch(202402, 202412, 0, 100000);
        QVERIFY(all.rows.size() > 20);
        QCOMPARE(value(all, 0, "TotalRows").toLongLong(), qint64(all.rows.size()));
        // Pages of 7 rows put together.
        DataPacket pages;
        for (qint64 offset = 0; offset < qint64(all.rows.size()); offset += 7) {
            const DataPacket page = fetch(202402, 202412, offset, 7);
            pages.rows.insert(pages.rows.end(), page.rows.begin(), page.rows.end());
        }
        QCOMPARE(pages.rows.size(), all.rows.size());
        for (size_t r = 0; r < all.rows.size(); ++r)
            QCOMPARE(pages.rows[r], all.rows[r]);

        // The running balance: the opening plus each line; the subtotals' balance the period's
        // closing; the lines only of posted vouchers, in date order.
        const auto expectedItems = s.oracle(202402, 202402, item ? acct : 0);
        const Figures opening = expectedItems.at(item ? item : acct);
        QCOMPARE(signedOf(value(all, 0, "Side"), fen(all, 0, "Balance")), opening[0]);
        qint64 running = opening[0];
        int lines = 0;
        QDate last;
        for (size_t r = 1; r < all.rows.size(); ++r) {
            const int type = value(all, r, "RowType").toInt();
            const qint64 balance = signedOf(value(all, r, "Side"), fen(all, r, "Balance"));
            if (type == 1) {
                running += fen(all, r, "Debit") - fen(all, r, "Credit");
                QVERIFY(value(all, r, "DocDate").toDate() >= last);
                last = value(all, r, "DocDate").toDate();
                ++lines;
            }
            QCOMPARE(balance, running);
            if (type >= 2) {
                const int period = value(all, r, "PeriodID").toInt();
                const Figures want = s.oracle(period, period, item ? acct : 0)[item ? item : acct];
                QCOMPARE(running, want[0] + want[1] - want[2]);
                QCOMPARE(fen(all, r, "Debit"), type == 2 ? want[1] : want[3]);
                QCOMPARE(fen(all, r, "Credit"), type == 2 ? want[2] : want[4]);
            }
        }
        QSqlQuery q(s.a->database());
        QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM FINDocVoucherLine l JOIN FINDocVoucher "
                                      "v ON v.DocEntry = l.DocEntry JOIN T0102010 a ON a.AcctID = "
                                      "l.AcctID WHERE v.Status = 2 AND a.AcctCode LIKE (SELECT "
                                      "AcctCode FROM T0102010 WHERE AcctID = %1) || '%' %2")
                           .arg(acct)
                           .arg(item ? QStringLiteral("AND l.DacvID = %1").arg(item) : QString())));
        QVERIFY(q.next());
        QCOMPARE(lines, q.value(0).toInt());
        QVERIFY(lines > 0);

        // A range starting later opens with the balance the full listing had there.
        const DataPacket later = fetch(202406, 202412, 0, 3);
        const Figures at = s.oracle(202406, 202406, item ? acct : 0)[item ? item : acct];
        QCOMPARE(signedOf(value(later, 0, "Side"), fen(later, 0, "Balance")), at[0]);
    }

    // A set of the schema before the lines kept their period and the balances their line
    // count, upgraded: the same books. Then a sub-account added under a leaf with lines takes
    // them over, and its books are the leaf's.
    void upgradeAndSubAccount()
    {
        Set s;
        const auto listing = [&s](const char *op, QVariantList args) {
            return answer(s.b->call(QString::fromLatin1(op), args << 202402 << 202412 << 0 << 999))
                .rows;
        };
        const auto cash = listing("DetailLedger", {Cash});
        const auto customer = listing("ItemLedger", {Receivable, 1});
        QVERIFY(cash.size() > 30);
        for (const char *sql :
             {"DROP INDEX FINDocVoucherLine_Period",
              "ALTER TABLE FINDocVoucherLine DROP COLUMN PeriodID",
              "ALTER TABLE GLBalance DROP COLUMN LineCount", "DROP TABLE FINGLReportValue",
              "UPDATE SchemaVersion SET version = 3"})
            QVERIFY2(QSqlQuery(s.a->database()).exec(QString::fromLatin1(sql)), sql);
        s.a.reset();
        s.b.reset();
        s.f.server.reset();
        AppServer::Options options;
        options.passwordCost = PasswordCost::Fast;
        s.f.server = AppServer::open(s.f.path(), options);
        QCOMPARE(s.f.server->schemaVersion(), 4);
        s.a = s.f.connect("Manager", "manager");
        s.b = s.f.connect("clerk", "clerk");
        QCOMPARE(listing("DetailLedger", {Cash}), cash);
        QCOMPARE(listing("ItemLedger", {Receivable, 1}), customer);

        DataPacket added;
        added.fields = {FieldDef{QStringLiteral("AcctCode"), FieldType::String},
                        FieldDef{QStringLiteral("AcctName"), FieldType::String}};
        added.rows = {{QStringLiteral("100101"), QStringLiteral("零钱")}};
        const qint64 id = call(*s.a, "AddAccount", {writeDataPacket(added), true}).toLongLong();
        auto sub = cash;
        for (auto &row : sub)
            if (row[0].toInt() == 1)
                row[7] = QStringLiteral("100101");
        QCOMPARE(listing("DetailLedger", {id}), sub);
        QCOMPARE(listing("DetailLedger", {Cash}), sub);
    }

    // A report reads one snapshot: a posting another user commits while a 明细账 is read
    // (after its balances and counts, before its lines) shows in no part of it.
    void detailLedgerReadsOneSnapshot()
    {
        if (onPostgres())
            QSKIP("the statement hook is SQLite's");
        Set s;
        const auto save = [&s](const QDate &date) {
            const QString entry =
                value(
                    answer(call(*s.a, "SaveVoucher",
                                {voucherHeader(0, QStringLiteral("记"), date),
                                 voucherLines({VLine{Cash, 777, 0, 0}, VLine{Taxes, 0, 777, 0}})})),
                    0, "DocEntry")
                    .toString();
            call(*s.b, "ReviewVouchers", {entry, true});
            return entry;
        };
        call(*s.a, "PostVouchers", {202406, save(QDate(2024, 6, 15))});
        struct Hook
        {
            ServerConnection *poster;
            QString entry;
            bool done = false;
        } hook{s.a.get(), save(QDate(2024, 6, 1))};
        const QVariantList args{Cash, 202402, 202412, 0, 999};
        const auto before = answer(call(*s.b, "DetailLedger", args)).rows;
        // The other user posts the moment the report starts on the lines.
        sqlite3_trace_v2(
            sqliteHandle(s.b->database()), SQLITE_TRACE_STMT,
            [](unsigned, void *context, void *statement, void *) {
                auto *h = static_cast<Hook *>(context);
                if (!h->done && QByteArray(sqlite3_sql(static_cast<sqlite3_stmt *>(statement)))
                                    .contains("ORDER BY v.DocDate")) {
                    h->done = true;
                    call(*h->poster, "PostVouchers", {202406, h->entry});
                }
                return 0;
            },
            &hook);
        const auto during = answer(call(*s.b, "DetailLedger", args)).rows;
        sqlite3_trace_v2(sqliteHandle(s.b->database()), 0, nullptr, nullptr);
        QVERIFY(hook.done);
        QCOMPARE(during, before);
        QCOMPARE(answer(call(*s.b, "DetailLedger", args)).rows.size(), before.size() + 1);
    }

    void itemBalances()
    {
        Set s;
        const DataPacket p = answer(call(*s.b, "ItemBalances", {Receivable, 202403, 202408}));
        const auto expected = s.oracle(202403, 202408, Receivable);
        QVERIFY(p.rows.size() >= 1);
        for (size_t r = 0; r < p.rows.size(); ++r)
            QCOMPARE(text(figuresOf(p, r)), text(expected.at(fen(p, r, "DacvID"))));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("from after to") << "AccountBalances" << QVariantList{202405, 202404, 0, true}
                                       << "起始期间不能晚于结束期间。";
        QTest::newRow("before the start") << "GeneralLedger" << QVariantList{Cash, 202401, 202403}
                                          << "起始期间早于财务系统启用期间，没有账簿数据。";
        QTest::newRow("no such period") << "GeneralLedger" << QVariantList{Cash, 202402, 202413}
                                        << "会计期间 202402 或 202413 不存在。";
        QTest::newRow("no items") << "ItemBalances" << QVariantList{Cash, 202402, 202403}
                                  << "科目“1001 库存现金”没有辅助核算。";
        QTest::newRow("no right") << "DetailLedger" << QVariantList{Cash, 202402, 202403}
                                  << "没有“明细分类账”的权限，请找系统管理员。";
    }
    void refusals()
    {
        QFETCH(QString, op);
        QFETCH(QVariantList, args);
        QFETCH(QString, message);
        Set s;
        // clerk's group may browse the books (RightValue 2) but no longer the 明细账.
        ledgerSql(
            s.a->database(),
            QStringLiteral("DELETE FROM SysCheckRight WHERE UserGroup = 2 AND ObjType = 2302"));
        QString got;
        try {
            s.b->call(op, args);
        } catch (const Error &e) {
            got = e.message();
        }
        QCOMPARE(got, message);
    }
};

QTEST_GUILESS_MAIN(TestBooks)
#include "tst_books.moc"
