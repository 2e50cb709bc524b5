// The host's 用户 and 权限组 pages, driven by their component names with scripted dialogs,
// against a real demo set.
#include "GroupsPage.h"
#include "HostFixture.h"
#include "HostMainWindow.h"
#include "PluginHostImpl.h"
#include "UserAdmin.h"
#include "UsersPage.h"

#include "support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <deque>

using namespace vexa;
using namespace vexa::host;

namespace {

// A logged-in host without a plug-in; the modal dialogs are answered from a script.
struct AdminRig
{
    vexa::test::HostFixture fixture;
    vexa::test::MessageRecorder messages;
    HostMainWindow window;
    PluginHostImpl host{*fixture.session, window};
    std::deque<std::function<void(QDialog &)>> script;
    QStringList dialogsShown;

    explicit AdminRig(const char *user = "Manager", const char *password = "manager")
        : fixture(false)
    {
        fixture.session->login(QString::fromUtf8(user), QString::fromUtf8(password));
        hostDialogs().exec = [this](QDialog &dialog) {
            dialogsShown << dialog.objectName();
            if (script.empty()) {
                qWarning() << "unscripted dialog" << dialog.objectName();
                return int(QDialog::Rejected);
            }
            auto next = std::move(script.front());
            script.pop_front();
            dialog.show();
            next(dialog);
            dialog.hide();
            return dialog.result();
        };
    }
    ~AdminRig() { host.shutdown(); }

    QWidget *open(const QString &code)
    {
        QVariant p3 = QString();
        host.OpenModule(code, 0, quint32('B'), QString(), p3);
        return window.pageForCode(code);
    }
    // The row of the grid whose first column reads key; -1 without one.
    static int rowOf(QTableWidget *grid, const QString &key)
    {
        for (int row = 0; row < grid->rowCount(); ++row)
            if (grid->item(row, 0)->text() == key)
                return row;
        return -1;
    }
};

void fill(QDialog &d, const char *name, const QString &text)
{
    d.findChild<QLineEdit *>(QLatin1String(name))->setText(text);
}

void clickOk(QDialog &d)
{
    d.findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
}

} // namespace

class TestAdminPages : public QObject
{
    Q_OBJECT

private slots:
    void usersPageAddsAndDisablesAUser();
    void groupsPageGrantsAndRevokesARight();
    void nonAdministratorGetsNoPage_data();
    void nonAdministratorGetsNoPage();
    void cleanup() { resetHostDialogs(); }
};

void TestAdminPages::usersPageAddsAndDisablesAUser()
{
    AdminRig r;
    QWidget *page = r.open(QStringLiteral("SMSU"));
    QVERIFY(qobject_cast<UsersPage *>(page));
    auto *grid = page->findChild<QTableWidget *>(QStringLiteral("grdUsers"));
    QCOMPARE(grid->rowCount(), 2);

    QString firstError;
    r.script.push_back([&](QDialog &d) {
        fill(d, "edUserCode", QStringLiteral("cash"));
        fill(d, "edUserName", QStringLiteral("出纳李四"));
        auto *group = d.findChild<QComboBox *>(QStringLiteral("cbGroup"));
        group->setCurrentIndex(group->findData(2));
        fill(d, "edPassword", QStringLiteral("pw-1"));
        fill(d, "edPasswordAgain", QStringLiteral("pw-2"));
        clickOk(d); // refused in the dialog, which stays open
        firstError = d.findChild<QLabel *>(QStringLiteral("lbError"))->text();
        fill(d, "edPasswordAgain", QStringLiteral("pw-1"));
        clickOk(d);
    });
    page->findChild<QPushButton *>(QStringLiteral("btnAddUser"))->click();
    QCOMPARE(firstError, QStringLiteral("两次输入的密码不一致。"));
    QCOMPARE(r.script.size(), size_t(0));

    int row = AdminRig::rowOf(grid, QStringLiteral("cash"));
    QVERIFY(row >= 0);
    QCOMPARE(grid->item(row, 1)->text(), QStringLiteral("出纳李四"));
    QCOMPARE(grid->item(row, 2)->text(), QStringLiteral("2 会计组"));
    QCOMPARE(grid->item(row, 3)->text(), QStringLiteral("否"));
    QCOMPARE(grid->item(row, 4)->text(), QStringLiteral("是"));
    QVERIFY(grid->item(row, 0)->isSelected()); // the new user is the one chosen

    auto *disable = page->findChild<QPushButton *>(QStringLiteral("btnDisableUser"));
    QVERIFY(disable->isEnabled());
    disable->click();
    row = AdminRig::rowOf(grid, QStringLiteral("cash"));
    QCOMPARE(grid->item(row, 4)->text(), QStringLiteral("否"));
    QVERIFY(!disable->isEnabled());
    QVERIFY(page->findChild<QPushButton *>(QStringLiteral("btnEnableUser"))->isEnabled());
    QVERIFY(r.messages.messages.isEmpty());

    // The server holds it: the user's right password meets the disabled account.
    auto other = r.fixture.session->localConnection()->server().connect();
    QCOMPARE(errorOf([&] { other->login(QStringLiteral("cash"), QStringLiteral("pw-1")); }),
             QStringLiteral("用户“cash”已停用。"));

    // A reset password is the one the server checks (the disabled user hears so only with it).
    r.script.push_back([](QDialog &d) {
        fill(d, "edNewPassword", QStringLiteral("新-1"));
        fill(d, "edNewPasswordAgain", QStringLiteral("新-1"));
        clickOk(d);
    });
    page->findChild<QPushButton *>(QStringLiteral("btnResetPassword"))->click();
    QCOMPARE(errorOf([&] { other->login(QStringLiteral("cash"), QStringLiteral("pw-1")); }),
             QStringLiteral("用户名或密码错误。"));
    QCOMPARE(errorOf([&] { other->login(QStringLiteral("cash"), QStringLiteral("新-1")); }),
             QStringLiteral("用户“cash”已停用。"));
    // Nothing names the user and nobody is logged in as it: 删除 takes it away.
    r.script.push_back(
        [](QDialog &d) { d.findChild<QPushButton *>(QStringLiteral("btnYes"))->click(); });
    page->findChild<QPushButton *>(QStringLiteral("btnRemoveUser"))->click();
    QCOMPARE(AdminRig::rowOf(grid, QStringLiteral("cash")), -1);
    QCOMPARE(r.script.size(), size_t(0));

    // A second start brings the same page forward.
    r.open(QStringLiteral("SFMF")); // any other page in front first
    QCOMPARE(r.open(QStringLiteral("SMSU")), page);
    QCOMPARE(r.window.currentPage(), page);
    int usersPages = 0;
    for (QWidget *w : r.window.pages())
        usersPages += qobject_cast<UsersPage *>(w) != nullptr;
    QCOMPARE(usersPages, 1);
}

void TestAdminPages::groupsPageGrantsAndRevokesARight()
{
    AdminRig r;
    QWidget *page = r.open(QStringLiteral("SMSG"));
    QVERIFY(qobject_cast<GroupsPage *>(page));
    auto *groups = page->findChild<QTableWidget *>(QStringLiteral("grdGroups"));
    auto *rights = page->findChild<QTableWidget *>(QStringLiteral("grdRights"));
    groups->selectRow(AdminRig::rowOf(groups, QStringLiteral("2")));

    const auto levelShown = [&] {
        return rights->item(AdminRig::rowOf(rights, QStringLiteral("1001")), 2)->text();
    };
    QCOMPARE(levelShown(), QStringLiteral("无"));
    rights->selectRow(AdminRig::rowOf(rights, QStringLiteral("1001")));
    auto *level = page->findChild<QComboBox *>(QStringLiteral("cbLevel"));
    level->setCurrentIndex(level->findText(QStringLiteral("浏览")));
    page->findChild<QPushButton *>(QStringLiteral("btnGrant"))->click();
    QCOMPARE(levelShown(), QStringLiteral("浏览"));

    const server::UserAdmin admin(r.fixture.session->localConnection()->database(),
                                  r.fixture.session->localConnection()->server().dialect(),
                                  server::PasswordCost::Fast);
    const QList<server::UserAdmin::Right> granted = admin.rights(2);
    const auto it = std::find_if(granted.begin(), granted.end(),
                                 [](const auto &right) { return right.objType == 1001; });
    QVERIFY(it != granted.end());
    QCOMPARE(it->level, int(server::UserAdmin::Browse));

    page->findChild<QPushButton *>(QStringLiteral("btnRevoke"))->click();
    QCOMPARE(levelShown(), QStringLiteral("无"));
    QCOMPARE(admin.rights(2).size(), granted.size() - 1);

    // A group with users is refused with the server's reason.
    r.script.push_back(
        [](QDialog &d) { d.findChild<QPushButton *>(QStringLiteral("btnYes"))->click(); });
    page->findChild<QPushButton *>(QStringLiteral("btnRemoveGroup"))->click();
    QCOMPARE(r.messages.messages.size(), 1);
    QCOMPARE(r.messages.messages[0].text, QStringLiteral("用户组 2 还有 1 个用户，不能删除。"));
    QCOMPARE(groups->rowCount(), 2);

    r.script.push_back([](QDialog &d) {
        fill(d, "edGroupName", QStringLiteral("出纳组"));
        clickOk(d);
    });
    page->findChild<QPushButton *>(QStringLiteral("btnAddGroup"))->click();
    QCOMPARE(groups->item(AdminRig::rowOf(groups, QStringLiteral("3")), 1)->text(),
             QStringLiteral("出纳组"));
}

void TestAdminPages::nonAdministratorGetsNoPage_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("caption");
    QTest::newRow("users") << "SMSU"
                           << "用户";
    QTest::newRow("groups") << "SMSG"
                            << "权限组";
}

void TestAdminPages::nonAdministratorGetsNoPage()
{
    QFETCH(QString, code);
    QFETCH(QString, caption);
    AdminRig r("clerk", "clerk");
    QCOMPARE(r.open(code), nullptr);
    QCOMPARE(r.window.pages().size(), 0);
    QCOMPARE(r.messages.messages.size(), 1);
    QCOMPARE(r.messages.messages[0].kind, QLatin1Char('W'));
    QCOMPARE(r.messages.messages[0].text,
             QStringLiteral("只有系统管理员才能打开“%1”。请找系统管理员。").arg(caption));
}

QTEST_MAIN(TestAdminPages)
#include "tst_adminpages.moc"
