// 科目期初余额 driven by its components on a set with the A01000 chart: amounts on the
// account's side, customers through the items dialog, parents summed live, the trial
// balance the server computes the same, the lock after a posting.
#include "OpeningBalanceForm.h"

#include "ClientDataSet.h"
#include "DataPacket.h"
#include "Globals.h"
#include "MessageDialogs.h"

#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TemplateChart.h"
#include "support/TestSupport.h"

#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTest>

using namespace vexa;
using namespace vexa::ledger;
using namespace vexa::test;

namespace {

using S = QString;

void sql(server::ServerConnection &c, const QString &text)
{
    QSqlQuery q(c.database());
    QVERIFY2(q.exec(text), qPrintable(text));
}

int rowOf(QTableWidget *grid, const char *code)
{
    for (int r = 0; r < grid->rowCount(); ++r)
        if (grid->item(r, TOpeningBalanceForm::ColCode)->text() == QLatin1String(code))
            return r;
    return -1;
}

QString shown(QTableWidget *grid, const char *code, int column)
{
    return grid->item(rowOf(grid, code), column)->text();
}

void type(QTableWidget *grid, const char *code, const QString &text)
{
    grid->item(rowOf(grid, code), TOpeningBalanceForm::ColBalance)->setText(text);
}

} // namespace

class TestOpeningBalanceForm : public QObject
{
    Q_OBJECT

    PluginSession<> m_session;

private slots:
    void initTestCase();
    void entriesSumAndBalanceAsTheServerSays();
};

void TestOpeningBalanceForm::initTestCase()
{
    auto &c = *m_session->connection;
    const TemplateChart chart = templateChart(c);
    insertRows(c, S("LX_DMAccounting"), readDataPacket(chart.accounts));
    insertRows(c, S("LX_DMAccttype"), readDataPacket(chart.types));
    for (int no = 1; no <= 12; ++no)
        sql(c, S("INSERT INTO FINPostingPeriods (PeriodID, Year, No, PeriodCode, PeriodName, "
                 "PostingFrom, PostingTo, Active, Locked, GLPost) VALUES (%1, 2025, %2, "
                 "'2025.%2', '2025年第%2期', '2025-%3-01', '2025-%3-28', 'Y', 'N', 0)")
                   .arg(202500 + no)
                   .arg(no)
                   .arg(no, 2, 10, QChar(u'0')));
    sql(c, S("INSERT INTO SysInitInfo (DefID, UseOrg, SysCur, CurrName, AcctTempDesc, "
             "GLStartPeriodID) VALUES (1, '测试公司', 'RMB', '人民币', 'A01000', 202501)"));
    sql(c, S("INSERT INTO T0102053 (DacvID, ACheckID, DacvCode, DacvDesc, Levels, IsNode, Frozen) "
             "VALUES (101, 1, 'K01', '甲公司', 1, 1, 0), (102, 1, 'K02', '乙公司', 1, 1, 0)"));
    sql(c, S("UPDATE T0102010 SET ACItemID = 1 WHERE AcctCode = '1122'"));
}

void TestOpeningBalanceForm::entriesSumAndBalanceAsTheServerSays()
{
    ScriptedDialogs dialogs;
    TOpeningBalanceForm form;
    auto *grid = child<QTableWidget>(form, S("grdOpening"));
    QVERIFY(rowOf(grid, "101201") > rowOf(grid, "1012"));
    // A January start: no year-to-date columns.
    QVERIFY(grid->isColumnHidden(TOpeningBalanceForm::ColYtdDebit));

    type(grid, "1001", S("1,000.00"));
    type(grid, "2001", S("600")); // a credit account: 600.00 on its credit side
    type(grid, "101201", S("50"));
    type(grid, "101202", S("-20.5")); // the other side: shown negative
    QCOMPARE(shown(grid, "1012", TOpeningBalanceForm::ColBalance), S("29.50"));
    QCOMPARE(shown(grid, "2001", TOpeningBalanceForm::ColSide), S("贷"));

    // An amount that is no amount is refused and the cell shows what it held.
    dialogs.answer(gl::mrOk);
    type(grid, "1001", S("12.345"));
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(shown(grid, "1001", TOpeningBalanceForm::ColBalance), S("1,000.00"));

    // 1122 takes its openings per customer; its own cells are not for typing.
    QVERIFY(!(grid->item(rowOf(grid, "1122"), TOpeningBalanceForm::ColBalance)->flags() &
              Qt::ItemIsEditable));
    dialogs.answerWith([](QDialog &d) {
        auto *items = d.findChild<QTableWidget *>(S("grdItems"));
        items->item(0, 2)->setText(S("300"));
        items->item(1, 2)->setText(S("-100"));
        d.findChild<QPushButton *>(S("btnOk"))->click();
        return d.result();
    });
    emit grid->cellDoubleClicked(rowOf(grid, "1122"), TOpeningBalanceForm::ColBalance);
    QCOMPARE(shown(grid, "1122", TOpeningBalanceForm::ColBalance), S("200.00"));

    // Debit 1,000.00 + 50.00 + 200.00, credit 600.00 + 20.50: not balanced until 4001.
    dialogs.answer(gl::mrOk);
    child<QPushButton>(form, S("btnTrial"))->click();
    QVERIFY2(dialogs.shown.last().text.contains(S("借方合计 1,250.00，贷方合计 620.50")),
             qPrintable(dialogs.shown.last().text));
    QVERIFY(dialogs.shown.last().text.contains(S("不平衡")));
    type(grid, "4001", S("629.50"));
    QVERIFY(form.Tree().trial().balanced());

    dialogs.answer(gl::mrOk);
    child<QPushButton>(form, S("btnSave"))->click();
    QCOMPARE(dialogs.shown.last().text, S("期初余额已保存，试算平衡。"));
    QVariantList none;
    const DataPacket answer =
        readDataPacket(m_session->connection->call(S("OpeningTrialBalance"), none).toString());
    QCOMPARE(packetValue(answer, 0, "OpeningDebit").toLongLong(), 125000);
    QCOMPARE(packetValue(answer, 0, "OpeningCredit").toLongLong(), 125000);
    const DataPacket customer =
        m_session->connection->request(S("LX_GLOpening"), S("WHERE DacvID = 102"));
    QCOMPARE(packetValue(customer, 0, "Balance").toLongLong(), -10000);

    // Once a voucher is posted the page only shows.
    sql(*m_session->connection,
        S("INSERT INTO FINDocVoucher (DocEntry, ObjType, NumCa, DocNum, DocDate, PeriodID, "
          "Posted, Status) VALUES (1, 2101, '记', 1, '2025-01-05', 202501, 1, 2)"));
    child<QPushButton>(form, S("btnRefresh"))->click();
    QVERIFY(!child<QPushButton>(form, S("btnSave"))->isEnabled());
    QVERIFY(!(grid->item(rowOf(grid, "1001"), TOpeningBalanceForm::ColBalance)->flags() &
              Qt::ItemIsEditable));
    QCOMPARE(shown(grid, "1122", TOpeningBalanceForm::ColBalance), S("200.00"));
}

QTEST_MAIN(TestOpeningBalanceForm)
#include "tst_openingbalanceform.moc"
