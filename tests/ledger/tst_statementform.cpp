// 资产负债表 (and 利润表, the same window) against the in-process server: the period chosen,
// the lines, the balance check naming the account no line takes, export and a refusal.
#include "LedgerWindow.h"
#include "StatementForm.h"

#include "MessageDialogs.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace vexa;
using namespace vexa::ledger;
using namespace vexa::test;

class TestStatementForm : public QObject
{
    Q_OBJECT

private slots:
    void balanceSheet();
    void handEnteredLine();
};

namespace {

// A balance sheet of four lines over cash, bank and taxes, with 2024.03 posted.
void setUpSheet(LedgerWindowSession &s)
{
    QSqlDatabase db = s.session->connection->database();
    ledgerSql(db, QStringLiteral("UPDATE T0102010 SET DC = 'C' WHERE AcctID = %1").arg(Taxes));
    ledgerSql(db, QStringLiteral("INSERT INTO T0200096 (TempletID, TempletCode, TempletName, "
                                 "TempletType) VALUES (1, '会企01表', '资产负债表', 1)"));
    ledgerSql(db, QStringLiteral("INSERT INTO T0200097 (TempletID, ItemID, SortNo, ItemLine, "
                                 "ItemName, ItemType, Indent) VALUES "
                                 "(1, 1, 1, 1, '货币资金', 1, 1), (1, 2, 2, 2, '资产总计', 2, 0), "
                                 "(1, 3, 3, 3, '应交税费', 1, 1), "
                                 "(1, 4, 4, 4, '负债和所有者权益总计', 2, 0)"));
    ledgerSql(db, QStringLiteral("INSERT INTO T0200098 (TempletID, ItemID, ItemAcctCode, "
                                 "FetchType, Operator, AcctID) VALUES (1, 1, '1001', 'QM', '+', "
                                 "%1), (1, 1, '1002', 'QM', '+', %2), (1, 3, '2221', 'QM', '+', "
                                 "%3)")
                      .arg(Cash)
                      .arg(Bank)
                      .arg(Taxes));
    ledgerSql(db, QStringLiteral("INSERT INTO T0200099 (TempletID, ItemID, SumItemID, Operator) "
                                 "VALUES (1, 2, 1, '+'), (1, 4, 3, '+')"));
    ledgerSql(db, QStringLiteral("INSERT INTO GLOpening (AcctID, DacvID, CurrCode, Balance, "
                                 "YtdDebit, YtdCredit) VALUES (%1, 0, '', 100000, 0, 0), "
                                 "(%2, 0, '', -100000, 0, 0)")
                      .arg(Cash)
                      .arg(Taxes));
    auto clerk = s.other();
    QVariantList save{voucherHeader(0, QStringLiteral("记"), QDate(2024, 3, 5)),
                      voucherLines({{BankIcbc, 50000, 0}, {RevenueA, 0, 50000}})};
    const DataPacket saved =
        readDataPacket(clerk->call(QStringLiteral("SaveVoucher"), save).toString());
    QVariantList review{saved.rows.front().value(0).toString(), true};
    s.session->connection->call(QStringLiteral("ReviewVouchers"), review);
    QVariantList post{202412, QString()};
    s.session->connection->call(QStringLiteral("PostVouchers"), post);
}

} // namespace

void TestStatementForm::balanceSheet()
{
    LedgerWindowSession s;
    setUpSheet(s);
    TBalanceSheetForm form;
    QVariant p3;
    form.Execute(0, QString(), p3);
    auto *period = form.findChild<QComboBox *>(QStringLiteral("cbPeriod"));
    auto *grid = form.findChild<QTableWidget *>(QStringLiteral("grdStatement"));
    auto *check = form.findChild<QLabel *>(QStringLiteral("lbCheck"));
    // The latest posted period is chosen; one template of the type: no template choice.
    QCOMPARE(period->currentText(), QStringLiteral("2024.03"));
    QVERIFY(form.findChild<QComboBox *>(QStringLiteral("cbTemplet"))->isHidden());
    QCOMPARE(grid->rowCount(), 4);
    QCOMPARE(grid->item(0, 2)->text(), QStringLiteral("1,500.00"));
    QCOMPARE(grid->item(0, 3)->text(), QStringLiteral("1,000.00"));
    QCOMPARE(grid->item(3, 2)->text(), QStringLiteral("1,000.00"));
    // The revenue of the period is in no line: the sheet says so and names the account.
    QVERIFY2(check->text().contains(QStringLiteral("500.00")), qPrintable(check->text()));
    QVERIFY2(check->text().contains(QStringLiteral("6001 主营业务收入")),
             qPrintable(check->text()));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zcfzb.csv"));
    s.dialogs.answerFiles({path});
    form.findChild<QPushButton *>(QStringLiteral("btnExport"))->click();
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString csv = QString::fromUtf8(f.readAll());
    QVERIFY2(csv.contains(QStringLiteral("货币资金,1,\"1,500.00\",\"1,000.00\"")), qPrintable(csv));
    QVERIFY(csv.contains(QStringLiteral("测试公司")));

    // A period before the ledger's start: the server's reason is shown, nothing listed.
    s.messages();
    s.dialogs.answer(gl::mrOk);
    period->setCurrentText(QStringLiteral("2024.01"));
    QCOMPARE(grid->rowCount(), 0);
    const QStringList shown = s.messages();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.front().contains(QStringLiteral("启用期间")), qPrintable(shown.front()));
}

// A line filled in by hand: a refused text, the question on leaving, 保存 and the sum after.
void TestStatementForm::handEnteredLine()
{
    LedgerWindowSession s;
    setUpSheet(s);
    QSqlDatabase db = s.session->connection->database();
    ledgerSql(db, QStringLiteral("INSERT INTO T0200097 (TempletID, ItemID, SortNo, ItemLine, "
                                 "ItemName, ItemType, Indent) VALUES (1, 5, 1, 5, '其他', 3, 1)"));
    ledgerSql(db, QStringLiteral("INSERT INTO T0200099 (TempletID, ItemID, SumItemID, Operator) "
                                 "VALUES (1, 2, 5, '+')"));
    TBalanceSheetForm form;
    QVariant p3;
    form.Execute(0, QString(), p3);
    auto *period = form.findChild<QComboBox *>(QStringLiteral("cbPeriod"));
    auto *grid = form.findChild<QTableWidget *>(QStringLiteral("grdStatement"));
    auto *save = form.findChild<QPushButton *>(QStringLiteral("btnSave"));
    QCOMPARE(grid->item(1, 0)->text().trimmed(), QStringLiteral("其他"));
    QCOMPARE(grid->item(2, 2)->text(), QStringLiteral("1,500.00")); // 资产总计

    s.messages();
    s.dialogs.answer(gl::mrOk);
    grid->item(1, 2)->setText(QStringLiteral("12.345"));
    QCOMPARE(s.messages().size(), 1);
    QCOMPARE(grid->item(1, 2)->text(), QString());
    QVERIFY(!save->isEnabled());
    grid->item(1, 2)->setText(QStringLiteral("200"));
    QCOMPARE(grid->item(1, 2)->text(), QStringLiteral("200.00"));
    QVERIFY(save->isEnabled());

    // Another period with the change unsaved: 取消 stays on it, the change kept.
    s.dialogs.answer(gl::mrCancel);
    period->setCurrentText(QStringLiteral("2024.04"));
    QCOMPARE(period->currentText(), QStringLiteral("2024.03"));
    QCOMPARE(grid->item(1, 2)->text(), QStringLiteral("200.00"));

    save->click();
    QVERIFY(!save->isEnabled());
    QCOMPARE(grid->item(1, 2)->text(), QStringLiteral("200.00"));
    QCOMPARE(grid->item(2, 2)->text(), QStringLiteral("1,700.00"));
    // The period's figure, not the next one's.
    period->setCurrentText(QStringLiteral("2024.04"));
    QCOMPARE(grid->item(1, 2)->text(), QString());
}

QTEST_MAIN(TestStatementForm)
#include "tst_statementform.moc"
