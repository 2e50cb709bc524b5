#include "ChildDialogForm.h"
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataSetModel.h"
#include "FaultInjection.h"
#include "Globals.h"
#include "LXChildForm.h"
#include "LXPlugin.h"
#include "RemoteConnection.h"
#include "SessionContext.h"
#include "TestHost.h"
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

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        script = &m_script;
        RegisterFormsProc() = [](TLXPlugin &p) {
            p.RegisterFormClass<TestPage>(QStringLiteral("TTestPage"));
        };
        m_host = std::make_unique<TestHost>();
        m_host->values.insert(QStringLiteral("MCODE:TP"), QStringLiteral("ttestpage"));
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
                 QStringLiteral("装载库文件失败，使用的库文件版本检查错误。"));
        QVERIFY(!out);
        QVERIFY(!Globals().Host);
        QVERIFY(!Globals().Plugin);
        QCOMPARE(m_host->calls, QStringList{QStringLiteral("CheckVersion:TARN:2013")});

        m_host->versionAnswer = 0;
        CreatePluginImpl(m_host.get(), nullptr, nullptr, &out);
        QVERIFY(out);
        QCOMPARE(Globals().Connection, m_host->connection.get());
        QCOMPARE(Globals().AppServer, static_cast<IAppServer *>(m_host->connection.get()));
        QCOMPARE(Session().RegistryPath, QStringLiteral("Software\\Corvane\\Vexa\\Client"));
        ILXPlugin *again = nullptr;
        CreatePluginImpl(m_host.get(), nullptr, nullptr, &again);
        QCOMPARE(again, out);
        QCOMPARE(Globals().Plugin->FormClassNames, QStringList{QStringLiteral("TTESTPAGE")});
        m_plugin = out;
    }

    void createModuleFormFollowsTheLifeCycle()
    {
        QVariant p3 = QStringLiteral("data");
        // The catalogue names the class in another letter case.
        const int handle = m_plugin->CreateModuleForm(QStringLiteral("TP"), 7, 3,
                                                      QStringLiteral("DataProvider"), p3);
        QVERIFY(handle > 0);
        QCOMPARE(m_script.log, (QStringList{QStringLiteral("before"),
                                            QStringLiteral("execute:3:DataProvider:data"),
                                            QStringLiteral("after")}));
        QCOMPARE(p3.toString(), QStringLiteral("seen"));
        auto *page = qobject_cast<TestPage *>(m_plugin->FormWidget(handle));
        QVERIFY(page);
        QCOMPARE(page->Tag(), 7);
        QCOMPARE(page->UpdateCount(), 0); // the bracket is closed again

        QVariant value = 99;
        m_plugin->QueryForm(handle, 21, value);
        QCOMPARE(value.toInt(), 42);
        QVERIFY(errorOf([&] {
                    m_plugin->QueryForm(handle + 1, 1, value);
                }).contains(QString::number(handle + 1)));
        QVERIFY(!value.isValid()); // cleared although the page is unknown
        QCOMPARE(errorOf([&] { m_plugin->ExecuteForm(12345, 0, QString(), p3); }),
                 QStringLiteral("显示模块 12345 窗体错误，模块窗体未创建"));

        // A page that refuses to show again stays open.
        m_script.afterOk = false;
        QCOMPARE(m_plugin->ShowModuleForm(handle, 0, QString(), p3), -1);
        QCOMPARE(m_plugin->FormWidget(handle), page);
        m_script.afterOk = true;
        QCOMPARE(m_plugin->ShowModuleForm(handle, 0, QString(), p3), handle);

        QCOMPARE(m_plugin->CloseModuleForm(handle), 0);
        QCOMPARE(livePages, 0);
        QVERIFY(!m_plugin->FormWidget(handle));
    }

    void refusedAndFailedPagesAreFreed()
    {
        QVariant p3;
        const int before = Globals().Plugin->OpenForms.size();
        m_script.beforeOk = false;
        QCOMPARE(m_plugin->CreateModuleForm(QStringLiteral("TP"), 0, 0, QString(), p3), 0);
        m_script.beforeOk = true;
        m_script.afterOk = false;
        QCOMPARE(m_plugin->CreateModuleForm(QStringLiteral("TP"), 0, 0, QString(), p3), 0);
        m_script.afterOk = true;
        m_script.allow = false; // the page withdraws itself
        QCOMPARE(m_plugin->CreateModuleForm(QStringLiteral("TP"), 0, 0, QString(), p3), 0);
        m_script.allow = true;
        m_script.throwInExecute = true;
        QCOMPARE(
            errorOf([&] { m_plugin->CreateModuleForm(QStringLiteral("TP"), 0, 0, QString(), p3); }),
            QStringLiteral("页面打开失败"));
        QCOMPARE(livePages, 0);
        QCOMPARE(Globals().Plugin->OpenForms.size(), before);
        QCOMPARE(errorOf([&] {
                     m_plugin->CreateModuleForm(QStringLiteral("NOPE"), 0, 0, QString(), p3);
                 }),
                 QStringLiteral("系统错误1020: 动态库内没有注册 NOPE 类错误"));
        QCOMPARE(errorOf([&] {
                     Globals().Plugin->RegisterFormClass<TestPage>(QStringLiteral("TTestPAGE"));
                 }),
                 QStringLiteral("动态库内注册模块号 TTestPAGE 错误"));
    }

    void closeAllFormsWrapsErrors()
    {
        QCOMPARE(m_plugin->CloseAllForms(), 0); // nothing open
        QVariant p3;
        const int a = m_plugin->CreateModuleForm(QStringLiteral("TP"), 0, 0, QString(), p3);
        const int b = m_plugin->CreateModuleForm(QStringLiteral("TP"), 0, 0, QString(), p3);
        QVERIFY(a && b);
        static_cast<TLXCustomChildForm *>(m_plugin->FormWidget(a))
            ->setWindowTitle(QStringLiteral("凭证"));
        m_script.throwOnRelease = true;
        QCOMPARE(errorOf([&] { m_plugin->CloseAllForms(); }),
                 QStringLiteral("释放窗体凭证发生错误。（布局无法保存）"));
        QCOMPARE(Globals().Plugin->OpenForms.size(), 2); // the loop stopped; both remain

        // Closing one page skipped its closing work; a failure now keeps it listed and open.
        QCOMPARE(errorOf([&] { m_plugin->CloseModuleForm(a); }),
                 QStringLiteral("释放窗体凭证发生错误。（布局无法保存）"));
        QCOMPARE(Globals().Plugin->OpenForms.size(), 2);
        QCOMPARE(static_cast<TLXCustomChildForm *>(m_plugin->FormWidget(a))->Closing(), false);
        m_script.throwOnRelease = false;
        QCOMPARE(m_plugin->CloseAllForms(), 0);
        QCOMPARE(livePages, 0);
    }

    void hostCaptionAndAttachmentAction()
    {
        QVariant p3;
        const int h = m_plugin->CreateModuleForm(QStringLiteral("TP"), 0, 0, QString(), p3);
        auto *page = static_cast<TLXCustomChildForm *>(m_plugin->FormWidget(h));
        m_host->mainWindow.captions.clear();
        page->SetModuleCaption(QStringLiteral("总账"));
        QCOMPARE(m_host->mainWindow.captions.first(), QStringLiteral("总账"));
        page->SetModuleCaptionSuffix(QStringLiteral("凭证"));
        QCOMPARE(m_host->mainWindow.captions[2], QStringLiteral("总账:凭证"));
        QCOMPARE(m_host->mainWindow.captions[3], QStringLiteral("icon::I"));

        ClientDataSet doc;
        for (const char *f : {"ObjType", "DocEntry"})
            doc.addField(QLatin1String(f), FieldType::Integer);
        doc.createDataSet();
        doc.append();
        doc.setValue(QStringLiteral("ObjType"), 2101);
        doc.setValue(QStringLiteral("DocEntry"), 0);
        doc.post();
        page->SetMainDataSet(&doc);
        page->RecordState = 1;
        page->UpdateAttachmentAction();
        QCOMPARE(m_host->calls.last(), QStringLiteral("SetActionState:BillAccessories:1:1"));
        page->RecordState = 0;
        page->UpdateAttachmentAction();
        QCOMPARE(m_host->calls.last(), QStringLiteral("SetActionState:BillAccessories:0:1"));
        // DocEntry 0: nothing to open.
        int opened = 0;
        AttachmentDialogOpener() = [&opened](int, int, TLXCustomChildForm &) { return ++opened; };
        QCOMPARE(page->ShowAttachments(), 0);
        doc.edit();
        doc.setValue(QStringLiteral("DocEntry"), 5);
        doc.post();
        QCOMPARE(page->ShowAttachments(), 1);
        AttachmentDialogOpener() = nullptr;
        page->SetMainDataSet(nullptr);
        m_plugin->CloseModuleForm(h);
    }

    void sessionAndOptionDataSets()
    {
        ClientDataSet &info = m_host->info();
        info.append();
        info.setValue(QStringLiteral("DefID"), 1);
        info.setValue(QStringLiteral("UseOrg"), QStringLiteral("测试公司"));
        info.setValue(QStringLiteral("SysCur"), QStringLiteral("RMB"));
        info.setValue(QStringLiteral("CurrName"), QStringLiteral("人民币"));
        info.setValue(QStringLiteral("AcctTempDesc"), QStringLiteral("A01000"));
        info.setValue(QStringLiteral("CaptionPartCode"), QStringLiteral(" 物料编码 "));
        ClientDataSet option;
        option.addField(QStringLiteral("Flags"), FieldType::String, 500);
        option.createDataSet();
        option.append();
        option.setValue(QStringLiteral("Flags"), QStringLiteral("1010"));
        option.post();
        const QString packet = option.saveToText();
        for (const char *name : {"ComOption", "FinOption", "PurOption", "SalOption", "InvOption"})
            info.setValue(QString::fromLatin1(name), packet);
        info.post();
        LoadSessionContext();
        QCOMPARE(Session().CaptionPartCode, QStringLiteral(" 物料编码 ")); // blanks kept
        QCOMPARE(Session().CaptionPartDesc, QStringLiteral("存货名称"));

        BuildOptionDataSets(&m_host->dataModule);
        QCOMPARE(m_host->dataModule.dataSources().size(), 5);
        QVERIFY(!m_host->dataModule.dataSet(QStringLiteral("CDS_MftOption")));
        ClientDataSet *fin = m_host->dataModule.dataSet(QStringLiteral("CDS_FinOption"));
        QVERIFY(fin && fin->isActive());
        QCOMPARE(fin->tag(), 100);
        QCOMPARE(fin->asString(QStringLiteral("Flags")), QStringLiteral("1010"));
        BuildOptionDataSets(&m_host->dataModule);
        QCOMPARE(m_host->dataModule.dataSets().size(), 6);

        // The same connection again touches nothing; another one reaches every dataset.
        test::TestHost other;
        AttachConnection(&m_host->dataModule, m_host->connection.get());
        AttachConnection(&m_host->dataModule, other.connection.get());
        for (ClientDataSet *ds : m_host->dataModule.dataSets())
            QCOMPARE(ds->remoteConnection(), other.connection.get());
        AttachConnection(&m_host->dataModule, m_host->connection.get());
        info.cancelUpdates();
        LoadSessionContext();
    }

    void rightsAndServerHelpers()
    {
        // The clerk's group: RightValue 2 reads as browse, 3 as modify, none as none.
        test::TestHost clerkHost("clerk", "clerk");
        const auto back = qScopeGuard([keep = Globals()] {
            Globals().Host = keep.Host;
            Globals().Connection = keep.Connection;
            Globals().AppServer = keep.AppServer;
        });
        Globals().Host = &clerkHost;
        Globals().Connection = clerkHost.connection.get();
        Globals().AppServer = clerkHost.connection.get();
        QCOMPARE(CheckRight(1006), RightBrowse); // stored 2
        QCOMPARE(CheckRight(2103), RightModify); // stored 3
        QCOMPARE(CheckRight(2101), RightFull);
        QCOMPARE(CheckRight(1001), RightNone); // no row
        QCOMPARE(RightFromServerValue(7), RightNone);

        QVERIFY(errorOf([] { NextEntityID(QString(), true); }).size() > 0);
        const qlonglong a = NextEntityID(QStringLiteral("PropID"), true);
        QCOMPARE(NextEntityID(QStringLiteral("PropID"), false), a + 1);

        // ApplyChanges: nothing to send sends nothing; an insert in progress is posted and sent.
        auto types = ProviderDataSet(QStringLiteral("LX_DMAccttype"), QStringLiteral("WHERE 1=1"));
        ApplyChanges(*types, true);
        types->append();
        types->setValue(QStringLiteral("AcctType"), 1);
        types->setValue(QStringLiteral("AcctTypeDesc"), QStringLiteral("资产"));
        ApplyChanges(*types, true);
        QCOMPARE(types->changeCount(), 0);
        QCOMPARE(ProviderDataSet(QStringLiteral("LX_DMAccttype"), QStringLiteral("WHERE 1=1"))
                     ->recordCount(),
                 1);
        types->append();
        types->setValue(QStringLiteral("AcctType"), 1); // duplicate key
        QVERIFY(errorOf([&] { ApplyChanges(*types, true); }).contains(QStringLiteral("键值重复")));
        QCOMPARE(types->changeCount(), 1); // the change log stays

        // A transaction left by an error takes back what it wrote.
        types->cancelUpdates();
        types->append();
        types->setValue(QStringLiteral("AcctType"), 2);
        types->setValue(QStringLiteral("AcctTypeDesc"), QStringLiteral("负债"));
        QCOMPARE(errorOf([&] {
                     ServerTransaction transaction;
                     ApplyChanges(*types, true);
                     throw Error(QStringLiteral("后一步失败"));
                 }),
                 QStringLiteral("后一步失败"));
        QCOMPARE(ProviderDataSet(QStringLiteral("LX_DMAccttype"), QStringLiteral("WHERE 1=1"))
                     ->recordCount(),
                 1);
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

        auto *grid = new QTableView(&form);
        form.SetMainGridView(grid);
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
        QTest::newRow("link and order") << ""
                                        << "IsNode = 1"
                                        << "AcctCode"
                                        << "WHERE (IsNode = 1)  ORDER BY AcctCode";
        QTest::newRow("nothing") << ""
                                 << ""
                                 << ""
                                 << "";
        QTest::newRow("order only") << ""
                                    << ""
                                    << "AcctType"
                                    << "WHERE 1=1 ORDER BY AcctType";
        QTest::newRow("fixed and link") << "A = 1"
                                        << "B = 2"
                                        << "C"
                                        << "WHERE (A = 1)  AND (B = 2)  ORDER BY C";
        QTest::newRow("fixed only") << "A = 1"
                                    << ""
                                    << ""
                                    << "WHERE (A = 1)";
    }
    void commandTextsOfDialogs()
    {
        QFETCH(QString, fixed);
        QFETCH(QString, link);
        QFETCH(QString, order);
        QFETCH(QString, text);
        QCOMPARE(TDefDialogForm::ComposeCommandText(fixed, link, order), text);
        // The account look-up adds the caller's filter the same way, or nothing.
        QCOMPARE(TChildDialogForm::FindAccountCommand(QStringLiteral("1001"), fixed),
                 QStringLiteral("Top 1 WHERE AcctCode = '1001' AND IsNode = 1%1 ORDER BY AcctCode")
                     .arg(fixed.isEmpty() ? QString() : QStringLiteral(" AND ") + fixed));
    }

private:
    // The account types as the dialog's own dataset.
    ClientDataSet *accountTypesOf(TDefDialogForm &dialog)
    {
        auto *ds = new ClientDataSet(&dialog);
        ds->setRemoteConnection(m_host->connection.get());
        ds->setProviderName(QStringLiteral("LX_DMAccttype"));
        dialog.DataSet = ds;
        return ds;
    }

private slots:
    void refreshAndSaveWithAutoKey()
    {
        TDefDialogForm dialog;
        ClientDataSet *ds = accountTypesOf(dialog);
        dialog.OrderText = QStringLiteral("AcctType");
        dialog.KeyField = QStringLiteral("AcctType");
        m_host->calls.clear();
        dialog.RefreshData();
        QCOMPARE(ds->commandText(), QStringLiteral("WHERE 1=1 ORDER BY AcctType"));
        QCOMPARE(m_host->calls,
                 (QStringList{QStringLiteral("BeginBusy"), QStringLiteral("EndBusy:0")}));

        // Rows keyed 1 and above keep their keys; the others get one new key each.
        ds->append();
        ds->setValue(QStringLiteral("AcctType"), 7);
        ds->setValue(QStringLiteral("AcctTypeDesc"), QStringLiteral("负债"));
        ds->post();
        ds->append();
        ds->setValue(QStringLiteral("AcctType"), 0); // not numbered yet
        ds->setValue(QStringLiteral("AcctTypeDesc"), QStringLiteral("共同"));
        ds->post();
        ds->append();
        ds->setValue(QStringLiteral("AcctType"), -3);
        ds->setValue(QStringLiteral("AcctTypeDesc"), QStringLiteral("权益"));
        ds->post();
        dialog.SaveData();
        QCOMPARE(ds->changeCount(), 0);
        auto stored = ProviderDataSet(QStringLiteral("LX_DMAccttype"),
                                      QStringLiteral("WHERE 1=1 ORDER BY AcctType"));
        QCOMPARE(stored->recordCount(), 3);
        QList<int> keys;
        for (stored->first(); !stored->eof(); stored->next())
            keys << int(stored->asInteger(QStringLiteral("AcctType")));
        QVERIFY(keys.contains(7));
        QVERIFY(!keys.contains(0) && !keys.contains(-3));

        // A failed save reports the fixed text outside design mode and keeps the changes.
        ds->last();
        ds->edit();
        ds->setValue(QStringLiteral("AcctType"), 7); // duplicate
        ds->post();
        QCOMPARE(errorOf([&] { dialog.SaveData(); }),
                 QStringLiteral("数据已被使用，或其他用户已修改数据。"));
        QCOMPARE(ds->changeCount(), 1);
        QVERIFY(m_host->calls.endsWith(QStringLiteral("EndBusy:0")));
        Session().DesignModule = true;
        QVERIFY(errorOf([&] { dialog.SaveData(); }).contains(QStringLiteral("键值重复")));
        Session().DesignModule = false;
        // Nothing of the failed saves reached the server.
        QCOMPARE(ProviderDataSet(QStringLiteral("LX_DMAccttype"), QStringLiteral("WHERE 1=1"))
                     ->recordCount(),
                 3);
    }

    // A save that failed after taking keys, tried again: the rows kept the keys of the
    // rolled-back try, which another user then took and stored first.
    void autoKeysTakenAgainAfterFault()
    {
        TDefDialogForm dialog;
        ClientDataSet *ds = accountTypesOf(dialog);
        dialog.KeyField = QStringLiteral("AcctType");
        vexa::test::FaultyConnection faulty(m_host->connection.get());
        Globals().AppServer = &faulty;
        const auto back = qScopeGuard([&] { Globals().AppServer = m_host->connection.get(); });
        const auto unnumbered = [&] {
            int n = 0;
            for (ds->first(); !ds->eof(); ds->next())
                n += ds->asInteger(QStringLiteral("AcctType")) < 1;
            return n;
        };
        for (int step = 1;; ++step) {
            dialog.RefreshData();
            for (int i = 0; i < 2; ++i) {
                ds->append();
                ds->setValue(QStringLiteral("AcctType"), -i); // not numbered yet
                ds->setValue(QStringLiteral("AcctTypeDesc"),
                             QStringLiteral("新%1-%2").arg(step).arg(i));
                ds->post();
            }
            faulty.failAt(step);
            const QString error = errorOf([&] { dialog.SaveData(); });
            const bool faulted = faulty.faulted();
            faulty.failAt(0);
            if (!faulted) {
                QCOMPARE(error, QString());
                break;
            }
            QCOMPARE(error, QStringLiteral("数据已被使用，或其他用户已修改数据。"));
            QCOMPARE(unnumbered(), 2);

            auto other =
                ProviderDataSet(QStringLiteral("LX_DMAccttype"), QStringLiteral("WHERE 1=0"));
            other->append();
            other->setValue(QStringLiteral("AcctType"),
                            NextEntityID(QStringLiteral("AcctType"), true));
            other->setValue(QStringLiteral("AcctTypeDesc"), QStringLiteral("别人%1").arg(step));
            ApplyChanges(*other, true);
            QCOMPARE(errorOf([&] { dialog.SaveData(); }), QString());
            const auto top =
                ProviderDataSet(QStringLiteral("LX_DMAccttype"),
                                QStringLiteral("TOP 1 WHERE 1=1 ORDER BY AcctType DESC"));
            QVERIFY(top->asInteger(QStringLiteral("AcctType")) <
                    vexa::test::StoredNextID(*m_host, QStringLiteral("AcctType")));
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
