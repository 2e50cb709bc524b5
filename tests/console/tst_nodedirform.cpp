// The console's node editor over the demo module catalogue, driven by its component names.
#include "ClientDataSet.h"
#include "MessageDialogs.h"
#include "NodeDirForm.h"
#include "SelModulesForm.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>

using namespace vexa;
using namespace vexa::gl;

class TestNodeDirForm : public QObject
{
    Q_OBJECT
    vexa::test::TemporarySettings m_settings;
    std::unique_ptr<test::PluginSession<test::RecordingHost>> m_session;

    QStringList &requests() { return (*m_session)->recorder.requests; }

    // Shows the editor as the console does; script runs while it is shown.
    static int show(TNodeDirForm &form, ScriptedDialogs &dialogs,
                    const std::function<void(QDialog &)> &script)
    {
        dialogs.answerWith([&](QDialog &d) {
            script(d);
            return d.result();
        });
        return DialogService::instance().exec(form);
    }

private slots:
    void initTestCase()
    {
        m_session = std::make_unique<test::PluginSession<test::RecordingHost>>();
    }
    void cleanupTestCase() { m_session.reset(); }

    // Modifying a node: the pre-filled module's row is read on show, without the
    // internal-use condition; the console reads the fields trimmed, the number upper-cased.
    void prefilledModule()
    {
        TNodeDirForm form;
        form.SetDirName(QStringLiteral("  凭证 "));
        form.SetModuleNo(QStringLiteral(" glpzlr "));
        ScriptedDialogs dialogs;
        requests().clear();
        QString desc;
        const int result = show(form, dialogs, [&](QDialog &d) {
            desc = child<QLineEdit>(d, "edModuleDesc")->text();
            child<QPushButton>(d, "btnOk")->click();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(requests(), QStringList{QStringLiteral("SYS_SMModules|WHERE MCode = 'GLPZLR'")});
        QCOMPARE(desc, QStringLiteral("PZLR"));
        QCOMPARE(form.DirName(), QStringLiteral("凭证"));
        QCOMPARE(form.ModuleNo(), QStringLiteral("GLPZLR"));
        QCOMPARE(form.CatalogueRow().asString(QStringLiteral("UICommand")), QStringLiteral("N"));
    }

    // A typed number is checked on Enter (OK pressed at once checks it too): refused when
    // unknown or internal, else it fills an empty name; no number makes a directory; a name
    // blanked after OK was enabled is refused.
    void typedModuleNo_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byOk");
        QTest::addColumn<QString>("nameAfter"); // "!" refused
        const auto row = [](const char *tag, const char *name, const char *typed, bool byOk,
                            const char *after) {
            QTest::newRow(tag) << QString::fromUtf8(name) << typed << byOk
                               << QString::fromUtf8(after);
        };
        row("unknown", "", "ZZZZ", false, "!");
        row("internal, OK at once", "坏", "GLKMQR", true, "!");
        row("lower case fills name", "", " glpzlr", false, "凭证录入");
        row("keeps typed name", "记账", "GLPZLR", true, "记账");
        row("directory", " 常用 ", "", true, " 常用 ");
        row("name blanked", "目录", "", true, "");
    }

    void typedModuleNo()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(bool, byOk);
        QFETCH(QString, nameAfter);
        TNodeDirForm form;
        form.SetDirName(name);
        ScriptedDialogs dialogs;
        QString nameSeen, desc;
        bool okEnabled = false;
        const int result = show(form, dialogs, [&](QDialog &d) {
            requests().clear();
            dialogs.answer(mrOk);
            auto *edit = child<QLineEdit>(d, "edModuleNo");
            QTest::keyClicks(edit, typed.isEmpty() ? QStringLiteral("X") : typed);
            if (typed.isEmpty())
                QTest::keyClick(edit, Qt::Key_Backspace);
            if (!byOk)
                QTest::keyClick(edit, Qt::Key_Return);
            okEnabled = child<QPushButton>(d, "btnOk")->isEnabled();
            nameSeen = child<QLineEdit>(d, "edDirName")->text();
            desc = child<QLineEdit>(d, "edModuleDesc")->text();
            if (nameAfter.isEmpty())
                child<QLineEdit>(d, "edDirName")->setText(QStringLiteral("  "));
            child<QPushButton>(d, "btnOk")->click();
            if (d.isVisible())
                d.reject();
        });
        const bool refused = nameAfter == QLatin1String("!");
        QCOMPARE(requests().value(0), QStringLiteral("SYS_SMModules|WHERE MCode = '") +
                                          typed.trimmed().toUpper() +
                                          QStringLiteral("' AND InnerUse = 0"));
        QCOMPARE(dialogs.shown.value(1).text,
                 refused ? QStringLiteral("输入系统模块号不存在。") : QString());
        QCOMPARE(result, int(!refused && !nameAfter.trimmed().isEmpty()));
        if (!byOk) {
            QCOMPARE(nameSeen, refused ? name : nameAfter);
            QCOMPARE(desc, refused ? QString() : QStringLiteral("PZLR"));
            QCOMPARE(okEnabled, !nameSeen.trimmed().isEmpty());
        }
        if (nameAfter.isEmpty()) // the host warns, the editor stays open
            QCOMPARE((*m_session)->calls.filter("ShowHostMessage").value(0),
                     QStringLiteral("ShowHostMessage:节点项名称不能为空:W:"));
    }

    // The picker is made once and kept; its choice sets the number and an empty name.
    void pickModule()
    {
        TNodeDirForm form;
        ScriptedDialogs dialogs;
        QString nameSeen;
        int pickers = 0;
        const int result = show(form, dialogs, [&](QDialog &d) {
            auto *name = child<QLineEdit>(d, "edDirName");
            QFocusEvent leave(QEvent::FocusOut);
            QCoreApplication::sendEvent(name, &leave);
            dialogs.answerWith([](QDialog &picker) {
                auto *search = child<QLineEdit>(picker, "edValue");
                search->setText(QStringLiteral("GLPZLR"));
                QTest::keyClick(search, Qt::Key_Return);
                child<QPushButton>(picker, "btnOk")->click();
                return picker.result();
            });
            child<QToolButton>(d, "btnModuleNo")->click();
            dialogs.answer(QDialog::Rejected);
            child<QToolButton>(d, "btnModuleNo")->click(); // cancelled: nothing changes
            nameSeen = name->text();
            pickers = int(d.findChildren<TSelModulesForm *>().size());
            child<QPushButton>(d, "btnOk")->click();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(nameSeen, QStringLiteral("凭证录入"));
        QCOMPARE(pickers, 1);
        QCOMPARE(form.ModuleNo(), QStringLiteral("GLPZLR"));
        dialogs.click(QStringLiteral("btnCancel"));
        QCOMPARE(DialogService::instance().exec(form), int(QDialog::Rejected));
    }
};

QTEST_MAIN(TestNodeDirForm)
#include "tst_nodedirform.moc"
