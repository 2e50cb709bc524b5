// A small company's year entered through the windows as its two accountants would: openings
// typed into 科目期初余额, every voucher typed into 凭证录入, reviewed in 凭证管理 by the other
// user, posted in 凭证登帐, one reversed in 冲销凭证 and corrected, 结转损益 and 结账 every
// month; then 资产负债表 and 利润表 against figures worked out by hand, and the books'
// invariants after every step.
#include "CarryForwardForm.h"
#include "ClosePeriodForm.h"
#include "LedgerWindow.h"
#include "Money.h"
#include "OpeningBalanceForm.h"
#include "PostVouchersForm.h"
#include "ReverseVoucherForm.h"
#include "StatementForm.h"
#include "VoucherForm.h"
#include "VoucherListForm.h"
#include "support/LedgerCompany.h"
#include "support/LedgerInvariants.h"

#include "MessageDialogs.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>

using namespace vexa;
using namespace vexa::ledger;
using namespace vexa::test;

namespace {

using S = QString;

// A line as typed: account code, the customer where the account asks for one, the amount
// on its side; the last line of a voucher takes "=" (the difference).
struct Typed
{
    const char *code;
    const char *customer; // "C01 甲客户" or nullptr
    qint64 debit, credit; // yuan
};

struct Voucher
{
    const char *word;
    int day;
    const char *summary;
    QList<Typed> lines;
};

// Month m (yuan): a sale on account of 10,000 + 1,000·m to 甲客户 (odd months) or 乙客户,
// 500 of office costs paid in cash (in June typed as 1,500 by mistake: reversed and
// corrected), the month's sale received on the bank (December only 20,000 of 22,000), and
// the cost of sales 6,000 + 500·m.
QList<Voucher> monthVouchers(int m)
{
    const char *customer = m % 2 ? "C01 甲客户" : "C02 乙客户";
    const qint64 sale = 10000 + 1000 * m;
    return {
        {"转", 3, "赊销商品", {{"1122", customer, sale, 0}, {"5001", nullptr, 0, -1}}},
        {"付",
         10,
         "支付办公费",
         {{"5602", nullptr, m == 6 ? 1500 : 500, 0}, {"1001", nullptr, 0, -1}}},
        {"收",
         20,
         "收回货款",
         {{"1002", nullptr, m == 12 ? 20000 : sale, 0}, {"1122", customer, 0, -1}}},
        {"记",
         28,
         "结转销售成本",
         {{"5401", nullptr, 6000 + 500 * m, 0}, {"1405", nullptr, 0, -1}}},
    };
}

// The statements of December, worked out on paper from the openings (cash 10,000, bank
// 100,000, stock 120,000, capital 230,000) and the months above: sales Σ(10,000 + 1,000·m)
// = 198,000, cost Σ(6,000 + 500·m) = 111,000, office 12 × 500 = 6,000, profit 81,000; cash
// 10,000 − 6,000, bank 100,000 + 198,000 − 2,000, receivable 2,000 (乙客户), stock
// 120,000 − 111,000; December alone: sales 22,000, cost 12,000, office 500.
struct Figure
{
    const char *line;
    qint64 amount1, amount2; // yuan
};
const Figure kBalanceSheet[] = {
    // 期末余额, 年初余额
    {"货币资金", 300000, 110000},
    {"应收账款", 2000, 0},
    {"存货", 9000, 120000},
    {"库存商品", 9000, 120000},
    {"流动资产合计", 311000, 230000},
    {"资产总计", 311000, 230000},
    {"实收资本（或股本）", 230000, 230000},
    {"未分配利润", 81000, 0},
    {"所有者权益（或股东权益）合计", 311000, 230000},
    {"负债和所有者权益（或股东权益）总计", 311000, 230000},
};
const Figure kIncomeStatement[] = {
    // 本年累计金额, 本月金额
    {"一、营业收入", 198000, 22000},
    {"减：营业成本", 111000, 12000},
    {"管理费用", 6000, 500},
    {"二、营业利润（亏损以“－”号填列）", 81000, 9500},
    {"三、利润总额（亏损总额以“－”号填列）", 81000, 9500},
    {"四、净利润（净亏损以“－”号填列）", 81000, 9500},
};

QString yuan(qint64 amount)
{
    return Money::format(amount * 100);
}

QString code(int month)
{
    return S("2024.%1").arg(month, 2, 10, QChar(u'0'));
}

void click(QWidget &form, const char *button)
{
    form.findChild<QPushButton *>(QString::fromLatin1(button))->click();
}

QString label(QWidget &form, const char *name)
{
    return form.findChild<QLabel *>(QString::fromLatin1(name))->text();
}

QComboBox *combo(QWidget &form, const char *name)
{
    return form.findChild<QComboBox *>(QString::fromLatin1(name));
}

struct Year : LedgerWindowSession
{
    LedgerInvariants books;
    QString user = S("Manager");

    Year() : LedgerWindowSession(false)
    {
        setUpCompany(*session->connection, "A02000");
        QSqlDatabase db = session->connection->database();
        ledgerSql(db, S("INSERT INTO T0102053 (DacvID, ACheckID, DacvCode, DacvDesc, Levels, "
                        "IsNode, Frozen) VALUES (101, 1, 'C01', '甲客户', 1, 1, 0), "
                        "(102, 1, 'C02', '乙客户', 1, 1, 0)"));
        ledgerSql(db, S("UPDATE T0102010 SET ACItemID = 1 WHERE AcctCode = '1122'"));
    }

    // The host's 重新登录: the plug-in acts for the other accountant from now on.
    void as(const char *login)
    {
        if (user == QLatin1String(login))
            return;
        session->loginAgain(login, login == QLatin1String("Manager") ? "manager" : login);
        user = QString::fromLatin1(login);
    }

    void check(const QString &step)
    {
        const QString broken = books.broken(session->connection->database());
        QVERIFY2(broken.isEmpty(), qPrintable(step + S(": ") + broken));
        QVERIFY2(messages().isEmpty(), qPrintable(step + S(": ") + dialogs.shown.last().text));
    }

    QStringList rows(const QString &sql)
    {
        return ledgerRows(session->connection->database(), sql);
    }
};

// Types one voucher into the form from the keyboard and saves it with Ctrl+S.
void typeVoucher(Year &y, TVoucherForm &form, int month, const Voucher &v)
{
    auto *grid = form.findChild<QTableView *>(S("grdLines"));
    press(form, Qt::Key_N, Qt::ControlModifier);
    combo(form, "cbNumCa")->setCurrentText(S::fromUtf8(v.word));
    form.findChild<QDateEdit *>(S("edDocDate"))->setDate(QDate(2024, month, v.day));
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 0));
    type(form, S::fromUtf8(v.summary));
    for (int i = 0; i < v.lines.size(); ++i) {
        const Typed &l = v.lines[i];
        press(form, Qt::Key_Return); // the summary: typed, or repeated from the line above
        type(form, QString::fromLatin1(l.code));
        press(form, Qt::Key_Return);
        if (l.customer) {
            // The open editor (closed ones wait for their deferred deletion).
            auto *items = qobject_cast<QComboBox *>(QApplication::focusWidget());
            QVERIFY2(items && items->objectName() == S("cbAuxItem"), l.code);
            items->setCurrentIndex(items->findText(S::fromUtf8(l.customer)));
            press(form, Qt::Key_Return);
        }
        if (i == v.lines.size() - 1) {
            press(form, Qt::Key_Equal);
        } else if (l.debit) {
            type(form, QString::number(l.debit));
            press(form, Qt::Key_Return);
        } else {
            press(form, Qt::Key_Return);
            type(form, QString::number(l.credit));
            press(form, Qt::Key_Return);
        }
    }
    QCOMPARE(label(form, "lbBalance"), S("借贷平衡"));
    press(form, Qt::Key_S, Qt::ControlModifier);
    QVERIFY2(y.messages().isEmpty(), qPrintable(y.dialogs.shown.last().text));
    QVERIFY(form.Draft().docEntry > 0);
    QCOMPARE(form.Draft().lines.size(), v.lines.size());
}

// The other accountant reviews every unreviewed voucher of the month in 凭证管理; the
// administrator posts them in 凭证登帐.
void reviewAndPost(Year &y, int month, int count, const char *reviewer)
{
    y.as(reviewer);
    {
        TVoucherListForm list;
        QVariant p3;
        list.Execute(0, QString(), p3);
        combo(list, "cbFromPeriod")->setCurrentText(code(month));
        combo(list, "cbToPeriod")->setCurrentText(code(month));
        combo(list, "cbStatus")->setCurrentText(S("未审核"));
        list.Refresh();
        QCOMPARE(list.ListedEntries().size(), count);
        list.findChild<QTableView *>(S("grdVouchers"))->selectAll();
        click(list, "btnReview");
        list.Refresh();
        QCOMPARE(list.ListedEntries().size(), 0);
    }
    y.as("Manager");
    TPostVouchersForm post;
    QVariant p3;
    post.Execute(0, QString(), p3);
    QCOMPARE(combo(post, "cbPeriod")->currentText(), code(month));
    y.dialogs.answer(gl::mrOk);
    click(post, "btnPost");
    y.messages();
    QCOMPARE(label(post, "lbResult"), S("已记账 %1 张凭证。").arg(count));
}

// The June voucher typed with 1,500 instead of 500: 冲销 in its window, then the blue
// voucher the host opens, corrected from the keyboard and saved.
void reverseAndCorrect(Year &y)
{
    y.as("clerk");
    const QStringList wrong = y.rows(
        S("SELECT DocEntry FROM FINDocVoucher WHERE PeriodID = 202406 AND DebitTotal = 150000"));
    QCOMPARE(wrong.size(), 1);
    TReverseVoucherForm form;
    QVariant p3;
    form.Execute(0, QString(), p3);
    auto *grid = form.findChild<QTableView *>(S("grdVouchers"));
    for (int r = 0; r < grid->model()->rowCount(); ++r)
        if (grid->model()->index(r, 4).data().toString() == S("1,500.00"))
            grid->selectRow(r);
    QCOMPARE(form.Chosen(), wrong[0].toInt());
    form.findChild<QDateEdit *>(S("edDocDate"))->setDate(QDate(2024, 6, 20));
    y.dialogs.answer(gl::mrOk);
    click(form, "btnReverse");
    QCOMPARE(y.messages().size(), 1); // the question
    QCOMPARE(y.session->calls.last(), S("OpenModule:GLPZLR:0:%1:Correct:2024-06-20").arg(wrong[0]));

    TVoucherForm blue;
    QVariant date = QDate(2024, 6, 20);
    y.dialogs.answer(gl::mrOk); // the note to correct the lines
    blue.Execute(wrong[0].toUInt(), S("Correct"), date);
    showActive(blue);
    auto *lines = blue.findChild<QTableView *>(S("grdLines"));
    lines->setFocus();
    lines->setCurrentIndex(lines->model()->index(0, 3));
    type(blue, S("500"));
    press(blue, Qt::Key_Return);
    lines->setCurrentIndex(lines->model()->index(1, 4));
    type(blue, S("500"));
    press(blue, Qt::Key_Return);
    QCOMPARE(label(blue, "lbDebitTotal"), S("500.00"));
    QCOMPARE(label(blue, "lbBalance"), S("借贷平衡"));
    press(blue, Qt::Key_S, Qt::ControlModifier);
    y.messages();
    QVERIFY(blue.Draft().docEntry > 0);
    QVERIFY(!blue.Modified());
}

// 结转损益 by the administrator, the voucher reviewed by clerk and posted.
void carryForward(Year &y, int month, const char *kind)
{
    y.as("Manager");
    {
        TCarryForwardForm form;
        QVariant p3;
        form.Execute(0, QString(), p3);
        QCOMPARE(combo(form, "cbPeriod")->currentText(), code(month));
        y.dialogs.answer(gl::mrOk);
        click(form, "btnMake");
        y.messages();
        QVERIFY2(label(form, "lbResult").contains(S::fromUtf8(kind)),
                 qPrintable(label(form, "lbResult")));
    }
    reviewAndPost(y, month, 1, "clerk");
}

void closeMonth(Year &y, int month)
{
    y.as("Manager");
    TClosePeriodForm form;
    QVariant p3;
    form.Execute(0, QString(), p3);
    QCOMPARE(label(form, "lbPeriod"), code(month));
    y.dialogs.answer(gl::mrOk);
    click(form, "btnClose");
    y.messages();
    const QString next = month == 12 ? S("2025.01") : code(month + 1);
    QCOMPARE(label(form, "lbResult"), S("%1 已结账，当前期间：%2。").arg(code(month), next));
}

// Every line with a non-zero amount against the figures; the rest must be empty or zero.
void compareStatement(TStatementForm &form, const QList<Figure> &figures)
{
    auto *grid = form.findChild<QTableWidget *>(S("grdStatement"));
    QStringList shown, expected;
    for (int r = 0; r < grid->rowCount(); ++r) {
        const QString a1 = grid->item(r, 2)->text(), a2 = grid->item(r, 3)->text();
        if (Money::parse(a1) != 0 || Money::parse(a2) != 0)
            shown << grid->item(r, 0)->text().trimmed() + u'|' + a1 + u'|' + a2;
    }
    for (const Figure &f : figures)
        expected << S::fromUtf8(f.line) + u'|' + yuan(f.amount1) + u'|' + yuan(f.amount2);
    QCOMPARE(shown, expected);
}

} // namespace

class TestYearWindows : public QObject
{
    Q_OBJECT

private slots:
    void wholeYear();
};

void TestYearWindows::wholeYear()
{
    Year y;

    // The openings, typed on each account's side (capital is a credit account).
    {
        TOpeningBalanceForm form;
        showActive(form);
        auto *grid = form.findChild<QTableWidget *>(S("grdOpening"));
        const std::pair<const char *, const char *> openings[] = {
            {"1001", "10,000"}, {"1002", "100000"}, {"1405", "120000.00"}, {"3001", "230000"}};
        for (const auto &[account, amount] : openings) {
            const auto found = grid->findItems(QString::fromLatin1(account), Qt::MatchExactly);
            QCOMPARE(found.size(), 1);
            grid->setFocus();
            grid->setCurrentCell(found[0]->row(), TOpeningBalanceForm::ColBalance);
            type(form, QString::fromLatin1(amount));
            press(form, Qt::Key_Return);
        }
        y.dialogs.answer(gl::mrOk);
        click(form, "btnSave");
        QCOMPARE(y.messages(), QStringList{S("期初余额已保存，试算平衡。")});
    }

    for (int m = 1; m <= 12; ++m) {
        y.as("clerk");
        {
            TVoucherForm form;
            QVariant p3 = S("ObjType=2101");
            form.Execute(0, S("DataProvider"), p3);
            showActive(form);
            for (const Voucher &v : monthVouchers(m)) {
                typeVoucher(y, form, m, v);
                if (QTest::currentTestFailed())
                    return;
            }
        }
        reviewAndPost(y, m, 4, "Manager");
        y.check(S("%1 posted").arg(code(m)));
        if (m == 6) {
            reverseAndCorrect(y);
            reviewAndPost(y, m, 2, "Manager");
            y.check(S("2024.06 reversed and corrected"));
        }
        carryForward(y, m, "结转损益");
        if (m == 12)
            carryForward(y, m, "结转本年利润");
        y.check(S("%1 carried forward").arg(code(m)));
        closeMonth(y, m);
        y.check(S("%1 closed").arg(code(m)));
        if (QTest::currentTestFailed())
            return;
    }
    // Four vouchers a month, the red and the blue one, twelve carry-forwards and the year's.
    QCOMPARE(y.rows(S("SELECT COUNT(*) FROM FINDocVoucher WHERE Status = 2")),
             QStringList{S("63")});

    TBalanceSheetForm sheet;
    QVariant p3;
    sheet.Execute(0, QString(), p3);
    QCOMPARE(combo(sheet, "cbPeriod")->currentText(), S("2024.12"));
    compareStatement(sheet, QList<Figure>(std::begin(kBalanceSheet), std::end(kBalanceSheet)));
    QCOMPARE(label(sheet, "lbCheck"), S("资产总计与负债和所有者权益总计相等，报表平衡。"));

    TIncomeStatementForm income;
    income.Execute(0, QString(), p3);
    combo(income, "cbPeriod")->setCurrentText(S("2024.12"));
    compareStatement(income,
                     QList<Figure>(std::begin(kIncomeStatement), std::end(kIncomeStatement)));
}

QTEST_MAIN(TestYearWindows)
#include "tst_yearwindows.moc"
