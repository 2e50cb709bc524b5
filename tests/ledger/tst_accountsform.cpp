// 会计科目 driven by its components on a set with the A01000 chart: a sub-account under a
// leaf with an opening only after the question, and the opening moved; rename, freeze, and a
// delete the server refuses shown as its message.
#include "AccountsForm.h"

#include "DataPacket.h"
#include "MessageDialogs.h"

#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TemplateChart.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabBar>
#include <QTest>
#include <QTreeWidget>

using namespace vexa;
using namespace vexa::ledger;
using namespace vexa::test;

namespace {

using S = QString;

QVariant value(server::ServerConnection &c, const QString &text)
{
    QSqlQuery q(c.database());
    if (!q.exec(text) || !q.next())
        return {};
    return q.value(0);
}

// Answers the account dialog with a code and a name.
ScriptedDialogs::Answer fill(const char *code, const char *name)
{
    return [code, name](QDialog &d) {
        d.findChild<QLineEdit *>(S("edCode"))->setText(QString::fromUtf8(code));
        d.findChild<QLineEdit *>(S("edName"))->setText(QString::fromUtf8(name));
        d.findChild<QPushButton *>(S("btnOk"))->click();
        return d.result();
    };
}

} // namespace

class TestAccountsForm : public QObject
{
    Q_OBJECT

    PluginSession<> m_session;

private slots:
    void initTestCase();
    void maintainTheChart();
};

void TestAccountsForm::initTestCase()
{
    auto &c = *m_session->connection;
    const TemplateChart chart = templateChart(c);
    insertRows(c, S("LX_DMAccounting"), readDataPacket(chart.accounts));
    insertRows(c, S("LX_DMAccttype"), readDataPacket(chart.types));
    QSqlQuery q(c.database());
    QVERIFY(q.exec(S("INSERT INTO GLOpening (AcctID, DacvID, CurrCode, Balance, YtdDebit, "
                     "YtdCredit) SELECT AcctID, 0, '', 10000, 0, 0 FROM T0102010 "
                     "WHERE AcctCode = '1001'")));
}

void TestAccountsForm::maintainTheChart()
{
    auto &c = *m_session->connection;
    ScriptedDialogs dialogs;
    TAccountsForm form;
    auto *tree = child<QTreeWidget>(form, S("tvAccounts"));
    auto *tabs = child<QTabBar>(form, S("tabTypes"));
    const int all = tree->topLevelItemCount();
    tabs->setCurrentIndex(2); // 负债
    QVERIFY(tree->topLevelItemCount() > 0 && tree->topLevelItemCount() < all);
    QCOMPARE(tree->topLevelItem(0)->text(TAccountsForm::ColCode).left(1), S("2"));
    tabs->setCurrentIndex(0);

    // Under 1001, which holds an opening: "no" leaves everything as it was.
    form.Select(S("1001"));
    dialogs.answerWith(fill("100101", "备用金"));
    dialogs.answer(gl::mrNo);
    child<QPushButton>(form, S("btnAdd"))->click();
    QCOMPARE(dialogs.shown.last().text,
             S("科目“1001 库存现金”已有期初余额或凭证分录，增加下级科目后将转入新科目“100101 "
               "备用金”。是否继续？"));
    QVERIFY(!value(c, S("SELECT 1 FROM T0102010 WHERE AcctCode = '100101'")).isValid());

    dialogs.answerWith(fill("100101", "备用金"));
    dialogs.answer(gl::mrYes);
    child<QPushButton>(form, S("btnAdd"))->click();
    QCOMPARE(value(c, S("SELECT o.Balance FROM GLOpening o JOIN T0102010 a ON a.AcctID = "
                        "o.AcctID WHERE a.AcctCode = '100101'"))
                 .toLongLong(),
             10000);
    QCOMPARE(form.Selected()->code, S("100101"));
    QCOMPARE(tree->currentItem()->parent()->text(TAccountsForm::ColCode), S("1001"));

    // A code off the levels is refused before the server is asked.
    const int shownBefore = int(dialogs.shown.size());
    dialogs.answerWith(fill("1001011", "零钱"));
    dialogs.answer(gl::mrOk);
    child<QPushButton>(form, S("btnAdd"))->click();
    QCOMPARE(int(dialogs.shown.size()), shownBefore + 2);
    QVERIFY(dialogs.shown.last().text.contains(S("与级次长度 4-2-2-2-2-2 不符")));

    // Rename and freeze.
    dialogs.answerWith([](QDialog &d) {
        d.findChild<QLineEdit *>(S("edName"))->setText(S("现金-备用金"));
        d.findChild<QPushButton *>(S("btnOk"))->click();
        return d.result();
    });
    child<QPushButton>(form, S("btnEdit"))->click();
    child<QPushButton>(form, S("btnFreeze"))->click();
    QCOMPARE(value(c, S("SELECT AcctName FROM T0102010 WHERE AcctCode = '100101'")).toString(),
             S("现金-备用金"));
    QCOMPARE(value(c, S("SELECT Frozen FROM T0102010 WHERE AcctCode = '100101'")).toInt(), 1);
    QCOMPARE(child<QPushButton>(form, S("btnFreeze"))->text(), S("解封"));

    // The account holds the opening now: the server's refusal is what the user reads.
    dialogs.answer(gl::mrYes);
    dialogs.answer(gl::mrOk);
    child<QPushButton>(form, S("btnDelete"))->click();
    QVERIFY2(dialogs.shown.last().text.contains(S("已有期初余额、凭证分录或余额，不能删除")),
             qPrintable(dialogs.shown.last().text));
    QVERIFY(value(c, S("SELECT 1 FROM T0102010 WHERE AcctCode = '100101'")).isValid());
}

QTEST_MAIN(TestAccountsForm)
#include "tst_accountsform.moc"
