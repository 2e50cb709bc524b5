// The numbering of account types, and one walk through the account-type editor over a demo
// account set.
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataPacket.h"
#include "DefAccttypeForm.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;
using S = QString;

namespace {

// The list as a caller hands it over: keys as given, keyType the type of AcctType.
QString typePacket(const QList<int> &keys, FieldType keyType)
{
    DataPacket p;
    p.fields = {FieldDef{S("AcctType"), keyType, keyType == FieldType::String ? 2 : 0, true},
                FieldDef{S("AcctTypeCode"), FieldType::String, 10},
                FieldDef{S("AcctTypeDesc"), FieldType::String, 40},
                FieldDef{S("AcctTypeDC"), FieldType::FixedChar, 1},
                FieldDef{S("SYAdjust"), FieldType::Boolean}};
    for (int key : keys)
        p.rows.push_back({coerceToField(p.fields[0], S("%1").arg(key, 2, 10, QLatin1Char('0'))),
                          QString::number(key), S("类%1").arg(key), S("C"), key == 3});
    return writeDataPacket(p);
}

QStringList column(const QString &packet, const char *field)
{
    const DataPacket p = readDataPacket(packet);
    const int f = indexOfField(p.fields, QLatin1String(field));
    QStringList values;
    for (const QVariantList &row : p.rows)
        values << row[f].toString();
    return values;
}

} // namespace

class TestDefAccttypeForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<vexa::test::RecordingHost> m_host;

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<vexa::test::RecordingHost>();
        Globals().Host = m_host.get();
        Globals().Connection = &m_host->recorder;
        Globals().AppServer = m_host->connection.get();
        Globals().DataModule = &m_host->dataModule;
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    // The row count + 1, or past the largest key when a deleted type left a gap.
    void nextKey_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("next");
        QTest::newRow("none") << QList<int>{} << "01";
        QTest::newRow("three") << QList<int>{1, 2, 3} << "04";
        QTest::newRow("gap after a delete") << QList<int>{1, 3} << "04";
        QTest::newRow("two digits") << QList<int>{1, 2, 9} << "10";
    }

    void nextKey()
    {
        QFETCH(QList<int>, keys);
        QFETCH(QString, next);
        for (FieldType type : {FieldType::Integer, FieldType::String}) {
            ClientDataSet types;
            types.loadFromText(typePacket(keys, type));
            QCOMPARE(NextAccttypeKey(types), next);
        }
    }

    // The editor over a handed-over list with a text key: Down on the last row appends a
    // debit, non-profit-and-loss type waiting for its code; the side is picked by its name and
    // profit-and-loss by its check box; Ctrl+Delete deletes; 保存 needs at least one type.
    // Without a handed-over list it reads the server's, and Escape closes.
    void smoke()
    {
        Settings() = ClientSettings();
        TDefAccttypeForm form;
        form.SetDataText(typePacket({1, 2, 3}, FieldType::String));
        auto *ds = child<ClientDataSet>(form, S("cdsData"));
        const auto col = [&](const char *field) { return ds->fieldIndex(QLatin1String(field)); };
        ScriptedDialogs dialogs;
        QString sideShown;
        QVariant checked;
        ClientDataSet::State state{};
        int resultAfterEmptied = -1;
        const auto walk = [&](QTableView &grid, bool empty) {
            auto *m = grid.model();
            if (empty) {
                grid.setCurrentIndex(m->index(0, col("AcctTypeCode")));
                for (int i = 0; i < 3; ++i)
                    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
                dialogs.answer(mrOk);
                child<QPushButton>(form, S("btnOk"))->click();
                resultAfterEmptied = form.result();
                QTest::keyClick(&grid, Qt::Key_Escape);
                return;
            }
            QVERIFY(grid.isColumnHidden(col("AcctType")));
            m->setData(m->index(2, col("AcctTypeDC")), S("D"));
            sideShown = m->index(2, col("AcctTypeDC")).data().toString();
            grid.edit(m->index(2, col("AcctTypeDC"))); // the side list
            m->setData(m->index(0, col("SYAdjust")), Qt::Checked, Qt::CheckStateRole);
            m->setData(m->index(2, col("SYAdjust")), Qt::Unchecked, Qt::CheckStateRole);
            grid.setCurrentIndex(m->index(1, col("AcctTypeCode")));
            QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
            // Regression: after a delete left a gap the new type repeated the last key.
            grid.setCurrentIndex(m->index(1, col("AcctTypeDesc")));
            QTest::keyClick(&grid, Qt::Key_Down);
            state = ds->state();
            checked = m->index(2, col("SYAdjust")).data(Qt::CheckStateRole);
            m->setData(m->index(2, col("AcctTypeCode")), S("6"));
            child<QPushButton>(form, S("btnOk"))->click();
        };
        const auto show = [&](bool empty) {
            dialogs.answerWith([&, empty](QDialog &d) {
                walk(*child<QTableView>(form, S("grdData")), empty);
                return d.result();
            });
            return DialogService::instance().exec(form);
        };
        QCOMPARE(show(false), int(QDialog::Accepted));
        QCOMPARE(state, ClientDataSet::State::Edit);
        QCOMPARE(checked, QVariant(Qt::Unchecked));
        QCOMPARE(sideShown, S("借"));
        const QString back = form.DataText();
        QCOMPARE(column(back, "AcctType"), (QStringList{S("01"), S("03"), S("04")}));
        QCOMPARE(column(back, "AcctTypeCode"), (QStringList{S("1"), S("3"), S("6")}));
        QCOMPARE(column(back, "AcctTypeDC"), (QStringList{S("C"), S("D"), S("D")}));
        QCOMPARE(column(back, "SYAdjust"), (QStringList{S("true"), S("false"), S("false")}));

        form.SetDataText(back);
        QCOMPARE(show(true), int(QDialog::Rejected));
        QCOMPARE(resultAfterEmptied, 0);
        QCOMPARE(dialogs.shown.constLast().text, S("必须输入科目类别。"));

        auto stored = ProviderDataSet(S("LX_DMAccttype"), S("WHERE 1=1"));
        stored->append();
        stored->setValue(S("AcctType"), 7);
        stored->setValue(S("AcctTypeCode"), S("7"));
        stored->setValue(S("AcctTypeDesc"), S("服务器类"));
        stored->setValue(S("AcctTypeDC"), S("D"));
        stored->post();
        ApplyChanges(*stored, true);
        m_host->recorder.requests.clear();
        TDefAccttypeForm reader;
        dialogs.answerWith([](QDialog &d) { return d.result(); });
        DialogService::instance().exec(reader);
        QCOMPARE(m_host->recorder.requests, QStringList{S("LX_DMAccttype|")});
        QVERIFY(column(reader.DataText(), "AcctTypeDesc").contains(S("服务器类")));
    }
};

QTEST_MAIN(TestDefAccttypeForm)
#include "tst_defaccttypeform.moc"
