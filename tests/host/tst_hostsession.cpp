#include "ChangePasswordDialog.h"
#include "ClientDataSet.h"
#include "DataModule.h"
#include "HostApp.h"
#include "HostFixture.h"
#include "LoginDialog.h"
#include "Seed.h"
#include "support/TestSupport.h"

#include <vexa/Error.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>

using namespace vexa;
using namespace vexa::host;
using vexa::test::HostFixture;

class TestHostSession : public QObject
{
    Q_OBJECT

private slots:
    void values_data();
    void values();
    void dayNumbers();
    void serverDateValues();
    void sharedDataSetsOpenAtLogin();
    void reloginSwitchesUserAndRereadsDataSets();
    void missingAccountSet();
    void defaultAccountSetIsCreated();
    void loginDialog();
    void changePasswordDialog();
    void readOnlySetSaysSoAtLogin();
};

// The names the plug-in asks for; MCODE: names a module's page class, empty when it has none.
void TestHostSession::values_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("expected"); // invalid: no such value
    QTest::newRow("REGPATH") << "REGPATH"
                             << QVariant(QStringLiteral("Software\\Corvane\\Vexa\\Client"));
    QTest::newRow("UserName") << "UserName" << QVariant(QStringLiteral("系统管理员"));
    QTest::newRow("UserGroup") << "UserGroup" << QVariant(QStringLiteral("1"));
    QTest::newRow("USERGROUP") << "USERGROUP" << QVariant(QStringLiteral("1"));
    QTest::newRow("HASRELOGIN") << "HASRELOGIN" << QVariant(false);
    QTest::newRow("DesignModule") << "DesignModule" << QVariant(false);
    QTest::newRow("unknown") << "NoSuchKey" << QVariant();
    QTest::newRow("empty") << "" << QVariant();
    QTest::newRow("console page") << "MCODE:SFMF" << QVariant(QStringLiteral("TMainForm"));
    QTest::newRow("module without page") << "MCODE:GLPZMB" << QVariant(QString());
    QTest::newRow("unknown code") << "MCODE:ZZZZ" << QVariant(QString());
    QTest::newRow("quote closing the literal")
        << "MCODE:ZZZZ' OR MCode = 'SFMF" << QVariant(QString());
    QTest::newRow("empty code") << "MCODE:" << QVariant(QString());
}

void TestHostSession::values()
{
    QFETCH(QString, name);
    QFETCH(QVariant, expected);
    HostFixture f;
    const QVariant v = f.session->value(name);
    QCOMPARE(v.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(v.typeId(), expected.typeId());
        QCOMPARE(v, expected);
    }
}

void TestHostSession::dayNumbers()
{
    // Day 0 is 1899-12-30; 1900-01-01 is day 2; the time of day is the fraction.
    const QDateTime noon(QDate(1900, 1, 1), QTime(12, 0));
    QCOMPARE(HostSession::dayNumber(noon, false), 2.0);
    QCOMPARE(HostSession::dayNumber(noon, true), 2.5);
    QCOMPARE(HostSession::dayNumber(QDateTime(QDate(2024, 3, 1), QTime(18, 0)), true), 45352.75);
    QCOMPARE(HostSession::dayNumber(QDateTime(QDate(1899, 12, 29), QTime(0, 0)), false), -1.0);
}

void TestHostSession::serverDateValues()
{
    HostFixture f;
    const double before = HostSession::dayNumber(QDateTime::currentDateTime(), true);
    const QVariant date = f.session->value(QStringLiteral("DATE"));
    const QVariant dateTime = f.session->value(QStringLiteral("DateTime"));
    const double after = HostSession::dayNumber(QDateTime::currentDateTime(), true);
    QCOMPARE(date.typeId(), int(QMetaType::Double));
    QCOMPARE(date.toDouble(), std::floor(dateTime.toDouble()));
    QVERIFY(dateTime.toDouble() >= before && dateTime.toDouble() <= after);
}

void TestHostSession::sharedDataSetsOpenAtLogin()
{
    HostFixture f(false);
    DataModule *dm = f.session->dataModule();
    QCOMPARE(dm->remoteConnection(), f.session->connection());
    QVERIFY(dm->dataSets().isEmpty());
    f.session->login(QStringLiteral("Manager"), QStringLiteral("manager"));

    const QList<QPair<QString, QString>> expected = {
        {"CDS_SysInitInfo", "LX_SysInitInfo"},
        {"CDS_GLAcct", "LX_DMGLAccountingConfigure"},
        {"CDS_InitSalValue", "LX_InitSalValue"},
    };
    QCOMPARE(dm->dataSets().size(), expected.size());
    for (const auto &[name, provider] : expected) {
        ClientDataSet *ds = dm->dataSet(name);
        QVERIFY2(ds, qPrintable(name));
        QCOMPARE(ds->providerName(), provider);
        QCOMPARE(ds->commandText(), QStringLiteral("WHERE 1=1"));
        QCOMPARE(ds->remoteConnection(), f.session->connection());
        QVERIFY(ds->isActive());
    }
    // A new account set has no information record yet; the plug-in still reads its fields.
    ClientDataSet *info = dm->dataSet(QStringLiteral("CDS_SysInitInfo"));
    QCOMPARE(info->recordCount(), 0);
    QVERIFY(info->findField(QStringLiteral("InitialAudit")));
    QVERIFY(info->findField(QStringLiteral("CaptionPartCode")));
}

void TestHostSession::reloginSwitchesUserAndRereadsDataSets()
{
    HostFixture f;
    const QString managerId = f.session->value(QStringLiteral("UserID")).toString();
    QCOMPARE(managerId, f.session->session().userId);
    QVERIFY(!managerId.isEmpty());

    // A refused login keeps the session as it was.
    QCOMPARE(errorOf([&] { f.session->login(QStringLiteral("clerk"), QStringLiteral("wrong")); }),
             QStringLiteral("用户名或密码错误。"));
    QCOMPARE(f.session->value(QStringLiteral("UserID")).toString(), managerId);
    QCOMPARE(f.session->value(QStringLiteral("HASRELOGIN")), QVariant(false));

    // Another client configures the account set meanwhile.
    QSqlQuery q(f.session->localConnection()->database());
    QVERIFY(
        q.exec(QStringLiteral("INSERT INTO SysInitInfo (DefID, UseOrg, SysCur, CurrName, "
                              "AcctTempDesc) VALUES (1, '示例公司', 'RMB', '人民币', '工业')")));

    f.session->login(QStringLiteral("clerk"), QStringLiteral("clerk"));
    QCOMPARE(f.session->value(QStringLiteral("HASRELOGIN")), QVariant(true));
    QCOMPARE(f.session->value(QStringLiteral("UserName")).toString(), QStringLiteral("会计张三"));
    QCOMPARE(f.session->value(QStringLiteral("USERGROUP")).toString(), QStringLiteral("2"));
    QVERIFY(f.session->value(QStringLiteral("UserID")).toString() != managerId);
    ClientDataSet *info = f.session->dataModule()->dataSet(QStringLiteral("CDS_SysInitInfo"));
    QCOMPARE(info->asString(QStringLiteral("UseOrg")), QStringLiteral("示例公司"));
    QCOMPARE(f.session->dataModule()->dataSets().size(), 3);
}

void TestHostSession::missingAccountSet()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("none/missing.vexa"));
    try {
        HostSession::open(path, false, vexa::test::fastServerOptions());
        QFAIL("a missing account set was opened");
    } catch (const Error &e) {
        QVERIFY2(e.message().contains(QStringLiteral("missing.vexa")), qPrintable(e.message()));
    }
    QVERIFY(!QFileInfo::exists(path));
}

void TestHostSession::defaultAccountSetIsCreated()
{
    // The first start creates the demo set, folder included; the second opens it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a/b/demo.vexa"));
    HostSession::open(path, true, vexa::test::fastServerOptions());
    QVERIFY(QFileInfo::exists(path));
    auto again = HostSession::open(path, true, vexa::test::fastServerOptions());
    again->login(QStringLiteral("clerk"), QStringLiteral("clerk"));
    QCOMPARE(again->value(QStringLiteral("MCODE:SFMF")).toString(), QStringLiteral("TMainForm"));

    // A first start killed while it created the set used to leave an empty file or the schema
    // without users, and every later start failed; a killed creation now leaves a hidden
    // file beside the set. Neither blocks the next start.
    for (const bool schema : {false, true}) {
        QTemporaryDir cut;
        const QString half = cut.filePath(QStringLiteral("demo.vexa"));
        if (schema) {
            server::AppServer::create(half, false, vexa::test::fastServerOptions());
            // A set the user names is opened as it is, never made again.
            auto named = HostSession::open(half, false, vexa::test::fastServerOptions());
            QVERIFY_THROWS_EXCEPTION(
                Error, named->login(QStringLiteral("Manager"), QStringLiteral("manager")));
        } else {
            QVERIFY(QFile(half).open(QIODevice::WriteOnly));
        }
        QFile leftover(cut.filePath(QStringLiteral(".demo.vexa.creating-1f2e3d")));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.write("SQLite format 3");
        leftover.close();
        auto s = HostSession::open(half, true, vexa::test::fastServerOptions());
        s->login(QStringLiteral("Manager"), QStringLiteral("manager"));
        QVERIFY(!leftover.exists());
    }
}

void TestHostSession::loginDialog()
{
    HostFixture f(false);
    LoginDialog dialog(f.path());
    int attempts = 0;
    dialog.setAttempt([&](const QString &u, const QString &p) {
        ++attempts;
        f.session->login(u, p);
    });
    dialog.show();
    auto *user = dialog.findChild<QLineEdit *>(QStringLiteral("edUser"));
    auto *password = dialog.findChild<QLineEdit *>(QStringLiteral("edPassword"));
    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("btnOk"));
    auto *error = dialog.findChild<QLabel *>(QStringLiteral("lbError"));
    QVERIFY(user && password && ok && error);

    user->setText(QStringLiteral("   ")); // no name: nothing is tried
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(attempts, 0);
    QCOMPARE(dialog.error(), QStringLiteral("请输入用户名。"));

    user->setText(QStringLiteral("Manager"));
    password->setText(QStringLiteral("nope"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(attempts, 1);
    QCOMPARE(error->text(), QStringLiteral("用户名或密码错误。"));
    QVERIFY(!error->isHidden());
    QVERIFY(dialog.isVisible());
    QVERIFY(password->text().isEmpty());
    QVERIFY(!f.session->loggedIn());

    password->setText(QStringLiteral("manager"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(attempts, 2);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(f.session->session().userCode, QStringLiteral("Manager"));

    LoginDialog cancelled(f.path());
    cancelled.setAttempt([&](const QString &, const QString &) { ++attempts; });
    cancelled.show();
    cancelled.setUser(QStringLiteral("Manager"));
    QTest::mouseClick(cancelled.findChild<QPushButton *>(QStringLiteral("btnCancel")),
                      Qt::LeftButton);
    QCOMPARE(cancelled.result(), int(QDialog::Rejected));
    QCOMPARE(attempts, 2);
}

void TestHostSession::changePasswordDialog()
{
    HostFixture f; // the manager, on the demo password
    ChangePasswordDialog dialog(QStringLiteral("Manager"), [&](const QString &o, const QString &n) {
        f.session->changePassword(o, n);
    });
    dialog.show();
    const auto field = [&](const char *name) {
        return dialog.findChild<QLineEdit *>(QLatin1String(name));
    };
    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("btnOk"));
    auto *error = dialog.findChild<QLabel *>(QStringLiteral("lbError"));
    const auto attempt = [&](const char *oldPassword, const char *newPassword, const char *again) {
        field("edOldPassword")->setText(QString::fromUtf8(oldPassword));
        field("edNewPassword")->setText(QString::fromUtf8(newPassword));
        field("edNewPasswordAgain")->setText(QString::fromUtf8(again));
        QTest::mouseClick(ok, Qt::LeftButton);
        return error->isHidden() ? QString() : error->text();
    };
    QCOMPARE(attempt("manager", "秘密 1", "秘密 2"), QStringLiteral("两次输入的新密码不一致。"));
    QCOMPARE(attempt("manager", "manager", "manager"), QStringLiteral("新密码与原密码相同。"));
    QVERIFY(!attempt("wrong", "秘密 1", "秘密 1").isEmpty()); // the server's refusal
    QVERIFY(dialog.isVisible());
    QCOMPARE(attempt("manager", "秘密 1", "秘密 1"), QString());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(field("edNewPassword")->text().isEmpty());
    f.session->login(QStringLiteral("Manager"), QStringLiteral("秘密 1"));
    QVERIFY(server::isDemoLogin(QStringLiteral("MANAGER"), QStringLiteral("manager")));
    QVERIFY(!server::isDemoLogin(QStringLiteral("Manager"), QStringLiteral("秘密 1")));
}

void TestHostSession::readOnlySetSaysSoAtLogin()
{
    // A read-only set opened without a word; the user learnt it from the first failed save.
    HostFixture f(false);
    f.session.reset();
    auto options = vexa::test::fastServerOptions();
    options.readOnly = true;
    QString notice;
    hostDialogs().exec = [&](QDialog &dialog) {
        auto *label = dialog.findChild<QLabel *>(QStringLiteral("lbNotice"));
        notice = label && !label->isHidden() ? label->text() : QStringLiteral("<hidden>");
        return int(QDialog::Rejected);
    };
    HostOptions hostOptions;
    hostOptions.dataPath = f.path();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(HostApp(hostOptions, options).run(clock), 0);
    resetHostDialogs();
    QCOMPARE(notice, QStringLiteral("账套“%1”是只读的：可以查看数据，不能保存更改。")
                         .arg(QDir::toNativeSeparators(f.path())));

    // Logging in and reading the shared datasets need no write.
    auto session = HostSession::open(f.path(), false, options);
    session->login(QStringLiteral("Manager"), QStringLiteral("manager"));
    QVERIFY(session->dataModule()->requireDataSet(QStringLiteral("CDS_GLAcct"))->isActive());
}

QTEST_MAIN(TestHostSession)
#include "tst_hostsession.moc"
