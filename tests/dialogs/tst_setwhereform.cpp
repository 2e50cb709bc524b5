// The filter builder window driven by its component names over the account lookup: the
// offered columns, the grid's editors, a refused value, the rows kept between openings, and
// that the condition it writes runs on the server like the hand-written one.
#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "MessageDialogs.h"
#include "SetWhereForm.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TemplateChart.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;
using namespace vexa::test;

namespace {

QStringList column(const ClientDataSet &ds, const char *field)
{
    QStringList out;
    for (int r = 0; r < ds.recordCount(); ++r)
        out << ds.valueAt(r, ds.fieldIndex(QLatin1String(field))).toString();
    return out;
}

QStringList keysOf(const DataPacket &packet)
{
    QStringList out;
    for (size_t r = 0; r < packet.rows.size(); ++r)
        out << packetValue(packet, int(r), "AcctID").toString();
    out.sort();
    return out;
}

} // namespace

class TestSetWhereForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    PluginSession<> m_session;

private slots:
    void filterAccounts()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        auto &c = *m_session->connection;
        insertRows(c, QStringLiteral("LX_DMAccounting"), readDataPacket(templateChart(c).accounts));
        ClientDataSet accounts;
        accounts.setRemoteConnection(&c);
        accounts.setProviderName(QStringLiteral("LX_BMListAccounting"));
        accounts.setCommandText(QStringLiteral("TOP 10"));
        accounts.open();
        QTableView lookup;
        lookup.setModel(new DataSetModel(&accounts, &lookup));
        const DataPacket layout =
            c.request(QStringLiteral("ENV_EnvDataObject"),
                      QStringLiteral("WHERE DataObject = 'LX_BMListAccounting' AND FindTag = True "
                                     "ORDER BY Index"));
        QStringList captions;
        for (size_t r = 0; r < layout.rows.size(); ++r)
            captions << packetValue(layout, int(r), "Caption").toString();
        QVERIFY(captions.size() > 5 && captions.size() < accounts.fieldCount());

        TSetWhereForm f;
        f.SourceView = &lookup;
        f.SourceDataSet = &accounts;
        auto *grid = child<QTableView>(f, QStringLiteral("grdData"));
        ClientDataSet &rows = *child<ClientDataSet>(f, QStringLiteral("cdsData"));
        const auto cell = [&](int row, const char *field) {
            return grid->model()->index(row, rows.fieldIndex(QLatin1String(field)));
        };
        const auto type = [&](int row, const char *field, const char *relation, const char *value) {
            QAbstractItemModel *m = grid->model();
            QVERIFY(m->setData(cell(row, "FieldName"), QString::fromUtf8(field)));
            QVERIFY(m->setData(cell(row, "IFValue"), QString::fromUtf8(relation)));
            QVERIFY(m->setData(cell(row, "Value"), QString::fromUtf8(value)));
        };
        const auto click = [&](const char *button) {
            child<QPushButton>(f, QLatin1String(button))->click();
        };

        ScriptedDialogs dialogs;
        QStringList listed;
        bool stayedOpen = false;
        dialogs.answerWith([&](QDialog &) {
            // The drop-down lists the layout's columns; choosing one fills in "等于".
            grid->setCurrentIndex(cell(0, "FieldName"));
            grid->edit(cell(0, "FieldName"));
            auto *combo = grid->findChild<QComboBox *>(QStringLiteral("cbFieldName"));
            for (int i = 0; combo && i < combo->count(); ++i)
                listed << combo->itemText(i);
            const int code = listed.indexOf(QStringLiteral("科目代码"));
            combo->setCurrentIndex(code);
            emit combo->activated(code);
            grid->model()->setData(cell(0, "IFValue"), QStringLiteral("LLike"));
            type(1, "AcctName", "Like", "款");
            type(2, "IsNode", "=", "是");
            type(3, "Levels", "<=", "two");
            dialogs.answer(mrOk); // the error box
            click("btnOk");
            stayedOpen = f.isVisible() && f.result() == 0;
            grid->model()->setData(cell(3, "Value"), QStringLiteral("2"));
            // OK pressed while a value is still being typed takes that value.
            grid->setCurrentIndex(cell(0, "Value"));
            grid->edit(cell(0, "Value"));
            grid->findChild<QLineEdit *>(QStringLiteral("edValue"))->setText(QStringLiteral("1"));
            click("btnOk");
            return f.result();
        });
        QCOMPARE(DialogService::instance().exec(f), int(mrOk));
        QCOMPARE(listed, captions);
        QVERIFY(stayedOpen);
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[1].text, QStringLiteral("第 4 行筛选值为无效整数。"));
        QCOMPARE(f.WhereText, QStringLiteral("AcctCode Like  '1%' AND AcctName Like  '%款%' AND "
                                             "IsNode = 1 AND Levels <= 2"));
        QCOMPARE(rows.changeCount(), 0);
        const QString provider = QStringLiteral("LX_BMListAccounting");
        const QStringList hand = keysOf(
            c.request(provider, QStringLiteral("WHERE AcctCode LIKE '1%' AND AcctName "
                                               "LIKE '%款%' AND IsNode = True AND Levels <= 2")));
        QVERIFY(!hand.isEmpty() && hand.size() < int(c.request(provider, {}).rows.size()));
        QCOMPARE(keysOf(c.request(provider, "WHERE " + f.WhereText)), hand);

        // A layout variant without rows offers the grid's columns, never an internal one: the
        // row of a column no longer offered goes, an empty one comes at the end.
        f.FindShowNo = QStringLiteral("2");
        f.DataObjectName = accounts.providerName();
        setColumnTag(&lookup, accounts.fieldIndex(QStringLiteral("Levels")), -1);
        dialogs.answerWith([&](QDialog &) {
            click("btnOk");
            return f.result();
        });
        QCOMPARE(DialogService::instance().exec(f), int(mrOk));
        QCOMPARE(f.WhereText, QStringLiteral("AcctCode Like  '1%' AND AcctName Like  '%款%' AND "
                                             "IsNode = 1"));
        QCOMPARE(
            column(*child<ClientDataSet>(f, QStringLiteral("cdsViewCol")), "ColumnName").size(),
            accounts.fieldCount() - 1);
        QCOMPARE(column(rows, "ColIndex").last(), QStringLiteral("13"));

        // Clearing empties the rows and puts the focus on the first column; Escape cancels
        // and leaves the condition as it was. Without a lookup grid only the layout's
        // columns are offered (none here).
        f.SourceView = nullptr;
        f.SourceDataSet = nullptr;
        QWidget *focus = nullptr;
        QModelIndex current;
        QStringList cleared;
        dialogs.answerWith([&](QDialog &) {
            rows.setRecNo(13);
            child<QPushButton>(f, QStringLiteral("btnOk"))->setFocus();
            click("btnClear");
            cleared = column(rows, "FieldName") + column(rows, "Value");
            current = grid->currentIndex();
            focus = f.focusWidget();
            QTest::keyClick(grid, Qt::Key_Escape);
            return f.result();
        });
        QCOMPARE(DialogService::instance().exec(f), int(mrCancel));
        QCOMPARE(cleared.join(QString()), QString());
        QCOMPARE(current, cell(0, "FieldName"));
        QCOMPARE(focus, static_cast<QWidget *>(grid));
        QCOMPARE(f.WhereText, QStringLiteral("AcctCode Like  '1%' AND AcctName Like  '%款%' AND "
                                             "IsNode = 1"));
    }
};

QTEST_MAIN(TestSetWhereForm)
#include "tst_setwhereform.moc"
