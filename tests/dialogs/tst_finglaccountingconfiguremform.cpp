// The automatic accounting configuration over the demo account set with the chart of the
// enterprise template A01000, driven by its component names.
#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataModule.h"
#include "DataPacket.h"
#include "FinGLAccountingConfigureMForm.h"
#include "GLAccountingRules.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "RemoteConnection.h"
#include "SelAccountingForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace vexa;
using namespace vexa::gl;

namespace {

using vexa::test::RecordingHost;
using Form = TFinGLAccountingConfigureMForm;

constexpr int kInbound = 3511;
constexpr int kOutbound = 3521;
const QString kFrozenLeaf = QStringLiteral("660304");
const QString kInvalid = QStringLiteral("输入科目代码无效。");
const QString kError = QStringLiteral("vexa::gl::TErrorInfoFrom");
const QString kWarning = QStringLiteral("vexa::gl::TWarningInfoFrom");

QString twoDigits(int n)
{
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

// Forwards to the real server and records the transaction calls and applied providers.
class RecordingServer : public IAppServer
{
public:
    explicit RecordingServer(IAppServer *inner) : m_inner(inner) {}
    void applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                      int &errorCount, QVariant &ownerData) override
    {
        log << QStringLiteral("apply:") + provider;
        m_inner->applyUpdates(provider, delta, maxErrors, errorCount, ownerData);
    }
    QVariant call(const QString &operation, QVariantList &args) override
    {
        if (operation.endsWith(QLatin1String("Trans")))
            log << operation;
        return m_inner->call(operation, args);
    }
    QStringList log;

private:
    IAppServer *m_inner;
};

template <typename T> T *child(QObject &form, const QString &name)
{
    T *found = form.findChild<T *>(name);
    if (!found)
        qWarning() << "no component" << name;
    return found;
}

ClientDataSet &dataSet(Form &form, const char *name)
{
    return *child<ClientDataSet>(form, QLatin1String(name));
}

QVariant valueOf(const DataPacket &p, int row, const char *field)
{
    return p.rows[row][indexOfField(p.fields, QLatin1String(field))];
}

// Types a code into an edit and ends the edit with Enter.
void typeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    edit->del();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

QModelIndex cell(QTableView *grid, const ClientDataSet &ds, int row, const char *field)
{
    return grid->model()->index(row, ds.fieldIndex(QLatin1String(field)));
}

} // namespace

class TestFinGLAccountingConfigureMForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<RecordingHost> m_host;
    std::unique_ptr<RecordingServer> m_server;

    QStringList &requests() { return m_host->recorder.requests; }

    DataPacket request(const char *provider, const QString &command = QString())
    {
        return m_host->connection->request(QLatin1String(provider), command);
    }
    DataPacket account(const QString &code)
    {
        return request("LX_BMListAccounting", QStringLiteral("WHERE AcctCode = '%1'").arg(code));
    }
    DataPacket kinds(int objType)
    {
        return request("LX_DMDocType",
                       QStringLiteral("WHERE ObjType = %1 ORDER BY DocType").arg(objType));
    }

    std::unique_ptr<Form> shownForm()
    {
        auto form = std::make_unique<Form>();
        form->show();
        return form;
    }

    // The picker's answer: the account of that code, chosen with "选择".
    static ScriptedDialogs::Answer choose(const QString &code)
    {
        return [code](QDialog &d) {
            auto &picker = static_cast<TSelAccountingForm &>(d);
            if (!picker.DataSet()->locate(QStringLiteral("AcctCode"), code))
                qWarning() << "picker does not list" << code;
            d.findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
            return d.result();
        };
    }

    // Sets a cell as a grid editor commits it; refusals are shown once events run.
    static bool setCell(QTableView *grid, const ClientDataSet &ds, int row, const char *field,
                        const QVariant &value)
    {
        const bool done = grid->model()->setData(cell(grid, ds, row, field), value);
        QCoreApplication::processEvents();
        return done;
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<RecordingHost>();
        m_server = std::make_unique<RecordingServer>(m_host->connection->appServer());
        Globals().Host = m_host.get();
        Globals().Connection = &m_host->recorder;
        Globals().AppServer = m_server.get();
        Globals().DataModule = &m_host->dataModule;
        Session().RegistryPath = m_host->values.value(QStringLiteral("REGPATH")).toString();

        // The template's chart, one leaf account frozen.
        const DataPacket tpl =
            request("SYS_SMAcctTempData", QStringLiteral("WHERE AcctTempCode = 'A01000'"));
        QCOMPARE(int(tpl.rows.size()), 1);
        const DataPacket accounts = readDataPacket(valueOf(tpl, 0, "AcctXMLData").toString());
        ClientDataSet chart;
        chart.setRemoteConnection(m_host->connection.get());
        chart.setProviderName(QStringLiteral("LX_DMAccounting"));
        chart.setCommandText(QStringLiteral("WHERE 1=0"));
        chart.open();
        for (const QVariantList &row : accounts.rows) {
            chart.append();
            for (int i = 0; i < accounts.fields.size(); ++i)
                if (chart.findField(accounts.fields[i].name))
                    chart.setValue(accounts.fields[i].name, row[i]);
            if (chart.asString(QStringLiteral("AcctCode")) == kFrozenLeaf)
                chart.setValue(QStringLiteral("Frozen"), true);
            chart.post();
        }
        ApplyChanges(chart, true);

        auto *shared = new ClientDataSet;
        shared->setObjectName(QStringLiteral("CDS_GLAcct"));
        shared->setRemoteConnection(m_host->connection.get());
        shared->setProviderName(QStringLiteral("LX_DMGLAccountingConfigure"));
        shared->open();
        m_host->dataModule.addDataSet(shared);
    }

    void init()
    {
        requests().clear();
        m_server->log.clear();
        m_host->calls.clear();
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        Session() = SessionGlobals();
        m_server.reset();
        m_host.reset();
    }

    // The configuration's row rules: kind codes, the hundred-kinds boundary, which rows may
    // be deleted, what a kind lacks, which editor stands for which slot.
    void kindRules_data()
    {
        QTest::addColumn<int>("objType");
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("desc");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("deletable");
        QTest::addColumn<QString>("missing");
        QTest::newRow("new, complete") << -1 << 0 << "赠品"
                                       << "6301" << true << "";
        QTest::newRow("new, no name") << 0 << 0 << ""
                                      << "6301" << true << "DocDesc";
        QTest::newRow("new, no account") << -1 << 0 << "赠品"
                                         << "" << true << "AcctCode";
        QTest::newRow("new, source without account") << -1 << 12 << "赠品"
                                                     << "" << true << "";
        QTest::newRow("saved") << 1 << 0 << "赠品"
                               << "6301" << false << "";
    }

    void kindRules()
    {
        QFETCH(int, objType);
        QFETCH(int, source);
        QFETCH(QString, desc);
        QFETCH(QString, code);
        QFETCH(bool, deletable);
        QFETCH(QString, missing);
        ClientDataSet kinds;
        for (const char *f : {"DocDesc", "AcctCode"})
            kinds.addField(QLatin1String(f), FieldType::String, 40);
        for (const char *f : {"ObjType", "DocTypeFor"})
            kinds.addField(QLatin1String(f), FieldType::Integer);
        kinds.createDataSet();
        kinds.append();
        kinds.setValue(QStringLiteral("ObjType"), objType);
        kinds.setValue(QStringLiteral("DocTypeFor"), source);
        kinds.setValue(QStringLiteral("DocDesc"), desc);
        kinds.setValue(QStringLiteral("AcctCode"), code);
        QCOMPARE(KindDeletable(kinds), deletable);
        QCOMPARE(MissingKindField(kinds), missing);
        QCOMPARE(KindCode(7), QStringLiteral("07"));
        QCOMPARE(KindCode(100), QStringLiteral("100"));
        QVERIFY(CanAppendKind(MaxDocumentKinds - 1));
        QVERIFY(!CanAppendKind(MaxDocumentKinds));
        QCOMPARE(SlotOfEditor(QStringLiteral("edSalAdvance")), QStringLiteral("SalAdvance"));
        QCOMPARE(SlotOfEditor(QStringLiteral("edNoSuchSlot")), QString());
        QCOMPARE(AccountLookupCommand(QStringLiteral("1'2")),
                 QStringLiteral("TOP 1 WHERE IsNode = 1 AND Frozen = 0 AND AcctCode = '1''2'"));
    }

    // What the dialog reads at creation and at show.
    void creationAndShow()
    {
        ScriptedDialogs dialogs;
        Form form;
        QCOMPARE(requests(),
                 QStringList{QStringLiteral(
                     "LX_BMListNumCa|WHERE ObjType=2101 ORDER BY ObjType,SortNo,NumCa")});
        requests().clear();
        child<QTabWidget>(form, QStringLiteral("pcMain"))->setCurrentIndex(2);
        form.show();
        QCOMPARE(
            requests(),
            (QStringList{QStringLiteral("LX_DMGLAccountingConfigure|"),
                         QStringLiteral("LX_DMObjType|WHERE InTag = 0 AND AutoAcctTag = 1 "
                                        "ORDER BY ObjType"),
                         QStringLiteral("LX_DMDocType|WHERE ObjType = 3511 ORDER BY DocType"),
                         QStringLiteral("LX_DMDocType|WHERE ObjType = 3521 ORDER BY DocType")}));
        QCOMPARE(child<QTabWidget>(form, QStringLiteral("pcMain"))->currentIndex(), 0);
        QCOMPARE(form.InboundCount(), int(kinds(kInbound).rows.size()));
        QCOMPARE(form.OutboundCount(), int(kinds(kOutbound).rows.size()));
        QVERIFY(child<QToolButton>(form, QStringLiteral("sbAddInto"))->isEnabled());
        // Saved kinds cannot be deleted here.
        QVERIFY(!child<QToolButton>(form, QStringLiteral("sbDelInto"))->isEnabled());
        // Hidden slots are there but not shown.
        QVERIFY(child<QLineEdit>(form, QStringLiteral("edSalAdvance"))->isVisibleTo(&form));
        QVERIFY(!child<QLineEdit>(form, QStringLiteral("edMBaseOCost"))->isVisibleTo(&form));
        QVERIFY(!child<QLineEdit>(form, QStringLiteral("edReconciliationDifference"))
                     ->isVisibleTo(&form));

        // The kind grids: the name column focused, the source shown by its text.
        auto *grid = child<QTableView>(form, QStringLiteral("grdInto"));
        ClientDataSet &into = dataSet(form, "cdsInto");
        QCOMPARE(grid->currentIndex().column(), into.fieldIndex(QStringLiteral("DocDesc")));
        QCOMPARE(grid->model()->data(cell(grid, into, 1, "DocTypeFor")).toString(),
                 QStringLiteral("行存货暂估收货科目"));
        auto *words = child<QTableView>(form, QStringLiteral("grdObjType"));
        QCOMPARE(words->currentIndex().column(),
                 dataSet(form, "cdsObjType").fieldIndex(QStringLiteral("AcctNumCa")));
        QVERIFY(dialogs.shown.isEmpty());
    }

    // A slot by typing: a valid leaf fills the three fields with the full name, anything
    // else is refused and the slot keeps its account; an emptied edit clears it.
    void slotByTypedCode_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("message");
        for (const char *row :
             {"leaf||500101|500101|", "other leaf replaces|500101|660301|660301|",
              "parent refused|500101|5001|500101|!", "unknown refused|660301|9999|660301|!",
              "quote stays in the code||1001' OR '1'='1||!", "emptied|500101|||"}) {
            const QStringList p = QString::fromUtf8(row).split(u'|');
            QTest::newRow(row) << p[1] << p[2] << p[3] << (p[4].isEmpty() ? QString() : kInvalid);
        }
        QTest::newRow("frozen refused") << "" << kFrozenLeaf << "" << kInvalid;
    }
    void slotByTypedCode()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(QString, after);
        QFETCH(QString, message);
        ScriptedDialogs dialogs;
        auto form = shownForm();
        auto *edit = child<QLineEdit>(*form, QStringLiteral("edMBaseCost"));
        if (!before.isEmpty())
            typeInto(edit, before);
        requests().clear();
        if (!message.isEmpty())
            dialogs.answer(mrOk);
        typeInto(edit, typed);

        if (!typed.isEmpty()) {
            QString quoted = typed;
            quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
            QCOMPARE(requests(), QStringList{QStringLiteral("LX_BMListAccounting|TOP 1 WHERE "
                                                            "IsNode = 1 AND Frozen = 0 AND "
                                                            "AcctCode = '") +
                                             quoted + QLatin1Char('\'')});
        }
        QCOMPARE(dialogs.shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QCOMPARE(dialogs.shown[0].className, kError);
            QCOMPARE(dialogs.shown[0].text, message);
        }
        ClientDataSet &config = dataSet(*form, "cdsData");
        // A refused code stays in the edit for correcting; the slot keeps its account.
        QCOMPARE(edit->text(), message.isEmpty() ? after : typed);
        QCOMPARE(config.asString(QStringLiteral("MBaseCostCode")), after);
        if (after.isEmpty()) {
            QVERIFY(config.isEmpty() || config.isNull(QStringLiteral("MBaseCost")));
            QVERIFY(config.isEmpty() || config.isNull(QStringLiteral("MBaseCostName")));
        } else {
            const DataPacket acct = account(after);
            QCOMPARE(config.value(QStringLiteral("MBaseCost")).toLongLong(),
                     valueOf(acct, 0, "AcctID").toLongLong());
            QCOMPARE(config.asString(QStringLiteral("MBaseCostName")),
                     valueOf(acct, 0, "FullName").toString());
            QCOMPARE(child<QLineEdit>(*form, QStringLiteral("edMBaseCostName"))->text(),
                     valueOf(acct, 0, "FullName").toString());
        }
    }

    // A slot by the edit's button: the picker (made once, leaf accounts only) fills it; a
    // cancelled pick changes nothing.
    void slotByPicker()
    {
        ScriptedDialogs dialogs;
        auto form = shownForm();
        QVERIFY(!form->AccountPicker());
        auto *edit = child<QLineEdit>(*form, QStringLiteral("edREDiffGain"));
        dialogs.answerWith(choose(QStringLiteral("660303")));
        edit->actions().value(0)->trigger();
        TSelAccountingForm *picker = form->AccountPicker();
        QVERIFY(picker);
        QVERIFY(picker->LeafOnly);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::TSelAccountingForm"));
        ClientDataSet &config = dataSet(*form, "cdsData");
        const DataPacket acct = account(QStringLiteral("660303"));
        QCOMPARE(config.value(QStringLiteral("REDiffGain")).toLongLong(),
                 valueOf(acct, 0, "AcctID").toLongLong());
        QCOMPARE(config.asString(QStringLiteral("REDiffGainCode")), QStringLiteral("660303"));
        QCOMPARE(config.asString(QStringLiteral("REDiffGainName")),
                 valueOf(acct, 0, "FullName").toString());
        QCOMPARE(edit->text(), QStringLiteral("660303"));
        // A new configuration record starts with its defaults.
        QCOMPARE(config.asInteger(QStringLiteral("RowID")), 1);
        QVERIFY(config.asBoolean(QStringLiteral("AutoPost")));
        QVERIFY(config.asBoolean(QStringLiteral("PurAllowChangingCA")));
        QVERIFY(config.asBoolean(QStringLiteral("SalAllowChangingCA")));

        dialogs.answer(QDialog::Rejected);
        child<QLineEdit>(*form, QStringLiteral("edREDiffLoss"))->actions().value(0)->trigger();
        QCOMPARE(form->AccountPicker(), picker);
        QVERIFY(config.isNull(QStringLiteral("REDiffLoss")));
        QCOMPARE(config.asString(QStringLiteral("REDiffGainCode")), QStringLiteral("660303"));
    }

    // The voucher word is chosen from the list of voucher words and stored as its NumCa.
    void voucherWordList()
    {
        ScriptedDialogs dialogs;
        auto form = shownForm();
        auto *grid = child<QTableView>(*form, QStringLiteral("grdObjType"));
        ClientDataSet &types = dataSet(*form, "cdsObjType");
        QVERIFY(types.locate(QStringLiteral("ObjType"), 3505));
        const QModelIndex word = cell(grid, types, types.recNo() - 1, "AcctNumCa");
        QCOMPARE(grid->model()->data(word).toString(), QStringLiteral("记账凭证"));
        QVERIFY(!(grid->model()->flags(cell(grid, types, 0, "ObjName")) & Qt::ItemIsEditable));
        grid->setCurrentIndex(word);
        grid->edit(word);
        auto *list = grid->findChild<QComboBox *>(QStringLiteral("cbList"));
        QVERIFY(list);
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            items << list->itemText(i);
        QCOMPARE(items, (QStringList{"记账凭证", "收款凭证", "付款凭证", "转账凭证"}));
        list->setCurrentIndex(3);
        emit list->activated(3);
        QCOMPARE(types.asString(QStringLiteral("AcctNumCa")), QStringLiteral("转"));
        QCOMPARE(grid->model()->data(word).toString(), QStringLiteral("转账凭证"));
        QVERIFY(dialogs.shown.isEmpty());
    }

    // Appending, checking and deleting kinds of other inbound documents.
    void kindRows()
    {
        ScriptedDialogs dialogs;
        auto form = shownForm();
        auto *grid = child<QTableView>(*form, QStringLiteral("grdInto"));
        auto *add = child<QToolButton>(*form, QStringLiteral("sbAddInto"));
        auto *remove = child<QToolButton>(*form, QStringLiteral("sbDelInto"));
        ClientDataSet &into = dataSet(*form, "cdsInto");
        const int saved = form->InboundCount();
        child<QTabWidget>(*form, QStringLiteral("pcMain"))->setCurrentIndex(0);

        add->click();
        QCOMPARE(into.asInteger(QStringLiteral("ObjType")), -1);
        QCOMPARE(into.asInteger(QStringLiteral("DocTypeFor")), 0);
        QCOMPARE(into.asString(QStringLiteral("DocType")), twoDigits(saved + 1));
        QCOMPARE(form->InboundCount(), saved + 1);
        QVERIFY(remove->isEnabled());

        // The row checks refuse the next append, on the stock page at the missing column.
        const int row = into.recNo() - 1;
        for (int i = 0; i < 3; ++i)
            dialogs.answer(mrOk);
        add->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].className, kError);
        QCOMPARE(dialogs.shown[0].text, QStringLiteral("必须输入 '凭证类型 '"));
        QCOMPARE(child<QTabWidget>(*form, QStringLiteral("pcMain"))->currentIndex(), 1);
        QCOMPARE(grid->currentIndex(), cell(grid, into, row, "DocDesc"));
        QCOMPARE(into.state(), ClientDataSet::State::Insert);
        QVERIFY(setCell(grid, into, row, "DocDesc", QStringLiteral("赠品入库")));
        add->click();
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[1].text, QStringLiteral("必须输入 '对方科目 '"));
        QCOMPARE(grid->currentIndex(), cell(grid, into, row, "AcctCode"));

        // The contra account typed: unknown refused, a leaf filled with its short name.
        QVERIFY(!setCell(grid, into, row, "AcctCode", QStringLiteral("5001")));
        QCOMPARE(dialogs.shown.size(), 3);
        QCOMPARE(dialogs.shown[2].text, kInvalid);
        QVERIFY(into.isNull(QStringLiteral("AcctCode")));
        QVERIFY(setCell(grid, into, row, "AcctCode", QStringLiteral("660301")));
        const DataPacket acct = account(QStringLiteral("660301"));
        QCOMPARE(into.value(QStringLiteral("DocTypeAcctID")).toLongLong(),
                 valueOf(acct, 0, "AcctID").toLongLong());
        QCOMPARE(into.asString(QStringLiteral("AcctName")),
                 valueOf(acct, 0, "AcctName").toString());
        // A source other than 0 drops the account; the row is complete without it.
        QVERIFY(setCell(grid, into, row, "DocTypeFor", 12));
        QVERIFY(into.isNull(QStringLiteral("DocTypeAcctID")));
        QVERIFY(into.isNull(QStringLiteral("AcctCode")));
        QVERIFY(into.isNull(QStringLiteral("AcctName")));
        // The account by the cell editor's button; emptying the code clears it again.
        QVERIFY(setCell(grid, into, row, "DocTypeFor", 0));
        grid->edit(cell(grid, into, row, "AcctCode"));
        auto *code = grid->findChild<QLineEdit *>(QStringLiteral("edAcctCode"));
        QVERIFY(code);
        dialogs.answerWith(choose(QStringLiteral("500102")));
        code->actions().value(0)->trigger();
        QCOMPARE(into.asString(QStringLiteral("AcctCode")), QStringLiteral("500102"));
        QCOMPARE(code->text(), QStringLiteral("500102"));
        QVERIFY(setCell(grid, into, row, "AcctCode", QString()));
        QVERIFY(into.isNull(QStringLiteral("DocTypeAcctID")));
        QVERIFY(setCell(grid, into, row, "AcctCode", QStringLiteral("500102")));
        QCOMPARE(dialogs.shown.size(), 4);

        add->click();
        QCOMPARE(form->InboundCount(), saved + 2);
        QCOMPARE(into.asString(QStringLiteral("DocType")), twoDigits(saved + 2));
        // Moving to a saved row disables delete; an unsaved one can be deleted.
        dialogs.answer(mrOk);
        grid->setCurrentIndex(cell(grid, into, 0, "DocDesc"));
        QCoreApplication::processEvents();
        QCOMPARE(dialogs.shown.size(), 5);
        QCOMPARE(dialogs.shown[4].text, QStringLiteral("必须输入 '凭证类型 '"));
        into.cancel();
        grid->setCurrentIndex(cell(grid, into, 0, "DocDesc"));
        QCoreApplication::processEvents();
        QCOMPARE(into.recNo(), 1);
        QVERIFY(!remove->isEnabled());
        remove->click();
        QCOMPARE(into.recordCount(), saved + 1);
        grid->setCurrentIndex(cell(grid, into, saved, "DocDesc"));
        QCoreApplication::processEvents();
        QVERIFY(remove->isEnabled());
        remove->click();
        QCOMPARE(into.recordCount(), saved);
        QCOMPARE(into.changeCount(), 0);
        QCOMPARE(dialogs.shown.size(), 5);
    }

    // With 99 kinds one more can be appended; then the append button is off.
    // Regression: a grid row change queued while a kind was appended checked the new,
    // unfinished row later and refused it with "必须输入 '对方科目 '".
    void hundredKindsAtMost()
    {
        ScriptedDialogs dialogs;
        auto form = shownForm();
        auto *grid = child<QTableView>(*form, QStringLiteral("grdOut"));
        auto *add = child<QToolButton>(*form, QStringLiteral("sbAddOut"));
        ClientDataSet &out = dataSet(*form, "cdsOut");
        while (form->OutboundCount() < 99) {
            add->click();
            QVERIFY(setCell(grid, out, out.recNo() - 1, "DocDesc", QStringLiteral("类别")));
            QVERIFY(setCell(grid, out, out.recNo() - 1, "DocTypeFor", 18));
        }
        QVERIFY(add->isEnabled());
        add->click();
        QCOMPARE(form->OutboundCount(), 100);
        QCOMPARE(out.asString(QStringLiteral("DocType")), QStringLiteral("100"));
        QVERIFY(!add->isEnabled());
        QVERIFY(setCell(grid, out, out.recNo() - 1, "DocDesc", QStringLiteral("最后")));
        QVERIFY(setCell(grid, out, out.recNo() - 1, "DocTypeFor", 18));
        add->click();
        QCOMPARE(out.recordCount(), 100);
        QVERIFY(dialogs.shown.isEmpty());
    }

    // "确认" writes the record, the voucher words and both kind lists in one transaction, in
    // that order, numbers the new kinds and has the host read its copy again.
    void saveWritesEverything()
    {
        ScriptedDialogs dialogs;
        auto form = shownForm();
        typeInto(child<QLineEdit>(*form, QStringLiteral("edSalAdvance")), QStringLiteral("2203"));
        ClientDataSet &types = dataSet(*form, "cdsObjType");
        auto *words = child<QTableView>(*form, QStringLiteral("grdObjType"));
        QVERIFY(types.locate(QStringLiteral("ObjType"), 3541));
        QVERIFY(setCell(words, types, types.recNo() - 1, "AcctNumCa", QStringLiteral("转")));

        auto *into = child<QTableView>(*form, QStringLiteral("grdInto"));
        ClientDataSet &in = dataSet(*form, "cdsInto");
        const int savedIn = form->InboundCount();
        child<QToolButton>(*form, QStringLiteral("sbAddInto"))->click();
        const int row = in.recNo() - 1;
        QVERIFY(setCell(into, in, row, "DocDesc", QStringLiteral("赠品入库")));
        QVERIFY(setCell(into, in, row, "AcctCode", QStringLiteral("6301")));
        QVERIFY(setCell(into, in, row, "Remark", QStringLiteral("样品")));
        auto *out = child<QTableView>(*form, QStringLiteral("grdOut"));
        ClientDataSet &o = dataSet(*form, "cdsOut");
        const int savedOut = form->OutboundCount();
        child<QToolButton>(*form, QStringLiteral("sbAddOut"))->click();
        QVERIFY(setCell(out, o, o.recNo() - 1, "DocDesc", QStringLiteral("报废出库")));
        QVERIFY(setCell(out, o, o.recNo() - 1, "DocTypeFor", 20));
        // Left in edit mode: "确认" posts it.
        QVERIFY(setCell(out, o, o.recNo() - 1, "Remark", QStringLiteral("待处理")));
        QCOMPARE(o.state(), ClientDataSet::State::Insert);

        child<QPushButton>(*form, QStringLiteral("btnOk"))->click();
        QCOMPARE(dialogs.shown.size(), 0);
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QCOMPARE(m_server->log, (QStringList{"BeginTrans", "apply:LX_DMGLAccountingConfigure",
                                             "apply:LX_DMObjType", "apply:LX_DMDocType",
                                             "apply:LX_DMDocType", "CommitTrans"}));
        QCOMPARE(m_host->calls.count(QStringLiteral("BeginBusy")), 1);
        QCOMPARE(m_host->calls.count(QStringLiteral("EndBusy:0")), 1);

        const DataPacket config = request("LX_DMGLAccountingConfigure");
        QCOMPARE(int(config.rows.size()), 1);
        QCOMPARE(valueOf(config, 0, "RowID").toInt(), 1);
        QVERIFY(valueOf(config, 0, "AutoPost").toBool());
        QCOMPARE(valueOf(config, 0, "SalAdvanceCode").toString(), QStringLiteral("2203"));
        QCOMPARE(valueOf(config, 0, "SalAdvance").toLongLong(),
                 valueOf(account(QStringLiteral("2203")), 0, "AcctID").toLongLong());
        const DataPacket type = request("LX_DMObjType", QStringLiteral("WHERE ObjType = 3541"));
        QCOMPARE(valueOf(type, 0, "AcctNumCa").toString(), QStringLiteral("转"));
        const DataPacket inKinds = kinds(kInbound);
        QCOMPARE(int(inKinds.rows.size()), savedIn + 1);
        QCOMPARE(valueOf(inKinds, savedIn, "DocType").toString(), twoDigits(savedIn + 1));
        QCOMPARE(valueOf(inKinds, savedIn, "DocDesc").toString(), QStringLiteral("赠品入库"));
        QCOMPARE(valueOf(inKinds, savedIn, "AcctCode").toString(), QStringLiteral("6301"));
        QCOMPARE(valueOf(inKinds, savedIn, "AcctName").toString(), QStringLiteral("营业外收入"));
        const DataPacket outKinds = kinds(kOutbound);
        QCOMPARE(int(outKinds.rows.size()), savedOut + 1);
        QCOMPARE(valueOf(outKinds, savedOut, "DocType").toString(), twoDigits(savedOut + 1));
        QCOMPARE(valueOf(outKinds, savedOut, "DocTypeFor").toInt(), 20);
        QCOMPARE(valueOf(outKinds, savedOut, "Remark").toString(), QStringLiteral("待处理"));
        QVERIFY(!valueOf(outKinds, savedOut, "AcctCode").isValid());
        // The host's copy shows the new record.
        ClientDataSet *shared = m_host->dataModule.dataSet(QStringLiteral("CDS_GLAcct"));
        QCOMPARE(shared->recordCount(), 1);
        QCOMPARE(shared->asString(QStringLiteral("SalAdvanceCode")), QStringLiteral("2203"));
    }

    // A save that fails (another connection changed a kind in the meantime) writes nothing,
    // shows the server's message and leaves the dialog open with the edits.
    void failedSaveWritesNothing()
    {
        ScriptedDialogs dialogs;
        const DataPacket configBefore = request("LX_DMGLAccountingConfigure");
        const int inBefore = int(kinds(kInbound).rows.size());
        auto form = shownForm();
        form->setResult(0);
        typeInto(child<QLineEdit>(*form, QStringLiteral("edRoundingAccount")),
                 QStringLiteral("6711"));
        auto *grid = child<QTableView>(*form, QStringLiteral("grdInto"));
        ClientDataSet &in = dataSet(*form, "cdsInto");
        QVERIFY(setCell(grid, in, 0, "DocDesc", QStringLiteral("我的名称")));
        child<QToolButton>(*form, QStringLiteral("sbAddInto"))->click();
        const int row = in.recNo() - 1;
        QVERIFY(setCell(grid, in, row, "DocDesc", QStringLiteral("新类别")));
        QVERIFY(setCell(grid, in, row, "DocTypeFor", 11));

        auto second = m_host->server->connect();
        second->login(QStringLiteral("Manager"), QStringLiteral("manager"));
        ClientDataSet theirs;
        theirs.setRemoteConnection(second.get());
        theirs.setProviderName(QStringLiteral("LX_DMDocType"));
        theirs.setCommandText(QStringLiteral("WHERE ObjType = 3511 ORDER BY DocType"));
        theirs.open();
        theirs.edit();
        theirs.setValue(QStringLiteral("DocDesc"), QStringLiteral("他们的名称"));
        theirs.post();
        int errors = 0;
        QVariant owner;
        second->applyUpdates(QStringLiteral("LX_DMDocType"), theirs.delta(), -1, errors, owner);
        QCOMPARE(errors, 0);

        dialogs.answer(mrOk);
        child<QPushButton>(*form, QStringLiteral("btnOk"))->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].className, kWarning);
        QVERIFY2(dialogs.shown[0].text.contains(QStringLiteral("已被其他用户修改")),
                 qPrintable(dialogs.shown[0].text));
        QVERIFY(form->isVisible());
        QCOMPARE(form->result(), 0);
        QVERIFY(m_server->log.contains(QStringLiteral("RollbackTrans")));
        QVERIFY(!m_server->log.contains(QStringLiteral("CommitTrans")));
        QCOMPARE(m_host->calls.count(QStringLiteral("BeginBusy")),
                 m_host->calls.count(QStringLiteral("EndBusy:0")));
        // The configuration record was applied before the kinds failed: rolled back too.
        const DataPacket configAfter = request("LX_DMGLAccountingConfigure");
        QCOMPARE(configAfter.rows, configBefore.rows);
        const DataPacket inKinds = kinds(kInbound);
        QCOMPARE(int(inKinds.rows.size()), inBefore);
        QCOMPARE(valueOf(inKinds, 0, "DocDesc").toString(), QStringLiteral("他们的名称"));
        // The edits stay; the new kind is still new and deletable.
        ClientDataSet &config = dataSet(*form, "cdsData");
        QCOMPARE(config.asString(QStringLiteral("RoundingAccountCode")), QStringLiteral("6711"));
        QVERIFY(config.changeCount() > 0);
        QVERIFY(in.locate(QStringLiteral("DocDesc"), QStringLiteral("新类别")));
        QCOMPARE(in.asInteger(QStringLiteral("ObjType")), -1);
        QVERIFY(child<QToolButton>(*form, QStringLiteral("sbDelInto"))->isEnabled());
    }

    // "取消" writes nothing and drops the edits.
    void cancelWritesNothing()
    {
        ScriptedDialogs dialogs;
        const DataPacket configBefore = request("LX_DMGLAccountingConfigure");
        const DataPacket inBefore = kinds(kInbound);
        auto form = shownForm();
        typeInto(child<QLineEdit>(*form, QStringLiteral("edPurAdvance")), QStringLiteral("1122"));
        child<QToolButton>(*form, QStringLiteral("sbAddInto"))->click();
        child<QPushButton>(*form, QStringLiteral("btnCancel"))->click();
        QCOMPARE(form->result(), int(QDialog::Rejected));
        QVERIFY(m_server->log.isEmpty());
        QCOMPARE(request("LX_DMGLAccountingConfigure").rows, configBefore.rows);
        QCOMPARE(kinds(kInbound).rows, inBefore.rows);
        for (const char *name : {"cdsData", "cdsObjType", "cdsInto", "cdsOut"})
            QCOMPARE(dataSet(*form, name).changeCount(), 0);
        QVERIFY(dialogs.shown.isEmpty());
    }
};

QTEST_MAIN(TestFinGLAccountingConfigureMForm)
#include "tst_finglaccountingconfiguremform.moc"
