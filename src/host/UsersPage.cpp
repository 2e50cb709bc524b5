#include "UsersPage.h"

#include "AdminPageKit.h"
#include "HostDialogs.h"
#include "UserDialogs.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vexa::host {

const QString UsersPage::kModuleCode = QStringLiteral("SMSU");

UsersPage::UsersPage(UserAdminClient client, QWidget *parent) : QWidget(parent), m_client(client)
{
    setObjectName(QStringLiteral("UsersPage"));
    setWindowTitle(QStringLiteral("用户"));
    m_grid =
        makeAdminGrid(this, "grdUsers",
                      {QStringLiteral("登录名"), QStringLiteral("姓名"), QStringLiteral("用户组"),
                       QStringLiteral("管理员"), QStringLiteral("启用")});
    m_add = makeAdminButton(this, "btnAddUser", QStringLiteral("新增…"));
    m_disable = makeAdminButton(this, "btnDisableUser", QStringLiteral("停用"));
    m_enable = makeAdminButton(this, "btnEnableUser", QStringLiteral("启用"));
    m_remove = makeAdminButton(this, "btnRemoveUser", QStringLiteral("删除"));
    m_reset = makeAdminButton(this, "btnResetPassword", QStringLiteral("重置密码…"));
    m_refresh = makeAdminButton(this, "btnRefresh", QStringLiteral("刷新"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lbStatus"));
    m_status->setWordWrap(true);

    connect(m_add, &QPushButton::clicked, this, &UsersPage::addUser);
    connect(m_disable, &QPushButton::clicked, this, [this] { setSelectedActive(false); });
    connect(m_enable, &QPushButton::clicked, this, [this] { setSelectedActive(true); });
    connect(m_remove, &QPushButton::clicked, this, &UsersPage::removeUser);
    connect(m_reset, &QPushButton::clicked, this, &UsersPage::resetPassword);
    connect(m_refresh, &QPushButton::clicked, this, &UsersPage::refresh);
    connect(m_grid, &QTableWidget::itemSelectionChanged, this, &UsersPage::updateButtons);

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_add, m_disable, m_enable, m_remove, m_reset})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(m_refresh);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_grid);
    layout->addWidget(m_status);
    refresh();
}

void UsersPage::refresh()
{
    const QString keep = selectedCode();
    runShowingError(this, QStringLiteral("用户"), [&] { load(keep); });
}

void UsersPage::load(const QString &select)
{
    m_users = m_client.users();
    m_grid->setRowCount(int(m_users.size()));
    int selectRow = m_users.isEmpty() ? -1 : 0;
    for (int row = 0; row < m_users.size(); ++row) {
        const UserAdminClient::User &u = m_users[row];
        setGridRow(m_grid, row,
                   {u.userCode, u.userName, QStringLiteral("%1 %2").arg(u.group).arg(u.groupName),
                    UserAdminClient::yesNo(u.manager), UserAdminClient::yesNo(u.active)},
                   u.userCode);
        if (u.userCode.compare(select, Qt::CaseInsensitive) == 0)
            selectRow = row;
    }
    m_grid->resizeColumnsToContents();
    m_grid->horizontalHeader()->setStretchLastSection(true);
    if (selectRow >= 0)
        m_grid->selectRow(selectRow);
    updateButtons();
}

const UserAdminClient::User *UsersPage::selectedUser() const
{
    const QList<QTableWidgetItem *> items = m_grid->selectedItems();
    if (items.isEmpty())
        return nullptr;
    const int row = items.first()->row();
    return row >= 0 && row < m_users.size() ? &m_users[row] : nullptr;
}

QString UsersPage::selectedCode() const
{
    const UserAdminClient::User *u = selectedUser();
    return u ? u->userCode : QString();
}

void UsersPage::updateButtons()
{
    const UserAdminClient::User *u = selectedUser();
    m_disable->setEnabled(u && u->active);
    m_enable->setEnabled(u && !u->active);
    m_remove->setEnabled(u);
    m_reset->setEnabled(u);
}

void UsersPage::setStatus(const QString &text)
{
    m_status->setText(text);
}

void UsersPage::addUser()
{
    QList<UserAdminClient::Group> groups;
    if (!runShowingError(this, QStringLiteral("新增用户"), [&] { groups = m_client.groups(); }))
        return;
    NewUserDialog dialog(
        groups,
        [this](const UserAdminClient::User &user, const QString &password) {
            m_client.addUser(user, password);
        },
        this);
    if (execDialog(dialog) != QDialog::Accepted)
        return;
    setStatus(QStringLiteral("已增加用户“%1”。").arg(dialog.userCode()));
    runShowingError(this, QStringLiteral("用户"), [&] { load(dialog.userCode()); });
}

void UsersPage::setSelectedActive(bool active)
{
    const QString code = selectedCode();
    if (code.isEmpty())
        return;
    const QString caption = active ? QStringLiteral("启用用户") : QStringLiteral("停用用户");
    if (runShowingError(this, caption, [&] { m_client.setActive(code, active); }))
        setStatus((active ? QStringLiteral("已启用用户“%1”。") : QStringLiteral("已停用用户“%1”。"))
                      .arg(code));
    refresh();
}

void UsersPage::removeUser()
{
    const QString code = selectedCode();
    if (code.isEmpty() ||
        !askYesNo(this, QStringLiteral("删除用户"), QStringLiteral("删除用户“%1”吗？").arg(code)))
        return;
    using Removal = server::UserAdmin::Removal;
    Removal removal = Removal::Removed;
    if (runShowingError(this, QStringLiteral("删除用户"),
                        [&] { removal = m_client.removeUser(code); })) {
        if (removal == Removal::Removed) {
            setStatus(QStringLiteral("已删除用户“%1”。").arg(code));
        } else {
            const QString text =
                (removal == Removal::DisabledLoggedIn
                     ? QStringLiteral("用户“%1”正在登录，不能删除，已改为停用。")
                     : QStringLiteral("用户“%1”已用于凭证或附件，不能删除，已改为停用。"))
                    .arg(code);
            setStatus(text);
            showMessage(this, QLatin1Char('I'), QStringLiteral("删除用户"), text);
        }
    }
    refresh();
}

void UsersPage::resetPassword()
{
    const QString code = selectedCode();
    if (code.isEmpty())
        return;
    ResetPasswordDialog dialog(
        code, [this, code](const QString &password) { m_client.resetPassword(code, password); },
        this);
    if (execDialog(dialog) == QDialog::Accepted)
        setStatus(QStringLiteral("已重置用户“%1”的密码。").arg(code));
}

} // namespace vexa::host
