#include "AdminPages.h"

#include "GroupsPage.h"
#include "HostDialogs.h"
#include "HostMainWindow.h"
#include "HostSession.h"
#include "UsersPage.h"

namespace vexa::host {

bool isAdminModule(const QString &moduleCode)
{
    return moduleCode.compare(UsersPage::kModuleCode, Qt::CaseInsensitive) == 0 ||
           moduleCode.compare(GroupsPage::kModuleCode, Qt::CaseInsensitive) == 0;
}

QWidget *openAdminPage(HostSession &session, HostMainWindow &window, const QString &moduleCode,
                       const QString &caption)
{
    const bool users = moduleCode.compare(UsersPage::kModuleCode, Qt::CaseInsensitive) == 0;
    const QString title = !caption.isEmpty() ? caption
                          : users            ? QStringLiteral("用户")
                                             : QStringLiteral("权限组");
    // The server refuses the operations to anyone else as well; this spares the empty page.
    if (!session.loggedIn() || !session.session().manager) {
        showMessage(&window, QLatin1Char('W'), title,
                    QStringLiteral("只有系统管理员才能打开“%1”。请找系统管理员。").arg(title));
        return nullptr;
    }
    const QString code = users ? UsersPage::kModuleCode : GroupsPage::kModuleCode;
    if (QWidget *open = window.pageForCode(code)) {
        window.activatePage(open);
        return open;
    }
    const UserAdminClient client(session.connection()->appServer());
    QWidget *page = users ? static_cast<QWidget *>(new UsersPage(client))
                          : static_cast<QWidget *>(new GroupsPage(client));
    window.addPage(page, 0, code, title);
    return page;
}

void reviewAdminPages(HostSession &session, HostMainWindow &window,
                      const std::function<void(QWidget *)> &close)
{
    const bool administrator = session.loggedIn() && session.session().manager;
    for (QWidget *page : window.pages()) {
        if (!isAdminModule(HostMainWindow::pageCode(page)) || HostMainWindow::pageHandle(page))
            continue;
        if (!administrator)
            close(page);
        else if (auto *u = qobject_cast<UsersPage *>(page))
            u->refresh();
        else if (auto *g = qobject_cast<GroupsPage *>(page))
            g->refresh();
    }
}

} // namespace vexa::host
