#include "GroupsPage.h"

#include "AdminPageKit.h"
#include "HostDialogs.h"
#include "UserDialogs.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vexa::host {

const QString GroupsPage::kModuleCode = QStringLiteral("SMSG");

namespace {

int keyOf(const QTableWidget *grid)
{
    const QList<QTableWidgetItem *> items = grid->selectedItems();
    if (items.isEmpty())
        return 0;
    const QTableWidgetItem *first = grid->item(items.first()->row(), 0);
    return first ? first->data(Qt::UserRole).toInt() : 0;
}

void selectKey(QTableWidget *grid, int key)
{
    for (int row = 0; row < grid->rowCount(); ++row)
        if (grid->item(row, 0)->data(Qt::UserRole).toInt() == key) {
            grid->selectRow(row);
            grid->scrollToItem(grid->item(row, 0));
            return;
        }
}

} // namespace

GroupsPage::GroupsPage(UserAdminClient client, QWidget *parent) : QWidget(parent), m_client(client)
{
    setObjectName(QStringLiteral("GroupsPage"));
    setWindowTitle(QStringLiteral("权限组"));

    auto *left = new QWidget(this);
    left->setObjectName(QStringLiteral("pnlGroups"));
    m_groups =
        makeAdminGrid(left, "grdGroups",
                      {QStringLiteral("编号"), QStringLiteral("名称"), QStringLiteral("用户数")});
    m_addGroup = makeAdminButton(left, "btnAddGroup", QStringLiteral("新增…"));
    m_removeGroup = makeAdminButton(left, "btnRemoveGroup", QStringLiteral("删除"));
    auto *groupButtons = new QHBoxLayout;
    groupButtons->addWidget(m_addGroup);
    groupButtons->addWidget(m_removeGroup);
    groupButtons->addStretch();
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addLayout(groupButtons);
    leftLayout->addWidget(m_groups);

    auto *right = new QWidget(this);
    right->setObjectName(QStringLiteral("pnlRights"));
    m_rightsTitle = new QLabel(right);
    m_rightsTitle->setObjectName(QStringLiteral("lbRightsTitle"));
    m_filter = new QLineEdit(right);
    m_filter->setObjectName(QStringLiteral("edFilter"));
    m_filter->setPlaceholderText(QStringLiteral("按对象类型或名称查找"));
    m_filter->setClearButtonEnabled(true);
    m_rights =
        makeAdminGrid(right, "grdRights",
                      {QStringLiteral("对象类型"), QStringLiteral("名称"), QStringLiteral("权限")});
    m_level = new QComboBox(right);
    m_level->setObjectName(QStringLiteral("cbLevel"));
    for (int level : {1, 2, 3})
        m_level->addItem(UserAdminClient::levelText(level), level);
    m_grant = makeAdminButton(right, "btnGrant", QStringLiteral("授予"));
    m_revoke = makeAdminButton(right, "btnRevoke", QStringLiteral("收回"));
    auto *rightButtons = new QHBoxLayout;
    auto *levelLabel = new QLabel(QStringLiteral("权限级别："), right);
    levelLabel->setObjectName(QStringLiteral("lbLevel"));
    rightButtons->addWidget(levelLabel);
    rightButtons->addWidget(m_level);
    rightButtons->addWidget(m_grant);
    rightButtons->addWidget(m_revoke);
    rightButtons->addStretch();
    rightButtons->addWidget(m_filter, 1);
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(m_rightsTitle);
    rightLayout->addLayout(rightButtons);
    rightLayout->addWidget(m_rights);

    auto *splitter = new QSplitter(this);
    splitter->setObjectName(QStringLiteral("splGroups"));
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    connect(m_addGroup, &QPushButton::clicked, this, &GroupsPage::addGroup);
    connect(m_removeGroup, &QPushButton::clicked, this, &GroupsPage::removeGroup);
    connect(m_grant, &QPushButton::clicked, this, &GroupsPage::grant);
    connect(m_revoke, &QPushButton::clicked, this, &GroupsPage::revoke);
    connect(m_filter, &QLineEdit::textChanged, this, &GroupsPage::applyFilter);
    connect(m_groups, &QTableWidget::itemSelectionChanged, this,
            [this] { runShowingError(this, QStringLiteral("权限组"), [this] { loadRights(0); }); });
    connect(m_rights, &QTableWidget::itemSelectionChanged, this, &GroupsPage::updateButtons);
    refresh();
}

void GroupsPage::refresh()
{
    const int group = selectedGroup();
    const int objType = selectedObjType();
    runShowingError(this, QStringLiteral("权限组"), [&] {
        loadGroups(group);
        loadRights(objType);
    });
}

int GroupsPage::selectedGroup() const
{
    return keyOf(m_groups);
}

int GroupsPage::selectedObjType() const
{
    return keyOf(m_rights);
}

void GroupsPage::loadGroups(int select)
{
    m_groupRows = m_client.groups();
    const QSignalBlocker blocker(m_groups);
    m_groups->clearSelection();
    m_groups->setRowCount(int(m_groupRows.size()));
    for (int row = 0; row < m_groupRows.size(); ++row) {
        const UserAdminClient::Group &g = m_groupRows[row];
        setGridRow(m_groups, row, {QString::number(g.group), g.name, QString::number(g.users)},
                   g.group);
    }
    m_groups->resizeColumnsToContents();
    m_groups->horizontalHeader()->setStretchLastSection(true);
    selectKey(m_groups, select);
    if (m_groups->selectedItems().isEmpty() && m_groups->rowCount() > 0)
        m_groups->selectRow(0);
}

void GroupsPage::loadRights(int selectObjType)
{
    const int group = selectedGroup();
    QList<UserAdminClient::Right> rights;
    if (group != 0)
        rights = m_client.rights(group);
    m_rightsGroup = group;
    QString name;
    for (const UserAdminClient::Group &g : m_groupRows)
        if (g.group == group)
            name = g.name;
    m_rightsTitle->setText(group == 0 ? QStringLiteral("请选择用户组。")
                                      : QStringLiteral("用户组 %1“%2”的权限").arg(group).arg(name));
    const QSignalBlocker blocker(m_rights);
    m_rights->clearSelection();
    m_rights->setRowCount(int(rights.size()));
    for (int row = 0; row < rights.size(); ++row) {
        const UserAdminClient::Right &r = rights[row];
        setGridRow(m_rights, row,
                   {QString::number(r.objType), r.objName, UserAdminClient::levelText(r.level)},
                   r.objType);
    }
    m_rights->resizeColumnsToContents();
    m_rights->horizontalHeader()->setStretchLastSection(true);
    applyFilter();
    if (selectObjType != 0)
        selectKey(m_rights, selectObjType);
    updateButtons();
}

void GroupsPage::applyFilter()
{
    const QString text = m_filter->text().trimmed();
    for (int row = 0; row < m_rights->rowCount(); ++row) {
        const bool match = text.isEmpty() || m_rights->item(row, 0)->text().contains(text) ||
                           m_rights->item(row, 1)->text().contains(text, Qt::CaseInsensitive);
        m_rights->setRowHidden(row, !match);
    }
}

void GroupsPage::updateButtons()
{
    const bool group = selectedGroup() != 0;
    const bool objType = selectedObjType() != 0;
    m_removeGroup->setEnabled(group);
    m_grant->setEnabled(group && objType);
    m_revoke->setEnabled(group && objType);
}

void GroupsPage::addGroup()
{
    NewGroupDialog dialog([this](const QString &name) { return m_client.addGroup(name); }, this);
    if (execDialog(dialog) != QDialog::Accepted)
        return;
    runShowingError(this, QStringLiteral("权限组"), [&] {
        loadGroups(dialog.group());
        loadRights(0);
    });
}

void GroupsPage::removeGroup()
{
    const int group = selectedGroup();
    if (group == 0)
        return;
    QString name;
    for (const UserAdminClient::Group &g : m_groupRows)
        if (g.group == group)
            name = g.name;
    if (!askYesNo(this, QStringLiteral("删除用户组"),
                  QStringLiteral("删除用户组 %1“%2”及其权限吗？").arg(group).arg(name)))
        return;
    runShowingError(this, QStringLiteral("删除用户组"), [&] { m_client.removeGroup(group); });
    refresh();
}

void GroupsPage::grant()
{
    const int group = m_rightsGroup;
    const int objType = selectedObjType();
    if (group == 0 || objType == 0)
        return;
    runShowingError(this, QStringLiteral("授予权限"),
                    [&] { m_client.grant(group, objType, m_level->currentData().toInt()); });
    runShowingError(this, QStringLiteral("权限组"), [&] { loadRights(objType); });
}

void GroupsPage::revoke()
{
    const int group = m_rightsGroup;
    const int objType = selectedObjType();
    if (group == 0 || objType == 0)
        return;
    runShowingError(this, QStringLiteral("收回权限"), [&] { m_client.revoke(group, objType); });
    runShowingError(this, QStringLiteral("权限组"), [&] { loadRights(objType); });
}

} // namespace vexa::host
