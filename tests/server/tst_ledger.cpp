// The server's voucher operations: what they refuse, what randomised sequences of them keep
// true (balances, numbering, posted vouchers unchanged), and numbering under concurrency.
#include "AppServer.h"
#include "DataPacket.h"

#include "../support/LedgerInvariants.h"
#include "../support/LedgerSet.h"
#include "../support/ServerFixture.h"

#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTest>

#include <functional>
#include <map>
#include <set>
#include <thread>

using namespace vexa;
using namespace vexa::server;
using namespace vexa::test;

namespace {

QVariant call(ServerConnection &c, const char *op, QVariantList args)
{
    return c.call(QString::fromLatin1(op), args);
}

// The refusal's message, or an empty text when the operation succeeded.
QString refusal(const std::function<QVariant()> &op)
{
    try {
        op();
    } catch (const Error &e) {
        return e.message();
    }
    return QString();
}

DataPacket answer(const QVariant &v)
{
    return readDataPacket(v.toString());
}

QVariant packetValue(const DataPacket &p, int row, const char *field)
{
    return p.rows[size_t(row)][indexOfField(p.fields, QLatin1String(field))];
}

QList<VLine> pair(int debitAcct, int creditAcct, qint64 fen, int debitItem = 0, int creditItem = 0)
{
    return {VLine{debitAcct, fen, 0, debitItem}, VLine{creditAcct, 0, fen, creditItem}};
}

// A set with the chart, two accountants' connections (the administrator and clerk) and a
// third user of clerk's group.
struct Books
{
    ServerFixture f;
    std::unique_ptr<ServerConnection> a = f.connect("Manager", "manager");
    std::unique_ptr<ServerConnection> b = f.connect("clerk", "clerk");
    std::unique_ptr<ServerConnection> c;

    Books()
    {
        setUpLedger(*a);
        call(*a, "AddUser", {"cashier", "出纳王五", 2, false, "pw"});
        c = f.connect("cashier", "pw");
    }
    QSqlDatabase db() const { return a->database(); }

    int save(ServerConnection &by, const QString &word, const QDate &date,
             const QList<VLine> &lines, int entry = 0)
    {
        const DataPacket p = answer(
            call(by, "SaveVoucher", {voucherHeader(entry, word, date), voucherLines(lines)}));
        return packetValue(p, 0, "DocEntry").toInt();
    }
    int saveSimple(ServerConnection &by, const QDate &date = QDate(2024, 3, 5))
    {
        return save(by, QStringLiteral("记"), date, pair(Cash, RevenueA, 10000));
    }
    int posted(const QDate &date = QDate(2024, 3, 5))
    {
        const int e = saveSimple(*a, date);
        call(*b, "ReviewVouchers", {QString::number(e), true});
        call(*a, "PostVouchers", {202412, QString::number(e)});
        return e;
    }
    // Everything an operation may change, to see that a refused one changed nothing.
    QStringList state() const
    {
        return ledgerRows(db(), QStringLiteral("SELECT DocEntry, NumCa, DocNum, PeriodID, Status, "
                                               "RatifierID, CashierID, ReversedBy, DebitTotal "
                                               "FROM FINDocVoucher ORDER BY DocEntry")) +
               ledgerRows(db(),
                          QStringLiteral("SELECT DocEntry, LineNo, AcctID, Debit, Credit FROM "
                                         "FINDocVoucherLine ORDER BY DocEntry, LineNo")) +
               ledgerRows(db(),
                          QStringLiteral("SELECT AcctID, PeriodID, DacvID, Debit, Credit FROM "
                                         "GLBalance ORDER BY AcctID, PeriodID, DacvID")) +
               ledgerRows(db(), QStringLiteral("SELECT COUNT(*) FROM OperationLog"));
    }
};

using Act = std::function<QVariant()>;

struct RefusalCase
{
    const char *name;
    const char *message;                 // a part of the refusal
    std::function<Act(Books &)> prepare; // the set-up; answers the refused call
};

QVariant saveLines(Books &w, const QList<VLine> &lines, const QDate &date = QDate(2024, 3, 5),
                   const QString &word = QStringLiteral("记"))
{
    return call(*w.a, "SaveVoucher", {voucherHeader(0, word, date), voucherLines(lines)});
}

QVariant edit(ServerConnection &by, int entry)
{
    return call(by, "SaveVoucher",
                {voucherHeader(entry, QStringLiteral("记"), QDate(2024, 3, 6)),
                 voucherLines(pair(Cash, RevenueB, 500))});
}

const std::vector<RefusalCase> &refusalCases()
{
    static const std::vector<RefusalCase> cases = {
        {"one line", "至少要有两条分录",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant { return saveLines(w, {VLine{Cash, 100, 0}}); };
         }},
        {"debit and credit on a line", "第 2 行分录应当填写借方或贷方金额中的一个",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant {
                 return saveLines(w, {VLine{Cash, 100, 0}, VLine{RevenueA, 50, 150}});
             };
         }},
        {"neither on a line", "第 3 行分录应当填写借方或贷方金额中的一个",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant {
                 return saveLines(
                     w, {VLine{Cash, 100, 0}, VLine{RevenueA, 0, 100}, VLine{Taxes, 0, 0}});
             };
         }},
        {"unbalanced", "借贷不平衡：借方合计 1234.56，贷方合计 1234.55。",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant {
                 return saveLines(w, {VLine{Cash, 123456, 0}, VLine{RevenueA, 0, 123455}});
             };
         }},
        {"zero total", "金额合计不能为零",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant {
                 return saveLines(w, {VLine{Cash, 100, 0}, VLine{Cash, -100, 0},
                                      VLine{RevenueA, 0, 100}, VLine{RevenueA, 0, -100}});
             };
         }},
        {"summary over 200 bytes", "第 1 行摘要超过 200 个字节",
         [](Books &w) -> Act {
             QList<VLine> lines = pair(Cash, RevenueA, 100);
             lines[0].summary = QString(99, u'摘') + QStringLiteral("abc");
             return [=, &w]() -> QVariant { return saveLines(w, lines); };
         }},
        {"unknown account", "第 2 行的会计科目不存在",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant { return saveLines(w, pair(Cash, 999, 100)); };
         }},
        {"parent account", "“600101 产品销售”不是明细科目",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant { return saveLines(w, pair(Cash, RevenueGoods, 100)); };
         }},
        {"frozen account", "“660202 差旅费”已冻结",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant { return saveLines(w, pair(AdminTravel, Cash, 100)); };
         }},
        {"item missing", "“1122 应收账款”要做辅助核算",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant { return saveLines(w, pair(Receivable, RevenueA, 100)); };
         }},
        {"item of another list", "不属于科目“1122 应收账款”的核算类别",
         [](Books &w) -> Act {
             return
                 [=, &w]() -> QVariant { return saveLines(w, pair(Receivable, RevenueA, 100, 3)); };
         }},
        {"item on a plain account", "“1001 库存现金”没有辅助核算",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant { return saveLines(w, pair(Cash, RevenueA, 100, 1)); };
         }},
        {"no period", "2030年1月5日不在任何会计期间内",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant {
                 return saveLines(w, pair(Cash, RevenueA, 100), QDate(2030, 1, 5));
             };
         }},
        {"before the ledger's start", "在财务系统启用期间之前",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant {
                 return saveLines(w, pair(Cash, RevenueA, 100), QDate(2024, 1, 31));
             };
         }},
        {"frozen period", "2024年第9期已冻结",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant {
                 return saveLines(w, pair(Cash, RevenueA, 100), QDate(2024, 9, 1));
             };
         }},
        {"closed period", "2024年第10期已结账",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant {
                 return saveLines(w, pair(Cash, RevenueA, 100), QDate(2024, 10, 31));
             };
         }},
        {"unknown word", "凭证字“借”不存在",
         [](Books &w) -> Act {
             return [=, &w]() -> QVariant {
                 return saveLines(w, pair(Cash, RevenueA, 100), QDate(2024, 3, 5),
                                  QStringLiteral("借"));
             };
         }},
        {"edit a reviewed voucher", "已审核，不能修改",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             call(*w.b, "ReviewVouchers", {QString::number(e), true});
             return [=, &w]() -> QVariant { return edit(*w.a, e); };
         }},
        {"edit a posted voucher", "已记账，不能修改",
         [](Books &w) -> Act {
             const int e = w.posted();
             return [=, &w]() -> QVariant { return edit(*w.a, e); };
         }},
        {"edit a signed voucher", "已出纳签字，不能修改",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             call(*w.c, "SignVouchers", {QString::number(e), true});
             return [=, &w]() -> QVariant { return edit(*w.a, e); };
         }},
        {"edit another's voucher without flag 8", "账套设置不允许修改他人填制的凭证",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             setFinanceFlags(*w.a, {5, 6, 21});
             return [=, &w]() -> QVariant { return edit(*w.b, e); };
         }},
        {"move out before a posted one", "之后的记字第2号已记账，改变它的凭证字或期间",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             w.posted();
             return [=, &w]() -> QVariant {
                 return call(*w.a, "SaveVoucher",
                             {voucherHeader(e, QStringLiteral("记"), QDate(2024, 4, 1)),
                              voucherLines(pair(Cash, RevenueB, 500))});
             };
         }},
        {"delete before a posted one", "之后的记字第2号已记账，删除它",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             w.posted();
             return [=, &w]() -> QVariant { return call(*w.a, "DeleteVoucher", {e}); };
         }},
        {"delete a reviewed voucher", "已审核，不能删除",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             call(*w.b, "ReviewVouchers", {QString::number(e), true});
             return [=, &w]() -> QVariant { return call(*w.a, "DeleteVoucher", {e}); };
         }},
        {"delete another's voucher without flag 8", "不允许删除他人填制的凭证",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             setFinanceFlags(*w.a, {});
             return [=, &w]() -> QVariant { return call(*w.b, "DeleteVoucher", {e}); };
         }},
        {"review one's own", "审核人不能是制单人",
         [](Books &w) -> Act {
             const int e1 = w.saveSimple(*w.b);
             const int e2 = w.saveSimple(*w.a);
             // All or nothing: the first of the list would pass.
             return [=, &w]() -> QVariant {
                 return call(*w.a, "ReviewVouchers",
                             {QStringLiteral("%1,%2").arg(e1).arg(e2), true});
             };
         }},
        {"batch review with flag 7", "禁止成批审核",
         [](Books &w) -> Act {
             const QString list =
                 QStringLiteral("%1,%2").arg(w.saveSimple(*w.a)).arg(w.saveSimple(*w.a));
             setFinanceFlags(*w.a, {7, 8});
             return [=, &w]() -> QVariant { return call(*w.b, "ReviewVouchers", {list, true}); };
         }},
        {"unreview by another user", "只有审核人或系统管理员可以取消审核",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             call(*w.b, "ReviewVouchers", {QString::number(e), true});
             return [=, &w]() -> QVariant {
                 return call(*w.c, "ReviewVouchers", {QString::number(e), false});
             };
         }},
        {"unreview a posted voucher", "已记账，不能取消审核",
         [](Books &w) -> Act {
             const int e = w.posted();
             return [=, &w]() -> QVariant {
                 return call(*w.a, "ReviewVouchers", {QString::number(e), false});
             };
         }},
        {"sign without a cash line", "不需要出纳签字",
         [](Books &w) -> Act {
             const int e = w.save(*w.a, QStringLiteral("转"), QDate(2024, 3, 5),
                                  pair(Receivable, RevenueA, 100, 1));
             return [=, &w]() -> QVariant {
                 return call(*w.c, "SignVouchers", {QString::number(e), true});
             };
         }},
        {"sign after review with flag 11", "不允许审核后出纳签字",
         [](Books &w) -> Act {
             const int e = w.save(*w.a, QStringLiteral("收"), QDate(2024, 3, 5),
                                  pair(BankIcbc, RevenueA, 100));
             call(*w.b, "ReviewVouchers", {QString::number(e), true});
             setFinanceFlags(*w.a, {8, 11});
             return [=, &w]() -> QVariant {
                 return call(*w.c, "SignVouchers", {QString::number(e), true});
             };
         }},
        {"post an unreviewed voucher", "尚未审核，不能记账",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             return [=, &w]() -> QVariant {
                 return call(*w.a, "PostVouchers", {202412, QString::number(e)});
             };
         }},
        {"post twice", "已经记账，不能重复记账",
         [](Books &w) -> Act {
             const int e = w.posted();
             return [=, &w]() -> QVariant {
                 return call(*w.a, "PostVouchers", {202412, QString::number(e)});
             };
         }},
        {"post without the cashier's signature (flag 10)", "尚未出纳签字",
         [](Books &w) -> Act {
             const int e = w.save(*w.a, QStringLiteral("收"), QDate(2024, 3, 5),
                                  pair(BankIcbc, RevenueA, 100));
             call(*w.b, "ReviewVouchers", {QString::number(e), true});
             setFinanceFlags(*w.a, {8, 10});
             return [=, &w]() -> QVariant {
                 return call(*w.a, "PostVouchers", {202412, QString()});
             };
         }},
        {"post with unbalanced openings", "期初余额试算不平衡，不能记账。",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             call(*w.b, "ReviewVouchers", {QString::number(e), true});
             ledgerSql(w.db(), QStringLiteral("INSERT INTO GLOpening (AcctID, DacvID, CurrCode, "
                                              "Balance, YtdDebit, YtdCredit) VALUES "
                                              "(1, 0, '', 500, 0, 0), (7, 0, '', -500, 0, 100)"));
             return [=, &w]() -> QVariant {
                 return call(*w.a, "PostVouchers", {202412, QString()});
             };
         }},
        {"post into a closed period", "2024年第3期已结账",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             call(*w.b, "ReviewVouchers", {QString::number(e), true});
             ledgerSql(
                 w.db(),
                 QStringLiteral("UPDATE FINPostingPeriods SET GLPost = ? WHERE PeriodID = 202403"),
                 {1});
             return [=, &w]() -> QVariant {
                 return call(*w.a, "PostVouchers", {202412, QString()});
             };
         }},
        {"post without the right", "没有“凭证记账”的权限",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             call(*w.b, "ReviewVouchers", {QString::number(e), true});
             return [=, &w]() -> QVariant {
                 return call(*w.b, "PostVouchers", {202412, QString()});
             };
         }},
        {"reverse an unposted voucher", "尚未记账，不需要冲销",
         [](Books &w) -> Act {
             const int e = w.saveSimple(*w.a);
             return [=, &w]() -> QVariant {
                 return call(*w.a, "ReverseVoucher", {e, QDate(2024, 4, 2)});
             };
         }},
        {"reverse twice", "已经冲销过了",
         [](Books &w) -> Act {
             const int e = w.posted();
             call(*w.a, "ReverseVoucher", {e, QDate(2024, 4, 2)});
             return [=, &w]() -> QVariant {
                 return call(*w.a, "ReverseVoucher", {e, QDate(2024, 4, 3)});
             };
         }},
        {"reverse into a closed period", "2024年第10期已结账",
         [](Books &w) -> Act {
             const int e = w.posted();
             return [=, &w]() -> QVariant {
                 return call(*w.a, "ReverseVoucher", {e, QDate(2024, 10, 2)});
             };
         }},
    };
    return cases;
}

} // namespace

class TestLedger : public QObject
{
    Q_OBJECT

private slots:
    void refusals_data();
    void refusals();
    void randomSequencesKeepTheBooks();
    void reversalMakesALinkedRedVoucherAndLogsIt();
    void concurrentSavesNumberWithoutGapOrDuplicate();
};

void TestLedger::refusals_data()
{
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < refusalCases().size(); ++i)
        QTest::newRow(refusalCases()[i].name) << int(i);
}

void TestLedger::refusals()
{
    QFETCH(int, index);
    const RefusalCase &rc = refusalCases()[size_t(index)];
    Books w;
    const Act act = rc.prepare(w);
    const QStringList before = w.state();
    const QString message = refusal(act);
    QVERIFY2(
        message.contains(QString::fromUtf8(rc.message)),
        qPrintable(
            QStringLiteral("expected “%1”, got “%2”").arg(QString::fromUtf8(rc.message), message)));
    // All or nothing: the refused call left no trace, not even a log line.
    QCOMPARE(w.state(), before);
}

namespace {

// The invariants of the books (LedgerInvariants.h); each posted voucher as first seen
// must never change.
void checkBooks(QSqlDatabase db, LedgerInvariants &books, const QString &step)
{
    const QString broken = books.broken(db);
    if (!broken.isEmpty())
        QFAIL(qPrintable(QStringLiteral("%1: %2").arg(step, broken)));
}

// Random balanced lines on leaf accounts (items where the account asks), sometimes red.
QList<VLine> randomLines(QRandomGenerator &rng)
{
    const int leaves[] = {Cash, BankIcbc, Receivable, RevenueA, RevenueB, AdminOffice, Taxes};
    const int debits = 1 + int(rng.bounded(2)), credits = 1 + int(rng.bounded(2));
    const qint64 total = 100 + qint64(rng.bounded(1000000));
    const qint64 sign = rng.bounded(8) == 0 ? -1 : 1;
    QList<VLine> lines;
    const auto split = [&](int n, bool debit) {
        qint64 left = total;
        for (int i = 0; i < n; ++i) {
            const qint64 part = i == n - 1 ? left : 1 + qint64(rng.bounded(int(left - n + i)));
            left -= part;
            const int acct = leaves[rng.bounded(int(std::size(leaves)))];
            const int item = acct == Receivable    ? 1 + int(rng.bounded(2))
                             : acct == AdminOffice ? 3 + int(rng.bounded(2))
                                                   : 0;
            lines << VLine{acct, debit ? sign * part : 0, debit ? 0 : sign * part, item};
        }
    };
    split(debits, true);
    split(credits, false);
    return lines;
}

} // namespace

void TestLedger::randomSequencesKeepTheBooks()
{
    const quint32 seed = qEnvironmentVariableIsSet("VEXA_LEDGER_SEED")
                             ? quint32(qEnvironmentVariableIntValue("VEXA_LEDGER_SEED"))
                             : 20261207u;
    qInfo("seed %u (VEXA_LEDGER_SEED repeats a run)", seed);
    QRandomGenerator rng(seed);
    Books w;
    ServerConnection *users[] = {w.a.get(), w.b.get()};
    const QString words[] = {QStringLiteral("记"), QStringLiteral("收")};
    const auto randomDate = [&] {
        return QDate(2024, 2 + int(rng.bounded(3)), 1 + int(rng.bounded(28)));
    };
    const auto pick = [&](const char *where) -> int {
        const QStringList e = ledgerRows(
            w.db(), QStringLiteral("SELECT DocEntry FROM FINDocVoucher WHERE %1 ORDER BY DocEntry")
                        .arg(QLatin1String(where)));
        return e.isEmpty() ? 0 : e[int(rng.bounded(int(e.size())))].toInt();
    };
    LedgerInvariants books;
    std::set<int> entries;
    bool reused = false;
    int done = 0, refused = 0;
    const int steps = 300;
    for (int step = 0; step < steps; ++step) {
        ServerConnection &by = *users[rng.bounded(2)];
        ServerConnection &other = &by == w.a.get() ? *w.b : *w.a;
        const int kind = int(rng.bounded(12));
        QString what;
        const QString message = refusal([&]() -> QVariant {
            switch (kind) {
            case 0:
            case 1:
            case 2: { // a new voucher
                what = QStringLiteral("save");
                const QVariant saved = call(by, "SaveVoucher",
                                            {voucherHeader(0, words[rng.bounded(2)], randomDate()),
                                             voucherLines(randomLines(rng))});
                // A deleted voucher's key is never given again: its log lines name it.
                reused = !entries.insert(packetValue(answer(saved), 0, "DocEntry").toInt()).second;
                return saved;
            }
            case 3: { // an edit, perhaps to another word or period
                const int e = pick("1 = 1");
                what = QStringLiteral("edit %1").arg(e);
                return call(by, "SaveVoucher",
                            {voucherHeader(e, words[rng.bounded(2)], randomDate()),
                             voucherLines(randomLines(rng))});
            }
            case 4: {
                const int e = pick("1 = 1");
                what = QStringLiteral("delete %1").arg(e);
                return call(by, "DeleteVoucher", {e});
            }
            case 5:
            case 6:
            case 7: { // review by the other user, now and then by the maker (refused)
                const int e = pick("Status = 0");
                what = QStringLiteral("review %1").arg(e);
                return call(rng.bounded(6) == 0 ? by : other, "ReviewVouchers",
                            {QString::number(e), true});
            }
            case 8: {
                const int e = pick("Status = 1");
                what = QStringLiteral("unreview %1").arg(e);
                return call(by, "ReviewVouchers", {QString::number(e), false});
            }
            case 9:
            case 10: { // posting: everything up to a period, or one voucher (twice, refused)
                const bool all = rng.bounded(2) == 0;
                const int e = pick(rng.bounded(4) == 0 ? "Status >= 1" : "Status = 1");
                what = all ? QStringLiteral("post all") : QStringLiteral("post %1").arg(e);
                return call(*w.a, "PostVouchers",
                            {202402 + int(rng.bounded(3)), all ? QString() : QString::number(e)});
            }
            default: {
                const int e = pick("Status = 2");
                what = QStringLiteral("reverse %1").arg(e);
                return call(by, "ReverseVoucher", {e, randomDate()});
            }
            }
        });
        message.isEmpty() ? ++done : ++refused;
        QVERIFY2(!reused,
                 qPrintable(QStringLiteral("step %1: a voucher key was given twice").arg(step)));
        if (!message.isEmpty() && qEnvironmentVariableIsSet("VEXA_LEDGER_TRACE"))
            qInfo("%s: %s", qPrintable(what), qPrintable(message));
        checkBooks(w.db(), books,
                   QStringLiteral("step %1 (%2%3)")
                       .arg(step)
                       .arg(what, message.isEmpty() ? QString() : QStringLiteral(": ") + message));
        if (QTest::currentTestFailed())
            return;
    }
    qInfo("%d operations done, %d refused, %zu vouchers posted", done, refused, books.postedSeen());
    // The sequence did real work of every kind.
    QVERIFY(books.postedSeen() > 10);
    QVERIFY(
        !ledgerRows(w.db(), QStringLiteral("SELECT 1 FROM FINDocVoucher WHERE ReversesEntry > 0 "
                                           "AND Status = 2"))
             .isEmpty());
}

void TestLedger::reversalMakesALinkedRedVoucherAndLogsIt()
{
    Books w;
    w.a->setMachine(QStringLiteral("10.1.2.3:5000"));
    w.saveSimple(*w.a, QDate(2024, 4, 1)); // the red voucher's period has a number taken
    const int original = w.save(*w.a, QStringLiteral("收"), QDate(2024, 3, 5),
                                {VLine{BankIcbc, 12345, 0}, VLine{Receivable, 0, 12345, 2}});
    call(*w.b, "ReviewVouchers", {QString::number(original), true});
    call(*w.a, "PostVouchers", {202403, QString()});
    const DataPacket red = answer(call(*w.b, "ReverseVoucher", {original, QDate(2024, 4, 2)}));
    const int entry = packetValue(red, 0, "DocEntry").toInt();
    QCOMPARE(packetValue(red, 0, "NumCa").toString(), QStringLiteral("收"));
    QCOMPARE(packetValue(red, 0, "DocNum").toInt(), 1);
    QCOMPARE(packetValue(red, 0, "PeriodID").toInt(), 202404);
    QCOMPARE(packetValue(red, 0, "Status").toInt(), 0);
    QCOMPARE(packetValue(red, 0, "DebitTotal").toLongLong(), -12345);
    QCOMPARE(
        ledgerRows(w.db(), QStringLiteral("SELECT Summary, AcctID, DacvID, Debit, Credit FROM "
                                          "FINDocVoucherLine WHERE DocEntry = %1 ORDER BY LineNo")
                               .arg(entry)),
        (QStringList{QStringLiteral("注销3月5日收字第1号凭证|3|0|-12345|0"),
                     QStringLiteral("注销3月5日收字第1号凭证|4|2|0|-12345")}));
    QCOMPARE(ledgerRows(w.db(),
                        QStringLiteral("SELECT ReversedBy FROM FINDocVoucher WHERE DocEntry = %1")
                            .arg(original)),
             QStringList{QString::number(entry)});
    QCOMPARE(ledgerRows(w.db(), QStringLiteral("SELECT ReversesEntry, MakerID FROM FINDocVoucher "
                                               "WHERE DocEntry = %1")
                                    .arg(entry)),
             QStringList{QStringLiteral("%1|%2").arg(original).arg(w.b->session().userId)});
    // Each step's line names who, from where, what and which voucher.
    QCOMPARE(
        ledgerRows(w.db(), QStringLiteral("SELECT UserName, Machine, Action, ObjKey FROM "
                                          "OperationLog WHERE ObjKey = '%1' ORDER BY LogID")
                               .arg(original)),
        (QStringList{
            QStringLiteral("%1|10.1.2.3:5000|新增|%2").arg(w.a->session().userName).arg(original),
            QStringLiteral("%1|%2|审核|%3")
                .arg(w.b->session().userName, w.b->session().machine)
                .arg(original),
            QStringLiteral("%1|10.1.2.3:5000|记账|%2").arg(w.a->session().userName).arg(original),
            QStringLiteral("%1|%2|冲销|%3")
                .arg(w.b->session().userName, w.b->session().machine)
                .arg(original)}));
}

void TestLedger::concurrentSavesNumberWithoutGapOrDuplicate()
{
    Books w;
    constexpr int perThread = 25;
    QStringList failures[2];
    const auto saver = [&](int t) {
        // Each thread its own connection, made and closed in that thread.
        auto c = w.f.connect(t == 0 ? "Manager" : "clerk", t == 0 ? "manager" : "clerk");
        for (int i = 0; i < perThread; ++i) {
            const QString message = refusal([&] {
                return call(*c, "SaveVoucher",
                            {voucherHeader(0, QStringLiteral("记"), QDate(2024, 5, 10 + t)),
                             voucherLines(pair(Cash, RevenueA, 100 + i))});
            });
            if (!message.isEmpty())
                failures[t] << message;
        }
    };
    std::thread first(saver, 0), second(saver, 1);
    first.join();
    second.join();
    QVERIFY2(failures[0].isEmpty() && failures[1].isEmpty(),
             qPrintable((failures[0] + failures[1]).join(u'\n')));
    const QStringList numbers = ledgerRows(
        w.db(), QStringLiteral("SELECT DocNum FROM FINDocVoucher WHERE PeriodID = 202405 "
                               "AND NumCa = '记' ORDER BY DocNum"));
    QStringList expected;
    for (int n = 1; n <= 2 * perThread; ++n)
        expected << QString::number(n);
    QCOMPARE(numbers, expected);
}

QTEST_GUILESS_MAIN(TestLedger)
#include "tst_ledger.moc"
