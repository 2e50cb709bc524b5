#include "ScreenshotRunner.h"

#include "GroupsPage.h"
#include "HostDialogs.h"
#include "HostMainWindow.h"
#include "HostSession.h"
#include "LoginDialog.h"
#include "NewAccountSetDialog.h"
#include "PluginHostImpl.h"
#include "UsersPage.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

namespace vexa::host {

namespace {

// Lets layouts, posted events and deferred paints settle before a grab.
void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

} // namespace

const QString ScreenshotRunner::kSampleUnknownModule = QStringLiteral("GLJCXJZ");

ScreenshotRunner::ScreenshotRunner(HostSession &session, HostMainWindow &window,
                                   PluginHostImpl &host)
    : m_session(session), m_window(window), m_host(host)
{}

void ScreenshotRunner::save(QWidget &widget, const QString &fileName)
{
    settle();
    const QString path = QDir(m_dir).filePath(fileName);
    if (widget.grab().save(path, "PNG"))
        m_written.append(path);
    else
        m_failures.append(QStringLiteral("无法写入图片“%1”。").arg(QDir::toNativeSeparators(path)));
}

int ScreenshotRunner::run(const QString &dir)
{
    m_dir = dir;
    if (!QDir().mkpath(dir)) {
        m_failures.append(
            QStringLiteral("无法创建文件夹“%1”。").arg(QDir::toNativeSeparators(dir)));
        return 1;
    }
    // A message shown while the pages open means a page did not come up as it should.
    HostDialogs saved = hostDialogs();
    hostDialogs().message = [this](QWidget *, QChar, const QString &caption, const QString &text) {
        m_failures.append(caption + QStringLiteral("：") + text);
    };

    m_window.resize(1280, 800);
    m_window.show();

    {
        // As the start shows it: server and set may be chosen.
        LoginDialog login(m_session.path(), &m_window);
        login.setPlace(m_session.serverText(),
                       m_session.remote() ? m_session.setName()
                                          : QDir::toNativeSeparators(m_session.path()),
                       true);
        login.setUser(m_session.session().userCode);
        login.show();
        save(login, QStringLiteral("login.png"));
    }
    {
        NewAccountSetDialog create({}, &m_window);
        create.show();
        save(create, QStringLiteral("new-account-set.png"));
    }

    if (!m_host.plugin())
        m_failures.append(QStringLiteral("没有装载插件，模块页面无法生成图片。"));
    QList<ModuleInfo> modules;
    try {
        modules = m_session.pageModules();
    } catch (const Error &e) {
        m_failures.append(e.message());
    }
    for (const ModuleInfo &m : modules) {
        if (!m_host.serves(m))
            continue;
        QVariant p3;
        // Handles are each plug-in's own numbers: the page is found by its module.
        QWidget *page =
            m_host.OpenModule(m.code, 0, 0, QString(), p3) ? m_window.pageForCode(m.code) : nullptr;
        if (!page) {
            m_failures.append(QStringLiteral("模块 %1（%2）没有打开。").arg(m.code, m.caption));
            continue;
        }
        save(m_window, m.code + QStringLiteral(".png"));
        m_host.closePage(page);
    }

    // The host's own pages of the administrator.
    if (m_session.session().manager) {
        for (const QString &code : {UsersPage::kModuleCode, GroupsPage::kModuleCode}) {
            QVariant p3 = QString();
            m_host.OpenModule(code, 0, 0, QString(), p3);
            QWidget *page = m_window.pageForCode(code);
            if (!page) {
                m_failures.append(QStringLiteral("模块 %1 没有打开。").arg(code));
                continue;
            }
            save(m_window, code + QStringLiteral(".png"));
            m_host.closePage(page);
        }
    }

    QVariant parameter = QStringLiteral("ObjType=2101");
    m_host.OpenModule(kSampleUnknownModule, 0, 0, QStringLiteral("DataProvider"), parameter);
    if (QWidget *page = m_window.currentPage()) {
        save(m_window, QStringLiteral("unimplemented.png"));
        m_host.closePage(page);
    }
    settle();

    hostDialogs() = saved;
    return m_failures.isEmpty() ? 0 : 1;
}

} // namespace vexa::host
