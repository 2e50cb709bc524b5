// The module console page on the demo account set, driven by its component names: the
// tree's edits by the toolbar, a refused save, a new login, launching and the face picture.
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
#include "support/ModuleTreeRows.h"
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

using namespace vexa;
using namespace vexa::gl;

namespace {

const QString kPersonal = QString::fromLatin1(kPersonalFolderID);
const QString kLocked = QString::fromLatin1(kLockedFolderID);
const QString kClientKey = QStringLiteral("Software\\Corvane\\Vexa\\Client");

// Fills the node editor and clicks OK; a module number is typed as a user would.
ScriptedDialogs::Answer fillEditor(const QString &name, const QString &moduleNo = QString())
{
    return [name, moduleNo](QDialog &d) {
        auto *edDirName = d.findChild<QLineEdit *>(QStringLiteral("edDirName"));
        edDirName->setText(name);
        QFocusEvent leave(QEvent::FocusOut);
        QCoreApplication::sendEvent(edDirName, &leave);
        if (!moduleNo.isEmpty())
            QTest::keyClicks(d.findChild<QLineEdit *>(QStringLiteral("edModuleNo")), moduleNo);
        d.findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
        return d.result();
    };
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<test::TestHost> m_host;
    std::unique_ptr<TMainForm> m_form;
    std::unique_ptr<TLXPlugin> m_plugin; // when set, it owns the page m_form points at

    void useHost(const char *user, const char *password)
    {
        m_form.reset();
        Globals() = PluginGlobals();
        m_host = std::make_unique<test::TestHost>(user, password);
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
        return tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    QTreeWidgetItem *byID(const QString &id) const
    {
        for (QTreeWidgetItemIterator it(tree()); *it; ++it)
            if (TMainForm::NodeOf(*it) && TMainForm::NodeOf(*it)->NodeID == id)
                return *it;
        return nullptr;
    }
    void select(QTreeWidgetItem *i) { tree()->setCurrentItem(i); }
    QString userID() const { return m_host->values.value(QStringLiteral("UserID")).toString(); }
    QString insertDir(const QString &parent, const QString &name, int sort)
    {
        return test::InsertTreeRow(parent, name, sort, userID());
    }
    QStringList inTree(const QString &parent) const
    {
        QStringList out;
        const QTreeWidgetItem *p = byID(parent);
        for (int i = 0; p && i < p->childCount(); ++i)
            out << p->child(i)->text(0) + QLatin1Char(':') +
                       QString::number(TMainForm::NodeOf(p->child(i))->Sort);
        return out;
    }
    void deleteElsewhere(const QString &id)
    {
        test::ChangeTreeRowElsewhere(*m_host->server, id, QString());
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

    // Create, modify, move and delete by the toolbar, the server and the tree alike after
    // each; the fixed folders stay; expand and restore.
    void editsByToolbar()
    {
        useHost("Manager", "manager");
        const QString dir = insertDir(kPersonal, QStringLiteral("三个"), 5);
        insertDir(dir, QStringLiteral("一"), 1);
        insertDir(dir, QStringLiteral("二"), 2);
        openPage();
        QCOMPARE(tree()->topLevelItemCount(), 2);
        QCOMPARE(tree()->currentItem(), byID(kPersonal));
        QVERIFY(byID(kLocked)->isExpanded());
        ScriptedDialogs dialogs;

        select(byID(dir));
        dialogs.answerWith(fillEditor(QStringLiteral("三"), QStringLiteral("GLPZLR")));
        button("sbCreateNode")->click();
        QCOMPARE(test::TreeChildren(dir), (QStringList{"一:1", "二:2", "三:3"}));
        QCOMPARE(inTree(dir), test::TreeChildren(dir));
        QCOMPARE(TMainForm::ImageIndexOf(item(QStringLiteral("三"))), int(imgModuleD));

        select(item(QStringLiteral("一")));
        dialogs.answerWith(fillEditor(QStringLiteral("甲")));
        button("sbModifyNode")->click();
        button("sbMoveDown")->click();
        QCOMPARE(test::TreeChildren(dir), (QStringList{"二:1", "甲:2", "三:3"}));
        QCOMPARE(inTree(dir), test::TreeChildren(dir));
        QCOMPARE(tree()->currentItem(), item(QStringLiteral("甲")));
        button("sbMoveUp")->click();
        button("sbMoveUp")->click(); // already first: nothing
        QCOMPARE(test::TreeChildren(dir), (QStringList{"甲:1", "二:2", "三:3"}));

        dialogs.answer(mrOk);
        button("sbDeleteNode")->click();
        QCOMPARE(dialogs.shown.constLast().text, QStringLiteral("确定删除'甲'目录？"));
        QCOMPARE(test::TreeChildren(dir), (QStringList{"二:1", "三:2"}));
        QCOMPARE(inTree(dir), test::TreeChildren(dir));
        dialogs.answer(mrCancel);
        select(item(QStringLiteral("二")));
        button("sbDeleteNode")->click();
        QCOMPARE(test::TreeChildren(dir).size(), 2);

        select(byID(kLocked));
        m_form->DeleteNode();
        m_form->MoveNode(false);
        QCOMPARE(tree()->indexOfTopLevelItem(byID(kLocked)), 1);
        QCOMPARE(dialogs.shown.size(), 4);

        button("sbExpanded")->click();
        QVERIFY(item(QStringLiteral("凭证处理"))->isExpanded());
        m_host->calls.clear();
        button("sbCollapsed")->click();
        int expanded = 0;
        for (QTreeWidgetItemIterator it(tree()); *it; ++it)
            expanded += (*it)->isExpanded();
        QCOMPARE(expanded, 2);
        QCOMPARE(m_host->calls, (QStringList{"BeginBusy", "EndBusy:1"}));
    }

    // A refused change stayed in the node dataset and went again with the next action; a
    // refused delete left the tree without items the server still held.
    void refusedSavesReadTheLevelAgain()
    {
        useHost("Manager", "manager");
        const QString dir = insertDir(kPersonal, QStringLiteral("四个"), 5);
        QStringList ids;
        for (const char *name : {"甲", "乙", "丙"})
            ids << insertDir(dir, QString::fromUtf8(name), int(ids.size()) + 1);
        insertDir(ids[1], QStringLiteral("乙下"), 1);
        openPage();
        byID(dir)->setExpanded(true);
        ScriptedDialogs dialogs;

        deleteElsewhere(ids[2]);
        select(byID(ids[1]));
        dialogs.answer(mrOk); // the question
        dialogs.answer(mrOk); // the error
        button("sbDeleteNode")->click();
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[1].className, QStringLiteral("vexa::gl::TErrorInfoFrom"));
        QCOMPARE(test::TreeChildren(dir), (QStringList{"甲:1", "乙:2"}));
        QCOMPARE(inTree(dir), test::TreeChildren(dir));
        QCOMPARE(inTree(ids[1]), QStringList{"乙下:1"});
        select(byID(ids[1]));

        deleteElsewhere(ids[0]);
        dialogs.answer(mrOk);
        button("sbMoveUp")->click(); // a move that fails is a warning
        QCOMPARE(dialogs.shown.size(), 3);
        QCOMPARE(dialogs.shown[2].className, QStringLiteral("vexa::gl::TWarningInfoFrom"));
        QCOMPARE(inTree(dir), QStringList{"乙:2"});
        dialogs.answerWith(fillEditor(QStringLiteral("乙新")));
        button("sbModifyNode")->click();
        QCOMPARE(dialogs.shown.size(), 4);
        QCOMPARE(test::TreeChildren(dir), QStringList{"乙新:1"});
    }

    // After a new login as a clerk the console kept the manager's flag, rights and tree.
    void reloginReadsTheNewUser()
    {
        useHost("Manager", "manager");
        ScriptedDialogs dialogs;
        m_host->values.insert(QStringLiteral("MCODE:SFMF"), QStringLiteral("TMainForm"));
        m_plugin = std::make_unique<TLXPlugin>();
        m_plugin->RegisterFormClass<TMainForm>(QStringLiteral("TMainForm"));
        QVariant p3;
        const int handle = m_plugin->CreateModuleForm(QStringLiteral("SFMF"), 0, 0, QString(), p3);
        m_form.reset(qobject_cast<TMainForm *>(m_plugin->FormWidget(handle)));
        QVERIFY(m_form && m_form->Manager());
        button("sbExpanded")->click();
        select(item(QStringLiteral("控制中心（标准版）")));
        m_host->calls.clear();
        QTest::keyClick(tree(), Qt::Key_Return);
        QVERIFY(m_host->calls.contains(
            QStringLiteral("OpenModule:SFNF:0:%1:DataProvider:").arg(int('F'))));
        select(item(QStringLiteral("销售报价")));

        m_host->loginAgain("clerk", "clerk");
        m_plugin->Reload(false);
        m_plugin->ExecuteForm(handle, 0, QString(), p3);
        QVERIFY(!m_form->Manager());
        QVERIFY(!button("spStartZT")->isEnabled());
        QCOMPARE(inTree(kPersonal), (QStringList{"凭证录入:1", "科目余额表:2"}));
        QCOMPARE(tree()->currentItem(), item(QStringLiteral("销售报价")));
        QCOMPARE(TMainForm::ImageIndexOf(item(QStringLiteral("销售报价"))), int(imgModuleDeniedD));
        m_host->calls.clear();
        m_form->Command06();
        QCOMPARE(m_host->calls.filter(QStringLiteral("OpenModule")), QStringList());
        QCOMPARE(dialogs.shown.size(), 0);
    }

    // The toolbar's dialogs, the face picture and the tree width kept in the registry.
    void toolbarDialogsAndRegistry()
    {
        useHost("Manager", "manager");
        OpenRegistryKey(kClientKey)
            ->setValue(QStringLiteral("Faceimage"), m_settingsDir.filePath("missing.jpg"));
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        openPage();
        QVERIFY(dialogs.shown[0].text.contains(QStringLiteral("missing.jpg")));
        for (const char *name : {"spSysConfig", "btnKMQR", "sbModifyPassword", "spStartZT"}) {
            dialogs.answer(2);
            button(name)->setEnabled(true);
            button(name)->click();
        }
        QCOMPARE(dialogs.shown.size(), 5);
        QCOMPARE(dialogs.shown[3].className, QStringLiteral("vexa::gl::TMPasswordForm"));
        QVERIFY(!m_host->calls.contains(QStringLiteral("Relogin")));
        // A first configuration saved asks for a new login.
        dialogs.answerWith([&dialogs](QDialog &d) {
            AccountSetConfig &config = static_cast<TStartGLForm &>(d).Config();
            config.Info().setValue(QStringLiteral("UseOrg"), QStringLiteral("测试公司"));
            ClientDataSet periods;
            periods.setFieldDefs(FiscalCalendar::periodFields());
            periods.createDataSet();
            FiscalCalendar(periods).generate(2027);
            periods.setFiltered(false);
            config.TakePeriods(periods.data(), 2024, 12, 0);
            for (int answer : {mrOk, mrOk, mrCancel, mrOk})
                dialogs.answer(answer);
            static_cast<TStartGLForm &>(d).OkClick();
            return d.result();
        });
        button("spSysConfig")->click();
        QCOMPARE(dialogs.pending(), 0);
        QVERIFY(m_host->calls.contains(QStringLiteral("Relogin")));

        const QString bad = m_settingsDir.filePath("bad.jpg");
        QFile(bad).open(QIODevice::WriteOnly);
        dialogs.answerFiles({bad});
        dialogs.answer(mrOk);
        m_form->findChild<QAction *>(QStringLiteral("miReplaceFace"))->trigger();
        QCOMPARE(OpenRegistryKey(kClientKey)->value(QStringLiteral("Faceimage")).toString(),
                 m_settingsDir.filePath("missing.jpg"));
        m_form->findChild<QAction *>(QStringLiteral("miRestoreFace"))->trigger();
        QCOMPARE(OpenRegistryKey(kClientKey)->value(QStringLiteral("Faceimage")).toString(),
                 TMainForm::DefaultFacePath());

        auto *splitter = m_form->findChild<QSplitter *>(QStringLiteral("spMain"));
        m_form->resize(1000, 600);
        m_form->show();
        splitter->setSizes({420, 580});
        emit splitter->splitterMoved(420, 1);
        m_form->hide();
        m_form.reset();
        QCOMPARE(OpenRegistryKey(kClientKey)->value(QStringLiteral("ModuleWidth")).toInt(), 420);
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
