// The client's chart code rules and opening-balance tree: levels read from a chart, parents
// summing their children, amounts on the account's side, the trial balance and what a save
// sends.
#include "AccountCode.h"
#include "OpeningBalanceTree.h"

#include <vexa/Error.h>

#include <QTest>

using namespace vexa;
using namespace vexa::ledger;

using LevelCodes = QList<std::pair<int, QString>>;
Q_DECLARE_METATYPE(LevelCodes)

class TestOpeningTree : public QObject
{
    Q_OBJECT

private slots:
    void codeLevels_data();
    void codeLevels();
    void parentsSumAndTheTrialBalances();
    void saveSendsChangedKeysOnly();
};

void TestOpeningTree::codeLevels_data()
{
    QTest::addColumn<LevelCodes>("chart");
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("parent");
    const LevelCodes none;
    QTest::newRow("first level") << none << "1001" << 1 << "";
    QTest::newRow("second by 4-2") << none << "100201" << 2 << "1002";
    QTest::newRow("sixth, the deepest") << none << "22210101010101" << 6 << "222101010101";
    QTest::newRow("between levels") << none << "10020" << 0 << "";
    QTest::newRow("past the sixth") << none << "2221010101010101" << 0 << "";
    const LevelCodes dotted{{1, "1231"}, {2, "1231.01"}, {2, "1122.02"}};
    QTest::newRow("dotted chart, second") << dotted << "1002.05" << 2 << "1002";
    QTest::newRow("dotted chart, third 2 more") << dotted << "1231.0101" << 3 << "1231.01";
    QTest::newRow("dotted chart, 4-2 no longer fits") << dotted << "100201" << 0 << "";
    const LevelCodes mixed{{1, "1001"}, {2, "100201"}, {2, "1002001"}};
    QTest::newRow("mixed lengths keep the default") << mixed << "100201" << 2 << "1002";
}

void TestOpeningTree::codeLevels()
{
    QFETCH(LevelCodes, chart);
    QFETCH(QString, code);
    QFETCH(int, level);
    QFETCH(QString, parent);
    const AccountCode rules = AccountCode::fromChart(chart);
    QCOMPARE(rules.levelOf(code), level);
    QCOMPARE(rules.parentOf(code), parent);
    QCOMPARE(rules.problem(code).isEmpty(), level > 0);
}

namespace {

// 1122 应收账款 by customer; 2001 短期借款 and 4001 实收资本 on the credit side; 1002 银行存款
// with two banks.
OpeningBalanceTree sampleTree()
{
    OpeningBalanceTree t;
    t.setAccounts({{4, "4001", "实收资本", 0, 1, true, "C", 0},
                   {2, "1002", "银行存款", 0, 1, false, "D", 0},
                   {21, "100201", "工商银行", 2, 2, true, "D", 0},
                   {22, "100202", "中国银行", 2, 2, true, "D", 0},
                   {3, "1122", "应收账款", 0, 1, true, "D", 1},
                   {5, "2001", "短期借款", 0, 1, true, "C", 0}});
    return t;
}

} // namespace

void TestOpeningTree::parentsSumAndTheTrialBalances()
{
    OpeningBalanceTree t = sampleTree();
    QCOMPARE(t.accounts().first().code, QStringLiteral("1002"));
    t.setEntry(21, 0, {100000, 30000, 10000});
    t.setEntry(22, 0, {-5000, 0, 0});
    t.setEntry(3, 101, {30000, 0, 0});
    t.setEntry(3, 102, {-10000, 0, 0});
    t.setEntry(5, 0, {-60000, 0, 20000});
    t.setEntry(4, 0, {-55000, 0, 0});

    const OpeningFigures bank = t.total(2);
    QCOMPARE(bank.balance, 95000);
    QCOMPARE(bank.yearOpening(), 75000);
    QCOMPARE(t.total(3).balance, 20000);
    // A debit account in credit shows a negative amount on its own side; a credit account
    // shows its credit positive.
    QCOMPARE(OpeningBalanceTree::onSide(QStringLiteral("D"), t.total(22).balance).amount, -5000);
    const SidedAmount loan = OpeningBalanceTree::onSide(QStringLiteral("C"), t.total(5).balance);
    QCOMPARE(loan.side, QStringLiteral("贷"));
    QCOMPARE(loan.amount, 60000);

    // Leaves netted: 100201 1000.00, 1122 200.00 debit; 100202 50.00, 2001 600.00, 4001 550.00
    // credit.
    const OpeningTrial trial = t.trial();
    QCOMPARE(trial.openingDebit, 120000);
    QCOMPARE(trial.openingCredit, 120000);
    // The year: 100201 800.00, 1122 200.00; 100202 50.00, 2001 400.00, 4001 550.00.
    QCOMPARE(trial.yearDebit, 100000);
    QCOMPARE(trial.yearCredit, 100000);
    QVERIFY(trial.balanced());
    t.setEntry(4, 0, {-55001, 0, 0});
    QVERIFY(!t.trial().balanced());

    for (auto [acct, item] : {std::pair<qint64, qint64>{2, 0}, {3, 0}, {21, 7}})
        QVERIFY_THROWS_EXCEPTION(Error, t.setEntry(acct, item, {1, 0, 0}));
}

void TestOpeningTree::saveSendsChangedKeysOnly()
{
    OpeningBalanceTree t = sampleTree();
    t.load({{21, 0, {100000, 0, 0}}, {3, 101, {30000, 0, 0}}, {5, 0, {-60000, 0, 0}}});
    QVERIFY(t.changes().isEmpty());
    t.setEntry(21, 0, {100000, 0, 0}); // the same again
    t.setEntry(3, 101, {0, 0, 0});     // cleared: sent as zeros, which delete it
    t.setEntry(3, 102, {-10000, 0, 0});
    t.setEntry(4, 0, {0, 0, 0}); // nothing before, nothing now
    t.setEntry(5, 0, {-60000, 0, 100});
    const QList<OpeningRow> expected{
        {3, 101, {0, 0, 0}}, {3, 102, {-10000, 0, 0}}, {5, 0, {-60000, 0, 100}}};
    QCOMPARE(t.changes(), expected);
    QCOMPARE(t.itemsOf(3), QList<qint64>{102});
    t.markSaved();
    QVERIFY(t.changes().isEmpty());
}

QTEST_GUILESS_MAIN(TestOpeningTree)
#include "tst_openingtree.moc"
