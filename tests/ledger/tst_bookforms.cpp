// The 科目余额表, 余额试算平衡表, 明细分类账 and the auxiliary item books driven by their
// component names on a set with posted vouchers: what they show, drilling down, pages and
// the CSV export.
#include "AccountBalanceForm.h"
#include "DataPacket.h"
#include "DetailLedgerForm.h"
#include "GeneralLedgerForm.h"
#include "ItemBalanceForm.h"
#include "LedgerWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace vexa;
using namespace vexa::ledger;
using namespace vexa::test;

namespace {

// count vouchers of cash against revenue, one per day from 2024-03-01 on, made by clerk,
// reviewed by the administrator and posted.
struct Books : LedgerWindowSession
{
    std::unique_ptr<server::ServerConnection> clerk = other();
    QList<int> entries;

    explicit Books(int count)
    {
        for (int i = 0; i < count; ++i) {
            QVariantList args{voucherHeader(0, QStringLiteral("记"), QDate(2024, 3, 1).addDays(i)),
                              voucherLines({{Cash, 100 + i, 0, 0, QStringLiteral("收款%1").arg(i)},
                                            {RevenueA, 0, 100 + i, 0}})};
            const DataPacket p =
                readDataPacket(clerk->call(QStringLiteral("SaveVoucher"), args).toString());
            entries
                << p.rows.front().value(indexOfField(p.fields, QStringLiteral("DocEntry"))).toInt();
        }
        QStringList list;
        for (int e : entries)
            list << QString::number(e);
        QVariantList review{list.join(u','), true};
        session->connection->call(QStringLiteral("ReviewVouchers"), review);
        QVariantList post{202412, list.join(u',')};
        session->connection->call(QStringLiteral("PostVouchers"), post);
    }
};

QString cell(QTableView *grid, int row, int column)
{
    return grid->model()->index(row, column).data().toString();
}

void choose(QWidget &form, const char *combo, int periodId)
{
    auto *c = form.findChild<QComboBox *>(QString::fromLatin1(combo));
    c->setCurrentIndex(c->findData(periodId));
}

void click(QWidget &form, const char *button)
{
    form.findChild<QPushButton *>(QString::fromLatin1(button))->click();
}

// With VEXA_SCREENSHOTS=DIR the window is saved there as it stands (docs/screenshots).
void shoot(QWidget &form, const char *file)
{
    const QString dir = qEnvironmentVariable("VEXA_SCREENSHOTS");
    if (!dir.isEmpty())
        form.grab().save(dir + QLatin1Char('/') + QLatin1String(file));
}

} // namespace

class TestBookForms : public QObject
{
    Q_OBJECT

private slots:
    void accountBalances()
    {
        Books b(3); // 100 + 101 + 102 fen in March
        TAccountBalanceForm form;
        QVariant p3;
        form.Execute(0, QString(), p3);
        choose(form, "cbFromPeriod", 202403);
        choose(form, "cbToPeriod", 202403);
        click(form, "btnQuery");
        auto *grid = form.findChild<QTableView *>(QStringLiteral("grdBalances"));
        // Cash, revenue with its two parents, and the totals; nothing for untouched accounts.
        QCOMPARE(grid->model()->rowCount(), 5);
        QCOMPARE(cell(grid, 0, 0), QStringLiteral("1001"));
        QCOMPARE(cell(grid, 0, 4), QStringLiteral("3.03")); // 本期借方
        QCOMPARE(cell(grid, 4, 1), QStringLiteral("合计"));
        QCOMPARE(cell(grid, 4, 5), QStringLiteral("3.03")); // 本期贷方
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lbBalanced"))->text(),
                 QStringLiteral("试算结果平衡"));

        // 显示零余额 lists every account.
        form.findChild<QCheckBox *>(QStringLiteral("chkZero"))->setChecked(true);
        click(form, "btnQuery");
        QCOMPARE(grid->model()->rowCount(), 12 + 1);

        // A double click opens the 明细分类账 of the account for the range.
        grid->setCurrentIndex(grid->model()->index(0, 0));
        b.session->calls.clear();
        QMetaObject::invokeMethod(grid, "doubleClicked", Q_ARG(QModelIndex, grid->currentIndex()));
        QCOMPARE(b.session->calls.filter(QStringLiteral("OpenModule")),
                 QStringList{QStringLiteral("OpenModule:GLMXFLZ:0:1:Range 202403 202403:")});

        // 导出: the rows as shown, with the company and the range.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kmyeb.csv"));
        b.dialogs.answerFiles({path});
        click(form, "btnExport");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(f.readAll().mid(3)).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.value(1), QStringLiteral("单位：测试公司,期间：2024.03"));
        QCOMPARE(lines.value(3).section(u',', 0, 1), QStringLiteral("1001,库存现金"));
        QCOMPARE(lines.size(), 3 + 13 + 1);
    }

    void trialBalance()
    {
        Books b(1);
        TTrialBalanceForm form;
        QVariant p3;
        form.Execute(0, QString(), p3);
        choose(form, "cbFromPeriod", 202402);
        choose(form, "cbToPeriod", 202412);
        click(form, "btnQuery");
        auto *grid = form.findChild<QTableView *>(QStringLiteral("grdBalances"));
        QCOMPARE(grid->model()->rowCount(), 3); // 1001, 6001, totals
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lbBalanced"))->text(),
                 QStringLiteral("试算结果平衡"));
        // Books put out of balance behind the server's back show 不平衡.
        ledgerSql(b.session->connection->database(),
                  QStringLiteral("UPDATE GLBalance SET Debit = Debit + 1 WHERE AcctID = 1"));
        click(form, "btnQuery");
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lbBalanced"))->text(),
                 QStringLiteral("试算结果不平衡"));
    }

    // 总分类账 of a parent: its sub-accounts' movement, the balance carried to the next period.
    void generalLedger()
    {
        Books b(2); // 1.00 + 1.01 credited to 60010101 in March
        TGeneralLedgerForm form;
        QVariant p3;
        form.Execute(0, QString(), p3);
        form.findChild<QLineEdit *>(QStringLiteral("edAccount"))->setText(QStringLiteral("6001"));
        choose(form, "cbFromPeriod", 202402);
        choose(form, "cbToPeriod", 202404);
        click(form, "btnQuery");
        auto *grid = form.findChild<QTableView *>(QStringLiteral("grdPeriods"));
        QCOMPARE(grid->model()->rowCount(), 3);
        QCOMPARE(cell(grid, 1, 4), QStringLiteral("2.01")); // March 本期贷方
        QCOMPARE(cell(grid, 1, 7) + cell(grid, 1, 8), QStringLiteral("贷2.01"));
        QCOMPARE(cell(grid, 2, 1) + cell(grid, 2, 2), QStringLiteral("贷2.01")); // April 期初
        QCOMPARE(cell(grid, 2, 6), QStringLiteral("2.01")); // April 本年累计贷方
        grid->setCurrentIndex(grid->model()->index(1, 0));
        b.session->calls.clear();
        QMetaObject::invokeMethod(grid, "doubleClicked", Q_ARG(QModelIndex, grid->currentIndex()));
        QCOMPARE(
            b.session->calls.filter(QStringLiteral("OpenModule")),
            QStringList{
                QStringLiteral("OpenModule:GLMXFLZ:0:%1:Range 202403 202403:").arg(int(Revenue))});
    }

    void detailLedgerPages()
    {
        Books b(110); // 110 lines in March-June: more than one page
        TDetailLedgerForm form;
        QVariant p3;
        form.Execute(Cash, QStringLiteral("Range 202402 202412"), p3);
        auto *grid = form.findChild<QTableView *>(QStringLiteral("grdLines"));
        auto *page = form.findChild<QLabel *>(QStringLiteral("lbPage"));
        QCOMPARE(form.findChild<QLineEdit *>(QStringLiteral("edAccount"))->text(),
                 QStringLiteral("1001"));
        QCOMPARE(grid->model()->rowCount(), TDetailLedgerForm::kPageRows);
        // 1 opening + 110 lines + 11 periods × 2 subtotal lines.
        QCOMPARE(page->text(), QStringLiteral("第 1 页 共 2 页"));
        QCOMPARE(cell(grid, 0, 2), QStringLiteral("期初余额"));
        const DetailRow lastOfFirst = form.rows().last();
        click(form, "btnNextPage");
        QCOMPARE(page->text(), QStringLiteral("第 2 页 共 2 页"));
        QCOMPARE(grid->model()->rowCount(), 1 + 110 + 22 - 100);
        // The balance runs on across the page.
        const DetailRow first = form.rows().first();
        const qint64 before =
            lastOfFirst.side == u"贷" ? -lastOfFirst.balance : lastOfFirst.balance;
        const qint64 moved = first.rowType == 1 ? first.debit - first.credit : 0;
        QCOMPARE(first.balance, before + moved);
        QVERIFY(!form.findChild<QPushButton *>(QStringLiteral("btnNextPage"))->isEnabled());
        // The last line: every posted fen of the range.
        qint64 total = 0;
        for (int i = 0; i < 110; ++i)
            total += 100 + i;
        QCOMPARE(form.rows().last().balance, total);

        // A line opens its voucher.
        int line = 0;
        while (form.rows()[line].rowType != 1)
            ++line;
        grid->setCurrentIndex(grid->model()->index(line, 0));
        b.session->calls.clear();
        QMetaObject::invokeMethod(grid, "doubleClicked", Q_ARG(QModelIndex, grid->currentIndex()));
        QCOMPARE(b.session->calls.filter(QStringLiteral("OpenModule")),
                 QStringList{QStringLiteral("OpenModule:GLPZLR:0:%1:DocEntry:")
                                 .arg(form.rows()[line].docEntry)});

        // An unknown code is refused with a message, the grid kept.
        form.findChild<QLineEdit *>(QStringLiteral("edAccount"))->setText(QStringLiteral("9999"));
        b.messages();
        b.dialogs.answer(QDialog::Accepted);
        click(form, "btnQuery");
        QCOMPARE(b.messages(), QStringList{QStringLiteral("科目代码“9999”不存在。")});
    }

    // 辅助核算项目余额表 → 辅助核算项目明细账 of one customer, and the accounts refused.
    void itemBooks()
    {
        LedgerWindowSession s;
        auto clerk = s.other();
        QVariantList save{
            voucherHeader(0, QStringLiteral("记"), QDate(2024, 3, 5)),
            voucherLines({{Receivable, 300, 0, 1}, {Receivable, 200, 0, 2}, {RevenueA, 0, 500}})};
        const DataPacket saved =
            readDataPacket(clerk->call(QStringLiteral("SaveVoucher"), save).toString());
        QVariantList review{saved.rows.front().value(0).toString(), true};
        s.session->connection->call(QStringLiteral("ReviewVouchers"), review);
        QVariantList post{202412, QString()};
        s.session->connection->call(QStringLiteral("PostVouchers"), post);

        TItemBalanceForm form;
        QVariant p3;
        form.Execute(0, QString(), p3);
        choose(form, "cbFromPeriod", 202403);
        choose(form, "cbToPeriod", 202403);
        auto *code = form.findChild<QLineEdit *>(QStringLiteral("edAccount"));
        const struct
        {
            const char *code, *refusal;
        } refused[] = {{"6001", "科目“6001 主营业务收入”不是明细科目"},
                       {"1001", "科目“1001 库存现金”没有辅助核算"}};
        for (const auto &r : refused) {
            code->setText(QString::fromUtf8(r.code));
            s.messages();
            s.dialogs.answer(QDialog::Accepted);
            click(form, "btnQuery");
            const QStringList shown = s.messages();
            QVERIFY2(shown.size() == 1 && shown[0].startsWith(QString::fromUtf8(r.refusal)),
                     qPrintable(shown.join(u'|')));
        }

        // Chosen from the accounts with a list: both customers and their 合计.
        auto *accounts = form.findChild<QComboBox *>(QStringLiteral("cbItemAccount"));
        const int at = accounts->findData(QStringLiteral("1122"));
        QVERIFY(at > 0);
        QVERIFY(accounts->findData(QStringLiteral("1001")) < 0);
        accounts->setCurrentIndex(at);
        emit accounts->activated(at);
        auto *grid = form.findChild<QTableView *>(QStringLiteral("grdBalances"));
        QCOMPARE(grid->model()->rowCount(), 3);
        QCOMPARE(cell(grid, 1, 1), QStringLiteral("乙客户"));
        QCOMPARE(cell(grid, 1, 4), QStringLiteral("2.00")); // 本期借方
        QCOMPARE(cell(grid, 2, 1), QStringLiteral("合计"));
        QCOMPARE(cell(grid, 2, 8), QStringLiteral("5.00")); // 期末借方
        form.resize(1100, 420);
        shoot(form, "GLFZYEB.png");

        grid->setCurrentIndex(grid->model()->index(1, 0));
        s.session->calls.clear();
        QMetaObject::invokeMethod(grid, "doubleClicked", Q_ARG(QModelIndex, grid->currentIndex()));
        QCOMPARE(s.session->calls.filter(QStringLiteral("OpenModule")),
                 QStringList{QStringLiteral("OpenModule:GLFZMXZ:0:%1:Range 202403 202403 2:")
                                 .arg(int(Receivable))});

        // The ledger opened that way: the one customer's line, and the export the same.
        TItemLedgerForm ledger;
        ledger.Execute(Receivable, QStringLiteral("Range 202403 202403 2"), p3);
        QCOMPARE(ledger.findChild<QComboBox *>(QStringLiteral("cbItem"))->currentText(),
                 QStringLiteral("C02 乙客户"));
        QCOMPARE(ledger.rows().size(), 4); // 期初, the line, 本期合计, 本年累计
        QCOMPARE(ledger.rows()[1].debit, 200);
        QCOMPARE(ledger.rows()[3].balance, 200);
        ledger.resize(1100, 420);
        shoot(ledger, "GLFZMXZ.png");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("fzmxz.csv"));
        s.dialogs.answerFiles({path});
        click(ledger, "btnExport");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString csv = QString::fromUtf8(f.readAll());
        QVERIFY2(csv.contains(QStringLiteral("2.00")) && !csv.contains(QStringLiteral("3.00")),
                 qPrintable(csv));
    }
};

QTEST_MAIN(TestBookForms)
#include "tst_bookforms.moc"
