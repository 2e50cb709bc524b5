// The account-type editor, driven by its component names over a demo account set.
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataPacket.h"
#include "DefAccttypeForm.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "RemoteConnection.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"

#include <QHeaderView>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

namespace {

using vexa::test::RecordingHost;

struct TypeRow
{
    int key;
    QString code;
    QString desc;
    QString dc;
    bool syAdjust;
};

const QList<TypeRow> kThreeTypes = {
    {1, QStringLiteral("1"), QStringLiteral("资产"), QStringLiteral("D"), false},
    {2, QStringLiteral("2"), QStringLiteral("负债"), QStringLiteral("C"), false},
    {3, QStringLiteral("5"), QStringLiteral("损益"), QStringLiteral("D"), true},
};

// The list as a caller hands it over; keyType is the type of its AcctType field.
QString typePacket(const QList<TypeRow> &rows, FieldType keyType)
{
    DataPacket p;
    p.fields = {
        FieldDef{QStringLiteral("AcctType"), keyType, keyType == FieldType::String ? 2 : 0, true},
        FieldDef{QStringLiteral("AcctTypeCode"), FieldType::String, 10},
        FieldDef{QStringLiteral("AcctTypeDesc"), FieldType::String, 40},
        FieldDef{QStringLiteral("AcctTypeDC"), FieldType::FixedChar, 1},
        FieldDef{QStringLiteral("SYAdjust"), FieldType::Boolean}};
    for (const TypeRow &r : rows)
        p.rows.push_back({coerceToField(p.fields[0], r.key), r.code, r.desc, r.dc, r.syAdjust});
    return writeDataPacket(p);
}

QStringList column(const DataPacket &p, const char *field)
{
    const int f = indexOfField(p.fields, QLatin1String(field));
    QStringList values;
    for (const QVariantList &row : p.rows)
        values << (f < 0 ? QStringLiteral("<none>") : row[f].toString());
    return values;
}

int columnOf(QTableView *grid, const char *caption)
{
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        if (grid->model()->headerData(c, Qt::Horizontal).toString() == QString::fromUtf8(caption))
            return c;
    return -1;
}

} // namespace

class TestDefAccttypeForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<RecordingHost> m_host;

    // Shows the editor as a caller does; script runs while it is shown, with dialogs
    // answering the messages it raises.
    int show(TDefAccttypeForm &form, ScriptedDialogs &dialogs,
             const std::function<void(QTableView &)> &script)
    {
        dialogs.answerWith([&](QDialog &d) {
            script(*form.findChild<QTableView *>(QStringLiteral("grdData")));
            return d.result();
        });
        return DialogService::instance().exec(form);
    }

    static void click(TDefAccttypeForm &form, const char *button)
    {
        form.findChild<QPushButton *>(QLatin1String(button))->click();
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<RecordingHost>();
        Globals().Host = m_host.get();
        Globals().Connection = &m_host->recorder;
        Globals().AppServer = m_host->connection.get();
        Globals().DataModule = &m_host->dataModule;
    }

    void init()
    {
        Settings() = ClientSettings();
        m_host->recorder.requests.clear();
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    // A type appended to three is numbered 04 (as the key field can hold it), owes on the
    // debit side, is no profit-and-loss type and waits in edit for its code and name.
    void appendFourth_data()
    {
        QTest::addColumn<int>("keyType");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("expectedKey");
        QTest::newRow("Insert, numeric key")
            << int(FieldType::Integer) << int(Qt::Key_Insert) << QStringLiteral("4");
        QTest::newRow("Down on the last row, text key")
            << int(FieldType::String) << int(Qt::Key_Down) << QStringLiteral("04");
    }

    void appendFourth()
    {
        QFETCH(int, keyType);
        QFETCH(int, key);
        QFETCH(QString, expectedKey);
        TDefAccttypeForm form;
        form.SetDataText(typePacket(kThreeTypes, FieldType(keyType)));
        auto *ds = form.findChild<ClientDataSet *>(QStringLiteral("cdsData"));
        ScriptedDialogs dialogs;
        QString side, sideShown;
        QVariant syAdjust, checked;
        ClientDataSet::State state{};
        const int answer = show(form, dialogs, [&](QTableView &grid) {
            grid.setCurrentIndex(grid.model()->index(2, columnOf(&grid, "总类名称")));
            QTest::keyClick(&grid, Qt::Key(key));
            state = ds->state();
            const int row = ds->recNo() - 1;
            side = ds->asString(QStringLiteral("AcctTypeDC"));
            sideShown = grid.model()->index(row, columnOf(&grid, "方向")).data().toString();
            syAdjust = ds->value(QStringLiteral("SYAdjust"));
            checked =
                grid.model()->index(row, columnOf(&grid, "是损益类科目")).data(Qt::CheckStateRole);
            auto *m = grid.model();
            m->setData(m->index(row, columnOf(&grid, "总类代码")), QStringLiteral("6"));
            m->setData(m->index(row, columnOf(&grid, "总类名称")), QStringLiteral("成本"));
            click(form, "btnOk");
        });
        QCOMPARE(answer, int(QDialog::Accepted));
        QCOMPARE(state, ClientDataSet::State::Edit);
        QCOMPARE(side, QStringLiteral("D"));
        QCOMPARE(sideShown, QStringLiteral("借"));
        QCOMPARE(syAdjust, QVariant(false));
        QCOMPARE(checked, QVariant(Qt::Unchecked));
        const DataPacket back = readDataPacket(form.DataText());
        QCOMPARE(column(back, "AcctType"), (QStringList{QStringLiteral("1"), QStringLiteral("2"),
                                                        QStringLiteral("3"), expectedKey}));
        QCOMPARE(column(back, "AcctTypeCode").constLast(), QStringLiteral("6"));
        QCOMPARE(column(back, "AcctTypeDesc").constLast(), QStringLiteral("成本"));
    }

    // A deleted type left a gap: the new row took the last used number, and saving the
    // list failed on the repeated key.
    void appendAfterDelete()
    {
        TDefAccttypeForm form;
        form.SetDataText(typePacket(kThreeTypes, FieldType::Integer));
        ScriptedDialogs dialogs;
        show(form, dialogs, [&](QTableView &grid) {
            grid.setCurrentIndex(grid.model()->index(1, columnOf(&grid, "总类名称")));
            QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
            QTest::keyClick(&grid, Qt::Key_Insert);
            click(form, "btnOk");
        });
        const DataPacket back = readDataPacket(form.DataText());
        QCOMPARE(column(back, "AcctType"),
                 (QStringList{QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("4")}));
    }

    // What the user changes in the grid is what the caller gets back; cancelling is the
    // caller's cue to drop it.
    void roundTrip()
    {
        TDefAccttypeForm form;
        form.SetDataText(typePacket(kThreeTypes, FieldType::Integer));
        ScriptedDialogs dialogs;
        QString shownSide;
        const int answer = show(form, dialogs, [&](QTableView &grid) {
            auto *m = grid.model();
            m->setData(m->index(1, columnOf(&grid, "方向")), QStringLiteral("D"));
            shownSide = m->index(1, columnOf(&grid, "方向")).data().toString();
            m->setData(m->index(0, columnOf(&grid, "是损益类科目")), Qt::Checked,
                       Qt::CheckStateRole);
            m->setData(m->index(2, columnOf(&grid, "是损益类科目")), Qt::Unchecked,
                       Qt::CheckStateRole);
            m->setData(m->index(2, columnOf(&grid, "总类名称")), QStringLiteral("共同"));
            click(form, "btnOk");
        });
        QCOMPARE(answer, int(QDialog::Accepted));
        QCOMPARE(shownSide, QStringLiteral("借"));
        const DataPacket back = readDataPacket(form.DataText());
        QCOMPARE(back.rows.size(), size_t(3));
        QCOMPARE(column(back, "AcctTypeDC"),
                 (QStringList{QStringLiteral("D"), QStringLiteral("D"), QStringLiteral("D")}));
        QCOMPARE(column(back, "SYAdjust"),
                 (QStringList{QStringLiteral("true"), QStringLiteral("false"),
                              QStringLiteral("false")}));
        QCOMPARE(
            column(back, "AcctTypeDesc"),
            (QStringList{QStringLiteral("资产"), QStringLiteral("负债"), QStringLiteral("共同")}));
        QCOMPARE(
            column(back, "AcctTypeCode"),
            column(readDataPacket(typePacket(kThreeTypes, FieldType::Integer)), "AcctTypeCode"));
    }

    // Only a list with at least one type can be confirmed; 关闭 and Escape cancel.
    void confirm_data()
    {
        QTest::addColumn<int>("deleted");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("warnings");
        QTest::newRow("emptied by the user") << 3 << "btnOk" << 0 << 1;
        QTest::newRow("one left") << 2 << "btnOk" << int(QDialog::Accepted) << 0;
        QTest::newRow("关闭") << 0 << "btnCancel" << int(QDialog::Rejected) << 0;
        QTest::newRow("Escape") << 0 << "escape" << int(QDialog::Rejected) << 0;
    }

    void confirm()
    {
        QFETCH(int, deleted);
        QFETCH(QString, how);
        QFETCH(int, result);
        QFETCH(int, warnings);
        TDefAccttypeForm form;
        form.SetDataText(typePacket(kThreeTypes, FieldType::Integer));
        auto *ds = form.findChild<ClientDataSet *>(QStringLiteral("cdsData"));
        ScriptedDialogs dialogs;
        const int answer = show(form, dialogs, [&](QTableView &grid) {
            dialogs.answer(mrOk); // the warning, if one comes
            grid.setCurrentIndex(grid.model()->index(0, columnOf(&grid, "总类代码")));
            for (int i = 0; i < deleted; ++i)
                QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
            if (how == QLatin1String("escape"))
                QTest::keyClick(&grid, Qt::Key_Escape);
            else
                click(form, qPrintable(how));
        });
        QCOMPARE(answer, result);
        QCOMPARE(ds->recordCount(), 3 - deleted);
        QCOMPARE(int(dialogs.shown.size()), 1 + warnings);
        if (warnings) {
            QCOMPARE(dialogs.shown[1].className, QStringLiteral("vexa::gl::TWarningInfoFrom"));
            QCOMPARE(dialogs.shown[1].text, QStringLiteral("必须输入科目类别。"));
        }
    }

    // Without a handed-over list the dialog reads the server's types, each time it is shown.
    void readsServerList()
    {
        auto stored = std::make_unique<ClientDataSet>();
        stored->setRemoteConnection(m_host->connection.get());
        stored->setProviderName(QStringLiteral("LX_DMAccttype"));
        stored->setCommandText(QStringLiteral("WHERE 1=1"));
        stored->open();
        for (const TypeRow &r : kThreeTypes.mid(0, 2)) {
            stored->append();
            stored->setValue(QStringLiteral("AcctType"), r.key);
            stored->setValue(QStringLiteral("AcctTypeCode"), r.code);
            stored->setValue(QStringLiteral("AcctTypeDesc"), r.desc);
            stored->setValue(QStringLiteral("AcctTypeDC"), r.dc);
            stored->post();
        }
        ApplyChanges(*stored, true);

        TDefAccttypeForm form;
        auto *ds = form.findChild<ClientDataSet *>(QStringLiteral("cdsData"));
        ScriptedDialogs dialogs;
        int rows = 0;
        QCOMPARE(show(form, dialogs, [&](QTableView &) { click(form, "btnOk"); }),
                 int(QDialog::Accepted));
        show(form, dialogs, [&](QTableView &) { rows = ds->recordCount(); });
        QCOMPARE(m_host->recorder.requests,
                 (QStringList{QStringLiteral("LX_DMAccttype|"), QStringLiteral("LX_DMAccttype|")}));
        QCOMPARE(rows, 2);
        QCOMPARE(column(readDataPacket(form.DataText()), "AcctTypeDesc"),
                 (QStringList{kThreeTypes[0].desc, kThreeTypes[1].desc}));
    }
};

QTEST_MAIN(TestDefAccttypeForm)
#include "tst_defaccttypeform.moc"
