#include "ChildDialogForm.h"
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataSetModel.h"
#include "Globals.h"
#include "LXChildForm.h"
#include "LXPlugin.h"
#include "RemoteConnection.h"
#include "SessionContext.h"
#include "support/FaultInjection.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>

using namespace vexa;
using namespace vexa::gl;
using vexa::test::TestHost;
using namespace Qt::StringLiterals;

namespace {

// What a test page does at each step of the host-driven life cycle.
struct PageScript
{
    bool beforeOk = true;
    bool afterOk = true;
    bool allow = true;
    bool throwInExecute = false;
    bool throwOnRelease = false;
    QStringList log;
};
PageScript *script = nullptr;
int livePages = 0;

class TestPage : public TLXChildForm
{
    Q_OBJECT

public:
    explicit TestPage(QWidget *owner) : TLXChildForm(owner) { ++livePages; }
    ~TestPage() override { --livePages; }

    void BeforeExecute(bool &ok) override
    {
        script->log << QStringLiteral("before");
        ok = script->beforeOk;
    }
    void Execute(quint32 p1, const QString &p2, QVariant &p3) override
    {
        script->log << QStringLiteral("execute:%1:%2:%3").arg(p1).arg(p2, p3.toString());
        ExecuteAllowed = script->allow;
        if (script->throwInExecute)
            throw Error(QStringLiteral("页面打开失败"));
        p3 = QStringLiteral("seen");
    }
    void AfterExecute(bool &ok) override
    {
        TLXChildForm::AfterExecute(ok);
        script->log << QStringLiteral("after");
        ok = script->afterOk;
    }
    void QueryValue(quint32 param, QVariant &value) override { value = param * 2; }
    void ReleaseForm() override
    {
        if (script->throwOnRelease)
            throw Error(QStringLiteral("布局无法保存"));
    }
};

} // namespace

class TestPlugin : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<TestHost> m_host;
    PageScript m_script;
    ILXPlugin *m_plugin = nullptr;

    int openPage(int tag = 0)
    {
        QVariant p3;
        return m_plugin->CreateModuleForm(u"TP"_s, tag, 0, QString(), p3);
    }
    TLXCustomChildForm *page(int handle)
    {
        return static_cast<TLXCustomChildForm *>(m_plugin->FormWidget(handle));
    }
    static int storedTypes()
    {
        return ProviderDataSet(u"LX_DMAccttype"_s, u"WHERE 1=1"_s)->recordCount();
    }
    static void addType(ClientDataSet &ds, int key, const QString &name)
    {
        ds.append();
        ds.setValue(u"AcctType"_s, key);
        ds.setValue(u"AcctTypeDesc"_s, name);
        ds.post();
    }
    // The account types as the dialog's own dataset.
    ClientDataSet *accountTypesOf(TDefDialogForm &dialog)
    {
        auto *ds = new ClientDataSet(&dialog);
        ds->setRemoteConnection(m_host->connection.get());
        ds->setProviderName(u"LX_DMAccttype"_s);
        dialog.DataSet = ds;
        dialog.KeyField = u"AcctType"_s;
        return ds;
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        script = &m_script;
        RegisterFormsProc() = [](TLXPlugin &p) { p.RegisterFormClass<TestPage>(u"TTestPage"_s); };
        m_host = std::make_unique<TestHost>();
        m_host->values.insert(u"MCODE:TP"_s, u"ttestpage"_s);
    }

    void init()
    {
        m_script = PageScript();
        m_host->calls.clear();
    }

    void cleanupTestCase()
    {
        UnloadPlugin();
        m_host.reset();
    }

    // A refused version leaves every global as it was; a second creation returns the same
    // plug-in and registers nothing again.
    void handshake()
    {
        m_host->versionAnswer = 1;
        ILXPlugin *out = nullptr;
        QCOMPARE(errorOf([&] { CreatePluginImpl(m_host.get(), nullptr, nullptr, &out); }),
                 u"装载库文件失败，使用的库文件版本检查错误。"_s);
        QVERIFY(!out && !Globals().Host && !Globals().Plugin);
        QCOMPARE(m_host->calls, QStringList{u"CheckVersion:TARN:2013"_s});

        m_host->versionAnswer = 0;
        CreatePluginImpl(m_host.get(), nullptr, nullptr, &out);
        QVERIFY(out);
        QCOMPARE(Globals().AppServer, static_cast<IAppServer *>(m_host->connection.get()));
        ILXPlugin *again = nullptr;
        CreatePluginImpl(m_host.get(), nullptr, nullptr, &again);
        QCOMPARE(again, out);
        QCOMPARE(Globals().Plugin->FormClassNames, QStringList{u"TTESTPAGE"_s});
        m_plugin = out;
    }

    void createModuleFormFollowsTheLifeCycle()
    {
        QVariant p3 = u"data"_s;
        // The catalogue names the class in another letter case.
        const int handle = m_plugin->CreateModuleForm(u"TP"_s, 7, 3, u"DataProvider"_s, p3);
        QCOMPARE(m_script.log,
                 (QStringList{u"before"_s, u"execute:3:DataProvider:data"_s, u"after"_s}));
        QCOMPARE(p3.toString(), u"seen"_s);
        auto *form = qobject_cast<TestPage *>(m_plugin->FormWidget(handle));
        QVERIFY(form);
        QCOMPARE(form->Tag(), 7);
        QCOMPARE(form->UpdateCount(), 0); // the bracket is closed again

        QVariant value = 99;
        m_plugin->QueryForm(handle, 21, value);
        QCOMPARE(value.toInt(), 42);
        QVERIFY(errorOf([&] {
                    m_plugin->QueryForm(handle + 1, 1, value);
                }).contains(QString::number(handle + 1)));
        QVERIFY(!value.isValid()); // cleared although the page is unknown
        QCOMPARE(errorOf([&] { m_plugin->ExecuteForm(12345, 0, QString(), p3); }),
                 u"显示模块 12345 窗体错误，模块窗体未创建"_s);

        // A page that refuses to show again stays open.
        m_script.afterOk = false;
        QCOMPARE(m_plugin->ShowModuleForm(handle, 0, QString(), p3), -1);
        QCOMPARE(m_plugin->FormWidget(handle), form);
        m_script.afterOk = true;
        QCOMPARE(m_plugin->ShowModuleForm(handle, 0, QString(), p3), handle);

        QCOMPARE(m_plugin->CloseModuleForm(handle), 0);
        QCOMPARE(livePages, 0);
        QVERIFY(!m_plugin->FormWidget(handle));
    }

    void refusedAndFailedPagesAreFreed()
    {
        const qsizetype before = Globals().Plugin->OpenForms.size();
        for (bool PageScript::*refusal : {&PageScript::beforeOk, &PageScript::afterOk,
                                          &PageScript::allow}) { // allow: it withdraws itself
            m_script.*refusal = false;
            QCOMPARE(openPage(), 0);
            m_script.*refusal = true;
        }
        m_script.throwInExecute = true;
        QCOMPARE(errorOf([&] { openPage(); }), u"页面打开失败"_s);
        QCOMPARE(livePages, 0);
        QCOMPARE(Globals().Plugin->OpenForms.size(), before);
        QVariant p3;
        QCOMPARE(errorOf([&] { m_plugin->CreateModuleForm(u"NOPE"_s, 0, 0, QString(), p3); }),
                 u"系统错误1020: 动态库内没有注册 NOPE 类错误"_s);
        QCOMPARE(errorOf([] { Globals().Plugin->RegisterFormClass<TestPage>(u"TTestPAGE"_s); }),
                 u"动态库内注册模块号 TTestPAGE 错误"_s);
    }

    void closeAllFormsWrapsErrors()
    {
        QCOMPARE(m_plugin->CloseAllForms(), 0); // nothing open
        const int a = openPage();
        QVERIFY(a && openPage());
        page(a)->setWindowTitle(u"凭证"_s);
        m_script.throwOnRelease = true;
        const QString failed = u"释放窗体凭证发生错误。（布局无法保存）"_s;
        QCOMPARE(errorOf([&] { m_plugin->CloseAllForms(); }), failed);
        QCOMPARE(Globals().Plugin->OpenForms.size(), 2); // the loop stopped; both remain

        // Closing one page skipped its closing work; a failure now keeps it listed and open.
        QCOMPARE(errorOf([&] { m_plugin->CloseModuleForm(a); }), failed);
        QCOMPARE(Globals().Plugin->OpenForms.size(), 2);
        QCOMPARE(page(a)->Closing(), false);
        m_script.throwOnRelease = false;
        QCOMPARE(m_plugin->CloseAllForms(), 0);
        QCOMPARE(livePages, 0);
    }

    void hostCaptionAndAttachmentAction()
    {
        const int h = openPage();
        TLXCustomChildForm *form = page(h);
        m_host->mainWindow.captions.clear();
        form->SetModuleCaption(u"总账"_s);
        form->SetModuleCaptionSuffix(u"凭证"_s);
        QCOMPARE(m_host->mainWindow.captions.mid(0, 1) + m_host->mainWindow.captions.mid(2, 2),
                 (QStringList{u"总账"_s, u"总账:凭证"_s, u"icon::I"_s}));

        ClientDataSet doc;
        for (const char *f : {"ObjType", "DocEntry"})
            doc.addField(QLatin1String(f), FieldType::Integer);
        doc.createDataSet();
        doc.append();
        doc.setValue(u"ObjType"_s, 2101);
        doc.setValue(u"DocEntry"_s, 0);
        doc.post();
        form->SetMainDataSet(&doc);
        for (int state : {1, 0}) {
            form->RecordState = state;
            form->UpdateAttachmentAction();
            QCOMPARE(m_host->calls.last(), u"SetActionState:BillAccessories:%1:1"_s.arg(state));
        }
        // DocEntry 0: nothing to open.
        int opened = 0;
        AttachmentDialogOpener() = [&opened](int, int, TLXCustomChildForm &) { return ++opened; };
        QCOMPARE(form->ShowAttachments(), 0);
        doc.edit();
        doc.setValue(u"DocEntry"_s, 5);
        doc.post();
        QCOMPARE(form->ShowAttachments(), 1);
        AttachmentDialogOpener() = nullptr;
        form->SetMainDataSet(nullptr);
        m_plugin->CloseModuleForm(h);
    }

    void sessionAndOptionDataSets()
    {
        ClientDataSet &info = m_host->info();
        info.append();
        info.setValue(u"DefID"_s, 1);
        const QList<std::pair<QString, QString>> values{{u"UseOrg"_s, u"测试公司"_s},
                                                        {u"SysCur"_s, u"RMB"_s},
                                                        {u"CurrName"_s, u"人民币"_s},
                                                        {u"AcctTempDesc"_s, u"A01000"_s},
                                                        {u"CaptionPartCode"_s, u" 物料编码 "_s}};
        for (const auto &[field, value] : values)
            info.setValue(field, value);
        ClientDataSet option;
        option.addField(u"Flags"_s, FieldType::String, 500);
        option.createDataSet();
        option.append();
        option.setValue(u"Flags"_s, u"1010"_s);
        option.post();
        for (const char *name : {"ComOption", "FinOption", "PurOption", "SalOption", "InvOption"})
            info.setValue(QLatin1String(name), option.saveToText());
        info.post();
        LoadSessionContext();
        QCOMPARE(Session().CaptionPartCode, u" 物料编码 "_s); // blanks kept
        QCOMPARE(Session().CaptionPartDesc, u"存货名称"_s);

        DataModule &module = m_host->dataModule;
        BuildOptionDataSets(&module);
        QCOMPARE(module.dataSources().size(), 5);
        QVERIFY(!module.dataSet(u"CDS_MftOption"_s));
        ClientDataSet *fin = module.dataSet(u"CDS_FinOption"_s);
        QVERIFY(fin && fin->isActive());
        QCOMPARE(fin->tag(), 100);
        QCOMPARE(fin->asString(u"Flags"_s), u"1010"_s);
        BuildOptionDataSets(&module);
        QCOMPARE(module.dataSets().size(), 6);

        // The same connection again touches nothing; another one reaches every dataset.
        test::TestHost other;
        AttachConnection(&module, m_host->connection.get());
        AttachConnection(&module, other.connection.get());
        for (ClientDataSet *ds : module.dataSets())
            QCOMPARE(ds->remoteConnection(), other.connection.get());
        AttachConnection(&module, m_host->connection.get());
        info.cancelUpdates();
        LoadSessionContext();
    }

    void rightsAndServerHelpers()
    {
        // The clerk's group: RightValue 2 reads as browse, 3 as modify, none as none.
        test::TestHost clerkHost("clerk", "clerk");
        const auto back = qScopeGuard([keep = Globals()] { Globals() = keep; });
        Globals().Host = &clerkHost;
        Globals().Connection = clerkHost.connection.get();
        Globals().AppServer = clerkHost.connection.get();
        QCOMPARE((QList<RightLevel>{CheckRight(1006), CheckRight(2103), CheckRight(2101),
                                    CheckRight(1001), RightFromServerValue(7)}),
                 (QList<RightLevel>{RightBrowse, RightModify, RightFull, RightNone, RightNone}));

        QVERIFY(!errorOf([] { NextEntityID(QString(), true); }).isEmpty());
        const qlonglong a = NextEntityID(u"PropID"_s, true);
        QCOMPARE(NextEntityID(u"PropID"_s, false), a + 1);

        // ApplyChanges: nothing to send sends nothing; an insert in progress is posted and sent.
        auto types = ProviderDataSet(u"LX_DMAccttype"_s, u"WHERE 1=1"_s);
        ApplyChanges(*types, true);
        types->append();
        types->setValue(u"AcctType"_s, 1);
        types->setValue(u"AcctTypeDesc"_s, u"资产"_s);
        ApplyChanges(*types, true);
        QCOMPARE(types->changeCount(), 0);
        QCOMPARE(storedTypes(), 1);
        addType(*types, 1, u"重复"_s);
        QVERIFY(errorOf([&] { ApplyChanges(*types, true); }).contains(u"键值重复"_s));
        QCOMPARE(types->changeCount(), 1); // the change log stays

        // A transaction left by an error takes back what it wrote.
        types->cancelUpdates();
        addType(*types, 2, u"负债"_s);
        QCOMPARE(errorOf([&] {
                     ServerTransaction transaction;
                     ApplyChanges(*types, true);
                     throw Error(u"后一步失败"_s);
                 }),
                 u"后一步失败"_s);
        QCOMPARE(storedTypes(), 1);
    }

    void editStateAndUpdateBracket()
    {
        TLXCustomForm form;
        auto *plain = new QLineEdit(&form);
        auto *keyed = new QLineEdit(&form);
        setTag(keyed, 1);
        auto *locked = new QLineEdit(&form);
        setTag(locked, -1);
        auto *check = new QCheckBox(&form);
        const auto editable = [&] {
            return QList<bool>{!plain->isReadOnly(), !keyed->isReadOnly(), !locked->isReadOnly(),
                               check->isEnabled()};
        };
        form.ApplyEditState(2);
        QCOMPARE(editable(), (QList<bool>{false, true, false, false}));
        form.SetEditState(3);
        QCOMPARE(editable(), (QList<bool>{true, true, false, true}));
        QCOMPARE(locked->palette().color(QPalette::Base), form.ReadStyle().color(QPalette::Base));

        form.SetMainGridView(new QTableView(&form));
        form.BeginUpdate();
        form.BeginUpdate();
        form.EndUpdate(false);
        QVERIFY(form.MainGridLocked());
        form.EndUpdate(true);
        QVERIFY(!form.MainGridLocked());
        form.EndUpdate(false); // nothing to end
        QCOMPARE(form.UpdateCount(), 0);
    }

    void commandTextsOfDialogs_data()
    {
        QTest::addColumn<QString>("fixed");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *tag, const char *fixed, const char *link, const char *order,
                            const char *text) {
            QTest::newRow(tag) << fixed << link << order << text;
        };
        row("link, order", "", "IsNode = 1", "Code", "WHERE (IsNode = 1)  ORDER BY Code");
        row("nothing", "", "", "", "");
        row("order only", "", "", "Code", "WHERE 1=1 ORDER BY Code");
        row("fixed, link", "A = 1", "B = 2", "C", "WHERE (A = 1)  AND (B = 2)  ORDER BY C");
        row("fixed, order", "A = 1", "", "C", "WHERE (A = 1)  ORDER BY C");
        row("fixed only", "A = 1", "", "", "WHERE (A = 1)");
    }
    void commandTextsOfDialogs()
    {
        QFETCH(QString, fixed);
        QFETCH(QString, link);
        QFETCH(QString, order);
        QFETCH(QString, text);
        QCOMPARE(TDefDialogForm::ComposeCommandText(fixed, link, order), text);
        // The account look-up adds the caller's filter the same way, or nothing.
        QCOMPARE(TChildDialogForm::FindAccountCommand(u"1001"_s, fixed),
                 u"Top 1 WHERE AcctCode = '1001' AND IsNode = 1%1 ORDER BY AcctCode"_s.arg(
                     fixed.isEmpty() ? QString() : u" AND "_s + fixed));
    }

    void refreshAndSaveWithAutoKey()
    {
        TDefDialogForm dialog;
        ClientDataSet *ds = accountTypesOf(dialog);
        dialog.OrderText = u"AcctType"_s;
        m_host->calls.clear();
        dialog.RefreshData();
        QCOMPARE(ds->commandText(), u"WHERE 1=1 ORDER BY AcctType"_s);
        QCOMPARE(m_host->calls, (QStringList{u"BeginBusy"_s, u"EndBusy:0"_s}));

        // Rows keyed 1 and above keep their keys; the others get one new key each.
        addType(*ds, 7, u"负债"_s);
        addType(*ds, 0, u"共同"_s); // not numbered yet
        addType(*ds, -3, u"权益"_s);
        dialog.SaveData();
        QCOMPARE(ds->changeCount(), 0);
        auto stored = ProviderDataSet(u"LX_DMAccttype"_s, u"WHERE 1=1"_s);
        QList<int> keys;
        for (stored->first(); !stored->eof(); stored->next())
            keys << int(stored->asInteger(u"AcctType"_s));
        QCOMPARE(keys.size(), 3);
        QVERIFY(keys.contains(7) && !keys.contains(0) && !keys.contains(-3));

        // A failed save reports the fixed text outside design mode and keeps the changes.
        ds->last();
        ds->edit();
        ds->setValue(u"AcctType"_s, 7); // duplicate
        ds->post();
        QCOMPARE(errorOf([&] { dialog.SaveData(); }), u"数据已被使用，或其他用户已修改数据。"_s);
        QCOMPARE(ds->changeCount(), 1);
        QVERIFY(m_host->calls.endsWith(u"EndBusy:0"_s));
        Session().DesignModule = true;
        QVERIFY(errorOf([&] { dialog.SaveData(); }).contains(u"键值重复"_s));
        Session().DesignModule = false;
        QCOMPARE(storedTypes(), 3); // nothing of the failed saves reached the server
    }

    // A save that failed after taking keys, tried again: the rows kept the keys of the
    // rolled-back try, which another user then took and stored first.
    void autoKeysTakenAgainAfterFault()
    {
        TDefDialogForm dialog;
        ClientDataSet *ds = accountTypesOf(dialog);
        vexa::test::FaultyConnection faulty(m_host->connection.get());
        Globals().AppServer = &faulty;
        const auto back = qScopeGuard([&] { Globals().AppServer = m_host->connection.get(); });
        for (int step = 1;; ++step) {
            dialog.RefreshData();
            addType(*ds, 0, u"新%1-0"_s.arg(step)); // not numbered yet
            addType(*ds, -1, u"新%1-1"_s.arg(step));
            faulty.failAt(step);
            const QString error = errorOf([&] { dialog.SaveData(); });
            const bool faulted = faulty.faulted();
            faulty.failAt(0);
            if (!faulted) {
                QCOMPARE(error, QString());
                break;
            }
            QCOMPARE(error, u"数据已被使用，或其他用户已修改数据。"_s);
            int unnumbered = 0;
            for (ds->first(); !ds->eof(); ds->next())
                unnumbered += ds->asInteger(u"AcctType"_s) < 1;
            QCOMPARE(unnumbered, 2);

            auto other = ProviderDataSet(u"LX_DMAccttype"_s, u"WHERE 1=0"_s);
            addType(*other, int(NextEntityID(u"AcctType"_s, true)), u"别人%1"_s.arg(step));
            ApplyChanges(*other, true);
            QCOMPARE(errorOf([&] { dialog.SaveData(); }), QString());
            const auto top =
                ProviderDataSet(u"LX_DMAccttype"_s, u"TOP 1 WHERE 1=1 ORDER BY AcctType DESC"_s);
            QVERIFY(top->asInteger(u"AcctType"_s) <
                    vexa::test::StoredNextID(*m_host, u"AcctType"_s));
        }
    }

    void dialogSizing()
    {
        QCOMPARE(TDefDialogForm::DialogSize(QSize(400, 300), QSize(1000, 700)), QSize(800, 420));
        QCOMPARE(TDefDialogForm::DialogSize(QSize(400, 300), QSize(700, 500)), QSize(660, 348));
        QCOMPARE(TDefDialogForm::DialogSize(QSize(900, 600), QSize(1000, 700)), QSize(900, 600));
        QCOMPARE(WholeRowsGrowth(205, 25, 20), 0);
        QCOMPARE(WholeRowsGrowth(207, 25, 20), 18);

        // The rows were measured before the client settings gave the grid its header and
        // row heights, so the first showing ended on a part of a row.
        TDefDialogForm dialog;
        auto *grid = new QTableView(&dialog);
        auto *layout = new QVBoxLayout(&dialog);
        layout->addWidget(grid);
        dialog.SetMainGridView(grid);
        dialog.GridSite = grid;
        dialog.resize(500, 311);
        dialog.show();
        QCoreApplication::processEvents();
        const int rowHeight = Settings().CGridDataRowHeight;
        QCOMPARE(grid->horizontalHeader()->height(), Settings().CGridHeaderHeight);
        const int data =
            grid->height() - 2 * grid->frameWidth() - grid->horizontalHeader()->height() -
            (grid->horizontalScrollBar()->isVisible() ? grid->horizontalScrollBar()->height() : 0) -
            (grid->verticalScrollBar()->isVisible() ? 0 : 1);
        QCOMPARE(data % rowHeight, 0);
    }
};

QTEST_MAIN(TestPlugin)
#include "tst_plugin.moc"
