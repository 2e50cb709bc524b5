// 凭证管理, 凭证登帐 and 冲销凭证 against the in-process server.
#include "LedgerWindow.h"
#include "PostVouchersForm.h"
#include "ReverseVoucherForm.h"
#include "VoucherForm.h"
#include "VoucherListForm.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "MessageDialogs.h"

#include <QComboBox>
#include <QDateEdit>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

using namespace vexa;
using namespace vexa::ledger;
using namespace vexa::test;

namespace {

// Vouchers made by clerk, so the administrator of the window may review them.
struct Vouchers : LedgerWindowSession
{
    std::unique_ptr<server::ServerConnection> clerk = other();

    int save(const QString &word, const QDate &date, const QString &summary, qint64 fen)
    {
        QVariantList args{
            voucherHeader(0, word, date),
            voucherLines({{Cash, fen, 0, 0, summary}, {RevenueA, 0, fen, 0, summary}})};
        const DataPacket p =
            readDataPacket(clerk->call(QStringLiteral("SaveVoucher"), args).toString());
        return p.rows.front().value(indexOfField(p.fields, QStringLiteral("DocEntry"))).toInt();
    }
    void review(int entry)
    {
        QVariantList args{QString::number(entry), true};
        session->connection->call(QStringLiteral("ReviewVouchers"), args);
    }
    int status(int entry)
    {
        auto ds = gl::ProviderDataSet(QStringLiteral("LX_FINDocVoucher"),
                                      QStringLiteral("WHERE DocEntry = %1").arg(entry));
        return ds->isEmpty() ? -1 : int(ds->asInteger(QStringLiteral("Status")));
    }
};

QString cell(QTableView *grid, int row, int column)
{
    return grid->model()->index(row, column).data().toString();
}

void select(QTableView *grid, const QList<int> &rows)
{
    grid->clearSelection();
    for (int r : rows)
        grid->selectionModel()->select(grid->model()->index(r, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void click(QWidget &form, const char *button)
{
    form.findChild<QPushButton *>(QString::fromLatin1(button))->click();
}

} // namespace

class TestVoucherList : public QObject
{
    Q_OBJECT

private slots:
    void listFilterAndCommands();
    void postUpToPeriod();
    void reverseOpensCorrection();
};

void TestVoucherList::listFilterAndCommands()
{
    Vouchers s;
    const int march =
        s.save(QStringLiteral("记"), QDate(2024, 3, 5), QStringLiteral("收到货款"), 10000);
    const int april =
        s.save(QStringLiteral("记"), QDate(2024, 4, 2), QStringLiteral("报销差旅费"), 2550);
    const int receipt =
        s.save(QStringLiteral("收"), QDate(2024, 3, 10), QStringLiteral("收到押金"), 500);
    TVoucherListForm form;
    QVariant p3;
    form.Execute(0, QString(), p3);
    auto *grid = form.findChild<QTableView *>(QStringLiteral("grdVouchers"));
    // By period, word and number.
    QCOMPARE(form.ListedEntries(), (QList<int>{receipt, march, april}));
    QCOMPARE(cell(grid, 1, 0), QStringLiteral("2024.03"));
    QCOMPARE(cell(grid, 1, 1), VoucherNumberText(QStringLiteral("记"), 1, VoucherNumberLength()));
    QCOMPARE(cell(grid, 1, 3), QStringLiteral("收到货款"));
    QCOMPARE(cell(grid, 2, 4), QStringLiteral("25.50"));
    QCOMPARE(cell(grid, 0, 5), QStringLiteral("会计张三"));
    QCOMPARE(cell(grid, 0, 9), QStringLiteral("未审核"));

    const auto combo = [&form](const char *name) {
        return form.findChild<QComboBox *>(QString::fromLatin1(name));
    };
    auto *search = form.findChild<QLineEdit *>(QStringLiteral("edSearch"));
    combo("cbWord")->setCurrentText(QStringLiteral("收"));
    form.Refresh();
    QCOMPARE(form.ListedEntries(), QList<int>{receipt});
    combo("cbWord")->setCurrentIndex(0);
    search->setText(QStringLiteral("差旅"));
    form.Refresh();
    QCOMPARE(form.ListedEntries(), QList<int>{april});
    search->setText(QStringLiteral("没有这样的摘要"));
    form.Refresh();
    QCOMPARE(form.ListedEntries(), QList<int>{});
    search->clear();
    combo("cbToPeriod")->setCurrentText(QStringLiteral("2024.03"));
    form.Refresh();
    QCOMPARE(form.ListedEntries(), (QList<int>{receipt, march}));

    // 审核 the two selected; only they change.
    select(grid, {0, 1});
    click(form, "btnReview");
    QCOMPARE(s.messages(), QStringList{});
    QCOMPARE((QList<int>{s.status(march), s.status(receipt), s.status(april)}),
             (QList<int>{1, 1, 0}));
    QCOMPARE(cell(grid, 0, 9), QStringLiteral("已审核"));
    QCOMPARE(cell(grid, 0, 6), QStringLiteral("系统管理员"));
    combo("cbStatus")->setCurrentText(QStringLiteral("未审核"));
    combo("cbToPeriod")->setCurrentText(QStringLiteral("2024.12"));
    form.Refresh();
    QCOMPARE(form.ListedEntries(), QList<int>{april});
    combo("cbStatus")->setCurrentIndex(0);
    form.Refresh();

    // The server's refusal is shown: a reviewed voucher is not deleted.
    select(grid, {0});
    s.dialogs.answer(gl::mrOk);
    click(form, "btnDelete");
    QStringList shown = s.messages();
    QCOMPARE(shown.size(), 2); // the question, the refusal
    QVERIFY2(shown[1].contains(QStringLiteral("审核")), qPrintable(shown[1]));
    QCOMPARE(s.status(receipt), 1);

    // 记账 of the selected one; 修改/查看 asks the host for the voucher page.
    select(grid, {0});
    click(form, "btnPost");
    QCOMPARE(s.messages(), QStringList{});
    QCOMPARE(s.status(receipt), 2);
    QCOMPARE(s.status(march), 1);
    QCOMPARE(cell(grid, 0, 9), QStringLiteral("已记账"));
    QCOMPARE(cell(grid, 0, 8), QStringLiteral("系统管理员"));
    click(form, "btnOpen");
    QCOMPARE(s.session->calls.filter(QStringLiteral("OpenModule")).last(),
             QStringLiteral("OpenModule:GLPZLR:0:%1:DocEntry:").arg(receipt));
}

void TestVoucherList::postUpToPeriod()
{
    Vouchers s;
    const int march = s.save(QStringLiteral("记"), QDate(2024, 3, 5), QStringLiteral("甲"), 100);
    const int april = s.save(QStringLiteral("记"), QDate(2024, 4, 5), QStringLiteral("乙"), 200);
    const int draft = s.save(QStringLiteral("记"), QDate(2024, 4, 6), QStringLiteral("丙"), 300);
    s.review(march);
    s.review(april);
    TPostVouchersForm form;
    QVariant p3;
    form.Execute(0, QString(), p3);
    auto *period = form.findChild<QComboBox *>(QStringLiteral("cbPeriod"));
    const auto text = [&form](const char *name) {
        return form.findChild<QLabel *>(QString::fromLatin1(name))->text();
    };
    QCOMPARE(period->currentText(), QStringLiteral("2024.04")); // the latest reviewed
    QCOMPARE(text("lbWaiting"), QStringLiteral("已审核待记账 2 张；另有 1 张未审核，不记账"));

    period->setCurrentText(QStringLiteral("2024.03"));
    QCOMPARE(text("lbWaiting"), QStringLiteral("已审核待记账 1 张"));
    s.dialogs.answer(gl::mrCancel);
    click(form, "btnPost");
    QCOMPARE(s.status(march), 1);
    s.dialogs.answer(gl::mrOk);
    click(form, "btnPost");
    QCOMPARE(text("lbResult"), QStringLiteral("已记账 1 张凭证。"));
    QCOMPARE((QList<int>{s.status(march), s.status(april), s.status(draft)}),
             (QList<int>{2, 1, 0}));
    QCOMPARE(text("lbWaiting"), QStringLiteral("已审核待记账 0 张"));
    QVERIFY(!form.findChild<QPushButton *>(QStringLiteral("btnPost"))->isEnabled());
}

void TestVoucherList::reverseOpensCorrection()
{
    Vouchers s;
    const int kept = s.save(QStringLiteral("记"), QDate(2024, 3, 5), QStringLiteral("甲"), 100);
    const int wrong = s.save(QStringLiteral("记"), QDate(2024, 3, 6), QStringLiteral("乙"), 4200);
    s.review(kept);
    s.review(wrong);
    QVariantList args{202403, QString()};
    s.session->connection->call(QStringLiteral("PostVouchers"), args);

    TReverseVoucherForm form;
    QVariant p3;
    form.Execute(quint32(wrong), QStringLiteral("DocEntry"), p3);
    QCOMPARE(form.Chosen(), wrong);
    form.findChild<QDateEdit *>(QStringLiteral("edDocDate"))->setDate(QDate(2024, 5, 10));
    s.dialogs.answer(gl::mrOk);
    click(form, "btnReverse");
    QCOMPARE(s.messages().size(), 1); // the question only
    QCOMPARE(s.session->calls.filter(QStringLiteral("OpenModule")).last(),
             QStringLiteral("OpenModule:GLPZLR:0:%1:Correct:2024-05-10").arg(wrong));
    // The red voucher cancels the original; the original leaves the list.
    auto red = gl::ProviderDataSet(QStringLiteral("LX_FINDocVoucher"),
                                   QStringLiteral("WHERE ReversesEntry = %1").arg(wrong));
    QCOMPARE(red->recordCount(), 1);
    QCOMPARE(red->asInteger(QStringLiteral("DebitTotal")), -4200);
    QCOMPARE(red->asInteger(QStringLiteral("PeriodID")), 202405);
    QCOMPARE(form.Chosen(), 0);
    QVERIFY(form.findChild<QLabel *>(QStringLiteral("lbResult"))
                ->text()
                .contains(QStringLiteral("红字")));

    // The blue voucher: the original's lines, unsaved, on the date of the red one.
    TVoucherForm blue;
    QVariant date = QDate(2024, 5, 10);
    s.dialogs.answer(gl::mrOk); // the note to correct the lines
    blue.Execute(quint32(wrong), QStringLiteral("Correct"), date);
    QCOMPARE(blue.Draft().docEntry, 0);
    QCOMPARE(blue.Draft().lines.size(), 2);
    QCOMPARE(blue.Draft().lines[0].debit, 4200);
    QCOMPARE(blue.findChild<QDateEdit *>(QStringLiteral("edDocDate"))->date(), QDate(2024, 5, 10));
    QVERIFY(blue.Modified());
    s.messages();
    QVERIFY(blue.Save());
    QCOMPARE(s.messages(), QStringList{});
    QCOMPARE(s.status(blue.Draft().docEntry), 0);
}

QTEST_MAIN(TestVoucherList)
#include "tst_voucherlist.moc"
