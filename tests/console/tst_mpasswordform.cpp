// The password change dialog against a real application server, logged in as the clerk.
#include "MPasswordForm.h"
#include "MessageDialogs.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

class TestMPasswordForm : public QObject
{
    Q_OBJECT
    vexa::test::TemporarySettings m_settings;

    static bool canLogIn(test::TestHost &host, const QString &password)
    {
        return errorOf([&] { host.server->connect()->login(QStringLiteral("clerk"), password); })
            .isEmpty();
    }

private slots:
    // Blanks around the fields are dropped; every refusal leaves the dialog open, the focus
    // where the user must type and the password as it was.
    void changePassword_data()
    {
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("message"); // empty: changed
        QTest::addColumn<QString>("focus");
        const auto row = [](const char *tag, const char *old, const char *typed,
                            const char *confirmation, const char *message, const char *focus) {
            QTest::newRow(tag) << old << QString::fromUtf8(typed) << QString::fromUtf8(confirmation)
                               << QString::fromUtf8(message) << focus;
        };
        row("blanks only", "clerk", "   ", "", "密码不能为空。", "edPassword");
        row("mismatch", "clerk", "abc", "abd", "新密码与确认密码不同！", "edPassword");
        row("wrong old", "cl erk", "abc", "abc", "输入旧密码错误，修改密码失败。", "edOldPassword");
        row("server fails", "", "abc", "abc", "系统修改密码错误，修改密码失败。", "edOldPassword");
        row("changed, trimmed", " clerk ", " 新 密码 ", "新 密码  ", "", "");
    }

    void changePassword()
    {
        QFETCH(QString, old);
        QFETCH(QString, typed);
        QFETCH(QString, confirmation);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        test::PluginSession session("clerk", "clerk");
        const auto notLoggedIn = session->server->connect();
        if (old.isEmpty()) // any answer but 0 and -2 is a failure of the server
            Globals().AppServer = notLoggedIn.get();
        TMPasswordForm form;
        ScriptedDialogs dialogs;
        QString focusAfterOk;
        dialogs.answerWith([&](QDialog &d) {
            child<QLineEdit>(d, "edOldPassword")->setText(old.isEmpty() ? "clerk" : old);
            child<QLineEdit>(d, "edPassword")->setText(typed);
            child<QLineEdit>(d, "edOkPassword")->setText(confirmation);
            child<QLineEdit>(d, "edOkPassword")->setFocus();
            if (!message.isEmpty())
                dialogs.answer(mrOk);
            child<QPushButton>(d, "btnOk")->click();
            if (d.isVisible())
                focusAfterOk = d.focusWidget()->objectName();
            return d.result();
        });
        QCOMPARE(DialogService::instance().exec(form), message.isEmpty() ? 1 : 0);
        QCOMPARE(dialogs.shown.value(1).text, message);
        QCOMPARE(focusAfterOk, focus);
        QCOMPARE(canLogIn(*session.host, QStringLiteral("clerk")), !message.isEmpty());
        QCOMPARE(canLogIn(*session.host, QStringLiteral("新 密码")), message.isEmpty());

        dialogs.click(QStringLiteral("btnCancel"));
        QCOMPARE(DialogService::instance().exec(form), int(QDialog::Rejected));
    }
};

QTEST_MAIN(TestMPasswordForm)
#include "tst_mpasswordform.moc"
