// 报表定义: the draft's edits and packets without a window, then the window against the
// in-process server: a line added and saved, a refusal that keeps the edits, leaving asked.
#include "LedgerWindow.h"
#include "ReportTemplateForm.h"
#include "support/TemplateChart.h"

#include "MessageDialogs.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

using namespace vexa;
using namespace vexa::ledger;
using namespace vexa::test;

namespace {

using S = QString;

TemplateLine line(int key, std::optional<int> no, const char *name, int type)
{
    TemplateLine l;
    l.key = key;
    l.itemId = key * 10;
    l.line = no;
    l.name = S::fromUtf8(name);
    l.type = type;
    return l;
}

// 标题, 1 货币资金 (1001 +, 1012 −), 2 存货, 3 合计 (货币资金 + 存货).
TemplateDraft sample()
{
    TemplateDraft d;
    d.templetId = 5;
    d.code = S("T1");
    d.name = S("资产表");
    d.lines = {line(1, std::nullopt, "流动资产：", TemplateLine::Heading),
               line(2, 1, "货币资金", TemplateLine::Accounts),
               line(3, 2, "存货", TemplateLine::Accounts), line(4, 3, "合计", TemplateLine::Sum)};
    d.lines[1].terms = {{S("1001"), S("QM"), false}, {S("1012"), S("QM"), true}};
    d.lines[3].sums = {{2, false}, {3, false}};
    return d;
}

QStringList numbers(const TemplateDraft &d)
{
    QStringList out;
    for (const TemplateLine &l : d.lines)
        out << (l.line ? QString::number(*l.line) : S("-")) + l.name;
    return out;
}

} // namespace

class TestReportTemplateForm : public QObject
{
    Q_OBJECT

private slots:
    void draftEdits();
    void window();
};

void TestReportTemplateForm::draftEdits()
{
    TemplateDraft d = sample();
    // Running numbers follow the lines; a heading takes none.
    QCOMPARE(d.insertLine(2), 2);
    d.lines[2].name = S("新");
    QCOMPARE(numbers(d),
             (QStringList{S("-流动资产："), S("1货币资金"), S("2新"), S("3存货"), S("4合计")}));
    QVERIFY(d.moveLine(2, 2));
    QVERIFY(!d.moveLine(4, 1));
    QCOMPARE(numbers(d),
             (QStringList{S("-流动资产："), S("1货币资金"), S("2存货"), S("3合计"), S("4新")}));
    // Removing a line takes it out of the sums that named it.
    d.removeLine(2);
    QCOMPARE(numbers(d), (QStringList{S("-流动资产："), S("1货币资金"), S("2合计"), S("3新")}));
    QCOMPARE(d.lines[2].sums, (QList<TemplateSum>{{2, false}}));
    // Numbers set by hand stay as they are.
    d.lines[1].line = 7;
    d.insertLine(1);
    QCOMPARE(numbers(d),
             (QStringList{S("-流动资产："), S("-"), S("7货币资金"), S("2合计"), S("3新")}));

    // The packets: header, lines in order with their ids, terms and sums by line position.
    TemplateDraft p = sample();
    p.setType(2, TemplateLine::Sum); // a change of type drops what the type does not take
    p.lines[2].sums = {{4, true}};
    const QVariantList args = p.packets();
    QCOMPARE(args.size(), 4);
    const DataPacket items = readDataPacket(args[1].toString());
    QCOMPARE(items.rows.size(), size_t(4));
    QCOMPARE(packetValue(items, 2, "ItemID").toInt(), 30);
    QVERIFY(packetValue(items, 0, "ItemLine").isNull());
    const DataPacket terms = readDataPacket(args[2].toString());
    QCOMPARE(terms.rows.size(), size_t(2));
    QCOMPARE(packetValue(terms, 1, "Row").toInt(), 2);
    QCOMPARE(packetValue(terms, 1, "Operator").toString(), S("-"));
    const DataPacket sums = readDataPacket(args[3].toString());
    QCOMPARE(sums.rows.size(), size_t(3));
    QCOMPARE(packetValue(sums, 0, "Row").toInt(), 3);
    QCOMPARE(packetValue(sums, 0, "SumRow").toInt(), 4);
    QCOMPARE(packetValue(sums, 0, "Operator").toString(), S("-"));
    QCOMPARE(packetValue(sums, 2, "SumRow").toInt(), 3);
    // A copy is new in all its lines.
    p.copyAsNew(S("T2"), S("副本"));
    const DataPacket copied = readDataPacket(p.packets()[1].toString());
    QCOMPARE(packetValue(readDataPacket(p.packets()[0].toString()), 0, "TempletID").toInt(), 0);
    for (size_t r = 0; r < copied.rows.size(); ++r)
        QCOMPARE(packetValue(copied, int(r), "ItemID").toInt(), 0);
}

void TestReportTemplateForm::window()
{
    LedgerWindowSession s;
    QSqlDatabase db = s.session->connection->database();
    ledgerSql(db, S("INSERT INTO T0200096 (TempletID, TempletCode, TempletName, TempletType) "
                    "VALUES (1, '会企01表', '资产负债表', 1), (2, '会企02表', '利润表', 2)"));
    ledgerSql(db, S("INSERT INTO T0200097 (TempletID, ItemID, SortNo, ItemLine, ItemName, "
                    "ItemType, Indent) VALUES (1, 1, 1, 1, '货币资金', 1, 1), "
                    "(1, 2, 2, 2, '资产总计', 2, 0)"));
    ledgerSql(db, S("INSERT INTO T0200098 (TempletID, ItemID, ItemAcctCode, FetchType, Operator, "
                    "AcctID) VALUES (1, 1, '1001', 'QM', '+', %1)")
                      .arg(Cash));
    ledgerSql(db, S("INSERT INTO T0200099 (TempletID, ItemID, SumItemID, Operator) "
                    "VALUES (1, 2, 1, '+')"));

    TReportTemplateForm form;
    QVariant p3;
    form.Execute(0, QString(), p3);
    showActive(form);
    auto *templets = form.findChild<QComboBox *>(S("cbTemplet"));
    auto *items = form.findChild<QTableWidget *>(S("grdItems"));
    auto *terms = form.findChild<QTableWidget *>(S("grdTerms"));
    const auto button = [&](const char *name) {
        return form.findChild<QPushButton *>(S::fromLatin1(name));
    };
    QCOMPARE(templets->count(), 2);
    QCOMPARE(items->rowCount(), 2);
    QCOMPARE(terms->rowCount(), 1);
    QCOMPARE(terms->item(0, 1)->text(), S("库存现金"));

    // A line of accounts inserted before 资产总计 with the bank's balance; saved.
    items->setCurrentCell(1, 1);
    button("btnInsertLine")->click();
    QCOMPARE(items->rowCount(), 3);
    QCOMPARE(items->item(2, 0)->text(), S("3"));
    items->item(1, 1)->setText(S("银行存款"));
    button("btnAddTerm")->click();
    terms->item(0, 0)->setText(S("1002"));
    QCOMPARE(terms->item(0, 1)->text(), S("银行存款"));
    QVERIFY(form.Modified());
    button("btnSave")->click();
    QVERIFY(!form.Modified());
    QCOMPARE(s.messages(), QStringList());
    QSqlQuery q(db);
    QVERIFY(q.exec(S("SELECT i.ItemLine, i.ItemName, t.AcctID FROM T0200097 i JOIN T0200098 t "
                     "ON t.TempletID = i.TempletID AND t.ItemID = i.ItemID "
                     "WHERE i.TempletID = 1 ORDER BY i.SortNo")));
    QVERIFY(q.next() && q.value(1).toString() == S("货币资金"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 2);
    QCOMPARE(q.value(2).toInt(), int(Bank));
    // With VEXA_SCREENSHOTS=DIR the window is saved there (docs/screenshots).
    if (const QString dir = qEnvironmentVariable("VEXA_SCREENSHOTS"); !dir.isEmpty()) {
        items->setCurrentCell(1, 1);
        form.resize(900, 560);
        form.grab().save(dir + S("/GLBBDY.png"));
    }

    // The server's refusal is shown and the window keeps the edit.
    auto *code = form.findChild<QLineEdit *>(S("edCode"));
    code->setFocus();
    code->selectAll();
    QTest::keyClicks(code, S("X"));
    QTest::keyClick(code, Qt::Key_Backspace);
    s.dialogs.answer(gl::mrOk);
    button("btnSave")->click();
    const QStringList shown = s.messages();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.front().contains(S("报表代码不能为空")), qPrintable(shown.front()));
    QCOMPARE(code->text(), QString());
    QVERIFY(form.Modified());

    // Another format with the edit unsaved: asked; cancel stays, no leaves it.
    s.dialogs.answer(gl::mrCancel);
    templets->setCurrentIndex(1);
    emit templets->activated(1);
    QCOMPARE(form.Draft().templetId, 1);
    QCOMPARE(s.messages().size(), 1);
    s.dialogs.answer(gl::mrNo);
    templets->setCurrentIndex(1);
    emit templets->activated(1);
    QCOMPARE(form.Draft().templetId, 2);
    QCOMPARE(items->rowCount(), 0);
}

QTEST_MAIN(TestReportTemplateForm)
#include "tst_reporttemplateform.moc"
