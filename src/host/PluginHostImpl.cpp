#include "PluginHostImpl.h"

#include "AdminPages.h"
#include "ChangePasswordDialog.h"
#include "HostDialogs.h"
#include "HostMainWindow.h"
#include "HostSession.h"
#include "LoginDialog.h"
#include "UnknownModulePage.h"

#include "ClientDataSet.h"
#include "DataModule.h"

#include <QApplication>
#include <QFileInfo>

namespace vexa::host {

const QString PluginHostImpl::kPluginName = QStringLiteral("VEXAGL");

PluginHostImpl::PluginHostImpl(HostSession &session, HostMainWindow &window, QObject *parent)
    : QObject(parent), m_session(session), m_window(window)
{
    connect(&window, &HostMainWindow::moduleRequested, this, [this](const QString &code) {
        QVariant p3;
        OpenModule(code, 0, 0, QString(), p3);
    });
    connect(&window, &HostMainWindow::reloginRequested, this, &PluginHostImpl::Relogin);
    connect(&window, &HostMainWindow::changePasswordRequested, this,
            [this] { changePassword(QString()); });
    connect(&window, &HostMainWindow::pageCloseRequested, this, &PluginHostImpl::closePage);
    connect(&window, &HostMainWindow::closing, this, &PluginHostImpl::shutdown);
}

PluginHostImpl::~PluginHostImpl()
{
    if (m_busy > 0)
        QApplication::restoreOverrideCursor();
}

void PluginHostImpl::setPlugin(ILXPlugin *plugin, const QString &name)
{
    const QString key = name.toUpper();
    for (qsizetype i = 0; i < m_plugins.size(); ++i) {
        if (m_plugins[i].name != key)
            continue;
        if (plugin)
            m_plugins[i].plugin = plugin;
        else
            m_plugins.removeAt(i);
        m_shutDown = false;
        return;
    }
    if (plugin)
        m_plugins.append({key, plugin});
    m_shutDown = false;
}

ILXPlugin *PluginHostImpl::plugin(const QString &name) const
{
    for (const Plugin &p : m_plugins)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return p.plugin;
    return nullptr;
}

ILXPlugin *PluginHostImpl::pluginFor(const ModuleInfo &module) const
{
    if (!module.found || module.formClass.isEmpty())
        return nullptr;
    return plugin(module.dllFile.isEmpty() ? kPluginName : module.dllFile);
}

ILXPlugin *PluginHostImpl::pageOwner(const QWidget *page) const
{
    if (HostMainWindow::pageHandle(page) == 0)
        return nullptr;
    return plugin(HostMainWindow::pageOwner(page));
}

void PluginHostImpl::resume()
{
    m_shutDown = false;
}

void PluginHostImpl::updateModuleMenu()
{
    QList<QPair<QString, QString>> entries;
    if (!m_plugins.isEmpty()) {
        try {
            for (const ModuleInfo &m : m_session.pageModules())
                if (serves(m))
                    entries.append({m.code, m.caption});
        } catch (const std::exception &e) {
            reportError(QStringLiteral("模块目录"), e);
        } catch (...) { // nothing may cross the event loop
            reportUnknownError(QStringLiteral("模块目录"));
        }
    }
    m_window.setModules(entries);
}

void PluginHostImpl::updateSessionText()
{
    const server::SessionInfo &s = m_session.session();
    const QString file =
        m_session.remote() ? m_session.path() : QFileInfo(m_session.path()).fileName();
    QString company;
    if (ClientDataSet *info = m_session.dataModule() ? m_session.dataModule()->dataSet(
                                                           QStringLiteral("CDS_SysInitInfo"))
                                                     : nullptr;
        info) {
        // A saved configuration replaces the host's copy without a new login: follow it.
        if (m_watchedInfo != info) {
            m_watchedInfo = info;
            connect(info, &ClientDataSet::dataReset, this, [this] { updateSessionText(); });
        }
        if (info->isActive() && !info->isEmpty())
            company = info->asString(QStringLiteral("UseOrg")).trimmed();
    }
    QString text = QStringLiteral("用户：%1（%2）  账套：%3").arg(s.userName, s.userCode, file);
    // Said as long as it holds, not only in the passing note.
    if (m_session.connectionLost())
        text += QStringLiteral("  （与服务器的连接已断开）");
    m_window.setSessionText(text);
    m_window.setAccountSetTitle(company.isEmpty() ? file
                                                  : QStringLiteral("%1（%2）").arg(company, file));
}

bool PluginHostImpl::changePassword(const QString &notice, const QString &knownOldPassword)
{
    ChangePasswordDialog dialog(
        m_session.session().userCode,
        [this](const QString &oldPassword, const QString &newPassword) {
            m_session.changePassword(oldPassword, newPassword);
        },
        &m_window);
    dialog.setNotice(notice);
    if (!knownOldPassword.isEmpty())
        dialog.setKnownOldPassword(knownOldPassword);
    if (execDialog(dialog) != QDialog::Accepted)
        return false;
    showMessage(&m_window, QLatin1Char('I'), QStringLiteral("修改密码"),
                QStringLiteral("密码已修改。"));
    return true;
}

void PluginHostImpl::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_window.setShuttingDown(true);
    // Every plug-in closes its pages, also when another one's closing work failed.
    for (const Plugin &p : m_plugins) {
        try {
            p.plugin->CloseAllForms();
        } catch (const std::exception &e) {
            reportError(QStringLiteral("关闭模块"), e);
        } catch (...) { // nothing may cross the event loop
            reportUnknownError(QStringLiteral("关闭模块"));
        }
    }
}

void PluginHostImpl::reportUnknownError(const QString &caption)
{
    showMessage(&m_window, QLatin1Char('E'), caption, QStringLiteral("发生了未知错误。"));
}

void PluginHostImpl::reportError(const QString &caption, const std::exception &e)
{
    showMessage(&m_window, QLatin1Char('E'), caption, errorText(e));
}

QVariant PluginHostImpl::GetValue(const QString &name)
{
    return m_session.value(name);
}

IRemoteConnection *PluginHostImpl::GetConnection()
{
    return m_session.connection();
}

DataModule *PluginHostImpl::GetDataModule()
{
    return m_session.dataModule();
}

QWidget *PluginHostImpl::MainWindow()
{
    return &m_window;
}

int PluginHostImpl::OpenModule(const QString &moduleCode, int tag, quint32 p1, const QString &p2,
                               QVariant &p3)
{
    try {
        const ModuleInfo module = m_session.module(moduleCode);
        if (isAdminModule(module.code)) {
            openAdminPage(m_session, m_window, module.code, module.caption);
            return 0;
        }
        if (ILXPlugin *plugin = pluginFor(module))
            return openPluginPage(*plugin, module, tag, p1, p2, p3);
        openUnknownPage(module, p2, p3);
    } catch (const std::exception &e) {
        reportError(QStringLiteral("打开模块"), e);
    } catch (...) { // nothing may cross the event loop
        reportUnknownError(QStringLiteral("打开模块"));
    }
    return 0;
}

int PluginHostImpl::openPluginPage(ILXPlugin &plugin, const ModuleInfo &module, int tag, quint32 p1,
                                   const QString &p2, QVariant &p3)
{
    // A module already open comes to the front, executed with the new parameters.
    if (QWidget *open = m_window.pageForCode(module.code)) {
        const int handle = HostMainWindow::pageHandle(open);
        if (ILXPlugin *owner = pageOwner(open)) {
            int shown;
            {
                HostMainWindow::CaptionRedirect redirect(m_window, open);
                shown = owner->ShowModuleForm(handle, p1, p2, p3);
            }
            if (shown == -1)
                return 0;
            m_window.activatePage(open);
            return handle;
        }
    }

    int handle;
    QString caption;
    QString iconName;
    QChar iconKind;
    bool iconSet;
    {
        // The page sets its caption while it executes, before it is docked.
        HostMainWindow::CaptionRedirect pending(m_window, nullptr);
        handle = plugin.CreateModuleForm(module.code, tag, p1, p2, p3);
        caption = pending.textSet ? pending.text : QString();
        iconName = pending.iconName;
        iconKind = pending.iconKind;
        iconSet = pending.iconSet;
    }
    if (handle == 0)
        return 0;
    QWidget *page = plugin.FormWidget(handle);
    if (!page) {
        plugin.CloseModuleForm(handle);
        throw Error(QStringLiteral("插件没有交出模块“%1”的页面。").arg(module.code));
    }
    if (caption.isEmpty())
        caption = !page->windowTitle().isEmpty() ? page->windowTitle()
                  : !module.caption.isEmpty()    ? module.caption
                                                 : module.code;
    const QString owner = module.dllFile.isEmpty() ? kPluginName : module.dllFile.toUpper();
    m_window.addPage(page, handle, module.code, caption, owner);
    if (iconSet)
        m_window.setPageIcon(page, iconName, iconKind);
    return handle;
}

void PluginHostImpl::openUnknownPage(const ModuleInfo &module, const QString &p2,
                                     const QVariant &p3)
{
    UnknownModulePage *page = nullptr;
    for (QWidget *w : m_window.pages()) {
        auto *u = qobject_cast<UnknownModulePage *>(w);
        if (u && u->moduleCode() == module.code)
            page = u;
    }
    const bool isNew = !page;
    if (isNew)
        page = new UnknownModulePage;
    page->setModule(module.code, module.caption, p2, p3);
    if (isNew)
        m_window.addPage(page, 0, QString(), page->pageCaption());
    else
        m_window.activatePage(page);
}

void PluginHostImpl::closePage(QWidget *page)
{
    m_window.removePage(page);
    const int handle = HostMainWindow::pageHandle(page);
    ILXPlugin *owner = pageOwner(page);
    if (!owner) {
        page->deleteLater();
        return;
    }
    try {
        owner->CloseModuleForm(handle);
    } catch (const std::exception &e) {
        reportError(QStringLiteral("关闭模块"), e);
    } catch (...) { // nothing may cross the event loop
        reportUnknownError(QStringLiteral("关闭模块"));
    }
}

int PluginHostImpl::CheckVersion(const QString &family, const QString &version)
{
    return family == QLatin1String("TARN") && version == QLatin1String("2013") ? 0 : 1;
}

void PluginHostImpl::BeginBusy()
{
    if (m_busy++ == 0) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_window.setBusyShown(true);
    }
}

void PluginHostImpl::EndBusy(bool)
{
    if (m_busy == 0)
        return;
    if (--m_busy == 0) {
        QApplication::restoreOverrideCursor();
        m_window.setBusyShown(false);
    }
}

void PluginHostImpl::BeginLaunch()
{
    if (m_launch++ == 0)
        m_window.setLaunchShown(true);
}

void PluginHostImpl::EndLaunch(bool)
{
    if (m_launch == 0)
        return;
    if (--m_launch == 0)
        m_window.setLaunchShown(false);
}

void PluginHostImpl::Relogin()
{
    LoginDialog dialog(m_session.path(), &m_window);
    if (m_session.remote())
        dialog.setPlace(m_session.serverText(), m_session.setName(), false);
    dialog.setUser(m_session.session().userCode);
    dialog.setNotice(m_session.connectionLost()
                         ? QStringLiteral("与服务器的连接已断开。登录后继续工作。")
                         : m_session.readOnlyNotice());
    dialog.setAttempt(
        [this](const QString &user, const QString &password) { m_session.login(user, password); });
    if (execDialog(dialog) != QDialog::Accepted)
        return; // the current login stays
    updateSessionText();
    reviewAdminPages(m_session, m_window, [this](QWidget *page) { closePage(page); });
    if (m_plugins.isEmpty())
        return;
    try {
        for (const Plugin &p : m_plugins)
            p.plugin->Reload(false);
        QList<QPointer<QWidget>> pages;
        for (QWidget *page : m_window.pages())
            pages.append(page);
        for (const QPointer<QWidget> &page : pages) {
            ILXPlugin *owner = page ? pageOwner(page) : nullptr;
            if (!owner) // a host page, or closed by an earlier page's execute
                continue;
            HostMainWindow::CaptionRedirect redirect(m_window, page);
            QVariant p3;
            owner->ExecuteForm(HostMainWindow::pageHandle(page), 0, QString(), p3);
        }
    } catch (const std::exception &e) {
        reportError(QStringLiteral("重新登录"), e);
    } catch (...) { // nothing may cross the event loop
        reportUnknownError(QStringLiteral("重新登录"));
    }
}

void PluginHostImpl::SetActionState(const QString &actionName, bool flag, int value)
{
    m_window.setActionState(actionName, flag, value);
}

void PluginHostImpl::ShowHostMessage(const QString &text, QChar kind, const QString &caption)
{
    showMessage(&m_window, kind, caption, text);
}

} // namespace vexa::host
