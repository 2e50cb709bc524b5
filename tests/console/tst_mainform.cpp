// The module console page on the demo account set: the tree as each user sees it, the
// node editing round trips checked on the server, the launch of a node and the toolbar.
#include "AccountSetConfig.h"
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "FiscalCalendar.h"
#include "Globals.h"
#include "LXPlugin.h"
#include "MainForm.h"
#include "MessageDialogs.h"
#include "StartGLForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"

#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUuid>

using namespace vexa;
using namespace vexa::gl;

namespace {

const QString kPersonal = QString::fromLatin1(kPersonalFolderID);
const QString kLocked = QString::fromLatin1(kLockedFolderID);

// Fills the node editor and clicks its OK button; a module number is typed, as a user
// would, so the editor looks it up.
ScriptedDialogs::Answer fillEditor(const QString &name, const QString &moduleNo = QString())
{
    return [name, moduleNo](QDialog &d) {
        auto *edDirName = d.findChild<QLineEdit *>(QStringLiteral("edDirName"));
        edDirName->setText(name);
        QFocusEvent leave(QEvent::FocusOut); // leaving the name enables OK
        QCoreApplication::sendEvent(edDirName, &leave);
        if (!moduleNo.isEmpty())
            QTest::keyClicks(d.findChild<QLineEdit *>(QStringLiteral("edModuleNo")), moduleNo);
        d.findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
        return d.result();
    };
}

QString newGuid()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<vexa::test::TestHost> m_host;
    std::unique_ptr<TMainForm> m_form;
    std::unique_ptr<TLXPlugin> m_plugin; // when set, it owns the page m_form points at

    void useHost(const char *user, const char *password)
    {
        m_form.reset();
        Globals() = PluginGlobals();
        m_host = std::make_unique<vexa::test::TestHost>(user, password);
        Globals().Host = m_host.get();
        Globals().Connection = m_host->connection.get();
        Globals().AppServer = m_host->connection.get();
        Globals().DataModule = &m_host->dataModule;
    }

    void openPage()
    {
        m_form = std::make_unique<TMainForm>();
        bool ok = false;
        m_form->BeforeExecute(ok);
        QVERIFY(ok);
        m_form->AfterExecute(ok);
    }

    QTreeWidget *tree() const
    {
        return m_form->findChild<QTreeWidget *>(QStringLiteral("tvModule"));
    }
    QToolButton *button(const char *name) const
    {
        return m_form->findChild<QToolButton *>(QLatin1String(name));
    }
    QTreeWidgetItem *item(const QString &text) const
    {
        const auto found = tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.value(0);
    }
    QTreeWidgetItem *byID(const QString &id) const
    {
        for (QTreeWidgetItemIterator it(tree()); *it; ++it)
            if (TMainForm::NodeOf(*it) && TMainForm::NodeOf(*it)->NodeID == id)
                return *it;
        return nullptr;
    }
    void select(QTreeWidgetItem *i) { tree()->setCurrentItem(i); }

    std::unique_ptr<ClientDataSet> rows(const QString &where)
    {
        return ProviderDataSet(QStringLiteral("SYS_SMModuleTree"), where);
    }
    // Adds a directory row on the server (before the page reads the tree).
    QString insertDir(const QString &parent, const QString &name, int sort, const QString &owner)
    {
        auto ds = rows(QStringLiteral("WHERE 1=0"));
        const QString id = newGuid();
        ds->append();
        ds->setValue(QStringLiteral("NodeID"), id);
        ds->setValue(QStringLiteral("ParentID"), parent);
        if (!owner.isEmpty())
            ds->setValue(QStringLiteral("UserID"), owner);
        ds->setValue(QStringLiteral("NodeDesc"), name);
        ds->setValue(QStringLiteral("Sort"), sort);
        ds->post();
        ApplyChanges(*ds, true);
        return id;
    }
    QStringList childrenOnServer(const QString &parent)
    {
        auto ds = rows(QStringLiteral("WHERE ParentID = '%1' ORDER BY Sort").arg(parent));
        QStringList out;
        for (ds->first(); !ds->eof(); ds->next())
            out << ds->asString(QStringLiteral("NodeDesc")) + QLatin1Char(':') +
                       ds->asString(QStringLiteral("Sort"));
        return out;
    }
    QString userID() const { return m_host->values.value(QStringLiteral("UserID")).toString(); }
    QStringList childrenInTree(const QString &parent) const
    {
        QStringList out;
        const QTreeWidgetItem *p = byID(parent);
        for (int i = 0; p && i < p->childCount(); ++i)
            out << p->child(i)->text(0) + QLatin1Char(':') +
                       QString::number(TMainForm::NodeOf(p->child(i))->Sort);
        return out;
    }
    // Another user's session renames (or, with no name, deletes) a node row after the page
    // has read it.
    void changeElsewhere(const QString &id, const QString &name)
    {
        const auto other = m_host->server->connect();
        other->login(QStringLiteral("Manager"), QStringLiteral("manager"));
        ClientDataSet ds;
        ds.setRemoteConnection(other.get());
        ds.setProviderName(QStringLiteral("SYS_SMModuleTree"));
        ds.setCommandText(QStringLiteral("WHERE NodeID = '%1'").arg(id));
        ds.open();
        if (name.isEmpty()) {
            ds.deleteRecord();
        } else {
            ds.edit();
            ds.setValue(QStringLiteral("NodeDesc"), name);
            ds.post();
        }
        int errors = 0;
        QVariant owner;
        other->applyUpdates(ds.providerName(), ds.delta(), -1, errors, owner);
        QCOMPARE(errors, 0);
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    }

    void cleanup()
    {
        if (m_plugin)
            (void)m_form.release();
        m_plugin.reset();
        m_form.reset();
        Globals() = PluginGlobals();
        m_host.reset();
    }

    void initialisation()
    {
        useHost("clerk", "clerk");
        openPage();
        QVERIFY(!m_form->Manager());
        QVERIFY(m_host->mainWindow.captions.contains(QStringLiteral("Ｖｅｘａ:主控台")));
        const QStringList tail = m_host->calls.mid(m_host->calls.size() - 3);
        QCOMPARE(tail, (QStringList{"SetActionState:sbEnter:0:1", "SetActionState:sbUnEnter:0:0",
                                    "EndBusy:1"}));
        // The two fixed folders are the roots, expanded, their children read one level ahead.
        QCOMPARE(tree()->topLevelItemCount(), 2);
        QCOMPARE(TMainForm::NodeOf(tree()->topLevelItem(0))->NodeID, kPersonal);
        QCOMPARE(TMainForm::NodeOf(tree()->topLevelItem(1))->NodeID, kLocked);
        QVERIFY(tree()->topLevelItem(1)->isExpanded());
        QCOMPARE(tree()->currentItem(), tree()->topLevelItem(0));
        QTreeWidgetItem *ledger = item(QStringLiteral("总账"));
        QVERIFY(ledger);
        QVERIFY(ledger->childCount() > 0);
        QCOMPARE(ledger->child(0)->childCount(), 0); // the third level waits for expansion
        ledger->child(0)->setExpanded(true);
        QVERIFY(item(QStringLiteral("凭证录入")));
        // Rights of the clerk's group: 2002 browse, 1006 browse, not a manager.
        QVERIFY(button("btnKMQR")->isEnabled());
        QVERIFY(button("spSysConfig")->isEnabled());
        QVERIFY(!button("spStartZT")->isEnabled());
        QVERIFY(!button("spStartZT")->isHidden()); // the demo set is not enabled yet
        QVERIFY(button("sbModifyPassword")->isHidden());
    }

    void iconsByRights_data()
    {
        QTest::addColumn<bool>("manager");
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("image");
        QTest::newRow("manager, no rights row") << true << "凭证登帐" << int(imgModule);
        QTest::newRow("manager, D module") << true << "销售报价" << int(imgModuleD);
        QTest::newRow("clerk, full right, D") << false << "凭证录入" << int(imgModuleD);
        QTest::newRow("clerk, right value 3") << false << "凭证管理" << int(imgModule);
        QTest::newRow("clerk, no rights row") << false << "凭证登帐" << int(imgModuleDenied);
        QTest::newRow("clerk, no rights row, D") << false << "销售报价" << int(imgModuleDeniedD);
        QTest::newRow("clerk, ObjType 0") << false << "控制中心（标准版）" << int(imgModule);
        QTest::newRow("clerk, console, no right") << false << "我的主控台" << int(imgConsole);
        QTest::newRow("clerk, directory") << false << "总账" << int(imgFolderClosed);
    }

    void iconsByRights()
    {
        QFETCH(bool, manager);
        QFETCH(QString, node);
        QFETCH(int, image);
        if (manager)
            useHost("Manager", "manager");
        else
            useHost("clerk", "clerk");
        // A console node whose object type nobody holds still shows the console picture.
        auto ds = rows(QStringLiteral("WHERE 1=0"));
        ds->append();
        ds->setValue(QStringLiteral("NodeID"), newGuid());
        ds->setValue(QStringLiteral("ParentID"), kPersonal);
        ds->setValue(QStringLiteral("NodeDesc"), QStringLiteral("我的主控台"));
        ds->setValue(QStringLiteral("MCode"), QStringLiteral("SFMF"));
        ds->setValue(QStringLiteral("ObjType"), 9999);
        ds->setValue(QStringLiteral("Sort"), 9);
        ApplyChanges(*ds, true);
        openPage();
        button("sbExpanded")->click();
        QVERIFY(item(node));
        QCOMPARE(TMainForm::ImageIndexOf(item(node)),
                 image == imgFolderClosed ? imgFolderOpen : image);
        button("sbCollapsed")->click();
        QCOMPARE(TMainForm::ImageIndexOf(item(node)), image);
        if (manager) {
            int denied = 0;
            for (QTreeWidgetItemIterator it(tree()); *it; ++it)
                denied += TMainForm::ImageIndexOf(*it) >= imgModuleDenied &&
                          TMainForm::ImageIndexOf(*it) <= imgModuleDeniedD;
            QCOMPARE(denied, 0);
        }
    }

    // Who owns a created node, and what a directory node holds on the server.
    void createNode_data()
    {
        QTest::addColumn<QString>("parent"); // "personal", "shared" or "owned"
        QTest::addColumn<bool>("owned");
        QTest::newRow("under the personal folder") << "personal" << true;
        QTest::newRow("under a shared directory") << "shared" << false;
        QTest::newRow("under a user-owned directory") << "owned" << true;
    }

    void createNode()
    {
        QFETCH(QString, parent);
        QFETCH(bool, owned);
        useHost("Manager", "manager");
        QString parentID = kPersonal;
        if (parent == QLatin1String("owned"))
            parentID = insertDir(kPersonal, QStringLiteral("自己的目录"), 5, userID());
        if (parent == QLatin1String("shared")) {
            parentID = insertDir(kLocked, QStringLiteral("公共目录"), 12, QString());
            m_host->values.insert(QStringLiteral("DesignModule"), true); // shared: design only
        }
        openPage();
        select(byID(parentID));
        QVERIFY(button("sbCreateNode")->isEnabled());
        const int before = byID(parentID)->childCount();

        ScriptedDialogs dialogs;
        dialogs.answerWith(fillEditor(QStringLiteral("  新目录 ")));
        button("sbCreateNode")->click();
        QCOMPARE(dialogs.shown.size(), 1);

        auto row = rows(QStringLiteral("WHERE NodeDesc = '新目录'"));
        QCOMPARE(row->recordCount(), 1);
        QCOMPARE(row->asString(QStringLiteral("ParentID")), parentID);
        QCOMPARE(row->value(QStringLiteral("UserID")), owned ? QVariant(userID()) : QVariant());
        QCOMPARE(row->asInteger(QStringLiteral("Sort")), before + 1);
        const QString id = row->asString(QStringLiteral("NodeID"));
        QCOMPARE(id, id.toUpper());
        QCOMPARE(id.size(), 38);
        for (const char *column :
             {"MCode", "UICommand", "ObjType", "DType", "PackNo", "CommandData", "InnerUse"})
            QVERIFY2(row->isNull(QLatin1String(column)), column);
        QTreeWidgetItem *made = byID(id);
        QVERIFY(made);
        QCOMPARE(made->parent(), byID(parentID));
        QCOMPARE(made->parent()->indexOfChild(made), before);
        QCOMPARE(TMainForm::ImageIndexOf(made), int(imgFolderClosed));
        QCOMPARE(TMainForm::NodeOf(made)->IsShared, !owned);
    }

    void createModuleNodeCopiesTheCatalogue()
    {
        useHost("clerk", "clerk");
        openPage();
        select(byID(kPersonal));
        ScriptedDialogs dialogs;
        dialogs.answerWith(fillEditor(QStringLiteral("登帐"), QStringLiteral("GLPZDZ")));
        button("sbCreateNode")->click();
        auto row = rows(QStringLiteral("WHERE NodeDesc = '登帐'"));
        QCOMPARE(row->recordCount(), 1);
        QCOMPARE(row->asString(QStringLiteral("MCode")), QStringLiteral("GLPZDZ"));
        QCOMPARE(row->asString(QStringLiteral("UserID")), userID());
        auto module = ProviderDataSet(QStringLiteral("SYS_SMModules"),
                                      QStringLiteral("WHERE MCode = 'GLPZDZ'"));
        for (const char *column : {"UICommand", "ObjType", "DType", "PackNo", "CommandData"})
            QCOMPARE(row->value(QLatin1String(column)).toString(),
                     module->value(QLatin1String(column)).toString());
        // 2107 is not among the clerk's rights.
        QCOMPARE(TMainForm::ImageIndexOf(byID(row->asString(QStringLiteral("NodeID")))),
                 int(imgModuleDenied));
    }

    void modifyNode()
    {
        useHost("Manager", "manager");
        const QString id = insertDir(kPersonal, QStringLiteral("旧名"), 5, userID());
        openPage();
        select(byID(id));
        ScriptedDialogs dialogs;
        dialogs.answerWith([](QDialog &d) {
            auto *name = d.findChild<QLineEdit *>(QStringLiteral("edDirName"));
            const bool prefilled = name->text() == QStringLiteral("旧名");
            name->setText(prefilled ? QStringLiteral("凭证") : QStringLiteral("没有预填"));
            QTest::keyClicks(d.findChild<QLineEdit *>(QStringLiteral("edModuleNo")),
                             QStringLiteral("GLPZLR"));
            d.findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
            return d.result();
        });
        button("sbModifyNode")->click();
        auto row = rows(QStringLiteral("WHERE NodeID = '%1'").arg(id));
        QCOMPARE(row->asString(QStringLiteral("NodeDesc")), QStringLiteral("凭证"));
        QCOMPARE(row->asString(QStringLiteral("MCode")), QStringLiteral("GLPZLR"));
        QCOMPARE(row->asString(QStringLiteral("UserID")), userID());
        QCOMPARE(byID(id)->text(0), QStringLiteral("凭证"));
        QCOMPARE(TMainForm::ImageIndexOf(byID(id)), int(imgModuleD));
    }

    void deleteSecondOfFour()
    {
        useHost("Manager", "manager");
        const QString dir = insertDir(kPersonal, QStringLiteral("四个"), 5, userID());
        QStringList ids;
        for (const char *name : {"甲", "乙", "丙", "丁"})
            ids << insertDir(dir, QString::fromUtf8(name), int(ids.size()) + 1, userID());
        insertDir(ids[1], QStringLiteral("乙下"), 1, userID());
        openPage();
        select(byID(ids[1]));
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        button("sbDeleteNode")->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, QStringLiteral("确定删除'乙'目录？"));
        QCOMPARE(childrenOnServer(dir), (QStringList{"甲:1", "丙:2", "丁:3"}));
        QCOMPARE(childrenOnServer(ids[1]), QStringList());
        QCOMPARE(byID(dir)->childCount(), 3);
        QCOMPARE(TMainForm::NodeOf(byID(ids[3]))->Sort, 3);
    }

    // A change the server refused stayed in the node dataset's change log: the next action
    // sent it again and failed with the first message; a refused delete also left the tree
    // without items the server still held.
    void failedSavesLeaveTreeAndServerAlike()
    {
        useHost("Manager", "manager");
        const QString dir = insertDir(kPersonal, QStringLiteral("四个"), 5, userID());
        QStringList ids;
        for (const char *name : {"甲", "乙", "丙", "丁"})
            ids << insertDir(dir, QString::fromUtf8(name), int(ids.size()) + 1, userID());
        insertDir(ids[2], QStringLiteral("丙下"), 1, userID());
        openPage();
        byID(dir)->setExpanded(true);
        ScriptedDialogs dialogs;

        changeElsewhere(ids[1], QStringLiteral("乙二"));
        select(byID(ids[1]));
        dialogs.answerWith(fillEditor(QStringLiteral("乙新")));
        dialogs.answer(mrOk);
        button("sbModifyNode")->click();
        QCOMPARE(dialogs.shown.size(), 2);
        QVERIFY2(dialogs.shown[1].text.contains(QStringLiteral("已被其他用户修改")),
                 qPrintable(dialogs.shown[1].text));
        QCOMPARE(childrenOnServer(dir), (QStringList{"甲:1", "乙二:2", "丙:3", "丁:4"}));
        QCOMPARE(childrenInTree(dir), childrenOnServer(dir));
        select(byID(ids[0]));
        button("sbMoveDown")->click();
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(childrenOnServer(dir), (QStringList{"乙二:1", "甲:2", "丙:3", "丁:4"}));
        QCOMPARE(childrenInTree(dir), childrenOnServer(dir));

        changeElsewhere(ids[2], QStringLiteral("丙三"));
        select(byID(ids[2]));
        dialogs.answer(mrOk); // the question
        dialogs.answer(mrOk); // the error
        button("sbDeleteNode")->click();
        QCOMPARE(dialogs.shown.size(), 4);
        QCOMPARE(dialogs.shown[3].className, QStringLiteral("vexa::gl::TErrorInfoFrom"));
        QCOMPARE(childrenOnServer(dir), (QStringList{"乙二:1", "甲:2", "丙三:3", "丁:4"}));
        QCOMPARE(childrenInTree(dir), childrenOnServer(dir));
        QCOMPARE(childrenInTree(ids[2]), QStringList{"丙下:1"});

        // A move: the sibling is gone on the server; a warning, and it goes from the tree.
        changeElsewhere(ids[3], QString());
        select(byID(ids[2]));
        dialogs.answer(mrOk);
        button("sbMoveDown")->click();
        QCOMPARE(dialogs.shown.size(), 5);
        QCOMPARE(dialogs.shown[4].className, QStringLiteral("vexa::gl::TWarningInfoFrom"));
        QCOMPARE(childrenInTree(dir), (QStringList{"乙二:1", "甲:2", "丙三:3"}));
        QCOMPARE(tree()->currentItem(), byID(ids[2]));
        button("sbMoveUp")->click();
        QCOMPARE(dialogs.shown.size(), 5);
        QCOMPARE(childrenOnServer(dir), (QStringList{"乙二:1", "丙三:2", "甲:3"}));
        QCOMPARE(childrenInTree(dir), childrenOnServer(dir));
    }

    // After a new login as a clerk the console kept the manager's flag, rights and tree, so
    // the clerk could start a module only the manager may run.
    void reloginReadsTheNewUser()
    {
        useHost("Manager", "manager");
        {
            auto info = ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QString());
            info->append();
            for (const auto &[field, value] :
                 std::initializer_list<std::pair<const char *, QVariant>>{
                     {"DefID", 1},
                     {"AcctTempDesc", QStringLiteral("A01000")},
                     {"UseOrg", QStringLiteral("测试公司")},
                     {"SysCur", QStringLiteral("RMB")},
                     {"CurrName", QStringLiteral("人民币")},
                     {"InitialAudit", true}})
                info->setValue(QLatin1String(field), value);
            ApplyChanges(*info, true);
            m_host->info().refresh();
        }
        ScriptedDialogs dialogs;
        m_host->values.insert(QStringLiteral("MCODE:SFMF"), QStringLiteral("TMainForm"));
        m_plugin = std::make_unique<TLXPlugin>();
        m_plugin->RegisterFormClass<TMainForm>(QStringLiteral("TMainForm"));
        QVariant p3;
        const int handle = m_plugin->CreateModuleForm(QStringLiteral("SFMF"), 0, 0, QString(), p3);
        m_form.reset(qobject_cast<TMainForm *>(m_plugin->FormWidget(handle)));
        QVERIFY(m_form);
        QCOMPARE(childrenInTree(kPersonal), QStringList{"用户:1"});
        button("sbExpanded")->click();
        select(item(QStringLiteral("销售报价")));
        const auto launches = [this] {
            m_host->calls.clear();
            m_form->Command06();
            return m_host->calls.filter(QStringLiteral("OpenModule:SAXSBJ")).size();
        };
        QCOMPARE(launches(), 1);

        m_host->loginAgain("clerk", "clerk");
        m_plugin->Reload(false);
        m_plugin->ExecuteForm(handle, 0, QString(), p3);
        QVERIFY(!m_form->Manager());
        QVERIFY(!button("spStartZT")->isEnabled());
        QCOMPARE(childrenInTree(kPersonal), (QStringList{"凭证录入:1", "科目余额表:2"}));
        // The expanded items and the selection stay.
        QCOMPARE(tree()->currentItem(), item(QStringLiteral("销售报价")));
        QCOMPARE(TMainForm::ImageIndexOf(item(QStringLiteral("销售报价"))), int(imgModuleDeniedD));
        QCOMPARE(launches(), 0);
        QCOMPARE(dialogs.shown.size(), 0);
    }

    void fixedFoldersAreNotDeletedOrMoved()
    {
        useHost("Manager", "manager");
        m_host->values.insert(QStringLiteral("DesignModule"), true);
        openPage();
        select(byID(kLocked));
        QVERIFY(!button("sbDeleteNode")->isEnabled());
        ScriptedDialogs dialogs;
        m_form->DeleteNode();
        m_form->MoveNode(false);
        QCOMPARE(dialogs.shown.size(), 0);
        QCOMPARE(rows(QStringLiteral("WHERE ParentID IS NULL ORDER BY Sort"))->recordCount(), 2);
        QCOMPARE(tree()->indexOfTopLevelItem(byID(kLocked)), 1);
    }

    void moves()
    {
        useHost("Manager", "manager");
        const QString dir = insertDir(kPersonal, QStringLiteral("三个"), 5, userID());
        QStringList ids;
        for (const char *name : {"一", "二", "三"})
            ids << insertDir(dir, QString::fromUtf8(name), int(ids.size()) + 1, userID());
        openPage();
        const QStringList start{"一:1", "二:2", "三:3"};
        ScriptedDialogs dialogs;
        select(byID(ids[2]));
        button("sbMoveDown")->click();
        select(byID(ids[0]));
        button("sbMoveUp")->click();
        QCOMPARE(childrenOnServer(dir), start);
        QCOMPARE(byID(dir)->indexOfChild(byID(ids[0])), 0);
        QCOMPARE(byID(dir)->indexOfChild(byID(ids[2])), 2);

        button("sbMoveDown")->click();
        QCOMPARE(childrenOnServer(dir), (QStringList{"二:1", "一:2", "三:3"}));
        QCOMPARE(byID(dir)->indexOfChild(byID(ids[0])), 1);
        QCOMPARE(tree()->currentItem(), byID(ids[0]));
        select(byID(ids[2]));
        button("sbMoveUp")->click();
        QCOMPARE(childrenOnServer(dir), (QStringList{"二:1", "三:2", "一:3"}));
        QCOMPARE(byID(dir)->child(1), byID(ids[2]));
        QCOMPARE(dialogs.shown.size(), 0);
    }

    void restoreAllKeepsTheFixedFoldersOpen()
    {
        useHost("Manager", "manager");
        openPage();
        button("sbExpanded")->click();
        QVERIFY(item(QStringLiteral("凭证处理"))->isExpanded());
        m_host->calls.clear();
        button("sbCollapsed")->click();
        QVERIFY(byID(kPersonal)->isExpanded());
        QVERIFY(byID(kLocked)->isExpanded());
        int expanded = 0;
        for (QTreeWidgetItemIterator it(tree()); *it; ++it)
            expanded += (*it)->isExpanded();
        QCOMPARE(expanded, 2);
        QCOMPARE(m_host->calls, (QStringList{"BeginBusy", "EndBusy:1"}));
    }

    void toolbarState_data()
    {
        QTest::addColumn<bool>("design");
        QTest::addColumn<QString>("node");
        QTest::addColumn<bool>("deleteMove");
        QTest::addColumn<bool>("createModify");
        QTest::newRow("shared, design") << true << "总账" << true << true;
        QTest::newRow("shared") << false << "总账" << false << false;
        QTest::newRow("own") << false << "own" << true << true;
        QTest::newRow("personal folder") << false << kPersonal << false << true;
        QTest::newRow("locked folder") << false << kLocked << false << false;
    }

    void toolbarState()
    {
        QFETCH(bool, design);
        QFETCH(QString, node);
        QFETCH(bool, deleteMove);
        QFETCH(bool, createModify);
        useHost("clerk", "clerk");
        m_host->values.insert(QStringLiteral("DesignModule"), design);
        const QString own = insertDir(kPersonal, QStringLiteral("own"), 5, userID());
        openPage();
        select(node == QLatin1String("own")        ? byID(own)
               : node.startsWith(QLatin1Char('{')) ? byID(node)
                                                   : item(node));
        for (const char *name : {"sbDeleteNode", "sbMoveDown", "sbMoveUp"})
            QVERIFY2(button(name)->isEnabled() == deleteMove, name);
        for (const char *name : {"sbCreateNode", "sbModifyNode"})
            QVERIFY2(button(name)->isEnabled() == createModify, name);
    }

    void enterStartsTheModule()
    {
        useHost("Manager", "manager");
        openPage();
        select(item(QStringLiteral("控制中心（标准版）")));
        m_host->calls.clear();
        QTest::keyClick(tree(), Qt::Key_Return);
        const QString open = QStringLiteral("OpenModule:SFNF:0:%1:DataProvider:").arg(int('F'));
        m_host->calls.removeIf(
            [](const QString &c) { return c.startsWith(QLatin1String("GetValue")); });
        QCOMPARE(m_host->calls,
                 (QStringList{"BeginBusy", "BeginLaunch", open, "EndBusy:0", "EndLaunch:0"}));
        m_host->calls.clear();
        m_form->Command06();
        QVERIFY(m_host->calls.contains(open));
    }

    // "参数配置" and "科目确认" open their dialogs; only a save that changed the fixed
    // settings asks for a new login.
    void setupCommands()
    {
        useHost("Manager", "manager");
        openPage();
        ScriptedDialogs dialogs;
        dialogs.answer(2);
        button("spSysConfig")->click();
        dialogs.answer(2);
        button("btnKMQR")->click();
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::TStartGLForm"));
        QCOMPARE(dialogs.shown[1].className,
                 QStringLiteral("vexa::gl::TFinGLAccountingConfigureMForm"));
        QVERIFY(!m_host->calls.contains(QStringLiteral("Relogin")));

        // A first configuration: company, periods, the three questions (not enabling).
        dialogs.answerWith([&dialogs](QDialog &d) {
            AccountSetConfig &config = static_cast<TStartGLForm &>(d).Config();
            config.Info().setValue(QStringLiteral("UseOrg"), QStringLiteral("测试公司"));
            ClientDataSet periods;
            periods.setFieldDefs(FiscalCalendar::periodFields());
            periods.createDataSet();
            FiscalCalendar(periods).generate(2027);
            periods.setFiltered(false);
            config.TakePeriods(periods.data(), 2024, 12, 0);
            dialogs.answer(mrOk);
            dialogs.answer(mrOk);
            dialogs.answer(mrCancel);
            dialogs.answer(mrOk); // the new-login notice after the dialog
            static_cast<TStartGLForm &>(d).OkClick();
            return d.result();
        });
        button("spSysConfig")->click();
        QCOMPARE(dialogs.pending(), 0);
        QCOMPARE(dialogs.shown.constLast().text,
                 QStringLiteral("改变账套参数后需要重新登录系统！"));
        QVERIFY(m_host->calls.contains(QStringLiteral("Relogin")));
        auto info = ProviderDataSet(QStringLiteral("LX_SysInitInfo"), QStringLiteral("WHERE 1=1"));
        QCOMPARE(info->asString(QStringLiteral("UseOrg")), QStringLiteral("测试公司"));
        QCOMPARE(info->asBoolean(QStringLiteral("InitialAudit")), false);
    }

    void registry()
    {
        useHost("Manager", "manager");
        {
            const auto key = OpenRegistryKey(QStringLiteral("Software\\Corvane\\Vexa\\Client"));
            key->remove(QStringLiteral("ModuleWidth"));
            key->setValue(QStringLiteral("Faceimage"), m_settingsDir.filePath("missing.jpg"));
        }
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        openPage();
        QCOMPARE(dialogs.shown.size(), 1); // the unreadable picture is reported
        QVERIFY(dialogs.shown[0].text.contains(QStringLiteral("missing.jpg")));
        const auto key = OpenRegistryKey(QStringLiteral("Software\\Corvane\\Vexa\\Client"));
        QCOMPARE(key->value(QStringLiteral("ModuleWidth")).toInt(), 301);

        // A chosen file that is no picture leaves the stored name alone.
        const QString bad = m_settingsDir.filePath("bad.jpg");
        QFile(bad).open(QIODevice::WriteOnly);
        dialogs.answerFiles({bad});
        dialogs.answer(mrOk);
        m_form->ReplaceFace();
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(OpenRegistryKey(QStringLiteral("Software\\Corvane\\Vexa\\Client"))
                     ->value(QStringLiteral("Faceimage"))
                     .toString(),
                 m_settingsDir.filePath("missing.jpg"));
        m_form->RestoreFace();
        QCOMPARE(OpenRegistryKey(QStringLiteral("Software\\Corvane\\Vexa\\Client"))
                     ->value(QStringLiteral("Faceimage"))
                     .toString(),
                 TMainForm::DefaultFacePath());

        // The width the user dragged the tree to is kept even when the page is not the one
        // shown as it closes.
        auto *splitter = m_form->findChild<QSplitter *>(QStringLiteral("spMain"));
        m_form->resize(1000, 600);
        m_form->show();
        splitter->setSizes({420, 580});
        emit splitter->splitterMoved(420, 1);
        m_form->hide();
        m_form.reset();
        QCOMPARE(OpenRegistryKey(QStringLiteral("Software\\Corvane\\Vexa\\Client"))
                     ->value(QStringLiteral("ModuleWidth"))
                     .toInt(),
                 420);
    }

    // The password change is carried on a hidden button of the toolbar.
    void passwordButton()
    {
        useHost("Manager", "manager");
        OpenRegistryKey(QStringLiteral("Software\\Corvane\\Vexa\\Client"))
            ->remove(QStringLiteral("Faceimage"));
        openPage();
        QVERIFY(button("sbModifyPassword")->isHidden());
        ScriptedDialogs dialogs;
        dialogs.answer(2);
        button("sbModifyPassword")->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::TMPasswordForm"));
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
