// The rules of the automatic accounting configuration and one walk through its window, over
// the demo account set with the chart of the enterprise template A01000.
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
#include "support/TestSupport.h"

#include <QAction>
#include <QComboBox>
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
using S = QString;

const QString kFrozenLeaf = S("660304");
const QString kInboundCommand = S("WHERE ObjType = 3511 ORDER BY DocType");
const QString kOutboundCommand = S("WHERE ObjType = 3521 ORDER BY DocType");

// Forwards to the real server and records the transaction calls and applied providers.
class RecordingServer : public IAppServer
{
public:
    explicit RecordingServer(IAppServer *inner) : m_inner(inner) {}
    void applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                      int &errorCount, QVariant &ownerData) override
    {
        log << S("apply:") + provider;
        if (--failAt == 0)
            throw Error(S("连接中断。"));
        m_inner->applyUpdates(provider, delta, maxErrors, errorCount, ownerData);
    }
    QVariant call(const QString &operation, QVariantList &args) override
    {
        if (operation.endsWith(QLatin1String("Trans")))
            log << operation;
        return m_inner->call(operation, args);
    }
    QStringList log;
    int failAt = 0; // the apply that fails (1 the first), 0 none

private:
    IAppServer *m_inner;
};

// A field of the current row as text; empty on an empty dataset.
QString field(const ClientDataSet &ds, const char *name)
{
    return ds.isEmpty() ? QString() : ds.asString(QLatin1String(name));
}

std::unique_ptr<ClientDataSet> opened(const char *provider, const QString &command = QString())
{
    return ProviderDataSet(QLatin1String(provider), command);
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

// Sets a cell as a grid editor commits it; refusals are shown once events run.
bool setCell(QTableView *grid, const ClientDataSet &ds, int row, const char *name,
             const QVariant &value)
{
    const bool done = grid->model()->setData(
        grid->model()->index(row, ds.fieldIndex(QLatin1String(name))), value);
    QCoreApplication::processEvents();
    return done;
}

// The picker's answer: the account of that code, chosen with "选择".
ScriptedDialogs::Answer choose(const QString &code)
{
    return [code](QDialog &d) {
        if (!static_cast<TSelAccountingForm &>(d).DataSet()->locate(S("AcctCode"), code))
            qWarning() << "picker does not list" << code;
        child<QPushButton>(d, S("btnOk"))->click();
        return d.result();
    };
}

} // namespace

class TestFinGLAccountingConfigureMForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<RecordingHost> m_host;
    std::unique_ptr<RecordingServer> m_server;

    QStringList &requests() { return m_host->recorder.requests; }

    // The account of a code as the chart holds it.
    std::unique_ptr<ClientDataSet> account(const QString &code)
    {
        return opened("LX_BMListAccounting", S("WHERE AcctCode = '%1'").arg(code));
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
        Session().RegistryPath = m_host->values.value(S("REGPATH")).toString();

        // The template's chart, one leaf account frozen.
        auto tpl = opened("SYS_SMAcctTempData", S("WHERE AcctTempCode = 'A01000'"));
        QCOMPARE(tpl->recordCount(), 1);
        const DataPacket accounts = readDataPacket(tpl->asString(S("AcctXMLData")));
        auto chart = opened("LX_DMAccounting", S("WHERE 1=0"));
        for (const QVariantList &row : accounts.rows) {
            chart->append();
            for (int i = 0; i < accounts.fields.size(); ++i)
                if (chart->findField(accounts.fields[i].name))
                    chart->setValue(accounts.fields[i].name, row[i]);
            if (chart->asString(S("AcctCode")) == kFrozenLeaf)
                chart->setValue(S("Frozen"), true);
            chart->post();
        }
        ApplyChanges(*chart, true);

        auto *shared = opened("LX_DMGLAccountingConfigure").release();
        shared->setObjectName(S("CDS_GLAcct"));
        m_host->dataModule.addDataSet(shared);
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        Session() = SessionGlobals();
        m_server.reset();
        m_host.reset();
    }

    // Which kind rows may be deleted and what one lacks before it may be posted.
    void kindRules_data()
    {
        QTest::addColumn<int>("objType");
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("desc");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("deletable");
        QTest::addColumn<QString>("missing");
        const auto row = [](const char *tag, int objType, int source, const char *desc,
                            const char *code, bool deletable, const char *missing) {
            QTest::newRow(tag) << objType << source << desc << code << deletable << missing;
        };
        row("new, complete", -1, 0, "赠品", "6301", true, "");
        row("new, no name", 0, 0, "", "6301", true, "DocDesc");
        row("new, no account", -1, 0, "赠品", "", true, "AcctCode");
        row("source, no account", -1, 12, "赠品", "", true, "");
        row("saved", 1, 0, "赠品", "6301", false, "");
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
        kinds.setFieldDefs({{S("DocDesc"), FieldType::String, 40},
                            {S("AcctCode"), FieldType::String, 40},
                            {S("ObjType"), FieldType::Integer},
                            {S("DocTypeFor"), FieldType::Integer}});
        kinds.createDataSet();
        kinds.append();
        kinds.setValue(S("ObjType"), objType);
        kinds.setValue(S("DocTypeFor"), source);
        kinds.setValue(S("DocDesc"), desc);
        kinds.setValue(S("AcctCode"), code);
        QCOMPARE(KindDeletable(kinds), deletable);
        QCOMPARE(MissingKindField(kinds), missing);
        QCOMPARE(KindCode(7), S("07"));
        QCOMPARE(KindCode(100), S("100"));
        QVERIFY(CanAppendKind(MaxDocumentKinds - 1));
        QVERIFY(!CanAppendKind(MaxDocumentKinds));
        QCOMPARE(SlotOfEditor(S("edSalAdvance")), S("SalAdvance"));
        QCOMPARE(SlotOfEditor(S("edNoSuchSlot")), QString());
        QCOMPARE(ContraSourceDesc(QVariant()), QString());
        QCOMPARE(ContraSourceDesc(17), QString()); // unused
        QCOMPARE(VoucherWordName(ClientDataSet(), S("转")), QVariant(S("转")));
        QCOMPARE(AccountLookupCommand(S("1'2")),
                 S("TOP 1 WHERE IsNode = 1 AND Frozen = 0 AND AcctCode = '1''2'"));
    }

    // A typed code, for a slot (with the full name) and for a kind's contra account (with
    // the short name): an active leaf fills it, anything else is refused and the account
    // stays; an empty code clears it; the slot's own code changes nothing.
    void enterCodes_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("refused");
        const auto row = [](const char *tag, const char *before, const QString &typed,
                            const char *after, bool refused) {
            QTest::newRow(tag) << before << typed << after << refused;
        };
        row("leaf", "", "500101", "500101", false);
        row("other leaf replaces", "500101", "660301", "660301", false);
        row("same code", "500101", "500101", "500101", false);
        row("parent refused", "500101", "5001", "500101", true);
        row("unknown refused", "660301", "9999", "660301", true);
        row("frozen refused", "", kFrozenLeaf, "", true);
        row("quote stays in the code", "", "1001' OR '1'='1", "", true);
        row("emptied", "500101", "", "", false);
    }

    void enterCodes()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(QString, after);
        QFETCH(bool, refused);
        auto config = opened("LX_DMGLAccountingConfigure");
        auto kinds = opened("LX_DMDocType", kInboundCommand);
        AppendKind(*kinds, kinds->recordCount());
        auto lookup = opened("LX_BMListAccounting", S("WHERE 1=0"));
        if (!before.isEmpty()) {
            QVERIFY(EnterSlotCode(*config, *lookup, S("MBaseCost"), before));
            EnterContraCode(*kinds, *lookup, before);
        }
        requests().clear();
        bool changed = false;
        const QString expected = refused ? InvalidAccountCodeMessage : QString();
        QCOMPARE(errorOf([&] { changed = EnterSlotCode(*config, *lookup, S("MBaseCost"), typed); }),
                 expected);
        QCOMPARE(errorOf([&] { EnterContraCode(*kinds, *lookup, typed); }), expected);
        QCOMPARE(changed, !refused && typed != before);
        if (!typed.isEmpty())
            QCOMPARE(requests().value(0), S("LX_BMListAccounting|") + AccountLookupCommand(typed));
        auto acct = account(after.isEmpty() ? S("none") : after);
        QCOMPARE(field(*config, "MBaseCostCode"), after);
        QCOMPARE(field(*config, "MBaseCost"), field(*acct, "AcctID"));
        QCOMPARE(field(*config, "MBaseCostName"), field(*acct, "FullName"));
        QCOMPARE(field(*kinds, "AcctCode"), after);
        QCOMPARE(field(*kinds, "DocTypeAcctID"), field(*acct, "AcctID"));
        QCOMPARE(field(*kinds, "AcctName"), field(*acct, "AcctName"));
    }

    // The save of "确认". One failing at its last apply writes nothing, the record applied
    // first included, and leaves the new kinds unnumbered and deletable. The retry saves a new
    // record with its defaults, the voucher words and both kind lists in one transaction in
    // that order, the new kinds numbered after the saved ones.
    void saveConfiguration()
    {
        auto config = opened("LX_DMGLAccountingConfigure");
        auto types = opened("LX_DMObjType");
        auto into = opened("LX_DMDocType", kInboundCommand);
        auto out = opened("LX_DMDocType", kOutboundCommand);
        auto lookup = opened("LX_BMListAccounting", S("WHERE 1=0"));
        QVERIFY(EnterSlotCode(*config, *lookup, S("SalAdvance"), S("2203")));
        QVERIFY(types->locate(S("ObjType"), 3541));
        types->edit(); // left editing: the save posts it
        types->setValue(S("AcctNumCa"), S("转"));
        const int savedIn = into->recordCount();
        const int savedOut = out->recordCount();
        AppendKind(*into, savedIn);
        WriteKindCell(*into, *lookup, S("DocDesc"), S("赠品入库"));
        WriteKindCell(*into, *lookup, S("AcctCode"), S("6301"));
        requests().clear();
        WriteKindCell(*into, *lookup, S("AcctCode"), S(" 6301 ")); // unchanged: no lookup
        QCOMPARE(requests(), QStringList());
        AppendKind(*out, savedOut);
        WriteKindCell(*out, *lookup, S("DocDesc"), S("报废出库"));
        WriteKindCell(*out, *lookup, S("AcctCode"), S("6301"));
        WriteKindCell(*out, *lookup, S("DocTypeFor"), 20); // drops the account
        out->post();

        m_server->log.clear();
        m_server->failAt = 4;
        QCOMPARE(SaveConfiguration(*config, *types, *into, *out), S("连接中断。"));
        QCOMPARE(m_server->log.constLast(), S("RollbackTrans"));
        QCOMPARE(opened("LX_DMGLAccountingConfigure")->recordCount(), 0);
        QCOMPARE(opened("LX_DMDocType", kInboundCommand)->recordCount(), savedIn);
        QCOMPARE(field(*config, "SalAdvanceCode"), S("2203"));
        into->last();
        QCOMPARE(into->asInteger(S("ObjType")), -1);
        QVERIFY(KindDeletable(*into));

        m_server->log.clear();
        QCOMPARE(SaveConfiguration(*config, *types, *into, *out), QString());
        QCOMPARE(m_server->log, (QStringList{"BeginTrans", "apply:LX_DMGLAccountingConfigure",
                                             "apply:LX_DMObjType", "apply:LX_DMDocType",
                                             "apply:LX_DMDocType", "CommitTrans"}));
        auto stored = opened("LX_DMGLAccountingConfigure");
        QCOMPARE(stored->recordCount(), 1);
        QCOMPARE(stored->asInteger(S("RowID")), 1);
        QVERIFY(stored->asBoolean(S("AutoPost")));
        QVERIFY(stored->asBoolean(S("PurAllowChangingCA")));
        QVERIFY(stored->asBoolean(S("SalAllowChangingCA")));
        QCOMPARE(field(*stored, "SalAdvance"), field(*account(S("2203")), "AcctID"));
        QCOMPARE(field(*opened("LX_DMObjType", S("WHERE ObjType = 3541")), "AcctNumCa"), S("转"));
        auto inKinds = opened("LX_DMDocType", kInboundCommand);
        QCOMPARE(inKinds->recordCount(), savedIn + 1);
        inKinds->last();
        QCOMPARE(field(*inKinds, "DocType"), KindCode(savedIn + 1));
        QCOMPARE(field(*inKinds, "AcctName"), S("营业外收入"));
        auto outKinds = opened("LX_DMDocType", kOutboundCommand);
        outKinds->last();
        QCOMPARE(field(*outKinds, "DocType"), KindCode(savedOut + 1));
        QCOMPARE(field(*outKinds, "DocTypeFor"), S("20"));
        QVERIFY(outKinds->isNull(S("AcctCode")));
    }

    // The window driven by its components: slot codes typed and picked, a voucher word from
    // its list, kinds appended (one refused until complete) and deleted, 确认; then a second
    // showing whose 取消 drops its edits.
    void smoke()
    {
        ScriptedDialogs dialogs;
        auto form = std::make_unique<Form>();
        child<QTabWidget>(*form, S("pcMain"))->setCurrentIndex(2);
        form->show();
        QCOMPARE(child<QTabWidget>(*form, S("pcMain"))->currentIndex(), 0);
        QVERIFY(!child<QLineEdit>(*form, S("edMBaseOCost"))->isVisibleTo(form.get()));
        auto &config = *child<ClientDataSet>(*form, S("cdsData"));

        auto *rounding = child<QLineEdit>(*form, S("edRoundingAccount"));
        typeInto(rounding, S("6711"));
        QCOMPARE(field(config, "RoundingAccountCode"), S("6711"));
        QCOMPARE(child<QLineEdit>(*form, S("edRoundingAccountName"))->text(),
                 field(*account(S("6711")), "FullName"));
        dialogs.answer(mrOk);
        typeInto(rounding, S("9999"));
        QCOMPARE(dialogs.shown.value(0).text, InvalidAccountCodeMessage);
        QCOMPARE(rounding->text(), S("9999")); // left for correcting
        typeInto(rounding, S("6711 "));
        QCOMPARE(rounding->text(), S("6711"));

        dialogs.answerWith(choose(S("660303")));
        child<QLineEdit>(*form, S("edREDiffGain"))->actions().value(0)->trigger();
        QVERIFY(form->AccountPicker()->LeafOnly);
        QCOMPARE(child<QLineEdit>(*form, S("edREDiffGain"))->text(), S("660303"));
        dialogs.answer(QDialog::Rejected);
        child<QLineEdit>(*form, S("edREDiffLoss"))->actions().value(0)->trigger();
        QCOMPARE(field(config, "REDiffLossCode"), QString());

        auto *words = child<QTableView>(*form, S("grdObjType"));
        auto &types = *child<ClientDataSet>(*form, S("cdsObjType"));
        QVERIFY(types.locate(S("ObjType"), 3505));
        const QModelIndex word =
            words->model()->index(types.recNo() - 1, types.fieldIndex(S("AcctNumCa")));
        words->setCurrentIndex(word);
        words->edit(word);
        auto *list = words->findChild<QComboBox *>(S("cbList"));
        QCOMPARE(list->itemText(3), S("转账凭证"));
        list->setCurrentIndex(3);
        emit list->activated(3);
        QCOMPARE(types.asString(S("AcctNumCa")), S("转"));
        QCOMPARE(word.data().toString(), S("转账凭证"));

        // An inbound kind: the next append is refused on the stock page until it has a name
        // and an account, picked through the cell editor's button.
        auto *grid = child<QTableView>(*form, S("grdInto"));
        auto &into = *child<ClientDataSet>(*form, S("cdsInto"));
        auto *addInto = child<QToolButton>(*form, S("sbAddInto"));
        const int savedIn = form->InboundCount();
        child<QTabWidget>(*form, S("pcMain"))->setCurrentIndex(0);
        addInto->click();
        QVERIFY(child<QToolButton>(*form, S("sbDelInto"))->isEnabled());
        const int row = into.recNo() - 1;
        dialogs.answer(mrOk);
        grid->setCurrentIndex(grid->model()->index(0, into.fieldIndex(S("DocDesc"))));
        QCoreApplication::processEvents();
        QCOMPARE(into.recNo(), row + 1);
        dialogs.answer(mrOk);
        addInto->click();
        QCOMPARE(dialogs.shown.constLast().text, S("必须输入 '凭证类型 '"));
        QCOMPARE(child<QTabWidget>(*form, S("pcMain"))->currentIndex(), 1);
        QCOMPARE(grid->currentIndex().column(), into.fieldIndex(S("DocDesc")));
        QVERIFY(setCell(grid, into, row, "DocDesc", S("赠品入库")));
        dialogs.answer(mrOk);
        QVERIFY(!setCell(grid, into, row, "AcctCode", S("5001")));
        QCOMPARE(dialogs.shown.constLast().text, InvalidAccountCodeMessage);
        grid->edit(grid->model()->index(row, into.fieldIndex(S("AcctCode"))));
        dialogs.answerWith(choose(S("500102")));
        auto *code = grid->findChild<QLineEdit *>(S("edAcctCode"));
        code->actions().value(0)->trigger();
        QTest::keyClick(code, Qt::Key_Return);
        QCOMPARE(into.asString(S("AcctCode")), S("500102"));
        QVERIFY(setCell(grid, into, 0, "Remark", S("改"))); // posts the new row first

        // Two outbound kinds in a row, the second deleted again. Regression: a grid row change
        // queued while a kind was appended checked the new, unfinished row later and refused
        // it with "必须输入 '对方科目 '".
        auto *outGrid = child<QTableView>(*form, S("grdOut"));
        auto &out = *child<ClientDataSet>(*form, S("cdsOut"));
        for (const char *name : {"盘亏出库", "样品出库"}) {
            child<QToolButton>(*form, S("sbAddOut"))->click();
            QVERIFY(setCell(outGrid, out, out.recNo() - 1, "DocDesc", S(name)));
            QVERIFY(setCell(outGrid, out, out.recNo() - 1, "DocTypeFor", 18));
        }
        QCOMPARE(outGrid->model()->index(out.recNo() - 1, out.fieldIndex(S("DocTypeFor"))).data(),
                 QVariant(S("行存货销售成本科目")));
        child<QToolButton>(*form, S("sbDelOut"))->click();
        // Back on a saved row: it cannot be deleted here.
        grid->setCurrentIndex(grid->model()->index(0, into.fieldIndex(S("DocDesc"))));
        QCoreApplication::processEvents();
        QCOMPARE(into.recNo(), 1);
        QVERIFY(!child<QToolButton>(*form, S("sbDelInto"))->isEnabled());
        QCOMPARE(dialogs.shown.size(), 7);

        // A failed save is shown and keeps the dialog open; the retry saves.
        m_server->failAt = 2;
        dialogs.answer(mrOk);
        child<QPushButton>(*form, S("btnOk"))->click();
        QCOMPARE(form->result(), 0);
        child<QPushButton>(*form, S("btnOk"))->click();
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QCOMPARE(dialogs.shown.size(), 8);
        auto inKinds = opened("LX_DMDocType", kInboundCommand);
        QCOMPARE(inKinds->recordCount(), savedIn + 1);
        inKinds->last();
        QCOMPARE(field(*inKinds, "AcctCode"), S("500102"));
        QCOMPARE(field(*opened("LX_DMDocType", kOutboundCommand + S(" DESC")), "DocDesc"),
                 S("盘亏出库"));
        // The host's copy shows the saved record.
        QCOMPARE(field(*m_host->dataModule.dataSet(S("CDS_GLAcct")), "RoundingAccountCode"),
                 S("6711"));

        m_server->log.clear();
        form->show();
        typeInto(child<QLineEdit>(*form, S("edPurAdvance")), S("1122"));
        addInto->click();
        QVERIFY(setCell(grid, into, into.recNo() - 1, "DocDesc", S("取消的")));
        QVERIFY(setCell(grid, into, into.recNo() - 1, "DocTypeFor", 11));
        addInto->click(); // posts the first
        child<QPushButton>(*form, S("btnCancel"))->click();
        QCOMPARE(form->result(), int(QDialog::Rejected));
        QVERIFY(m_server->log.isEmpty());
        for (const char *name : {"cdsData", "cdsObjType", "cdsInto", "cdsOut"})
            QCOMPARE(child<ClientDataSet>(*form, S(name))->changeCount(), 0);
        QCOMPARE(dialogs.shown.size(), 8);
    }
};

QTEST_MAIN(TestFinGLAccountingConfigureMForm)
#include "tst_finglaccountingconfiguremform.moc"
