// The module console page driven by its component names: the toolbar's tree edits as the
// server stores them, refused saves, a new login, and the toolbar's dialogs and registry.
// The rules of the rows are tested on ConsoleTree.
#include "AccountSetConfig.h"
#include "ClientSettings.h"
#include "LXPlugin.h"
#include "MainForm.h"
#include "MessageDialogs.h"
#include "StartGLForm.h"
#include "support/ModuleTreeRows.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"

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
        QTest::keyClicks(d.findChild<QLineEdit *>(QStringLiteral("edModuleNo")), moduleNo);
        d.findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
        return d.result();
    };
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

    vexa::test::TemporarySettings m_settings;
    std::unique_ptr<test::PluginSession<>> m_session;
    std::unique_ptr<TMainForm> m_form;
    std::unique_ptr<TLXPlugin> m_plugin; // when set, it owns the page m_form points at

    test::TestHost &host() { return *m_session->host; }
    void openPage()
    {
        m_form = std::make_unique<TMainForm>();
        bool ok = false;
        m_form->BeforeExecute(ok);
        QVERIFY(ok);
        m_form->AfterExecute(ok);
    }
    QTreeWidget *tree() const { return m_form->findChild<QTreeWidget *>("tvModule"); }
    void click(const char *name) { m_form->findChild<QToolButton *>(name)->click(); }
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
    QString insertDir(const QString &parent, const QString &name, int sort)
    {
        return test::InsertTreeRow(parent, name, sort, host().values.value("UserID").toString());
    }
    QStringList shown(const QString &parent) const
    {
        QStringList out;
        const QTreeWidgetItem *p = byID(parent);
        for (int i = 0; p && i < p->childCount(); ++i)
            out << p->child(i)->text(0) + QLatin1Char(':') +
                       QString::number(TMainForm::NodeOf(p->child(i))->Sort);
        return out;
    }
    // The children of parent as the tree shows them, when they are what the server holds.
    QStringList children(const QString &parent) const
    {
        const QStringList stored = test::TreeChildren(parent);
        return shown(parent) == stored ? stored : QStringList{"tree and server differ"};
    }

private slots:
    void cleanup()
    {
        if (m_plugin)
            (void)m_form.release();
        m_plugin.reset();
        m_form.reset();
        m_session.reset();
    }

    // Create, modify, move and delete by the toolbar; the fixed folders stay. A save the
    // server refuses reads the level again: the refused change is not sent with the next
    // action and a refused delete brings its items back.
    void editsByToolbar()
    {
        m_session = std::make_unique<test::PluginSession<>>();
        const QString dir = insertDir(kPersonal, QStringLiteral("三个"), 5);
        QStringList ids;
        for (const char *name : {"一", "二", "丙"})
            ids << insertDir(dir, QString::fromUtf8(name), int(ids.size()) + 1);
        insertDir(ids[1], QStringLiteral("二下"), 1);
        openPage();
        byID(dir)->setExpanded(true);
        QCOMPARE(tree()->currentItem(), byID(kPersonal));
        ScriptedDialogs dialogs;

        select(byID(dir));
        dialogs.answerWith(fillEditor(QStringLiteral("三"), QStringLiteral("GLPZLR")));
        click("sbCreateNode");
        QCOMPARE(children(dir), (QStringList{"一:1", "二:2", "丙:3", "三:4"}));
        QCOMPARE(TMainForm::ImageIndexOf(item(QStringLiteral("三"))), int(imgModuleD));
        select(item(QStringLiteral("一")));
        dialogs.answerWith(fillEditor(QStringLiteral("甲")));
        click("sbModifyNode");
        click("sbMoveDown");
        QCOMPARE(children(dir), (QStringList{"二:1", "甲:2", "丙:3", "三:4"}));
        QCOMPARE(tree()->currentItem(), item(QStringLiteral("甲")));
        click("sbMoveUp");
        click("sbMoveUp"); // already first: nothing
        QCOMPARE(children(dir), (QStringList{"甲:1", "二:2", "丙:3", "三:4"}));
        dialogs.answer(mrOk);
        click("sbDeleteNode");
        QCOMPARE(dialogs.shown.constLast().text, QStringLiteral("确定删除'甲'目录？"));
        QCOMPARE(children(dir), (QStringList{"二:1", "丙:2", "三:3"}));
        select(byID(kLocked));
        m_form->DeleteNode();
        m_form->MoveNode(false);
        QCOMPARE(tree()->indexOfTopLevelItem(byID(kLocked)), 1);
        QCOMPARE(dialogs.shown.size(), 3);

        // Refused: a delete (error), a move (warning), then a modify that goes through.
        test::ChangeTreeRowElsewhere(*host().server, ids[2], QString());
        select(byID(ids[1]));
        dialogs.answer(mrOk); // the question
        dialogs.answer(mrOk); // the error
        click("sbDeleteNode");
        QCOMPARE(dialogs.shown[4].className, QStringLiteral("vexa::gl::TErrorInfoFrom"));
        QCOMPARE(children(dir), (QStringList{"二:1", "三:3"}));
        QCOMPARE(children(ids[1]), QStringList{"二下:1"});
        test::ChangeTreeRowElsewhere(*host().server, TMainForm::NodeOf(item("三"))->NodeID, {});
        select(byID(ids[1]));
        dialogs.answer(mrOk);
        click("sbMoveDown");
        QCOMPARE(dialogs.shown[5].className, QStringLiteral("vexa::gl::TWarningInfoFrom"));
        QCOMPARE(children(dir), QStringList{"二:1"});
        dialogs.answerWith(fillEditor(QStringLiteral("二新")));
        click("sbModifyNode");
        QCOMPARE(children(dir), QStringList{"二新:1"});
        dialogs.answer(mrCancel);
        click("sbDeleteNode");
        QCOMPARE(children(dir).size(), 1);

        click("sbExpanded");
        QVERIFY(item(QStringLiteral("凭证处理"))->isExpanded());
        host().calls.clear();
        click("sbCollapsed");
        int expanded = 0;
        for (QTreeWidgetItemIterator it(tree()); *it; ++it)
            expanded += (*it)->isExpanded();
        QCOMPARE(expanded, 2);
        QCOMPARE(host().calls, (QStringList{"BeginBusy", "EndBusy:1"}));
    }

    // After a new login as a clerk the console kept the manager's flag, rights and tree.
    void reloginReadsTheNewUser()
    {
        m_session = std::make_unique<test::PluginSession<>>();
        ScriptedDialogs dialogs;
        host().values.insert(QStringLiteral("MCODE:SFMF"), QStringLiteral("TMainForm"));
        m_plugin = std::make_unique<TLXPlugin>();
        m_plugin->RegisterFormClass<TMainForm>(QStringLiteral("TMainForm"));
        QVariant p3;
        const int handle = m_plugin->CreateModuleForm(QStringLiteral("SFMF"), 0, 0, QString(), p3);
        m_form.reset(qobject_cast<TMainForm *>(m_plugin->FormWidget(handle)));
        QVERIFY(m_form && m_form->Manager());
        click("sbExpanded");
        select(item(QStringLiteral("控制中心（标准版）")));
        host().calls.clear();
        QTest::keyClick(tree(), Qt::Key_Return);
        QVERIFY(host().calls.contains(
            QStringLiteral("OpenModule:SFNF:0:%1:DataProvider:").arg(int('F'))));
        select(item(QStringLiteral("销售报价")));

        host().loginAgain("clerk", "clerk");
        m_plugin->Reload(false);
        m_plugin->ExecuteForm(handle, 0, QString(), p3);
        QVERIFY(!m_form->Manager());
        QVERIFY(!m_form->findChild<QToolButton *>("spStartZT")->isEnabled());
        QCOMPARE(shown(kPersonal), (QStringList{"凭证录入:1", "科目余额表:2"}));
        QCOMPARE(tree()->currentItem(), item(QStringLiteral("销售报价")));
        QCOMPARE(TMainForm::ImageIndexOf(item(QStringLiteral("销售报价"))), int(imgModuleDeniedD));
        host().calls.clear();
        m_form->Command06();
        QCOMPARE(host().calls.filter(QStringLiteral("OpenModule")), QStringList());
        QCOMPARE(dialogs.shown.size(), 0);
    }

    // The toolbar's dialogs, the face picture and the tree width kept in the registry.
    void toolbarDialogsAndRegistry()
    {
        OpenRegistryKey(kClientKey)
            ->setValue(QStringLiteral("Faceimage"), m_settings.filePath("missing.jpg"));
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        m_session = std::make_unique<test::PluginSession<>>();
        openPage();
        QVERIFY(dialogs.shown[0].text.contains(QStringLiteral("missing.jpg")));
        for (const char *name : {"spSysConfig", "btnKMQR", "sbModifyPassword", "spStartZT"}) {
            dialogs.answer(2);
            m_form->findChild<QToolButton *>(name)->setEnabled(true);
            click(name);
        }
        QCOMPARE(dialogs.shown[3].className, QStringLiteral("vexa::gl::TMPasswordForm"));
        QVERIFY(!host().calls.contains(QStringLiteral("Relogin")));
        // A first configuration saved asks for a new login.
        dialogs.answerWith([&dialogs](QDialog &d) {
            AccountSetConfig &config = static_cast<TStartGLForm &>(d).Config();
            config.Info().setValue(QStringLiteral("UseOrg"), QStringLiteral("测试公司"));
            config.TakePeriods(test::GeneratedPeriods(), 2024, 12, 0);
            for (int answer : {mrOk, mrOk, mrCancel, mrOk})
                dialogs.answer(answer);
            static_cast<TStartGLForm &>(d).OkClick();
            return d.result();
        });
        click("spSysConfig");
        QCOMPARE(dialogs.pending(), 0);
        QVERIFY(host().calls.contains(QStringLiteral("Relogin")));

        const QString bad = m_settings.filePath("bad.jpg");
        QFile(bad).open(QIODevice::WriteOnly);
        dialogs.answerFiles({bad});
        dialogs.answer(mrOk);
        const auto face = [] { return OpenRegistryKey(kClientKey)->value("Faceimage").toString(); };
        m_form->findChild<QAction *>(QStringLiteral("miReplaceFace"))->trigger();
        QCOMPARE(face(), m_settings.filePath("missing.jpg"));
        m_form->findChild<QAction *>(QStringLiteral("miRestoreFace"))->trigger();
        QCOMPARE(face(), TMainForm::DefaultFacePath());

        auto *splitter = m_form->findChild<QSplitter *>(QStringLiteral("spMain"));
        m_form->resize(1000, 600);
        m_form->show();
        splitter->setSizes({420, 580});
        emit splitter->splitterMoved(420, 1);
        m_form.reset();
        QCOMPARE(OpenRegistryKey(kClientKey)->value(QStringLiteral("ModuleWidth")).toInt(), 420);
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
