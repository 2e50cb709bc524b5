// The voucher as the window holds it: totals, the "=" key, repeated summaries, the checks
// the server makes again, and the packets SaveVoucher reads.
#include "VoucherDraft.h"

#include "VoucherRules.h"

#include <vexa/Error.h>

#include <QTest>

using namespace vexa;
using namespace vexa::ledger;

namespace {

VoucherLineDraft line(const char *summary, int acct, qint64 debit, qint64 credit, int list = 0,
                      int item = 0)
{
    VoucherLineDraft l;
    l.summary = QString::fromUtf8(summary);
    l.acctId = acct;
    l.acctCode = QString::number(1000 + acct);
    l.acctName = QStringLiteral("科目%1").arg(acct);
    l.itemList = list;
    l.dacvId = item;
    l.debit = debit;
    l.credit = credit;
    return l;
}

VoucherDraft balancedDraft()
{
    VoucherDraft d;
    d.numCa = QStringLiteral("记");
    d.docDate = QDate(2024, 3, 5);
    d.attachments = 2;
    d.lines = {line("收到货款", 1, 11700, 0), line("收到货款", 7, 0, 10000),
               line("收到货款", 12, 0, 1700)};
    return d;
}

} // namespace

class TestVoucherDraft : public QObject
{
    Q_OBJECT

private slots:
    void fillBalance()
    {
        VoucherDraft d = balancedDraft();
        QVERIFY(d.balanced());
        QCOMPARE(d.debitTotal(), 11700);
        QCOMPARE(d.creditTotal(), 11700);

        // The debit grows: the last line takes the difference on the credit side.
        d.lines[0].debit = 12000;
        QCOMPARE(d.difference(), 300);
        QVERIFY(d.fillBalance(2));
        QCOMPARE(d.lines[2].credit, 2000);
        QCOMPARE(d.lines[2].debit, 0);
        QVERIFY(d.balanced());

        // A new line where credits exceed: it takes the debit, whatever it held before.
        d.lines[0].debit = 0;
        d.lines[0].credit = 500;
        const int row = d.appendLine();
        d.lines[row].credit = 99;
        QVERIFY(d.fillBalance(row));
        QCOMPARE(d.lines[row].debit, 12500);
        QCOMPARE(d.lines[row].credit, 0);
        QVERIFY(d.balanced());
        QVERIFY(!d.fillBalance(row)); // nothing left to fill
        QVERIFY(!d.fillBalance(99));
    }

    void newLinesRepeatSummary()
    {
        VoucherDraft d = balancedDraft();
        d.lines[1].summary = QStringLiteral("销售甲产品");
        QCOMPARE(d.insertLine(2), 2);
        QCOMPARE(d.lines[2].summary, QStringLiteral("销售甲产品"));
        QVERIFY(d.lines[2].isBlank());
        QCOMPARE(d.appendLine(), 4);
        QCOMPARE(d.lines[4].summary, QStringLiteral("收到货款"));
        QCOMPARE(d.insertLine(0), 0);
        QCOMPARE(d.lines[0].summary, QString());
        d.removeLine(0);
        QCOMPARE(d.lines.size(), 5);
    }

    void validate_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::newRow("balanced") << 0 << QString();
        QTest::newRow("blank lines are left out") << 1 << QString();
        QTest::newRow("no word") << 2 << QStringLiteral("请选择凭证字。");
        QTest::newRow("no account") << 3 << QStringLiteral("第 3 行：请填写会计科目。");
        QTest::newRow("both sides")
            << 4 << QStringLiteral("第 2 行：借方金额和贷方金额要填一个，且只能填一个。");
        QTest::newRow("no amount")
            << 5 << QStringLiteral("第 3 行：借方金额和贷方金额要填一个，且只能填一个。");
        QTest::newRow("item missing")
            << 6 << QStringLiteral("第 1 行：科目“1001 科目1”要做辅助核算，请选择核算项目。");
        QTest::newRow("not balanced")
            << 7 << QStringLiteral("借贷不平衡：借方合计 117.01，贷方合计 117.00，相差 0.01。");
        QTest::newRow("one line") << 8 << QStringLiteral("凭证至少要有两条分录。");
        QTest::newRow("no summary") << 9 << QStringLiteral("第 2 行：请填写摘要。");
        QTest::newRow("zero total") << 10 << QStringLiteral("凭证的金额合计不能为零。");
        QTest::newRow("no date") << 11 << QStringLiteral("请填写凭证日期。");
    }

    void validate()
    {
        QFETCH(int, change);
        QFETCH(QString, message);
        VoucherDraft d = balancedDraft();
        switch (change) {
        case 1:
            d.appendLine();
            d.lines.insert(1, VoucherLineDraft{});
            break;
        case 2:
            d.numCa = QStringLiteral(" ");
            break;
        case 3:
            d.lines[2].acctId = 0;
            break;
        case 4:
            d.lines[1].debit = 1;
            break;
        case 5:
            d.lines[2].credit = 0;
            d.lines[1].credit = 11700;
            break;
        case 6:
            d.lines[0].itemList = 1;
            break;
        case 7:
            d.lines[0].debit += 1;
            break;
        case 8:
            d.lines = {d.lines[0]};
            break;
        case 9:
            d.lines[1].summary = QStringLiteral("  ");
            break;
        case 10:
            d.lines[0].debit = -100;
            d.lines[1].credit = 0;
            d.lines[1].debit = 100;
            d.lines[2].credit = 0;
            d.lines[2].debit = 0;
            d.lines[2].credit = 0;
            d.lines[2].acctId = 0;
            break;
        case 11:
            d.docDate = QDate();
            break;
        }
        try {
            d.validate();
            QVERIFY2(message.isEmpty(), "accepted");
        } catch (const Error &e) {
            QCOMPARE(e.message(), message);
        }
    }

    // The packets are what the server reads: its own reader and checks accept them, blank
    // lines left out, amounts in fen.
    void packetsAsTheServerReadsThem()
    {
        VoucherDraft d = balancedDraft();
        d.docEntry = 7;
        d.lines[1].dacvId = 3;
        d.appendLine(); // a blank line with a repeated summary
        const server::VoucherHeader h = server::readVoucherHeader(d.headerPacket());
        QCOMPARE(h.docEntry, 7);
        QCOMPARE(h.numCa, QStringLiteral("记"));
        QCOMPARE(h.docDate, QDate(2024, 3, 5));
        QCOMPARE(h.attachments, 2);
        const QList<server::VoucherLine> lines = server::readVoucherLines(d.linesPacket());
        QCOMPARE(lines.size(), 3);
        QCOMPARE(server::checkVoucherLines(lines), 11700);
        QCOMPARE(lines[0].acctId, 1);
        QCOMPARE(lines[0].debit, 11700);
        QCOMPARE(lines[1].credit, 10000);
        QCOMPARE(lines[1].dacvId, 3);
        QCOMPARE(lines[2].summary, QStringLiteral("收到货款"));
    }
};

QTEST_GUILESS_MAIN(TestVoucherDraft)
#include "tst_voucherdraft.moc"
