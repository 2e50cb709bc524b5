#pragma once

#include "UserAdminClient.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vexa::host {

// The host's 权限组 page (module SMSG), for administrators: the groups (新增…, 删除; a group
// that still has users is refused by the server) and, for the chosen group, its level on
// every object type, changed with 授予 (the level chosen beside it) and 收回.
class GroupsPage : public QWidget
{
    Q_OBJECT

public:
    static const QString kModuleCode; // "SMSG"

    explicit GroupsPage(UserAdminClient client, QWidget *parent = nullptr);

    // Reads groups and rights again, keeping the chosen group and object type.
    void refresh();

private:
    void loadGroups(int select);
    void loadRights(int selectObjType);
    int selectedGroup() const;
    int selectedObjType() const;
    void applyFilter();
    void updateButtons();

    void addGroup();
    void removeGroup();
    void grant();
    void revoke();

    UserAdminClient m_client;
    QList<UserAdminClient::Group> m_groupRows;
    QTableWidget *m_groups;
    QPushButton *m_addGroup;
    QPushButton *m_removeGroup;
    QLabel *m_rightsTitle;
    QLineEdit *m_filter;
    QTableWidget *m_rights;
    QComboBox *m_level;
    QPushButton *m_grant;
    QPushButton *m_revoke;
    int m_rightsGroup = 0; // the group the rights grid shows
};

} // namespace vexa::host
