// 期末结账 and 结转损益 windows against the in-process server, on the year's set
// (tests/support/LedgerYear.h).
#include "CarryForwardForm.h"
#include "ClosePeriodForm.h"
#include "LedgerWindow.h"
#include "support/LedgerYear.h"

#include "MessageDialogs.h"
#include "SelAccountingForm.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>

using namespace vexa;
using namespace vexa::ledger;
using namespace vexa::test;

namespace {

// Vouchers made by the window's user (the administrator), reviewed by clerk.
struct Books : LedgerWindowSession
{
    std::unique_ptr<server::ServerConnection> clerk = other();

    Books() { setUpYear(*session->connection); }
    QVariant call(server::ServerConnection &c, const char *op, QVariantList args)
    {
        return c.call(QString::fromLatin1(op), args);
    }
    void sale(const QDate &date, qint64 fen)
    {
        call(*session->connection, "SaveVoucher",
             {voucherHeader(0, QStringLiteral("记"), date),
              voucherLines({{BankIcbc, fen, 0}, {RevenueA, 0, fen}})});
    }
    void reviewAndPost(int periodId)
    {
        const QStringList entries = ledgerRows(
            session->connection->database(),
            QStringLiteral("SELECT DocEntry FROM FINDocVoucher WHERE Status = 0 AND PeriodID = %1")
                .arg(periodId));
        if (!entries.isEmpty())
            call(*clerk, "ReviewVouchers", {entries.join(u','), true});
        call(*session->connection, "PostVouchers", {periodId, QString()});
    }
    QStringList rows(const QString &sql)
    {
        return ledgerRows(session->connection->database(), sql);
    }
};

void click(QWidget &form, const char *button)
{
    form.findChild<QPushButton *>(QString::fromLatin1(button))->click();
}

// With VEXA_SCREENSHOTS=DIR the window is saved there as it stands (docs/screenshots).
void shoot(QWidget &form, const char *file)
{
    const QString dir = qEnvironmentVariable("VEXA_SCREENSHOTS");
    if (dir.isEmpty())
        return;
    form.resize(900, 520);
    form.grab().save(dir + QLatin1Char('/') + QLatin1String(file));
}

QString text(QWidget &form, const char *label)
{
    return form.findChild<QLabel *>(QString::fromLatin1(label))->text();
}

} // namespace

class TestClosingForms : public QObject
{
    Q_OBJECT

private slots:
    // 检查 lists what stops the closing; 结账 after the question closes the period; 反结账
    // reopens it.
    void closePeriod()
    {
        Books s;
        s.sale(QDate(2024, 2, 3), 100000);
        TClosePeriodForm form;
        QVariant p3;
        form.Execute(0, QString(), p3);
        QCOMPARE(text(form, "lbPeriod"), QStringLiteral("2024.02"));
        auto *problems = form.findChild<QListWidget *>(QStringLiteral("lvProblems"));
        click(form, "btnCheck");
        QCOMPARE(problems->count(), 2);
        QVERIFY(problems->item(0)->text().contains(u"未审核（1）"));
        shoot(form, "ledger-closeperiod.png");
        s.dialogs.answer(gl::mrOk);
        click(form, "btnClose"); // refused before the question
        QVERIFY(s.messages().value(0).contains(u"还不能结账"));

        s.reviewAndPost(202402);
        s.call(*s.session->connection, "CarryForwardProfit", {202402, QDate()});
        s.reviewAndPost(202402);
        click(form, "btnCheck");
        QVERIFY(problems->item(0)->text().contains(u"可以结账"));
        s.dialogs.answer(gl::mrCancel);
        click(form, "btnClose");
        QCOMPARE(
            s.rows(QStringLiteral("SELECT GLPost FROM FINPostingPeriods WHERE PeriodID = 202402")),
            QStringList{QStringLiteral("0")});
        s.dialogs.answer(gl::mrOk);
        click(form, "btnClose");
        QCOMPARE(text(form, "lbResult"), QStringLiteral("2024.02 已结账，当前期间：2024.03。"));
        QCOMPARE(text(form, "lbPeriod"), QStringLiteral("2024.03"));
        QCOMPARE(text(form, "lbLatest"), QStringLiteral("2024.02"));

        s.messages();
        s.dialogs.answer(gl::mrOk);
        click(form, "btnReopen");
        QVERIFY(s.messages().value(0).contains(u"反结账 2024.02"));
        QCOMPARE(text(form, "lbPeriod"), QStringLiteral("2024.02"));
        QCOMPARE(s.rows(QStringLiteral("SELECT GLNowPeriodID FROM SysInitInfo")),
                 QStringList{QStringLiteral("202402")});
    }

    // The preview shows the voucher's lines; another distribution account chosen in the
    // picker is stored; 生成凭证 makes the voucher on the date shown.
    void carryForward()
    {
        Books s;
        s.sale(QDate(2024, 2, 3), 100000);
        s.reviewAndPost(202402);
        TCarryForwardForm form;
        QVariant p3;
        form.Execute(0, QString(), p3);
        QCOMPARE(form.findChild<QComboBox *>(QStringLiteral("cbPeriod"))->currentText(),
                 QStringLiteral("2024.02"));
        auto *date = form.findChild<QDateEdit *>(QStringLiteral("edDate"));
        QCOMPARE(date->date(), QDate(2024, 2, 29));
        QCOMPARE(text(form, "lbProfit"), QStringLiteral("4103 本年利润"));
        auto *lines = form.findChild<QTableWidget *>(QStringLiteral("tvLines"));
        QCOMPARE(lines->rowCount(), 2);
        QCOMPARE(lines->item(0, 0)->text(), QStringLiteral("60010101 甲产品"));
        QCOMPARE(lines->item(0, 1)->text(), QStringLiteral("1,000.00"));
        QCOMPARE(lines->item(1, 2)->text(), QStringLiteral("1,000.00"));
        shoot(form, "ledger-carryforward.png");

        s.dialogs.answerWith([](QDialog &d) {
            static_cast<gl::TSelAccountingForm &>(d).SelectedValue = int(Capital);
            return int(QDialog::Accepted);
        });
        click(form, "btnDist");
        QCOMPARE(text(form, "lbDist"), QStringLiteral("4001 实收资本"));
        QCOMPARE(
            s.rows(QStringLiteral("SELECT Value FROM GLOption WHERE Name = 'ProfitDistAcctID'")),
            QStringList{QString::number(int(Capital))});

        date->setDate(QDate(2024, 2, 20));
        s.dialogs.answer(gl::mrOk);
        click(form, "btnMake");
        QCOMPARE(text(form, "lbResult"),
                 QStringLiteral("已生成转字第1号凭证（结转损益），请审核、记账。"));
        const QStringList made =
            s.rows(QStringLiteral("SELECT DocDate, Kind FROM FINDocVoucher WHERE NumCa = '转'"));
        QCOMPARE(made.size(), 1);
        QVERIFY(made[0].startsWith(QLatin1String("2024-02-20")));
        QVERIFY(made[0].endsWith(QLatin1String("|1")));
    }
};

QTEST_MAIN(TestClosingForms)
#include "tst_closingforms.moc"
