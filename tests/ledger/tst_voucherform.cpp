// 凭证录入 driven by the keyboard, saved through the server, refusals shown, a reviewed
// voucher read only.
#include "LedgerWindow.h"
#include "Money.h"
#include "VoucherForm.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "MessageDialogs.h"
#include "SelAccountingForm.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

using namespace vexa;
using namespace vexa::ledger;
using namespace vexa::test;

class TestVoucherForm : public QObject
{
    Q_OBJECT

private slots:
    void enterSaveAndReopen();
};

void TestVoucherForm::enterSaveAndReopen()
{
    LedgerWindowSession s;
    TVoucherForm form;
    QVariant p3 = QStringLiteral("ObjType=2101");
    form.Execute(0, QStringLiteral("DataProvider"), p3);
    auto *word = form.findChild<QComboBox *>(QStringLiteral("cbNumCa"));
    auto *grid = form.findChild<QTableView *>(QStringLiteral("grdLines"));
    const auto text = [&form](const char *name) {
        return form.findChild<QLabel *>(QString::fromLatin1(name))->text();
    };
    QCOMPARE(word->currentText(), QStringLiteral("记"));
    form.findChild<QDateEdit *>(QStringLiteral("edDocDate"))->setDate(QDate(2024, 3, 5));
    showActive(form);
    grid->setFocus();
    QCOMPARE(grid->currentIndex().row(), 0);

    // Line 1: summary, cash, a debit; Enter from the debit goes to a new line.
    type(form, QStringLiteral("收到甲客户货款"));
    press(form, Qt::Key_Return);
    type(form, QStringLiteral("1002")); // a parent account is refused, the cell stays
    press(form, Qt::Key_Return);
    QVERIFY2(s.messages().join(u'|').contains(QStringLiteral("不是明细科目")),
             qPrintable(s.dialogs.shown.last().text));
    QCOMPARE(grid->currentIndex().column(), 1);
    type(form, QStringLiteral("1001"));
    press(form, Qt::Key_Return);
    type(form, QStringLiteral("1,170"));
    press(form, Qt::Key_Return);
    QCOMPARE(text("lbBalance"), QStringLiteral("借贷不平衡，差额 1,170.00"));

    // Line 2 repeats the summary; the receivable asks for its customer.
    QCOMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(form.Draft().lines[1].summary, QStringLiteral("收到甲客户货款"));
    press(form, Qt::Key_Return);
    type(form, QStringLiteral("1122"));
    press(form, Qt::Key_Return);
    QCOMPARE(grid->currentIndex().column(), 2);
    auto *items = form.findChild<QComboBox *>(QStringLiteral("cbAuxItem"));
    QVERIFY(items);
    items->setCurrentIndex(items->findText(QStringLiteral("C01 甲客户")));
    press(form, Qt::Key_Return);
    press(form, Qt::Key_Return); // no debit: on to the credit
    type(form, QStringLiteral("1000"));
    press(form, Qt::Key_Return);

    // Line 3: "=" puts the difference on it.
    press(form, Qt::Key_Return);
    type(form, QStringLiteral("2221"));
    press(form, Qt::Key_Return);
    press(form, Qt::Key_Equal);
    QCOMPARE(form.Draft().lines[2].credit, 17000);
    QCOMPARE(text("lbBalance"), QStringLiteral("借贷平衡"));
    QCOMPARE(text("lbDebitTotal"), QStringLiteral("1,170.00"));
    QCOMPARE(text("lbCreditTotal"), QStringLiteral("1,170.00"));
    QCOMPARE(grid->model()->index(2, 4).data().toString(), QStringLiteral("170.00"));

    // Ctrl+S saves through the server and shows the number it gave.
    press(form, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(s.messages(), QStringList{});
    const int entry = form.Draft().docEntry;
    QVERIFY(entry > 0);
    QVERIFY(!form.Modified());
    QCOMPARE(text("lbDocNum"),
             VoucherNumberText(QStringLiteral("记"), form.Draft().docNum, VoucherNumberLength()));
    auto stored =
        gl::ProviderDataSet(QStringLiteral("LX_FINDocVoucherLine"),
                            QStringLiteral("WHERE DocEntry = %1 ORDER BY LineNo").arg(entry));
    QCOMPARE(stored->recordCount(), 3); // the blank fourth line is left out
    QStringList rows;
    for (stored->first(); !stored->eof(); stored->next())
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(stored->asInteger(QStringLiteral("AcctID")))
                    .arg(stored->asInteger(QStringLiteral("DacvID")))
                    .arg(stored->asInteger(QStringLiteral("Debit")))
                    .arg(stored->asInteger(QStringLiteral("Credit")));
    QCOMPARE(rows, (QStringList{"1 0 117000 0", "4 1 0 100000", "12 0 0 17000"}));

    // Ctrl+N: a new voucher of the same word and date; unbalanced, it is refused here;
    // in a closed period, by the server, whose reason is shown.
    press(form, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(form.Draft().docEntry, 0);
    QCOMPARE(text("lbDocNum"), QStringLiteral("（保存后编号）"));
    grid->setFocus();
    type(form, QStringLiteral("报销"));
    press(form, Qt::Key_Return);
    // F7 in the account cell: the account picker's choice goes on the line.
    s.dialogs.answerWith([](QDialog &dialog) {
        auto &picker = static_cast<gl::TSelAccountingForm &>(dialog);
        picker.DataSet()->locate(QStringLiteral("AcctID"), int(Cash));
        picker.Choose();
        return dialog.result();
    });
    press(form, Qt::Key_F7);
    QCOMPARE(s.dialogs.shown.last().className, QStringLiteral("vexa::gl::TSelAccountingForm"));
    s.messages();
    QCOMPARE(form.Draft().lines[0].acctCode, QStringLiteral("1001"));
    QCOMPARE(grid->currentIndex().column(), 1);
    grid->setFocus();
    press(form, Qt::Key_Return);
    type(form, QStringLiteral("5"));
    press(form, Qt::Key_Return);
    press(form, Qt::Key_Return);
    type(form, QStringLiteral("100201"));
    press(form, Qt::Key_Return);
    press(form, Qt::Key_Return);
    type(form, QStringLiteral("4"));
    press(form, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(s.messages(), QStringList{"借贷不平衡：借方合计 5.00，贷方合计 4.00，相差 1.00。"});
    QCOMPARE(form.Draft().docEntry, 0);
    form.findChild<QDateEdit *>(QStringLiteral("edDocDate"))->setDate(QDate(2024, 10, 8));
    grid->setFocus();
    press(form, Qt::Key_Equal);
    press(form, Qt::Key_S, Qt::ControlModifier);
    const QStringList refused = s.messages();
    QCOMPARE(refused.size(), 1);
    QVERIFY2(refused[0].contains(QStringLiteral("2024")), qPrintable(refused[0]));
    QCOMPARE(form.Draft().docEntry, 0);
    QVERIFY(form.Modified());

    // Reviewed by another user, the first voucher opens read only.
    s.dialogs.answer(gl::mrOk); // leave the unsaved one
    const auto clerk = s.other();
    QVariantList args{QString::number(entry), true};
    clerk->call(QStringLiteral("ReviewVouchers"), args);
    QVariant none;
    form.Execute(quint32(entry), QStringLiteral("DocEntry"), none);
    QCOMPARE(form.Draft().docEntry, entry);
    QCOMPARE(form.Draft().lines.size(), 3);
    QCOMPARE(form.Draft().lines[1].dacvName, QStringLiteral("甲客户"));
    QVERIFY(form.ReadOnly());
    QVERIFY(!form.findChild<QPushButton *>(QStringLiteral("btnSave"))->isEnabled());
    QVERIFY(!(grid->model()->flags(grid->model()->index(0, 0)) & Qt::ItemIsEditable));
    QCOMPARE(text("lbStatus"), QStringLiteral("已审核（只读）"));
    QVERIFY(text("lbPeople").contains(QStringLiteral("审核：会计张三")));
}

QTEST_MAIN(TestVoucherForm)
#include "tst_voucherform.moc"
