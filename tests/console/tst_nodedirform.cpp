// The console's node editor over the demo module catalogue, driven by its component names.
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "NodeDirForm.h"
#include "RemoteConnection.h"
#include "SelModulesForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>
#include <QToolButton>

using namespace vexa;
using namespace vexa::gl;

namespace {

using vexa::test::RecordingConnection;
using vexa::test::RecordingHost;

const QString kNameEmptyWarning = QStringLiteral("ShowHostMessage:节点项名称不能为空:W:");
const QString kUnknownModule = QStringLiteral("输入系统模块号不存在。");

void leave(QLineEdit *edit)
{
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(edit, &out);
}

void typeModuleNo(QDialog &d, const QString &text)
{
    auto *edit = child<QLineEdit>(d, "edModuleNo");
    edit->clear();
    QTest::keyClicks(edit, text.isEmpty() ? QStringLiteral("X") : text);
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Return);
}

} // namespace

class TestNodeDirForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<RecordingHost> m_host;

    QStringList &requests() { return m_host->recorder.requests; }

    // Shows the editor as the console does; script runs while it is shown.
    int show(TNodeDirForm &form, ScriptedDialogs &dialogs,
             const std::function<void(QDialog &)> &script)
    {
        dialogs.answerWith([&](QDialog &d) {
            script(d);
            return d.result();
        });
        return DialogService::instance().exec(form);
    }

    // The module number's label as the editor shows it with a label shift, and its place.
    QImage labelPicture(int shift, QRect &place)
    {
        Settings().CTLabelPosSize = shift;
        TNodeDirForm form;
        form.show();
        if (!QTest::qWaitForWindowExposed(&form))
            return QImage();
        form.resize(440, 140); // a layout sets its labels' places again
        QCoreApplication::processEvents();
        auto *label = child<QLabel>(form, "lbModuleNo");
        place = label->geometry();
        return label->grab().toImage();
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
        requests().clear();
        m_host->calls.clear();
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    void components()
    {
        TNodeDirForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("节点定义"));
        QCOMPARE(child<QLabel>(form, "lbDirName")->text(), QStringLiteral("节点项名称"));
        QCOMPARE(child<QLabel>(form, "lbModuleNo")->text(), QStringLiteral("系统模块号"));
        QVERIFY(child<QToolButton>(form, "btnModuleNo"));
        QVERIFY(child<QLineEdit>(form, "edModuleDesc")->isReadOnly());
        QCOMPARE(child<QPushButton>(form, "btnOk")->text(), QStringLiteral("确认"));
        QCOMPARE(child<QPushButton>(form, "btnCancel")->text(), QStringLiteral("取消"));
        QCOMPARE(form.CatalogueRow().providerName(), QStringLiteral("SYS_SMModules"));
        form.SetOkCaption(QStringLiteral("创建"));
        QCOMPARE(child<QPushButton>(form, "btnOk")->text(), QStringLiteral("创建"));
        QVERIFY(requests().isEmpty());
    }

    // Modifying a node: the pre-filled module's row is read on show (without the
    // internal-use condition) and its search text shown; the console reads the fields
    // trimmed, the number upper-cased.
    void showReadsPrefilledModule()
    {
        TNodeDirForm form;
        form.SetDirName(QStringLiteral("  凭证 "));
        form.SetModuleNo(QStringLiteral(" GLPZLR "));
        ScriptedDialogs dialogs;
        QString desc;
        bool okEnabled = false;
        const int result = show(form, dialogs, [&](QDialog &d) {
            desc = child<QLineEdit>(d, "edModuleDesc")->text();
            okEnabled = child<QPushButton>(d, "btnOk")->isEnabled();
            child<QPushButton>(d, "btnOk")->click();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(requests(), QStringList{QStringLiteral("SYS_SMModules|WHERE MCode = 'GLPZLR'")});
        QCOMPARE(desc, QStringLiteral("PZLR"));
        QVERIFY(okEnabled);
        QCOMPARE(form.DirName(), QStringLiteral("凭证"));
        QCOMPARE(form.ModuleNo(), QStringLiteral("GLPZLR"));
        QCOMPARE(form.CatalogueRow().asString(QStringLiteral("UICommand")), QStringLiteral("N"));
        QCOMPARE(m_host->calls.filter(QStringLiteral("ShowHostMessage")), QStringList());

        form.SetModuleNo(QStringLiteral(" glpzlr "));
        QCOMPARE(form.ModuleNo(), QStringLiteral("GLPZLR"));
    }

    void okEnabledByName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blanks") << "   " << false;
        QTest::newRow("name") << " 我的 " << true;
    }

    // Checked when shown and when the name field is left.
    void okEnabledByName()
    {
        QFETCH(QString, name);
        QFETCH(bool, enabled);
        TNodeDirForm form;
        form.SetDirName(name);
        ScriptedDialogs dialogs;
        bool onShow = !enabled, onLeave = !enabled;
        show(form, dialogs, [&](QDialog &d) {
            onShow = child<QPushButton>(d, "btnOk")->isEnabled();
            auto *edit = child<QLineEdit>(d, "edDirName");
            edit->setText(enabled ? QString() : QStringLiteral("x"));
            leave(edit);
            edit->setText(name);
            leave(edit);
            onLeave = child<QPushButton>(d, "btnOk")->isEnabled();
            d.reject();
        });
        QCOMPARE(onShow, enabled);
        QCOMPARE(onLeave, enabled);
    }

    // A name emptied after OK was enabled: the host warns and the editor stays open.
    void okWithBlankName()
    {
        TNodeDirForm form;
        form.SetDirName(QStringLiteral("目录"));
        ScriptedDialogs dialogs;
        bool stillOpen = false;
        QString focus;
        const int result = show(form, dialogs, [&](QDialog &d) {
            child<QLineEdit>(d, "edModuleNo")->setFocus();
            child<QLineEdit>(d, "edDirName")->setText(QStringLiteral("  "));
            child<QPushButton>(d, "btnOk")->click();
            stillOpen = d.isVisible() && d.result() == 0;
            focus = d.focusWidget() ? d.focusWidget()->objectName() : QString();
        });
        QVERIFY(stillOpen);
        QCOMPARE(result, 0);
        QCOMPARE(focus, QStringLiteral("edDirName"));
        QCOMPARE(m_host->calls.filter(QStringLiteral("ShowHostMessage")),
                 QStringList{kNameEmptyWarning});
        QCOMPARE(dialogs.shown.size(), 1); // no dialog of the plug-in's own
    }

    void typedModuleNo_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("nameAfter");
        QTest::addColumn<QString>("descAfter");
        QTest::newRow("unknown") << ""
                                 << "ZZZZ" << true << ""
                                 << "";
        QTest::newRow("internal use") << ""
                                      << "GLKMQR" << true << ""
                                      << "";
        QTest::newRow("known, fills empty name") << ""
                                                 << " GLPZLR " << false << "凭证录入"
                                                 << "PZLR";
        // Typed in lower case: looked up as the console stores it.
        QTest::newRow("lower case") << ""
                                    << " glpzlr" << false << "凭证录入"
                                    << "PZLR";
        QTest::newRow("known, keeps typed name") << "记账"
                                                 << "GLPZLR" << false << "记账"
                                                 << "PZLR";
        QTest::newRow("empty: a directory") << ""
                                            << "" << false << ""
                                            << "";
    }

    void typedModuleNo()
    {
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(bool, refused);
        QFETCH(QString, nameAfter);
        QFETCH(QString, descAfter);
        TNodeDirForm form;
        form.SetDirName(name);
        ScriptedDialogs dialogs;
        QString nameSeen, descSeen;
        bool okEnabled = false;
        show(form, dialogs, [&](QDialog &d) {
            requests().clear();
            if (refused)
                dialogs.answer(mrOk);
            typeModuleNo(d, typed);
            nameSeen = child<QLineEdit>(d, "edDirName")->text();
            descSeen = child<QLineEdit>(d, "edModuleDesc")->text();
            okEnabled = child<QPushButton>(d, "btnOk")->isEnabled();
            d.reject();
        });
        const QString command = QStringLiteral("SYS_SMModules|WHERE MCode = '") +
                                typed.trimmed().toUpper() + QStringLiteral("' AND InnerUse = 0");
        QCOMPARE(requests(), QStringList{command});
        QCOMPARE(dialogs.shown.size(), refused ? 2 : 1);
        if (refused) {
            QCOMPARE(dialogs.shown[1].className, QStringLiteral("vexa::gl::TErrorInfoFrom"));
            QCOMPARE(dialogs.shown[1].text, kUnknownModule);
        }
        QCOMPARE(nameSeen, nameAfter);
        QCOMPARE(descSeen, descAfter);
        QCOMPARE(okEnabled, !nameAfter.trimmed().isEmpty());
    }

    // An unknown number typed and OK clicked at once is refused too; the editor stays open.
    void okRefusesUncheckedModuleNo()
    {
        TNodeDirForm form;
        form.SetDirName(QStringLiteral("坏节点"));
        ScriptedDialogs dialogs;
        int resultAfterOk = -1;
        show(form, dialogs, [&](QDialog &d) {
            QTest::keyClicks(child<QLineEdit>(d, "edModuleNo"), QStringLiteral("GLKMQR"));
            dialogs.answer(mrOk);
            child<QPushButton>(d, "btnOk")->click();
            resultAfterOk = d.result();
            d.reject();
        });
        QCOMPARE(resultAfterOk, 0);
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[1].text, kUnknownModule);
    }

    void pickModule_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("nameAfter");
        QTest::newRow("empty name filled") << ""
                                           << "凭证录入";
        QTest::newRow("typed name kept") << "我的凭证"
                                         << "我的凭证";
    }

    // The picker is made once and kept; its choice sets the number, an empty name and the
    // catalogue row.
    void pickModule()
    {
        QFETCH(QString, name);
        QFETCH(QString, nameAfter);
        TNodeDirForm form;
        form.SetDirName(name);
        ScriptedDialogs dialogs;
        QString number, nameSeen, desc;
        bool okEnabled = false;
        int pickers = 0;
        auto pick = [&dialogs](const char *code) {
            dialogs.answerWith([code](QDialog &picker) {
                auto *search = child<QLineEdit>(picker, "edValue");
                search->setText(QLatin1String(code));
                QTest::keyClick(search, Qt::Key_Return);
                child<QPushButton>(picker, "btnOk")->click();
                return picker.result();
            });
        };
        const int result = show(form, dialogs, [&](QDialog &d) {
            pick("GLPZLR");
            child<QToolButton>(d, "btnModuleNo")->click();
            dialogs.answer(QDialog::Rejected);
            child<QToolButton>(d, "btnModuleNo")->click(); // cancelled: nothing changes
            number = child<QLineEdit>(d, "edModuleNo")->text();
            nameSeen = child<QLineEdit>(d, "edDirName")->text();
            desc = child<QLineEdit>(d, "edModuleDesc")->text();
            okEnabled = child<QPushButton>(d, "btnOk")->isEnabled();
            pickers = int(d.findChildren<TSelModulesForm *>().size());
            child<QPushButton>(d, "btnOk")->click();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(number, QStringLiteral("GLPZLR"));
        QCOMPARE(nameSeen, nameAfter);
        QCOMPARE(desc, QStringLiteral("PZLR"));
        QVERIFY(okEnabled);
        QCOMPARE(pickers, 1);
        QCOMPARE(requests().last(), QStringLiteral("SYS_SMModules|WHERE MCode = 'GLPZLR'"));
        QCOMPARE(form.CatalogueRow().asString(QStringLiteral("MCode")), QStringLiteral("GLPZLR"));
        QCOMPARE(form.ModuleNo(), QStringLiteral("GLPZLR"));
    }

    // A directory: no module number, no catalogue row.
    void emptyModuleNoAccepted()
    {
        TNodeDirForm form;
        form.SetDirName(QStringLiteral(" 常用 "));
        ScriptedDialogs dialogs;
        const int result =
            show(form, dialogs, [&](QDialog &d) { child<QPushButton>(d, "btnOk")->click(); });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(form.ModuleNo(), QString());
        QCOMPARE(form.DirName(), QStringLiteral("常用"));
        QVERIFY(form.CatalogueRow().isEmpty());
        QCOMPARE(m_host->calls.filter(QStringLiteral("ShowHostMessage")), QStringList());
    }

    // The client settings' label shift was undone by the editor's layout.
    void labelShiftShowsOnTheForm()
    {
        const auto restore = qScopeGuard([] { Settings().CTLabelPosSize = 0; });
        QRect plainPlace, shiftedPlace;
        const QImage plain = labelPicture(0, plainPlace);
        const QImage shifted = labelPicture(3, shiftedPlace);
        QVERIFY(!plain.isNull());
        QCOMPARE(shiftedPlace, plainPlace); // the rows of the layout stay as they were
        QVERIFY(shifted != plain);
        const int w = plain.width(), h = plain.height();
        QCOMPARE(shifted.copy(0, 0, w, h - 3), plain.copy(0, 3, w, h - 3));
    }

    void cancel()
    {
        TNodeDirForm form;
        form.SetDirName(QStringLiteral("x"));
        ScriptedDialogs dialogs;
        dialogs.click(QStringLiteral("btnCancel"));
        QCOMPARE(DialogService::instance().exec(form), int(QDialog::Rejected));
    }
};

QTEST_MAIN(TestNodeDirForm)
#include "tst_nodedirform.moc"
