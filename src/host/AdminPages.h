#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace vexa::host {

class HostMainWindow;
class HostSession;

// The host's own pages for the modules 用户 (SMSU) and 权限组 (SMSG).
bool isAdminModule(const QString &moduleCode);

// Opens the page of an administration module as a host page, or brings the open one to the
// front. Anyone but an administrator gets a message to ask one and no page. Answers the page
// shown, nullptr when none.
QWidget *openAdminPage(HostSession &session, HostMainWindow &window, const QString &moduleCode,
                       const QString &caption);

// After a re-login: the open administration pages are read again for an administrator and
// closed (through close) for anyone else.
void reviewAdminPages(HostSession &session, HostMainWindow &window,
                      const std::function<void(QWidget *)> &close);

} // namespace vexa::host
