// The password change dialog against a real application server, logged in as the clerk.
#include "Globals.h"
#include "MPasswordForm.h"
#include "MessageDialogs.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;

namespace {

struct Outcome
{
    int result = -1;
    bool visibleAfterOk = false;
    QString focusAfterOk;
    QList<ScriptedDialogs::Shown> messages;
};

// Shows the dialog as the console does, fills the three fields and clicks OK once; a
// message the click raises is answered with OK and recorded.
Outcome changePassword(const QString &oldPassword, const QString &newPassword,
                       const QString &confirmation, bool expectMessage)
{
    TMPasswordForm form;
    ScriptedDialogs dialogs;
    Outcome outcome;
    dialogs.answerWith([&](QDialog &d) {
        child<QLineEdit>(d, "edOldPassword")->setText(oldPassword);
        child<QLineEdit>(d, "edPassword")->setText(newPassword);
        child<QLineEdit>(d, "edOkPassword")->setText(confirmation);
        // From the last field, so that where the focus goes after OK means something.
        child<QLineEdit>(d, "edOkPassword")->setFocus();
        child<QPushButton>(d, "btnOk")->click();
        outcome.visibleAfterOk = d.isVisible();
        if (QWidget *focus = d.focusWidget())
            outcome.focusAfterOk = focus->objectName();
        return d.result();
    });
    if (expectMessage)
        dialogs.answer(mrOk);
    outcome.result = DialogService::instance().exec(form);
    outcome.messages = dialogs.shown.mid(1);
    return outcome;
}

} // namespace

class TestMPasswordForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<vexa::test::TestHost> m_host;

    bool canLogIn(const QString &password)
    {
        auto again = m_host->server->connect();
        try {
            again->login(QStringLiteral("clerk"), password);
            return true;
        } catch (const Error &) {
            return false;
        }
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<vexa::test::TestHost>("clerk", "clerk");
        Globals().Host = m_host.get();
        Globals().Connection = m_host->connection.get();
        Globals().AppServer = m_host->connection.get();
        Globals().DataModule = &m_host->dataModule;
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    void components()
    {
        TMPasswordForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("修改密码"));
        for (const char *name : {"edOldPassword", "edPassword", "edOkPassword"}) {
            QVERIFY2(child<QLineEdit>(form, name), name);
            QCOMPARE(child<QLineEdit>(form, name)->echoMode(), QLineEdit::Password);
        }
        QCOMPARE(child<QPushButton>(form, "btnOk")->text(), QStringLiteral("修改"));
        QCOMPARE(child<QPushButton>(form, "btnCancel")->text(), QStringLiteral("取消"));
    }

    // Every refusal leaves the dialog open and the password as it was.
    void refusals_data()
    {
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("dialogClass");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        const QString error = QStringLiteral("vexa::gl::TErrorInfoFrom");
        const QString info = QStringLiteral("vexa::gl::TInformationFrom");
        QTest::newRow("empty new password") << "clerk"
                                            << ""
                                            << "" << error << "密码不能为空。"
                                            << "edPassword";
        QTest::newRow("blanks only") << "clerk"
                                     << "   "
                                     << "   " << error << "密码不能为空。"
                                     << "edPassword";
        QTest::newRow("mismatch") << "clerk"
                                  << "abc"
                                  << "abd" << error << "新密码与确认密码不同！"
                                  << "edPassword";
        QTest::newRow("wrong old password") << "wrong"
                                            << "abc"
                                            << "abc" << info << "输入旧密码错误，修改密码失败。"
                                            << "edOldPassword";
        QTest::newRow("old password not trimmed away")
            << "cl erk"
            << "abc"
            << "abc" << info << "输入旧密码错误，修改密码失败。"
            << "edOldPassword";
    }

    void refusals()
    {
        QFETCH(QString, oldPassword);
        QFETCH(QString, newPassword);
        QFETCH(QString, confirmation);
        QFETCH(QString, dialogClass);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        const Outcome outcome = changePassword(oldPassword, newPassword, confirmation, true);
        QVERIFY(outcome.visibleAfterOk);
        QCOMPARE(outcome.result, 0);
        QCOMPARE(outcome.messages.size(), 1);
        QCOMPARE(outcome.messages[0].className, dialogClass);
        QCOMPARE(outcome.messages[0].text, message);
        QCOMPARE(outcome.focusAfterOk, focus);
        QVERIFY(canLogIn(QStringLiteral("clerk")));
    }

    // Any answer of the server other than 0 and -2 is a failure of the server.
    void otherServerFailure()
    {
        auto notLoggedIn = m_host->server->connect();
        Globals().AppServer = notLoggedIn.get();
        const Outcome outcome = changePassword(QStringLiteral("clerk"), QStringLiteral("abc"),
                                               QStringLiteral("abc"), true);
        Globals().AppServer = m_host->connection.get();
        QVERIFY(outcome.visibleAfterOk);
        QCOMPARE(outcome.messages.size(), 1);
        QCOMPARE(outcome.messages[0].className, QStringLiteral("vexa::gl::TInformationFrom"));
        QCOMPARE(outcome.messages[0].text, QStringLiteral("系统修改密码错误，修改密码失败。"));
        QCOMPARE(outcome.focusAfterOk, QStringLiteral("edOldPassword"));
        QVERIFY(canLogIn(QStringLiteral("clerk")));
    }

    // Blanks around the passwords are dropped before they reach the server.
    void changesTrimmed()
    {
        const Outcome outcome =
            changePassword(QStringLiteral(" clerk "), QStringLiteral(" 新 密码 "),
                           QStringLiteral("新 密码  "), false);
        QCOMPARE(outcome.result, int(QDialog::Accepted));
        QVERIFY(outcome.messages.isEmpty());
        QVERIFY(canLogIn(QStringLiteral("新 密码")));
        QVERIFY(!canLogIn(QStringLiteral("clerk")));
        QVERIFY(!canLogIn(QStringLiteral(" 新 密码 ")));
    }

    void cancel()
    {
        TMPasswordForm form;
        ScriptedDialogs dialogs;
        dialogs.click(QStringLiteral("btnCancel"));
        QCOMPARE(DialogService::instance().exec(form), int(QDialog::Rejected));
        QCOMPARE(dialogs.shown.size(), 1);
    }
};

QTEST_MAIN(TestMPasswordForm)
#include "tst_mpasswordform.moc"
